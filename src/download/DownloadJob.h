// The download job: from the ticked albums to files on disk, album by album.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "net/HttpEngine.h"
#include "sites/Context.h"

namespace albumora {

struct AppState;
class Adapters;
struct DownloadList;

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
  int position = 0;       // 1-based in the selected list
  int albumIndex = 0;     // in the AlbumList
  size_t listed = 0;      // pictures the adapter listed (after the skip rule)
  int32_t written = 0;    // picture files the pool wrote
  std::string folder;     // the album folder; empty when the album listed nothing
  int32_t attempted = 0;  // pictures the pool finished (written or failed); the rest not started
  std::array<int32_t, kFetchFailureKinds> failedBy{};  // not written, by reason
  bool listOnly = false;  // a download-manager list was written instead of the pictures
  bool upToDate = false;  // the skip rule met the picture of an earlier download
};
using AlbumReportFn = std::function<void(const AlbumReport&)>;
void RunDownloadJob(AppState& app, const Adapters& adapters, const AlbumReportFn& report);

// Writes an album's list for a download manager where the job would write the Thunder list
// (OPT_THUNDER_ONLY): the list and the album's name.
using ListWriterFn = std::function<void(const DownloadList& list, const std::string& albumName)>;
void RunDownloadJob(AppState& app, const Adapters& adapters, const AlbumReportFn& report,
                    const ListWriterFn& writeList);

}  // namespace albumora
