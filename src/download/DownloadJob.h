// The download job: from the ticked albums to files on disk, album by album.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace albumora {

struct AppState;

// The job body, on the calling thread.
void RunDownloadJob(AppState& app);

// What the job tells a front end that prints a summary, after each album it processed.
struct AlbumReport {
  int position = 0;     // 1-based in the selected list
  int albumIndex = 0;   // in the AlbumList
  size_t listed = 0;    // pictures the adapter listed (after the skip rule)
  int32_t written = 0;  // picture files the pool wrote
  std::string folder;   // the album folder; empty when the album listed nothing
};
using AlbumReportFn = std::function<void(const AlbumReport&)>;
void RunDownloadJob(AppState& app, const AlbumReportFn& report);

}  // namespace albumora
