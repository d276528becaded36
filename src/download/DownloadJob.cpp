// SPDX-License-Identifier: GPL-3.0-or-later
// The download job: from the ticked albums to files on disk, album by album.
#include "download/DownloadJob.h"
#include "download/Repairs.h"
#include "download/Workers.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
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

void AlbumUser::ShowMessage(const std::string& text, const std::string& caption) {
  spoke_ = true;
  if (Turn()) user_.ShowMessage(text, caption);
}

bool AlbumUser::AskYesNo(const std::string& text, const std::string& caption) {
  spoke_ = true;
  // A stop while the album waited for its turn is no answer.
  if (!Turn()) return false;
  const bool yes = user_.AskYesNo(text, caption);
  if (!yes) declined_ = true;
  return yes;
}

void AlbumUser::OpenLogin(const std::string& address) {
  spoke_ = true;
  if (!Turn()) return;
  loginOpened_ = true;
  user_.OpenLogin(address);
}

JobPictureContext::JobPictureContext(AppState& app, AlbumState& album, uint32_t pageCap)
    : app_(app),
      state_(album),
      pageCap_(pageCap),
      target_{album, {}, {}},
      naming_(true),
      user_(app.host) {}

JobPictureContext::JobPictureContext(AppState& app, AlbumState& album, uint32_t pageCap,
                                     AlbumTurns& turns, size_t position)
    : app_(app),
      state_(album),
      pageCap_(pageCap),
      turns_(&turns),
      position_(position),
      target_{album, {}, {}},
      user_(app.host, &turns, position) {
  target_.shown = [&turns, position] { return turns.IsShown(position); };
  target_.folderChosen = [&turns, position](const std::string& folder) {
    turns.WaitForFolder(position, folder);
  };
}

