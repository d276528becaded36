// SPDX-License-Identifier: GPL-3.0-or-later
// Album rows: the adapters' add-entry operation, the grid row or thumbnail cell of an entry,
// the count and remark texts, and the view switch's rebuild.
#include <cstdio>
#include <filesystem>
#include <new>
#include <system_error>
#include <thread>

#include "albumlist/AlbumListJob.h"
#include "albumlist/AlbumRows.h"
#include "albumlist/CoverQueue.h"
#include "fs/FileNames.h"
#include "fs/ProgramFolder.h"
#include "model/AppState.h"
#include "net/HttpEngine.h"

namespace albumora {

namespace {

template <typename... Args>
std::string Format(const char* pattern, Args... args) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, args...);
  return text;
}

// The unique-name rule's candidate n for a cleaned name: the name itself for 0, else the name
// cut to leave room for " (n)" and numbered.
std::string Candidate(const std::string& cleaned, unsigned n) {
  if (n == 0) return cleaned;
  const std::string number = " (" + std::to_string(n) + ")";
  return CutName(cleaned, kMaxAlbumNameBytes - number.size()) + number;
}

// The thumbnail file of an entry's cover (tmp/<index>.jpg), its folder made at the first.
std::string CoverPath(int index) {
  const std::filesystem::path folder = ProgramFile("tmp");
  std::error_code error;
  if (index == 0 || !std::filesystem::is_directory(folder, error)) {
    std::filesystem::create_directories(folder, error);
  }
  return (folder / (std::to_string(index) + ".jpg")).string();
}

// Fetches an entry's cover into its thumbnail file and loads it; -1 on failure.
int LoadCover(AppState& app, const ST_PERLISTRECORD& entry, int index) {
  if (entry.strCover.empty()) return -1;
  const std::string path = CoverPath(index);
  HttpRequest request;
  InitRequest(request, entry.strCover, path, 20000);
  request.bRefuseErrorStatus = true;
  request.nRetryPause = 0;  // one attempt: no pause before giving a cover up
  HttpResponse response;
  if (!HttpFetch(request, response, 0)) return -1;
  return app.host.LoadThumbnail(path);
}

}  // namespace

std::string CountText(int32_t count) {
  if (count == -1) return "未知";
  return Format("%4u", static_cast<unsigned>(count));
}

std::string RemarkText(int32_t flags) {
  if (flags < 0) return Format("%08u", static_cast<unsigned>(flags) & 0x7FFFFFFFu);
  if (flags & FLAG_ENCRYPTED) return "加密相册";
  if (flags & FLAG_PRIVATE) return "私密相册";
  if (flags & FLAG_FRIENDS) return "好友可见";
  return {};
}

size_t AddAlbum(AppState& app, const ST_PERLISTRECORD& local) {
  std::unique_ptr<ST_PERLISTRECORD> entry;
  try {
    entry = std::make_unique<ST_PERLISTRECORD>();
  } catch (const std::bad_alloc&) {
    app.host.ShowMessage("内存分配失败");
    return app.albumList.size();
  }
  entry->strName = local.strName;
  entry->strAddr = local.strAddr;
  entry->strCover = local.strCover;
  entry->strKey = local.strKey;
  entry->strDesc = local.strDesc;
  entry->nCount = local.nCount;
  entry->nFlags = local.nFlags;
  entry->nNum1 = local.nNum1;
  entry->nNum2 = local.nNum2;
  entry->nImage = -1;
  // The unique-name rule works on the names as they land on disk: the album's folder and its
  // side files "<name>.txt" and "<name>.lst" must all fit the file system's name limit, so the
  // name is cut to it first, and a number that makes it unique is kept inside it too. The
  // candidates are the cleaned name, then its forms numbered 1, 2, 3, …; the first one no entry
  // has is taken. The list remembers per cleaned name where that search ended, so thousands of
  // albums of one name cost no more than as many distinct names.
  CleanFileName(entry->strName, 0xFFFF, true);
  const std::string cleaned = CutName(entry->strName, kMaxAlbumNameBytes);
  unsigned& next = app.albumList.NextCandidate(cleaned);
  std::string name = Candidate(cleaned, next);
  while (app.albumList.HasName(name)) name = Candidate(cleaned, ++next);
  ++next;  // this one is taken now
  entry->strName = std::move(name);
  app.albumList.Append(std::move(entry));
  return app.albumList.size();
}

void PublishAlbum(const ST_PERLISTRECORD& local, AppState& app, CoverQueue* covers) {
  if (app.bReady.load() != 1) return;
  const size_t before = app.albumList.size();
  const size_t count = AddAlbum(app, local);
  // Only a new entry gets a row (a failed allocation adds none).
  if (count > before) ShowAlbumRow(app, static_cast<int>(count) - 1, covers);
}

void ShowAlbumRow(AppState& app, int index, CoverQueue* covers) {
  if (index < 0 || static_cast<size_t>(index) >= app.albumList.size()) return;
  ST_PERLISTRECORD& entry = app.albumList[static_cast<size_t>(index)];
  if (!app.grid.Preview()) {
    const int row = app.grid.AppendRow();
    app.grid.SetCell(row, 0, GridCell{Format("%04d", index + 1), index});
    app.grid.SetCell(row, 1, GridCell{entry.strName, index});
    app.grid.SetCell(row, 2, GridCell{CountText(entry.nCount), index});
    app.grid.SetCell(row, 3, GridCell{RemarkText(entry.nFlags), index});
    app.host.GridRowAdded(row);
    return;
  }
  constexpr int k = GridModel::kThumbsPerRow;
  int row = index / k;
  const int column = index % k;
  if (column == 0) {
    row = app.grid.AppendRow();
    app.host.GridRowAdded(row);
  }
  GridCell cell;
  cell.text = std::to_string(index + 1) + "." + entry.strName;
  cell.data = index;
  if (covers != nullptr) {
    // The cell is shown at its turn, once its cover (fetched beside the caller) has landed.
    const bool fetch = entry.nImage == -1 && !entry.strCover.empty();
    covers->Add(index, row, column, std::move(cell), fetch ? entry.strCover : std::string(),
                fetch ? CoverPath(index) : std::string());
    covers->Collect();
    return;
  }
  if (entry.nImage == -1) entry.nImage = LoadCover(app, entry, index);
  cell.image = entry.nImage;
  app.grid.SetCell(row, column, std::move(cell));
  app.host.GridCellChanged(row, column);
}

void RebuildAlbumRows(AppState& app) {
  {
    CoverQueue covers(
        app, [&app] { return app.nModeSwitch.load() == 2; }, CoverQueue::kInFlight);
    for (size_t i = 0; i < app.albumList.size() && app.nModeSwitch.load() != 2; ++i) {
      ShowAlbumRow(app, static_cast<int>(i), &covers);
    }
    covers.Finish();
  }
  app.host.GridFinished();
  app.nModeSwitch = 0;
}

}  // namespace albumora
