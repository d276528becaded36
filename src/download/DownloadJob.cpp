// The download job: from the ticked albums to files on disk, album by album.
#include "download/DownloadJob.h"
#include "download/Repairs.h"
#include "download/Workers.h"

#include <cstdio>
#include <system_error>
#include <thread>
#include <vector>

#include "download/Naming.h"
#include "fs/FileNames.h"
#include "model/AppState.h"
#include "model/Settings.h"
#include "sites/Context.h"
#include "sites/Fetch.h"
#include "sites/Registry.h"
#include "text/StringCtrl.h"

namespace albumora {

bool JobPictureContext::Halted() const {
  const uint8_t state = app_.nDownState.load();
  return state == DOWN_ENOUGH || state == DOWN_STOP;
}
JobTexts& JobPictureContext::Texts() { return app_; }
User& JobPictureContext::user() { return app_.host; }
ST_PERLISTRECORD& JobPictureContext::Album() {
  return app_.albumList[static_cast<size_t>(albumIndex_)];
}
bool JobPictureContext::AddPicture(const std::string& address, const std::string& description,
                                   const std::string& header) {
  albumora::AddPicture(app_, address, description, header, albumIndex_);
  return !Halted();
}
size_t JobPictureContext::PictureCount() const { return app_.downloadList.size(); }
const NameRule& JobPictureContext::Naming() const { return app_.Rule(); }

namespace {

bool SlotHas(AppState& app, uint16_t option) { return (app.Rule().wOptions & option) != 0; }

// Back to "running" for the next step, unless the user has asked for a stop meanwhile: the stop
// button's state is never overwritten.
void ResumeRunning(AppState& app) {
  uint8_t state = app.nDownState.load();
  while (state != DOWN_STOP && !app.nDownState.compare_exchange_weak(state, DOWN_RUNNING)) {
  }
}

// The picture list of one album through the adapters.
void ListPictures(AppState& app, const Adapters& adapters, int albumIndex) {
  const int site = app.nSite.load();
  if (site < 0 || site >= kSiteCount) {
    app.host.ShowMessage("Error ListType Code.");
    return;
  }
  if (PictureListFn fn = adapters.PictureList(site, app.nListType.load())) {
    JobPictureContext context(app, albumIndex);
    FetchStopScope stops(context);
    fn(context);
  }
}

// The job folder: the save path, then the owner texts the album-list job left.
bool MakeJobFolder(AppState& app, std::string& folder) {
  folder = Trim(app.host.SavePathText());
  if (folder.empty()) {
    app.host.ShowMessage("请先设置保存路径");
    return false;
  }
  if (folder.back() != kPathSep) folder += kPathSep;
  folder += app.strOwner;
  folder += app.strOwnerTitle;

  Host& host = app.host;
  SetFolderMessage([&host](const std::string& text) { host.ShowMessage(text); });
  const bool made = EnsureDirPath(folder);
  SetFolderMessage(nullptr);
  if (!made) {
    app.host.ShowMessage("请检测设置的保存路径是否有误");
    return false;
  }
  return true;
}

// Runs the worker pool over the album's list on a thread of its own and waits for its end.
bool RunPool(AppState& app) {
  // A stop pressed while the adapter was still listing stays a stop for this pool. The flag is
  // cleared before the state is read: a stop pressed in between sets it again afterwards.
  Pool().stop = false;
  if (app.nDownState.load() == DOWN_STOP) Pool().stop = true;
  try {
    std::thread manager(DownPicFunc, std::ref(app));
    manager.join();
    return true;
  } catch (const std::system_error&) {
    app.host.ShowMessage("Create thread:DownPicFunc failed.");
    return false;
  }
}

// One album of the job: its picture list, then the list file or the pool, the marker and the
// repairs. The report gets what was listed and written.
void DownloadAlbum(AppState& app, const Adapters& adapters, const std::string& jobFolder,
                   int selectedCount, const ListWriterFn& writeList, AlbumReport& album) {
  DownloadList& list = app.downloadList;
  list.Clear();
  list.strSaveDir = jobFolder;
  ResumeRunning(app);

  char status[96];
  std::snprintf(status, sizeof status, "正在下载第%d/%d个图集", album.position, selectedCount);
  app.host.SetStatus(StatusLine::Main, status);
  app.host.SetStatus(StatusLine::Progress, "......");

  ListPictures(app, adapters, album.albumIndex);
  album.upToDate = app.nDownState.load() == DOWN_ENOUGH;

  if (list.empty() || app.nDownState.load() == DOWN_STOP) return;
  album.listed = list.size();
  album.folder = list.strSaveDir;
  if (SlotHas(app, OPT_THUNDER_ONLY)) {
    const std::string& name = app.albumList[static_cast<size_t>(album.albumIndex)].strName;
    if (writeList) {
      writeList(list, name);
    } else {
      WriteThunderList(list, list.strSaveDir + name + ".lst");
    }
    album.listOnly = true;
    return;
  }
  app.host.SetStatus(StatusLine::Progress, "已开始下载图片");
  if (!RunPool(app)) return;
  album.written = Pool().written.load();
  album.attempted = Pool().finished.load();
  for (size_t kind = 0; kind < album.failedBy.size(); ++kind) {
    album.failedBy[kind] = Pool().failedBy[kind].load();
  }
  // The marker says "downloaded up to here": a later run with the skip rule lists nothing from
  // this picture on. It is written only when every picture of the album landed, so that a
  // failed picture is fetched again next time instead of being skipped for good.
  if (app.nDownState.load() != DOWN_STOP && static_cast<size_t>(album.written) == album.listed) {
    WriteMarker(list.arrUrl.front(), list.strSaveDir);
  }
  if (SlotHas(app, OPT_FIX_FORMAT)) FixFormatList(app);
  if (SlotHas(app, OPT_FIX_ORDER)) FixOrder(app);
}

}  // namespace

void RunDownloadJob(AppState& app, const Adapters& adapters) {
  RunDownloadJob(app, adapters, AlbumReportFn());
}

void RunDownloadJob(AppState& app, const Adapters& adapters, const AlbumReportFn& report) {
  RunDownloadJob(app, adapters, report, ListWriterFn());
}

void RunDownloadJob(AppState& app, const Adapters& adapters, const AlbumReportFn& report,
                    const ListWriterFn& writeList) {
  std::string jobFolder;
  if (!MakeJobFolder(app, jobFolder)) {
    app.nDownState = DOWN_IDLE;
    return;
  }

  app.host.SetDownloadBusy(true);
  ResumeRunning(app);
  DownloadList& list = app.downloadList;
  list.strSaveDir = jobFolder;
  list.folders.clear();

  const DownParam& down = app.Down();
  PoolParams& pool = Pool();
  pool.minKB = down.wMinKB;
  pool.maxKB = down.wMaxKB;
  pool.threads = down.wThreads;
  pool.timeoutSec = down.wTimeout;

  std::vector<int> selected = app.grid.SelectedAlbums(static_cast<int>(app.albumList.size()));
  // A grid row whose album is gone (a stale view) selects nothing.
  std::erase_if(selected, [&app](int index) {
    return index < 0 || static_cast<size_t>(index) >= app.albumList.size();
  });
  app.albumList.nTicked = static_cast<int32_t>(selected.size());
  if (selected.empty()) app.host.ShowMessage("请先勾选要下载的相册");

  size_t total = 0;
  for (size_t position = 0; position < selected.size(); ++position) {
    if (app.nDownState.load() == DOWN_STOP) break;
    AlbumReport album;
    album.position = static_cast<int>(position + 1);
    album.albumIndex = selected[position];
    DownloadAlbum(app, adapters, jobFolder, static_cast<int>(selected.size()), writeList, album);
    total += album.listed;
    if (report) report(album);
  }

  app.host.SetDownloadBusy(false);
  app.host.SetStatus(StatusLine::Main, "下载完毕");
  app.host.SetStatus(StatusLine::Progress, "");
  if (total > 0 && SlotHas(app, OPT_OPEN_DIR)) app.host.OpenFolder(list.strSaveDir);
  // Last: once idle, the records may be reused by a new job or let go by the front end.
  app.nDownState = DOWN_IDLE;
}

}  // namespace albumora
