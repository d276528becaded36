// SPDX-License-Identifier: GPL-3.0-or-later
// The download job: from the ticked albums to files on disk. The albums are told, named and
// finished one after another, while the picture lists of the next few are read and their
// pictures fetched by the one worker pool of the job.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "download/Naming.h"
#include "download/Workers.h"
#include "model/Config.h"
#include "net/HttpEngine.h"
#include "sites/Context.h"
#include "sites/Pages.h"

namespace albumora {

struct AppState;
class Adapters;
struct DownloadList;

// What an album of a running job waits for while its picture list is read ahead of its turn.
// A stop ends each wait at once: false unless the turn had come.
class AlbumTurns {
 public:
  virtual ~AlbumTurns() = default;
  // Until every earlier album's list has ended: the names are given in album order.
  virtual bool WaitToName(size_t position) = 0;
  // Until the album is the one shown: the person is asked things in album order.
  virtual bool WaitToBeShown(size_t position) = 0;
  virtual bool IsShown(size_t position) const = 0;
  // Until no earlier album still works in the folder (its marker and repairs come first).
  virtual void WaitForFolder(size_t position, const std::string& folder) = 0;
};

// The person as the picture-list adapters of one album see them: every call goes to the front
// end (within a job, once the album is the one shown), and a question answered No or a login
// window opened is remembered for the album's outcome.
class AlbumUser : public User {
 public:
  explicit AlbumUser(User& user, AlbumTurns* turns = nullptr, size_t position = 0)
      : user_(user), turns_(turns), position_(position) {}
  std::string AddressText() override { return user_.AddressText(); }
  void ShowMessage(const std::string& text, const std::string& caption) override;
  bool AskYesNo(const std::string& text, const std::string& caption) override;
  void OpenLogin(const std::string& address) override;
  bool Declined() const { return declined_; }
  bool LoginOpened() const { return loginOpened_; }
  // The family told the person something (a message, a question, the login window).
  bool Spoke() const { return spoke_; }

 private:
  bool Turn() { return turns_ == nullptr || turns_->WaitToBeShown(position_); }

  User& user_;
  AlbumTurns* turns_;
  size_t position_;
  bool declined_ = false;
  bool loginOpened_ = false;
  bool spoke_ = false;
};

// The picture-list side adapters see, for one album: everything it hands out belongs to the
// album's own state (its entry, its texts, its list); of the job it reads only the stop state,
// the naming rules and the page cap. Alone (the album listed on its own), "enough" also sets
// app.nDownState; within a job, the album's turns order its names and questions.
class JobPictureContext : public PictureContext {
 public:
  JobPictureContext(AppState& app, AlbumState& album,
                    uint32_t pageCap = Config{}.pictureListPageCap);
  JobPictureContext(AppState& app, AlbumState& album, uint32_t pageCap, AlbumTurns& turns,
                    size_t position);
  bool Halted() const override;
  JobTexts& Texts() override;
  User& user() override;
  ST_PERLISTRECORD& Album() override;
  bool AddPicture(const std::string& address, const std::string& description,
                  const std::string& header) override;
  size_t PictureCount() const override;
  const NameRule& Naming() const override;
  void PageFailed(const std::string& address, const std::string& reason) const override;
  uint32_t PageCap() const override;
  PageLog* Pages() const override { return &pages_; }

  const AlbumUser& Person() const { return user_; }
  // When the list took no picture from a page that should have yielded some (or none where the
  // site counts some): that page and what it lacks. Nothing when the family spoke.
  std::optional<PageDiagnosis> Diagnosis() const;
  // "address: reason" of every page of the list that failed.
  std::vector<std::string> PageFailures() const;

