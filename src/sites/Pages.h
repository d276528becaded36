// SPDX-License-Identifier: GPL-3.0-or-later
// What a family's pages must hold, and what the fetch recipe learnt of every page it read.
//
// Each family declares, beside its hosts table, its page kinds: the few marker texts whose
// absence means the page changed, and what a page of that kind yields. An adapter names the kind
// where it fetches (Fetcher::Get(kind, address)); the recipe checks the markers once per page on
// the answer in memory and notes the page in the log of the adapter call that runs (its
// context's). When the call took no item from a page that should have yielded some, the log
// says which page and which marker: the site may have changed.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "net/HttpEngine.h"

namespace albumora {

enum class PageKind : uint8_t {
  Unnamed,          // a page the family does not check (a lookup, a token)
  UserPage,         // an owner's home or profile page
  AlbumIndex,       // the owner's list of albums
  AlbumPage,        // one album's page
  PictureListPage,  // a page listing an album's pictures
  PhotoPage,        // one picture's page
  ScriptAnswer,     // a JSON, JSONP or script data answer
  ItemPage,         // a shop item's page
};

// "album index", "picture-list page", ...
const char* PageKindName(PageKind kind);
// The same for the window: "相册目录", "图片列表页", ...
const char* PageKindNameZh(PageKind kind);

// What a page of a kind yields.
enum PageYield : uint8_t {
  kYieldsAlbums = 1,
  kYieldsPictures = 2,
  kYieldsNextPage = 4,  // the address of a further page of the same list
  kYieldsPages = 8,     // addresses of further pages to read (photo pages, albums' pages)
};

// One page kind of a family: the markers the family's code relies on to find its items there
// (each must occur in a page that answered with a body), what the page yields, and the texts by
// which the site says that the list is empty (such a page holds no items and is no change).
// A marker may name alternatives, of which one must occur: "class=\"a\"> | class=\"b".
struct PageMarkers {
  PageKind kind;
  std::span<const char* const> markers;
  uint8_t yields;
  std::span<const char* const> nothing = {};
};

// Whether the text holds the marker (one of its alternatives).
bool HoldsMarker(std::string_view text, std::string_view marker);

// One page the recipe read for an adapter call.
struct PageStep {
  PageKind kind = PageKind::Unnamed;
  uint8_t yields = 0;
  bool checked = false;  // the adapter named its kind: the markers below were looked for
  std::string address;
  long status = 0;     // 0: no answer
  uint64_t bytes = 0;  // of the answer's text
  double seconds = 0;
  std::string error;  // the engine's words when the fetch failed
  std::vector<const char*> found;
  std::vector<const char*> missing;
  bool saysEmpty = false;  // it holds one of its kind's texts for an empty list
  size_t items = 0;        // albums or pictures taken from it
};

// Why an adapter call took nothing: the page that should have yielded items.
struct PageDiagnosis {
  PageKind kind = PageKind::Unnamed;
  std::string address;
  long status = 0;
  uint64_t bytes = 0;
  std::vector<std::string> missing;  // empty: the markers are there, yet nothing was taken
  uint8_t items = kYieldsPictures;   // what the call should have taken
  int32_t siteCount = 0;             // the album's picture count on the site, when known
};

// "the page http://… (album index, 12,345 bytes) no longer holds `id="pic_"`: the site may have
// changed".
std::string DiagnosisText(const PageDiagnosis& diagnosis);
// The same in the window's words: "网页 http://…（相册目录，12,345 字节）中找不到
// …，网站可能已改版".
std::string DiagnosisTextZh(const PageDiagnosis& diagnosis);
// 12345 → "12,345".
std::string GroupedNumber(uint64_t value);

// The pages of one adapter call, in fetch order, and the items it took. Each item counts for
// the last page read whose kind yields such items (else the last page).
class PageLog {
 public:
  // items: kYieldsAlbums for an album list, kYieldsPictures for a picture list.
  explicit PageLog(uint8_t items) : items_(items) {}
  PageLog(const PageLog&) = delete;
  PageLog& operator=(const PageLog&) = delete;

  void Read(PageStep step);
  void Took();
  // The family told the person something (a login page, a refusal or a password it recognised):
  // its own message stands, and no diagnosis is made.
  void Spoke();

  std::vector<PageStep> Steps() const;
  size_t Count() const;  // pages read
  size_t Taken() const;
  // When the call took no item: the first page that answered 200 with a body, should have
  // yielded items, does not say the list is empty, and lacks a marker; else, when the site
  // counts siteCount > 0 items, the first page that should have yielded them. Nothing when the
  // family spoke, or when the site counts 0 (an album it says is empty). siteCount < 0: the
  // site gives no count.
  std::optional<PageDiagnosis> Diagnose(int32_t siteCount = -1) const;

 private:
  mutable std::mutex mutex_;
  uint8_t items_;
  std::vector<PageStep> steps_;
  size_t taken_ = 0;
  bool spoke_ = false;
};

// Where the recipe hands every page it fetched (not pictures), as it was asked for and answered:
// `--write-pages`. Called from any job thread.
class PageRecorder {
 public:
  virtual ~PageRecorder() = default;
  virtual void Record(const HttpRequest& request, const HttpResponse& response) = 0;
};

// Installs the recorder a front end chose for its run; nullptr: none. Guarded: set before the
// jobs start and read by every fetch.
void SetPageRecorder(std::shared_ptr<PageRecorder> recorder);
std::shared_ptr<PageRecorder> CurrentPageRecorder();

// Saves each page as a file of a folder, numbered in fetch order ("0001-host.txt", after the
// highest number the folder already holds): the request
// line and headers, the status and headers of the answer, a blank line and the body (inflated,
// in the site's own code page). Cookie and Set-Cookie lines are left out, and the values of
// credential-like names (skey, p_skey, token, …) and of the cookies sent are blanked wherever
// they occur.
class PageFolderRecorder : public PageRecorder {
 public:
  // False (with error) when the folder cannot be made.
  static std::shared_ptr<PageFolderRecorder> Open(const std::string& folder, std::string& error);
  void Record(const HttpRequest& request, const HttpResponse& response) override;
  size_t Count() const;

 private:
  explicit PageFolderRecorder(std::string folder) : folder_(std::move(folder)) {}
  mutable std::mutex mutex_;
  std::string folder_;
  size_t count_ = 0;
};

// A page's text with credentials blanked: every value after a credential-like name and "=" or
// "\":\"" (up to the next delimiter), and every one of the given secret texts.
std::string BlankCredentials(std::string text, const std::vector<std::string>& secrets = {});

}  // namespace albumora
