// The download job: from the ticked albums to files on disk, album by album.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "sites/Context.h"

namespace albumora {

struct AppState;
class Adapters;

// The picture-list side adapters see, over the window's records, for one album of the list.
class JobPictureContext : public PictureContext {
 public:
  JobPictureContext(AppState& app, int albumIndex) : app_(app), albumIndex_(albumIndex) {}
  bool Halted() const override;
  JobTexts& Texts() override;
  User& user() override;
  ST_PERLISTRECORD& Album() override;
  bool AddPicture(const std::string& address, const std::string& description,
                  const std::string& header) override;
  size_t PictureCount() const override;
  const NameRule& Naming() const override;

 private:
  AppState& app_;
  int albumIndex_;
};

// The job body, on the calling thread, with the adapters of its caller (the registry's
// SiteAdapters(), or a test's).
void RunDownloadJob(AppState& app, const Adapters& adapters);

// What the job tells a front end that prints a summary, after each album it processed.
struct AlbumReport {
  int position = 0;     // 1-based in the selected list
  int albumIndex = 0;   // in the AlbumList
  size_t listed = 0;    // pictures the adapter listed (after the skip rule)
  int32_t written = 0;  // picture files the pool wrote
  std::string folder;   // the album folder; empty when the album listed nothing
};
using AlbumReportFn = std::function<void(const AlbumReport&)>;
void RunDownloadJob(AppState& app, const Adapters& adapters, const AlbumReportFn& report);

}  // namespace albumora