bool JobPictureContext::Halted() const {
  const uint8_t state = app_.nDownState.load();
  if (state == DOWN_STOP || state_.enough.load()) return true;
  return turns_ == nullptr && state == DOWN_ENOUGH;
}
JobTexts& JobPictureContext::Texts() { return state_.texts; }
User& JobPictureContext::user() { return user_; }
ST_PERLISTRECORD& JobPictureContext::Album() { return state_.album; }
bool JobPictureContext::AddPicture(const std::string& address, const std::string& description,
                                   const std::string& header) {
  pages_.Took();
  // A picture the walk has met on an earlier page of this list is not added twice.
  if (!WalkNotesItem(address + '\n' + description)) return !Halted();
  if (!naming_) {
    if (!turns_->WaitToName(position_)) return false;
    naming_ = true;
  }
  if (turns_ == nullptr) {
    albumora::AddPicture(app_, state_, address, description, header);
  } else if (!albumora::AddPicture(app_, target_, address, description, header)) {
    state_.enough = true;
  }
  return !Halted();
}
uint32_t JobPictureContext::PageCap() const { return pageCap_; }
size_t JobPictureContext::PictureCount() const { return state_.list.size(); }
const NameRule& JobPictureContext::Naming() const { return app_.Rule(); }
void JobPictureContext::PageFailed(const std::string& address, const std::string& reason) const {
  std::lock_guard lock(mutex_);
  pageFailures_.push_back(address + ": " + reason);
}
std::optional<PageDiagnosis> JobPictureContext::Diagnosis() const {
  if (user_.Spoke()) return std::nullopt;
  return pages_.Diagnose(state_.album.nCount);
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

// The job folder: the save path, then the owner texts the album-list job left (made unless in a
// dry run).
bool MakeJobFolder(AppState& app, std::string& folder, bool dryRun) {
  folder = Trim(app.host.SavePathText());
  if (folder.empty()) {
    app.host.ShowMessage("请先设置保存路径");
    return false;
  }
  if (folder.back() != kPathSep) folder += kPathSep;
  folder += app.strOwner;
  folder += app.strOwnerTitle;

  if (dryRun) return true;  // named, not made
  Host& host = app.host;
  SetFolderMessage([&host](const std::string& text) { host.ShowMessage(text); });
  const bool made = EnsureDirPath(folder);
  SetFolderMessage(nullptr);
  if (!made) {
    app.host.ShowMessage("请检测设置的保存路径是否有误");
    return false;
  }
  // One spelling for one folder: absolute, symlinks resolved, so that the archive knows a
  // picture however the save folder was typed ("pics", "A/pics", "/home/a/A/pics").
  std::error_code error;
  const std::filesystem::path real = std::filesystem::canonical(folder, error);
  if (!error) {
    folder = real.string();
    if (folder.back() != kPathSep) folder += kPathSep;
  }
  return true;
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

// The labels every archive row of an album carries, so the rows read well by themselves.
struct AlbumLabels {
  std::string owner;
  std::string albumName;
};

// The pictures of one album in the pool: each result lands in its slot (one writer per slot),
// and every picture gets its archive row at once, as its file lands (or is found there).
class PoolRecorder {
 public:
  PoolRecorder(DownloadList& list, Archive* archive, const PictureOrigin& origin,
               AlbumLabels labels = {})
      : list_(list),
        archive_(archive),
        origin_(origin),
        labels_(std::move(labels)),
        results_(list.size()) {}

  // On the worker's thread; each index is done once.
  void Done(size_t index, const PictureResult& result) {
    results_[index] = result;
    std::string sha256;
    const bool found = index < list_.arrFoundFile.size() && !list_.arrFoundFile[index].empty();
    if (result.state == PictureResult::State::Written && (archive_ != nullptr || found)) {
      sha256 = FileSha256(FitFileName(list_.strSaveDir + list_.arrName[index]));
      if (found) TakeFoundFile(index, result.bytes, sha256);
    }
    if (archive_ == nullptr) return;
    PictureRow row = RowOf(index);
    if (!result.url.empty()) row.url = result.url;
    switch (result.state) {
      case PictureResult::State::Written:
        row.outcome = PictureOutcome::Written;
        row.bytes = result.bytes;
        row.sha256 = sha256;
        break;
      case PictureResult::State::Already: {
        // Found there from an earlier run: the row tells this run met it.
        row.outcome = PictureOutcome::Already;
        if (auto earlier = archive_->FindWritten(row.site, row.album, row.listedUrl)) {
          row.url = earlier->url;
          row.bytes = earlier->bytes;
          row.sha256 = earlier->sha256;
        }
        break;
      }
      default:
        row.outcome = result.failure == FetchFailure::Stopped ? PictureOutcome::Stopped
                                                              : PictureOutcome::Failed;
        row.reason = FailureReason(result.failure);
        row.detail = result.error;
        break;
    }
    archive_->Record(row);
  }

  PictureRow RowOf(size_t index) const {
    PictureRow row;
    row.site = origin_.site;
    row.album = origin_.album;
    row.listedUrl = PrimaryAddress(list_.arrUrl[index]);
    // Not tried: the address the picture would come from first.
    row.url = row.listedUrl.empty() ? FallbackAddress(list_.arrUrl[index]) : row.listedUrl;
    row.path = FitFileName(list_.strSaveDir + list_.arrName[index]);
    row.owner = labels_.owner;
    row.albumName = labels_.albumName;
    row.time = Now();
    return row;
  }

  const std::vector<PictureResult>& Results() const { return results_; }

 private:
  static std::string FallbackAddress(const std::string& line) {
    const size_t cut = line.find("\r\n");
    return cut == std::string::npos ? std::string() : line.substr(cut + 2);
  }

  // A file that stood at one of the picture's names (its first choice, or a numbered form)
  // holds the very bytes fetched: it is the picture's own, landed by a run that was killed
  // before it could record it, or by a run without an archive. The new copy goes and the
  // picture keeps that file.
  void TakeFoundFile(size_t index, uint64_t bytes, const std::string& sha256) {
    if (sha256.empty()) return;
    std::vector<std::string> candidates;
    const std::string& names = list_.arrFoundFile[index];
    for (size_t begin = 0; begin <= names.size();) {
      const size_t end = std::min(names.find('\n', begin), names.size());
      candidates.push_back(names.substr(begin, end - begin));
      begin = end + 1;
    }
    for (const std::string& candidate : candidates) {
      if (candidate.empty()) continue;
      const std::string found = FitFileName(list_.strSaveDir + candidate);
      std::error_code error;
      if (std::filesystem::file_size(found, error) != bytes || error || FileSha256(found) != sha256)
        continue;
      if (std::filesystem::remove(FitFileName(list_.strSaveDir + list_.arrName[index]), error))
        list_.arrName[index] = candidate;
      return;
    }
  }

  DownloadList& list_;
  Archive* archive_;
  const PictureOrigin& origin_;
  const AlbumLabels labels_;
  std::vector<PictureResult> results_;
};

// The counts of an album's pool, its failures and the rows of the pictures it did not reach.
void TakeResults(const DownloadList& list, const PoolRecorder& recorder, Archive* archive,
                 AlbumReport& album) {
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
          // Named at the address that failed last; each address tried beside it.
          FailedPicture failure;
          failure.address = list.arrUrl[index];
          failure.file = FitFileName(list.strSaveDir + list.arrName[index]);
          failure.reason = result.error;
          failure.kind = result.failure;
          failure.lastAddress =
              result.url.empty() ? PrimaryAddress(list.arrUrl[index]) : result.url;
          failure.attempts = result.attempts;
          album.failures.push_back(std::move(failure));
        }
        break;
      case PictureResult::State::NotStarted: {
        // A stop came first.
        ++album.stopped;
        if (archive != nullptr) {
          PictureRow row = recorder.RowOf(index);
          row.outcome = PictureOutcome::Stopped;
          row.reason = FailureReason(FetchFailure::Stopped);
          row.detail = Pool().diskFull.load() ? "not started: the disk is full" : "not started";
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
    if (!result.url.empty()) row.url = result.url;
    std::error_code error;
    row.bytes = std::filesystem::file_size(row.path, error);
    if (error) continue;
    row.sha256 = FileSha256(row.path);
    row.outcome = PictureOutcome::Written;
    archive->Record(row);
  }
}

// The album's outcome from what happened to it. siteCount is the number of pictures the site
// gives for the album (-1: unknown).
AlbumOutcome DecideOutcome(const AlbumReport& album, bool stopped, bool refused,
                           int32_t siteCount) {
  if (stopped) return AlbumOutcome::Stopped;
  if (refused) return AlbumOutcome::Refused;
  if (!album.pageFailures.empty()) return AlbumOutcome::ListFailed;
  if (album.failed > 0) return AlbumOutcome::Partial;
  if (album.listed == 0) {
    if (album.upToDate) return AlbumOutcome::NothingNew;
    // An album the site itself counts empty holds all it has.
    if (siteCount == 0 && !album.listOnly) return AlbumOutcome::Complete;
    return AlbumOutcome::Empty;
  }
  return AlbumOutcome::Complete;
}

// How often a wait looks at the stop state, which nobody signals.
constexpr auto kStopLook = std::chrono::milliseconds(50);

// One album of the job from the start of its picture list to its outcome. Its state is its own:
// the lister thread writes it while the list is read, the job's thread once the list has ended.
struct AlbumRun {
  AlbumRun(const AppState& app, int albumIndex, const std::string& jobFolder)
      : state(app, albumIndex, jobFolder) {}

  AlbumReport report;
  AlbumState state;
  bool refused = false;
  std::unique_ptr<PoolRecorder> recorder;
  std::optional<AlbumProgress> progress;  // of its pictures in the pool
  std::thread lister;
  std::chrono::steady_clock::time_point poolStart;
  // Under the job's mutex:
  bool listEnded = false;   // the adapter has returned
  bool listCut = false;     // a stop came first: the list may lack pictures
  bool listed = false;      // so have those of every album before it: its pictures are queued
  bool queued = false;      // its pictures are in the pool
  bool poolFailed = false;  // no worker could be started for them
  bool ended = false;       // its outcome is told
};

// The albums of one job: the album shown is finished while the picture lists of the next ones
// are read, each on a thread of its own, and their pictures fetched by the one pool. Whatever a
// user sees stays in album order: the status texts and outcomes, the questions (an album read
// ahead waits for its turn to ask), the names (an album names its pictures once every earlier
// list has ended) and the work in a folder (an album waits while an earlier one still works in
// its folder, whose marker and repairs come first).
class AlbumPipeline final : public AlbumTurns {
 public:
  AlbumPipeline(AppState& app, const Adapters& adapters, const DownloadJobOptions& options,
                const std::string& jobFolder, const std::vector<int>& selected)
      : app_(app), adapters_(adapters), options_(options) {
    runs_.reserve(selected.size());
    for (size_t position = 0; position < selected.size(); ++position) {
      // Each album takes its copies of its entry and of the job texts here, on the job's thread,
      // before any list is read.
      auto run = std::make_unique<AlbumRun>(app, selected[position], jobFolder);
      run->report.position = static_cast<int>(position + 1);
      run->report.albumIndex = selected[position];
      PictureOrigin& origin = run->state.origin;
      origin.archive = options.archive;
      origin.site = SiteKey(app.nSite.load());
      origin.album = run->state.album.strAddr;
      origin.refetch = options.force || !options.config->resume;
      origin.dryRun = options.dryRun;
      origin.remoteNames = options.handOver && options.handOverRemote;
      runs_.push_back(std::move(run));
    }
  }
  AlbumPipeline(const AlbumPipeline&) = delete;
  AlbumPipeline& operator=(const AlbumPipeline&) = delete;
  ~AlbumPipeline() override { EndAll(); }

  // The whole job on the calling thread; the reports of the albums told, in order.
  std::vector<AlbumReport> Run();
  // The folder of the last album told (the job folder when it listed nothing).
  const std::string& LastFolder() const { return lastFolder_; }

  bool WaitToName(size_t position) override {
    std::unique_lock lock(mutex_);
    while (listedUpTo_ < position && !Stopped()) changed_.wait_for(lock, kStopLook);
    // After a stop only the album shown names what its list already holds.
    return listedUpTo_ >= position && (!Stopped() || shown_ == position);
  }
  bool WaitToBeShown(size_t position) override {
    std::unique_lock lock(mutex_);
    while (shown_ != position && !Stopped()) changed_.wait_for(lock, kStopLook);
    return shown_ == position;
  }
  bool IsShown(size_t position) const override {
    std::lock_guard lock(mutex_);
    return shown_ == position;
  }
  void WaitForFolder(size_t position, const std::string& folder) override {
    std::unique_lock lock(mutex_);
    auto busy = [&] {
      for (size_t earlier = 0; earlier < position; ++earlier) {
        const AlbumRun& run = *runs_[earlier];
        const DownloadList& list = run.state.list;
        if (!run.ended && !list.empty() && list.strSaveDir == folder) return true;
      }
      return false;
    };
    while (busy() && !Stopped()) changed_.wait_for(lock, kStopLook);
  }

 private:
  bool Stopped() const { return app_.nDownState.load() == DOWN_STOP; }
  void Show(size_t position);
  void StartListers();
  void List(size_t position);
  void ListEnded(size_t position);
  void Queue(AlbumRun& run);
  // Waits until the album's list has ended and its pictures are done; false at a stop.
  bool WaitForAlbum(size_t position);
  void Finish(AlbumRun& run);
  void RecordHandOver(const DownloadList& list, const std::vector<uint8_t>& handed,
                      const AlbumRun& run, AlbumReport& album);
  void EndAll();

  AppState& app_;
  const Adapters& adapters_;
  const DownloadJobOptions& options_;
  std::string lastFolder_;
  std::vector<std::unique_ptr<AlbumRun>> runs_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::mutex queueMutex_;  // albums join the pool one at a time, in order
  size_t shown_ = SIZE_MAX;
  size_t listedUpTo_ = 0;  // albums from the first on whose lists have all ended
  size_t nextLister_ = 0;
  // Last, so that it goes first: its workers use the lists and the mutex above.
  PicturePool pool_;
};

void AlbumPipeline::Show(size_t position) {
  char status[96];
  std::snprintf(status, sizeof status, "正在下载第%zu/%zu个图集", position + 1, runs_.size());
  app_.host.SetStatus(StatusLine::Main, status);
  app_.SetShown({});
  app_.host.SetStatus(StatusLine::Progress, "......");
  {
    std::lock_guard lock(mutex_);
    shown_ = position;
  }
  changed_.notify_all();
}

// Lists start in album order: the album shown, then those after it while the look-ahead allows
// and the pool does not already hold enough work.
void AlbumPipeline::StartListers() {
  const size_t ahead = options_.config->lookAhead;
  const size_t enoughWork = 4 * std::max<size_t>(Pool().threads.load(), 1);
  const size_t shown = shown_;  // written on this thread only
  if (shown >= runs_.size()) return;
  while (nextLister_ < runs_.size() && nextLister_ <= shown + ahead && !Stopped()) {
    if (nextLister_ > shown && pool_.Waiting() >= enoughWork) return;
    const size_t position = nextLister_;
    try {
      runs_[position]->lister = std::thread([this, position] { List(position); });
    } catch (const std::system_error&) {
      // No thread to spare: the album shown is listed here, the others later.
      if (position != shown) return;
      ++nextLister_;
      List(position);
      continue;
    }
    ++nextLister_;
  }
}

void AlbumPipeline::List(size_t position) {
  AlbumRun& run = *runs_[position];
  const int site = app_.nSite.load();
  if (site < 0 || site >= kSiteCount) {
    if (WaitToBeShown(position)) app_.host.ShowMessage("Error ListType Code.");
  } else if (PictureListFn fn = adapters_.PictureList(site, app_.nListType.load())) {
    JobPictureContext context(app_, run.state, options_.config->pictureListPageCap, *this,
                              position);
    {
      FetchStopScope stops(context);
      fn(context);
    }
    run.report.pageFailures = context.PageFailures();
    run.report.diagnosis = context.Diagnosis();
    run.refused =
        context.Person().Declined() || (context.Person().LoginOpened() && run.state.list.empty());
  }
  ListEnded(position);
}

// An album whose list ended, with every album before it, joins the pool: in order, so the
// pictures are fetched album after album.
void AlbumPipeline::ListEnded(size_t position) {
  std::lock_guard queueing(queueMutex_);
  std::vector<AlbumRun*> ready;
  {
    std::lock_guard lock(mutex_);
    runs_[position]->listEnded = true;
    runs_[position]->listCut = Stopped();
    while (listedUpTo_ < runs_.size() && runs_[listedUpTo_]->listEnded) {
      AlbumRun& run = *runs_[listedUpTo_++];
      run.listed = true;
      const DownloadList& list = run.state.list;
      run.queued = !Stopped() && !list.empty() && !SlotHas(app_, OPT_THUNDER_ONLY);
      if (run.queued) {
        run.recorder = std::make_unique<PoolRecorder>(
            run.state.list, options_.archive, run.state.origin,
            AlbumLabels{run.state.texts.strOwner + run.state.texts.strOwnerTitle,
                        run.state.album.strName});
        run.progress.emplace(list.size());
        run.poolStart = std::chrono::steady_clock::now();
        ready.push_back(&run);
      }
    }
  }
  changed_.notify_all();
  for (AlbumRun* run : ready) Queue(*run);
}

void AlbumPipeline::Queue(AlbumRun& run) {
  const bool added = pool_.Add(run.state.list, [&run](size_t index, const PictureResult& result) {
    run.recorder->Done(index, result);
    run.progress->Done(result);
  });
  if (!added) {
    {
      std::lock_guard lock(mutex_);
      run.queued = false;
      run.poolFailed = true;
    }
    run.progress->Abandon();
  }
}

bool AlbumPipeline::WaitForAlbum(size_t position) {
  AlbumRun& run = *runs_[position];
  std::unique_lock lock(mutex_);
  while (!run.listed && !Stopped()) {
    changed_.wait_for(lock, kStopLook);
    lock.unlock();
    StartListers();
    lock.lock();
  }
  if (Stopped()) return false;
  if (!run.queued) return true;
  lock.unlock();
  app_.host.SetStatus(StatusLine::Progress, "已开始下载图片");
  // Every picture done lets a later list start once the queue runs short. The wait ends early
  // at a stop, or when no worker could be started (the album then fails as a whole).
  run.progress->ShowUntilDone(app_, run.state.list, [this] { StartListers(); });
  return !Stopped();
}

std::vector<AlbumReport> AlbumPipeline::Run() {
  std::vector<AlbumReport> reports;
  reports.reserve(runs_.size());
  auto tell = [&](AlbumRun& run) {
    Finish(run);
    if (options_.report) options_.report(run.report);
    // The job keeps the counts, not the lists of failures the front end was given.
    run.report.failures.clear();
    run.report.failures.shrink_to_fit();
    reports.push_back(run.report);
  };
  size_t position = 0;
  for (; position < runs_.size() && !Stopped(); ++position) {
    Show(position);
    StartListers();
    if (!WaitForAlbum(position)) break;
    tell(*runs_[position]);
  }
  if (Stopped()) {
    // Whatever was in flight ends now; each album read so far is told, as stopped.
    Pool().stop = true;
    EndAll();
    for (; position < nextLister_; ++position) tell(*runs_[position]);
  }
  EndAll();
  return reports;
}

// The outcome of one album, on the job's thread: its counts, the list file or the marker, the
// repairs and the archive's album row.
void AlbumPipeline::Finish(AlbumRun& run) {
  if (run.lister.joinable()) run.lister.join();
  AlbumReport& album = run.report;
  DownloadList& list = run.state.list;
  const ST_PERLISTRECORD& entry = run.state.album;
  album.name = entry.strName;
  album.upToDate = run.state.enough.load();
  album.listed = list.size();
  if (!list.empty()) album.folder = list.strSaveDir;
  if (entry.nCount > 0 && static_cast<size_t>(entry.nCount) != album.listed && !album.upToDate) {
    album.note = "the site counts " + std::to_string(entry.nCount) + ", " +
                 std::to_string(album.listed) + " listed";
  }

  bool stopped = false;
  bool queued = false;
  bool poolFailed = false;
  bool listCut = false;
  {
    std::lock_guard lock(mutex_);
    queued = run.queued && run.listed;
    poolFailed = run.poolFailed;
    listCut = run.listCut;
  }
  if (poolFailed) {
    app_.host.ShowMessage("Create thread:DownPicFunc failed.");
    album.failed = static_cast<int32_t>(album.listed);
  } else if (!queued && Stopped()) {
    album.stopped = static_cast<int32_t>(album.listed);
    stopped = true;
  } else if (!queued && !list.empty()) {
    // A download-manager list instead of the pictures.
    std::vector<uint8_t> handed;
    if (options_.handOver) {
      handed = options_.handOver(list, entry.strName);
    } else {
      if (options_.writeList) {
        options_.writeList(list, entry.strName);
      } else {
        WriteThunderList(list, list.strSaveDir + entry.strName + ".lst");
      }
      handed.assign(list.size(), 1);
    }
    album.listOnly = true;
    RecordHandOver(list, handed, run, album);
  } else if (queued) {
    TakeResults(list, *run.recorder, options_.archive, album);
    // A full disk stops the job here: every later picture would fail the same way.
    if (Pool().diskFull.load()) {
      album.diskFull = true;
      for (const FailedPicture& failure : album.failures) {
        if (failure.kind != FetchFailure::DiskFull) continue;
        const size_t colon = failure.reason.rfind(": ");
        album.note =
            "the disk is full (" +
            (colon == std::string::npos ? failure.reason : failure.reason.substr(colon + 2)) +
            "): the job stopped";
        break;
      }
      if (album.note.empty()) album.note = "the disk is full: the job stopped";
      uint8_t state = app_.nDownState.load();
      while (!app_.nDownState.compare_exchange_weak(state, DOWN_STOP)) {
      }
    }
    stopped = Stopped() && album.stopped > 0;
    // The marker says "downloaded up to here": a later run with the skip rule lists nothing
    // from this picture on. It is written only when the whole list was read and every picture
    // of it is there, so that a failed picture is fetched again next time instead of being
    // skipped for good. An album read ahead whose pictures all landed before a stop is whole.
    if (!listCut && static_cast<size_t>(album.written + album.already) == album.listed) {
      WriteMarker(list.arrUrl.front(), list.strSaveDir);
    }
    const std::vector<std::string> namesBefore = list.arrName;
    if (SlotHas(app_, OPT_FIX_FORMAT)) FixFormatList(list);
    // The archive reads the renamed files before the order repair stamps their times: a read
    // after it would move their access times off the list order.
    RecordRenames(list, namesBefore, *run.recorder, options_.archive);
    if (SlotHas(app_, OPT_FIX_ORDER)) FixOrder(list);
    const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::steady_clock::now() - run.poolStart);
    app_.host.PoolFinished(static_cast<long>(elapsed.count()), static_cast<long>(album.listed));
  }
  if (album.listed == 0 && entry.nCount > 0 && !album.upToDate && album.pageFailures.empty() &&
      !stopped && !run.refused) {
    album.note = "the site counts " + std::to_string(entry.nCount) +
                 ", none listed: the page may have changed";
  }
  album.outcome = DecideOutcome(album, stopped, run.refused, entry.nCount);
  if (options_.archive != nullptr) {
    AlbumRow row;
    row.site = run.state.origin.site;
    row.album = run.state.origin.album;
    row.name = entry.strName;
    row.folder = album.folder;
    row.outcome = album.outcome;
    row.listed = static_cast<uint32_t>(album.listed);
    row.written = static_cast<uint32_t>(album.written);
    row.already = static_cast<uint32_t>(album.already);
    row.failed = static_cast<uint32_t>(album.failed);
    row.stopped = static_cast<uint32_t>(album.stopped);
    row.note = album.note;
    if (album.diagnosis) {
      row.note += (row.note.empty() ? "" : "; ") + DiagnosisText(*album.diagnosis);
    }
    row.time = Now();
    row.owner = run.state.texts.strOwner + run.state.texts.strOwnerTitle;
    options_.archive->RecordAlbum(row);
  }
  lastFolder_ = list.strSaveDir;
  {
    std::lock_guard lock(mutex_);
    run.ended = true;
  }
  changed_.notify_all();
  // An album told keeps its report only.
  run.recorder.reset();
  run.state.list = DownloadList{};
}

// A list handed to another program: a row for each picture handed over, counted as already
// there those an earlier run handed over (or wrote).
void AlbumPipeline::RecordHandOver(const DownloadList& list, const std::vector<uint8_t>& handed,
                                   const AlbumRun& run, AlbumReport& album) {
  for (size_t index = 0; index < list.size(); ++index) {
    if (index < list.arrAlready.size() && list.arrAlready[index] != 0) ++album.already;
  }
  if (options_.archive == nullptr) return;
  const ST_PERLISTRECORD& entry = run.state.album;
  for (size_t index = 0; index < list.size() && index < handed.size(); ++index) {
    if (handed[index] == 0) continue;
    PictureRow row;
    row.site = run.state.origin.site;
    row.album = run.state.origin.album;
    row.listedUrl = PrimaryAddress(list.arrUrl[index]);
    row.url = row.listedUrl;
    row.path = FitFileName(list.strSaveDir + list.arrName[index]);
    row.outcome = options_.handOverOutcome;
    row.owner = run.state.texts.strOwner + run.state.texts.strOwnerTitle;
    row.albumName = entry.strName;
    row.time = Now();
    options_.archive->Record(row);
  }
}

// Every lister and worker ends (at once after a stop) before the lists they use go.
void AlbumPipeline::EndAll() {
  for (size_t position = 0; position < nextLister_; ++position) {
    if (runs_[position]->lister.joinable()) runs_[position]->lister.join();
  }
  pool_.Join();
}

// The end of the job in the main status line, always with its counts: "下载完毕：写入 6/6", or
// after a stop "下载已停止：写入 130/300", where the pictures of the albums the stop kept from
// being read count too (as many as the site reported), so the second number is what was ticked.
// An album whose list failed or was refused is named when it is the only one.
std::string EndText(const AlbumList& list, const std::vector<int>& selected,
                    const std::vector<AlbumReport>& albums, bool stopped) {
  size_t listed = 0;
  long written = 0;
  long already = 0;
  long failed = 0;
  std::vector<int> listFailed;
  std::vector<int> refused;
  std::vector<const AlbumReport*> changed;  // a page no longer holds what its family looks for
  bool listOnly = false;
  bool allGood = !albums.empty() && !stopped;
  auto siteCount = [&list](int index) -> size_t {
    if (index < 0 || static_cast<size_t>(index) >= list.size()) return 0;
    return static_cast<size_t>(std::max(list[static_cast<size_t>(index)].nCount, 0));
  };
  std::vector<bool> reported(selected.size(), false);
  for (const AlbumReport& album : albums) {
    const bool cut = stopped && album.outcome == AlbumOutcome::Stopped;
    listed += cut ? std::max(album.listed, siteCount(album.albumIndex)) : album.listed;
    if (album.position >= 1 && static_cast<size_t>(album.position) <= reported.size()) {
      reported[static_cast<size_t>(album.position - 1)] = true;
    }
    written += album.written;
    already += album.already;
    failed += album.failed;
    if (album.outcome == AlbumOutcome::ListFailed) listFailed.push_back(album.albumIndex);
    if (album.outcome == AlbumOutcome::Refused) refused.push_back(album.albumIndex);
    if (album.diagnosis) changed.push_back(&album);
    listOnly = listOnly || album.listOnly;
    allGood = allGood && OutcomeIsGood(album.outcome);
  }
  if (stopped) {
    for (size_t i = 0; i < selected.size(); ++i) {
      if (!reported[i]) listed += siteCount(selected[i]);
    }
  }
  std::string text = stopped ? "下载已停止" : "下载完毕";
  if (listOnly) {
    text += "：已生成" + std::to_string(listed) + "张图片的下载列表";
  } else if (listed == 0) {
    if (!stopped) text += allGood ? "：没有新图片" : "：没有可下载的图片";
  } else {
    text += "：写入 " + std::to_string(written) + "/" + std::to_string(listed);
    if (already > 0) text += "，已有 " + std::to_string(already);
    if (failed > 0) text += "，失败 " + std::to_string(failed);
  }
  auto albumsText = [&list, &text](const std::vector<int>& which, const char* what) {
    if (which.empty()) return;
    const int index = which.front();
    if (which.size() == 1 && index >= 0 && static_cast<size_t>(index) < list.size()) {
      text += "，图集“" + list[static_cast<size_t>(index)].strName + "”" + what;
    } else {
      text += "，" + std::to_string(which.size()) + "个图集" + what;
    }
  };
  albumsText(listFailed, "列表获取失败");
  albumsText(refused, "需要验证");
  if (changed.size() == 1) {
    text +=
        "；图集“" + changed.front()->name + "”：" + DiagnosisTextZh(*changed.front()->diagnosis);
  } else if (changed.size() > 1) {
    text += "；" + std::to_string(changed.size()) + "个图集的网页可能已改版（见“失败的图片”）";
  }
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
  if (!MakeJobFolder(app, jobFolder, options.dryRun)) {
    app.nDownState = DOWN_IDLE;
    return;
  }

  app.host.SetDownloadBusy(true);
  ResumeRunning(app);
  app.nameRegister.Clear();

  const DownParam& down = app.Down();
  PoolParams& pool = Pool();
  pool.minKB = down.wMinKB;
  pool.maxKB = down.wMaxKB;
  pool.threads = down.wThreads;
  pool.timeoutSec = down.wTimeout;
  pool.finished = 0;
  pool.written = 0;
  // A stop pressed before the job started stays a stop for its pool. The flag is cleared before
  // the state is read: a stop pressed in between sets it again afterwards.
  pool.stop = false;
  pool.diskFull = false;
  if (app.nDownState.load() == DOWN_STOP) pool.stop = true;
  // Rows an older version stored relative to the folder it ran in.
  if (options.archive != nullptr) options.archive->AdoptRelativePaths(jobFolder);

  std::vector<int> selected = app.grid.SelectedAlbums(static_cast<int>(app.albumList.size()));
  // A grid row whose album is gone (a stale view) selects nothing.
  std::erase_if(selected, [&app](int index) {
    return index < 0 || static_cast<size_t>(index) >= app.albumList.size();
  });
  app.albumList.nTicked = static_cast<int32_t>(selected.size());
  if (selected.empty()) app.host.ShowMessage("请先勾选要下载的相册");

  std::vector<AlbumReport> albums;
  std::string lastFolder = jobFolder;
  pool.running = true;
  {
    AlbumPipeline pipeline(app, adapters, options, jobFolder, selected);
    albums = pipeline.Run();
    if (!pipeline.LastFolder().empty()) lastFolder = pipeline.LastFolder();
  }
  pool.running = false;
  const bool stopped = app.nDownState.load() == DOWN_STOP;
  size_t total = 0;
  for (const AlbumReport& album : albums) total += album.listed;

  app.host.SetDownloadBusy(false);
  app.host.SetStatus(StatusLine::Main, EndText(app.albumList, selected, albums, stopped));
  app.host.SetStatus(StatusLine::Progress, "");
  if (total > 0 && SlotHas(app, OPT_OPEN_DIR)) app.host.OpenFolder(lastFolder);
  // Last: once idle, the records may be reused by a new job or let go by the front end.
  app.nDownState = DOWN_IDLE;
}
}  // namespace albumora
