// The download job: from the ticked albums to files on disk, album by album.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "net/HttpEngine.h"

namespace albumora {

struct AppState;
struct DownloadList;

// The job body, on the calling thread.
void RunDownloadJob(AppState& app);

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
void RunDownloadJob(AppState& app, const AlbumReportFn& report);

// Writes an album's list for a download manager where the job would write the Thunder list
// (OPT_THUNDER_ONLY): the list and the album's name.
using ListWriterFn = std::function<void(const DownloadList& list, const std::string& albumName)>;
void RunDownloadJob(AppState& app, const AlbumReportFn& report, const ListWriterFn& writeList);

}  // namespace albumora
