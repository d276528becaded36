// SPDX-License-Identifier: GPL-3.0-or-later
// The album-list job: from the typed address to a filled album list.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sites/Context.h"
#include "sites/Pages.h"

namespace albumora {

struct AppState;
class Adapters;
class CoverQueue;

// The album-list side adapters see, over the window's records.
class JobListContext : public ListContext {
 public:
  // The covers of a thumbnail wall go to `covers` when given (fetched several at a time); the
  // failed pages are counted in `failedPages` when given.
  explicit JobListContext(AppState& app, CoverQueue* covers = nullptr,
                          std::atomic<size_t>* failedPages = nullptr)
      : app_(app), covers_(covers), failedPages_(failedPages), person_(app, pages_) {}
  bool Halted() const override;
  JobTexts& Texts() override;
  User& user() override;
  bool Publish(const ST_PERLISTRECORD& album) override;
  size_t AlbumCount() const override;
  uint32_t PageCap() const override;
  void PageFailed(const std::string& address, const std::string& reason) const override;
  PageLog* Pages() const override { return &pages_; }

 private:
  // The person, noting for the page log that the family spoke to them.
  class Person : public User {
   public:
    Person(AppState& app, PageLog& pages) : app_(app), pages_(pages) {}
    std::string AddressText() override;
    void ShowMessage(const std::string& text, const std::string& caption) override;
    bool AskYesNo(const std::string& text, const std::string& caption) override;
    void OpenLogin(const std::string& address) override;

   private:
    AppState& app_;
    PageLog& pages_;
  };

  AppState& app_;
  CoverQueue* covers_;
  std::atomic<size_t>* failedPages_;
  mutable PageLog pages_{kYieldsAlbums};
  Person person_;
};

// What the album-list job read: every page in fetch order, and, when it listed no album, the
// page that should have yielded some and no longer holds what its family looks for.
struct ListPages {
  std::vector<PageStep> steps;
  std::optional<PageDiagnosis> diagnosis;
};

// The message for an empty address, or one without "http://" for a site other than Qzone.
extern const char* const kEmptyAddressMessage;

// The job body, on the calling thread (the command line runs it directly), with the adapters
// of its caller (the registry's SiteAdapters(), or a test's).
void GetAlbumList(AppState& app, const Adapters& adapters);
// The same, telling whether the address was refused (empty, or no "http://" for a site other
// than Qzone: the message was shown and no adapter ran).
enum class ListOutcome { Refused, Ran };
ListOutcome RunAlbumList(AppState& app, const Adapters& adapters);
// The same, telling what it read in pages (nullptr: nothing).
ListOutcome RunAlbumList(AppState& app, const Adapters& adapters, ListPages* pages);

}  // namespace albumora