 private:
  AppState& app_;
  AlbumState& state_;
  uint32_t pageCap_;
  AlbumTurns* turns_ = nullptr;  // none: the album listed on its own
  size_t position_ = 0;
  AlbumPictures target_;
  bool naming_ = false;  // the album's turn to name has come
  AlbumUser user_;
  mutable std::mutex mutex_;
  mutable std::vector<std::string> pageFailures_;
  mutable PageLog pages_{kYieldsPictures};
};

// A picture that was not written, for the front ends' lists of failures.
struct FailedPicture {
  std::string address;  // the address line (a fallback after "\r\n")
  std::string file;     // the target file
  std::string reason;   // the engine's words at the last address tried ("pics.example.com:
                        // HTTP 404 Not Found")
  FetchFailure kind = FetchFailure::Network;  // the failure at the last address tried
  std::string lastAddress;                    // the last address tried
  std::vector<PictureAttempt> attempts;       // each address tried and what it gave
};

// What the job tells a front end after each album it processed.
struct AlbumReport {
  int position = 0;     // 1-based in the selected list
  int albumIndex = 0;   // in the AlbumList
  std::string name;     // the album's name as its picture list left it
  size_t listed = 0;    // pictures the adapter listed (after the skip rule)
  int32_t written = 0;  // picture files the pool wrote
  std::string folder;   // the album folder; empty when the album listed nothing
  std::array<int32_t, kFetchFailureKinds> failedBy{};  // not written, by reason (not stopped)
  bool listOnly = false;  // a download-manager list was written instead of the pictures
  bool upToDate = false;  // the skip rule met the picture of an earlier download
  AlbumOutcome outcome = AlbumOutcome::Empty;
  int32_t already = 0;  // written by an earlier run and still there: not fetched again
  int32_t failed = 0;   // not written, a stop aside
  int32_t stopped = 0;  // cut short or never started because of a stop
  std::vector<FailedPicture> failures;
  std::vector<std::string> pageFailures;  // "address: reason" of each failed list page
  std::string note;                       // e.g. the site's count differs from the pictures listed
  // The job stopped at this album because the disk (or the quota) is full; the system's words
  // ("No space left on device") are in the note.
  bool diskFull = false;
  // The list took nothing from a page that answered: which page, and the markers it lacks
  // (DiagnosisText and DiagnosisTextZh give the one-line texts).
  std::optional<PageDiagnosis> diagnosis;
};
using AlbumReportFn = std::function<void(const AlbumReport&)>;

// Writes an album's list for a download manager where the job would write the Thunder list
// (OPT_THUNDER_ONLY): the list and the album's name.
using ListWriterFn = std::function<void(const DownloadList& list, const std::string& albumName)>;

// Hands an album's list to another program instead of the pool (an aria2 daemon, its input
// file): per picture of the list, 1 when it was handed over. A picture marked in arrAlready was
// handed over by an earlier run (or written) and is not given again.
using HandOverFn =
    std::function<std::vector<uint8_t>(const DownloadList& list, const std::string& albumName)>;

struct DownloadJobOptions {
  AlbumReportFn report;
  ListWriterFn writeList;
  // When set, it replaces writeList, and what it handed over gets archive rows of
  // handOverOutcome (Queued or Exported); a list written by writeList is recorded Exported.
  HandOverFn handOver;
  PictureOutcome handOverOutcome = PictureOutcome::Exported;
  // handOver gives the pictures to a program on another machine: names are kept free of those
  // handed over before, not of the local disk's files.
  bool handOverRemote = false;
  // The download archive: a row per picture and album; a rerun fetches only what is missing.
  // None: every picture is fetched and nothing is recorded.
  Archive* archive = nullptr;
  // Fetch again what the archive records as written (each picture into its own file).
  bool force = false;
  // The config values of the job (resume, the page cap), taken by the front end as the job
  // starts, so that a settings dialog may change the app's meanwhile; none: the app's.
  std::optional<Config> config;
  // A dry run (with a list writer, the slot's list-only option on): every album is listed and
  // its pictures named, and each list goes to writeList; no folder is made, no file written.
  bool dryRun = false;
};

// The job body, on the calling thread, with the adapters of its caller (the registry's
// SiteAdapters(), or a test's).
void RunDownloadJob(AppState& app, const Adapters& adapters,
                    const DownloadJobOptions& options = {});
void RunDownloadJob(AppState& app, const Adapters& adapters, const AlbumReportFn& report);
void RunDownloadJob(AppState& app, const Adapters& adapters, const AlbumReportFn& report,
                    const ListWriterFn& writeList);

// The outcome's word for the command line and the archive ("complete", "list failed", ...).
const char* OutcomeName(AlbumOutcome outcome);
// Whether an album with this outcome needs nothing more (complete, or nothing new).
bool OutcomeIsGood(AlbumOutcome outcome);

}  // namespace albumora
