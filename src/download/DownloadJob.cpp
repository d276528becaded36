// The download job: from the ticked albums to files on disk, album by album.
#include "download/DownloadJob.h"
#include "download/Repairs.h"
#include "download/Workers.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
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
#include "sites/Walk.h"
#include "text/StringCtrl.h"

namespace albumora {

bool AlbumUser::AskYesNo(const std::string& text, const std::string& caption) {
  const bool yes = user_.AskYesNo(text, caption);
  if (!yes) declined_ = true;
  return yes;
}

void AlbumUser::OpenLogin(const std::string& address) {
  loginOpened_ = true;
  user_.OpenLogin(address);
}

JobPictureContext::JobPictureContext(AppState& app, int albumIndex, const PictureOrigin* origin,
                                     uint32_t pageCap)
    : app_(app), albumIndex_(albumIndex), origin_(origin), pageCap_(pageCap), user_(app.host) {}

bool JobPictureContext::Halted() const {
  const uint8_t state = app_.nDownState.load();
  return state == DOWN_ENOUGH || state == DOWN_STOP;
}
JobTexts& JobPictureContext::Texts() { return app_; }
User& JobPictureContext::user() { return user_; }
ST_PERLISTRECORD& JobPictureContext::Album() {
  return app_.albumList[static_cast<size_t>(albumIndex_)];
}
bool JobPictureContext::AddPicture(const std::string& address, const std::string& description,
                                   const std::string& header) {
  // A picture the walk has met on an earlier page of this list is not added twice.
  if (!WalkNotesItem(address + '\n' + description)) return !Halted();
  albumora::AddPicture(app_, address, description, header, albumIndex_, origin_);
  return !Halted();
}
uint32_t JobPictureContext::PageCap() const { return pageCap_; }
size_t JobPictureContext::PictureCount() const { return app_.downloadList.size(); }
const NameRule& JobPictureContext::Naming() const { return app_.Rule(); }
void JobPictureContext::PageFailed(const std::string& address, const std::string& reason) const {
  std::lock_guard lock(mutex_);
  pageFailures_.push_back(address + ": " + reason);
}
std::vector<std::string> JobPictureContext::PageFailures() const {
  std::lock_guard lock(mutex_);
  return pageFailures_;
}

const char* OutcomeName(AlbumOutcome outcome) {
  switch (outcome) {
    case AlbumOutcome::Complete:
      return "complete";
    case AlbumOutcome::Partial:
      return "partial";
    case AlbumOutcome::ListFailed:
      return "list failed";
    case AlbumOutcome::Refused:
      return "refused";
    case AlbumOutcome::NothingNew:
      return "nothing new";
    case AlbumOutcome::Stopped:
      return "stopped";
    case AlbumOutcome::Empty:
      return "empty";
  }
  return "empty";
}

bool OutcomeIsGood(AlbumOutcome outcome) {
  return outcome == AlbumOutcome::Complete || outcome == AlbumOutcome::NothingNew;
}

namespace {

bool SlotHas(AppState& app, uint16_t option) { return (app.Rule().wOptions & option) != 0; }

// Back to "running" for the next step, unless the user has asked for a stop meanwhile: the stop
// button's state is never overwritten.
void ResumeRunning(AppState& app) {
  uint8_t state = app.nDownState.load();
  while (state != DOWN_STOP && !app.nDownState.compare_exchange_weak(state, DOWN_RUNNING)) {
  }
}

// The picture list of one album through the adapters; the album's report learns of failed
// pages and of questions answered No.
void ListPictures(AppState& app, const Adapters& adapters, int albumIndex,
                  const PictureOrigin* origin, uint32_t pageCap, AlbumReport& album,
                  bool& refused) {
  const int site = app.nSite.load();
  if (site < 0 || site >= kSiteCount) {
    app.host.ShowMessage("Error ListType Code.");
    return;
  }
  if (PictureListFn fn = adapters.PictureList(site, app.nListType.load())) {
    JobPictureContext context(app, albumIndex, origin, pageCap);
    {
      FetchStopScope stops(context);
      fn(context);
    }
    album.pageFailures = context.PageFailures();
    refused =
        context.Person().Declined() || (context.Person().LoginOpened() && app.downloadList.empty());
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
bool RunPool(AppState& app, const PictureDoneFn& done) {
  // A stop pressed while the adapter was still listing stays a stop for this pool. The flag is
  // cleared before the state is read: a stop pressed in between sets it again afterwards.
  Pool().stop = false;
  if (app.nDownState.load() == DOWN_STOP) Pool().stop = true;
  try {
    std::thread manager([&app, &done] { DownPicFunc(app, done); });
    manager.join();
    return true;
  } catch (const std::system_error&) {
    app.host.ShowMessage("Create thread:DownPicFunc failed.");
    return false;
  }
}

int64_t Now() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::string SiteKey(int site) {
  const SiteFamily* family = FamilyOf(site);
  return family != nullptr ? std::string(family->key) : std::to_string(site);
}

// The pictures of one album in the pool: each result lands in its slot (one writer per slot),
// and a written or failed picture gets its archive row at once, as its file lands.
class PoolRecorder {
 public:
  PoolRecorder(DownloadList& list, Archive* archive, const PictureOrigin& origin)
      : list_(list), archive_(archive), origin_(origin), results_(list.size()) {}

  // On the worker's thread; each index is done once.
  void Done(size_t index, const PictureResult& result) {
    results_[index] = result;
    if (result.state == PictureResult::State::Already) return;
    std::string sha256;
    const bool found = index < list_.arrFoundFile.size() && !list_.arrFoundFile[index].empty();
    if (result.state == PictureResult::State::Written && (archive_ != nullptr || found)) {
      sha256 = FileSha256(FitFileName(list_.strSaveDir + list_.arrName[index]));
      if (found) TakeFoundFile(index, result.bytes, sha256);
    }
    if (archive_ == nullptr) return;
    PictureRow row = RowOf(index);
    if (result.state == PictureResult::State::Written) {
      row.outcome = PictureOutcome::Written;
      row.bytes = result.bytes;
      row.sha256 = sha256;
    } else {
      row.outcome = result.failure == FetchFailure::Stopped ? PictureOutcome::Stopped
                                                            : PictureOutcome::Failed;
      row.reason = result.error;
    }
    archive_->Record(row);
  }

  PictureRow RowOf(size_t index) const {
    PictureRow row;
    row.site = origin_.site;
    row.album = origin_.album;
    row.url = PrimaryAddress(list_.arrUrl[index]);
    row.path = FitFileName(list_.strSaveDir + list_.arrName[index]);
    row.time = Now();
    return row;
  }

  const std::vector<PictureResult>& Results() const { return results_; }

 private:
  // The file that stood at the picture's first choice of name holds the very bytes fetched: it
  // is the picture's own, landed by a run that was killed before it could record it. The new
  // copy goes and the picture keeps that file.
  void TakeFoundFile(size_t index, uint64_t bytes, const std::string& sha256) {
    const std::string found = FitFileName(list_.strSaveDir + list_.arrFoundFile[index]);
    std::error_code error;
    if (std::filesystem::file_size(found, error) != bytes || error || sha256.empty() ||
        FileSha256(found) != sha256) {
      return;
    }
    if (std::filesystem::remove(FitFileName(list_.strSaveDir + list_.arrName[index]), error)) {
      list_.arrName[index] = list_.arrFoundFile[index];
    }
  }

  DownloadList& list_;
  Archive* archive_;
  const PictureOrigin& origin_;
  std::vector<PictureResult> results_;
};

// The counts of an album's pool, its failures and the rows of the pictures it did not reach.
void TakeResults(AppState& app, const PoolRecorder& recorder, Archive* archive,
                 AlbumReport& album) {
  const DownloadList& list = app.downloadList;
  const std::vector<PictureResult>& results = recorder.Results();
  for (size_t index = 0; index < results.size(); ++index) {
    const PictureResult& result = results[index];
    switch (result.state) {
      case PictureResult::State::Written:
        ++album.written;
        break;
      case PictureResult::State::Already:
        ++album.already;
        break;
      case PictureResult::State::Failed:
        if (result.failure == FetchFailure::Stopped) {
          ++album.stopped;
        } else {
          ++album.failed;
          ++album.failedBy[static_cast<size_t>(result.failure)];
          album.failures.push_back(FailedPicture{list.arrUrl[index],
                                                 FitFileName(list.strSaveDir + list.arrName[index]),
                                                 result.error, result.failure});
        }
        break;
      case PictureResult::State::NotStarted: {
        // A stop came first.
        ++album.stopped;
        if (archive != nullptr) {
          PictureRow row = recorder.RowOf(index);
          row.outcome = PictureOutcome::Stopped;
          row.reason = "stopped";
          archive->Record(row);
        }
        break;
      }
    }
  }
}

// A picture the format repair renamed keeps its archive row under its new name.
void RecordRenames(const DownloadList& list, const std::vector<std::string>& before,
                   const PoolRecorder& recorder, Archive* archive) {
  if (archive == nullptr) return;
  const std::vector<PictureResult>& results = recorder.Results();
  for (size_t index = 0; index < before.size() && index < list.arrName.size(); ++index) {
    if (before[index] == list.arrName[index]) continue;
    const PictureResult& result = results[index];
    if (result.state != PictureResult::State::Written &&
        result.state != PictureResult::State::Already) {
      continue;
    }
    PictureRow row = recorder.RowOf(index);
    std::error_code error;
    row.bytes = std::filesystem::file_size(row.path, error);
    if (error) continue;
    row.sha256 = FileSha256(row.path);
    row.outcome = PictureOutcome::Written;
    archive->Record(row);
  }
}

// The album's outcome from what happened to it.
AlbumOutcome DecideOutcome(const AlbumReport& album, bool stopped, bool refused) {
  if (stopped) return AlbumOutcome::Stopped;
  if (refused) return AlbumOutcome::Refused;
  if (!album.pageFailures.empty()) return AlbumOutcome::ListFailed;
  if (album.failed > 0) return AlbumOutcome::Partial;
  if (album.listed == 0) return album.upToDate ? AlbumOutcome::NothingNew : AlbumOutcome::Empty;
  return AlbumOutcome::Complete;
}

// One album of the job: its picture list, then the list file or the pool, the marker and the
// repairs. The report gets what was listed and written, and the album's outcome.
void DownloadAlbum(AppState& app, const Adapters& adapters, const std::string& jobFolder,
                   int selectedCount, const DownloadJobOptions& options, AlbumReport& album) {
  DownloadList& list = app.downloadList;
  list.Clear();
  list.strSaveDir = jobFolder;
  ResumeRunning(app);
  const ST_PERLISTRECORD& entry = app.albumList[static_cast<size_t>(album.albumIndex)];

  char status[96];
  std::snprintf(status, sizeof status, "正在下载第%d/%d个图集", album.position, selectedCount);
  app.host.SetStatus(StatusLine::Main, status);
  app.host.SetStatus(StatusLine::Progress, "......");

  PictureOrigin origin;
  origin.archive = options.archive;
  origin.site = SiteKey(app.nSite.load());
  origin.album = entry.strAddr;
  origin.refetch = options.force || !options.config->resume;
  bool refused = false;
  ListPictures(app, adapters, album.albumIndex, &origin, options.config->pictureListPageCap, album,
               refused);
  album.upToDate = app.nDownState.load() == DOWN_ENOUGH;
  album.listed = list.size();
  if (!list.empty()) album.folder = list.strSaveDir;
  if (entry.nCount > 0 && static_cast<size_t>(entry.nCount) != album.listed && !album.upToDate) {
    album.note = "the site counts " + std::to_string(entry.nCount) + ", " +
                 std::to_string(album.listed) + " listed";
  }

  auto finish = [&](bool stopped) {
    album.outcome = DecideOutcome(album, stopped, refused);
    if (options.archive != nullptr) {
      AlbumRow row;
      row.site = origin.site;
      row.album = origin.album;
      row.name = entry.strName;
      row.folder = album.folder;
      row.outcome = album.outcome;
      row.listed = static_cast<uint32_t>(album.listed);
      row.written = static_cast<uint32_t>(album.written);
      row.already = static_cast<uint32_t>(album.already);
      row.failed = static_cast<uint32_t>(album.failed);
      row.stopped = static_cast<uint32_t>(album.stopped);
      row.note = album.note;
      row.time = Now();
      options.archive->RecordAlbum(row);
    }
  };

  if (app.nDownState.load() == DOWN_STOP) {
    album.stopped = static_cast<int32_t>(album.listed);
    finish(true);
    return;
  }
  if (list.empty()) {
    finish(false);
    return;
  }
  if (SlotHas(app, OPT_THUNDER_ONLY)) {
    const std::string& name = entry.strName;
    if (options.writeList) {
      options.writeList(list, name);
    } else {
      WriteThunderList(list, list.strSaveDir + name + ".lst");
    }
    album.listOnly = true;
    finish(false);
    return;
  }
  app.host.SetStatus(StatusLine::Progress, "已开始下载图片");
  PoolRecorder recorder(list, options.archive, origin);
  if (!RunPool(app, [&recorder](size_t index, const PictureResult& result) {
        recorder.Done(index, result);
      })) {
    album.failed = static_cast<int32_t>(album.listed);
    finish(false);
    return;
  }
  TakeResults(app, recorder, options.archive, album);
  const bool stopped = app.nDownState.load() == DOWN_STOP && album.stopped > 0;
  // The marker says "downloaded up to here": a later run with the skip rule lists nothing from
  // this picture on. It is written only when every picture of the album is there, so that a
  // failed picture is fetched again next time instead of being skipped for good.
  if (app.nDownState.load() != DOWN_STOP &&
      static_cast<size_t>(album.written + album.already) == album.listed) {
    WriteMarker(list.arrUrl.front(), list.strSaveDir);
  }
  const std::vector<std::string> namesBefore = list.arrName;
  if (SlotHas(app, OPT_FIX_FORMAT)) FixFormatList(app);
  if (SlotHas(app, OPT_FIX_ORDER)) FixOrder(app);
  RecordRenames(list, namesBefore, recorder, options.archive);
  finish(stopped);
}

// The end of the job in the main status line: bare "下载完毕" only when every album is complete
// and something was written or was there; otherwise what happened.
std::string EndText(const std::vector<AlbumReport>& albums, bool stopped) {
  size_t listed = 0;
  long written = 0;
  long already = 0;
  long failed = 0;
  int listFailed = 0;
  int refused = 0;
  bool listOnly = false;
  bool allGood = !albums.empty() && !stopped;
  for (const AlbumReport& album : albums) {
    listed += album.listed;
    written += album.written;
    already += album.already;
    failed += album.failed;
    listFailed += album.outcome == AlbumOutcome::ListFailed ? 1 : 0;
    refused += album.outcome == AlbumOutcome::Refused ? 1 : 0;
    listOnly = listOnly || album.listOnly;
    allGood = allGood && OutcomeIsGood(album.outcome);
  }
  if (allGood && (written > 0 || listOnly) && already == 0) return "下载完毕";
  std::string text = "下载完毕：";
  if (listOnly) {
    text += "已生成" + std::to_string(listed) + "张图片的下载列表";
  } else if (listed == 0) {
    text += allGood ? "没有新图片" : "没有可下载的图片";
  } else {
    text += "写入 " + std::to_string(written) + "/" + std::to_string(listed);
    if (already > 0) text += "，已有 " + std::to_string(already);
    if (failed > 0) text += "，失败 " + std::to_string(failed);
  }
  if (listFailed > 0) text += "，" + std::to_string(listFailed) + "个图集列表获取失败";
  if (refused > 0) text += "，" + std::to_string(refused) + "个图集需要验证";
  if (stopped) text += "，已停止";
  return text;
}

}  // namespace

void RunDownloadJob(AppState& app, const Adapters& adapters, const AlbumReportFn& report) {
  DownloadJobOptions options;
  options.report = report;
  RunDownloadJob(app, adapters, options);
}

void RunDownloadJob(AppState& app, const Adapters& adapters, const AlbumReportFn& report,
                    const ListWriterFn& writeList) {
  DownloadJobOptions options;
  options.report = report;
  options.writeList = writeList;
  RunDownloadJob(app, adapters, options);
}

void RunDownloadJob(AppState& app, const Adapters& adapters,
                    const DownloadJobOptions& givenOptions) {
  DownloadJobOptions options = givenOptions;
  if (!options.config) options.config = app.config;
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
  list.names.clear();

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
  std::vector<AlbumReport> albums;
  albums.reserve(selected.size());
  for (size_t position = 0; position < selected.size(); ++position) {
    if (app.nDownState.load() == DOWN_STOP) break;
    AlbumReport album;
    album.position = static_cast<int>(position + 1);
    album.albumIndex = selected[position];
    DownloadAlbum(app, adapters, jobFolder, static_cast<int>(selected.size()), options, album);
    total += album.listed;
    if (options.report) options.report(album);
    // The job keeps the counts, not the lists of failures the front end was given.
    album.failures.clear();
    album.failures.shrink_to_fit();
    albums.push_back(std::move(album));
  }
  const bool stopped = app.nDownState.load() == DOWN_STOP;

  app.host.SetDownloadBusy(false);
  app.host.SetStatus(StatusLine::Main, EndText(albums, stopped));
  app.host.SetStatus(StatusLine::Progress, "");
  if (total > 0 && SlotHas(app, OPT_OPEN_DIR)) app.host.OpenFolder(list.strSaveDir);
  // Last: once idle, the records may be reused by a new job or let go by the front end.
  app.nDownState = DOWN_IDLE;
}

}  // namespace albumora
