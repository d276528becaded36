// The album-list job: from the typed address to a filled album list.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "sites/Context.h"

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
      : app_(app), covers_(covers), failedPages_(failedPages) {}
  bool Halted() const override;
  JobTexts& Texts() override;
  User& user() override;
  bool Publish(const ST_PERLISTRECORD& album) override;
  size_t AlbumCount() const override;
  uint32_t PageCap() const override;
  void PageFailed(const std::string& address, const std::string& reason) const override;

 private:
  AppState& app_;
  CoverQueue* covers_;
  std::atomic<size_t>* failedPages_;
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

}  // namespace albumora
