// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SiteCheck.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>

#include "albumlist/AlbumListJob.h"
#include "model/AppState.h"
#include "sites/Fetch.h"
#include "sites/Registry.h"

namespace albumora {

namespace {

// The check's own "window": status texts and grid calls go nowhere, messages are kept, every
// question is answered No and no login window opens.
class CheckHost : public Host {
 public:
  std::string address;
  std::vector<std::string> messages;

  std::string AddressText() override { return address; }
  void ShowMessage(const std::string& text, const std::string&) override { Keep(text); }
  bool AskYesNo(const std::string& text, const std::string&) override {
    Keep(text + " (no)");
    return false;
  }
  void OpenLogin(const std::string& at) override { Keep("login needed: " + at); }
  std::string SavePathText() override { return {}; }
  void SetStatus(StatusLine, const std::string&) override {}
  void SetListBusy(bool, bool) override {}
  void SetDownloadBusy(bool) override {}
  void GridReset(bool) override {}
  void GridRowAdded(int) override {}
  void GridCellChanged(int, int) override {}
  void GridFinished() override {}
  int LoadThumbnail(const std::string&) override { return -1; }
  void AddressRemembered(const std::string&) override {}
  void PoolFinished(long, long) override {}
  void OpenFolder(const std::string&) override {}

 private:
  void Keep(const std::string& text) {
    std::lock_guard lock(mutex_);
    messages.push_back(text);
  }
  std::mutex mutex_;
};

// One album's picture list as the check reads it: pictures are counted, never named or saved,
// and the list ends after a few pages.
class CheckPictureContext : public PictureContext {
 public:
  CheckPictureContext(AppState& app, size_t index, const SiteCheckLimits& limits,
                      const std::function<bool()>& stop)
      : app_(app), index_(index), limits_(limits), stop_(stop), person_(app.host, pages_) {}

  bool Halted() const override {
    return (stop_ && stop_()) || pictures_ >= limits_.pictures ||
           pages_.Count() >= limits_.picturePages;
  }
  JobTexts& Texts() override { return app_; }
  User& user() override { return person_; }
  ST_PERLISTRECORD& Album() override { return app_.albumList[index_]; }
  bool AddPicture(const std::string&, const std::string&, const std::string&) override {
    pages_.Took();
    ++pictures_;
    return !Halted();
  }
  size_t PictureCount() const override { return pictures_; }
  const NameRule& Naming() const override { return app_.Rule(); }
  // The check's own page limit ends the list silently (see Halted).
  uint32_t PageCap() const override { return 0; }
  PageLog* Pages() const override { return &pages_; }

 private:
  // The person, noting that the family spoke.
  class Person : public User {
   public:
    Person(User& user, PageLog& pages) : user_(user), pages_(pages) {}
    std::string AddressText() override { return user_.AddressText(); }
    void ShowMessage(const std::string& text, const std::string& caption) override {
      pages_.Spoke();
      user_.ShowMessage(text, caption);
    }
    bool AskYesNo(const std::string& text, const std::string& caption) override {
      pages_.Spoke();
      return user_.AskYesNo(text, caption);
    }
    void OpenLogin(const std::string& address) override {
      pages_.Spoke();
      user_.OpenLogin(address);
    }

   private:
    User& user_;
    PageLog& pages_;
  };

  AppState& app_;
  size_t index_;
  const SiteCheckLimits& limits_;
  const std::function<bool()>& stop_;
  mutable PageLog pages_{kYieldsPictures};
  Person person_;
  size_t pictures_ = 0;
};

// An album whose pictures a check can read without a password or a login.
bool Readable(const ST_PERLISTRECORD& album) {
  const bool closed = album.nFlags > 0 && (album.nFlags & (FLAG_ENCRYPTED | FLAG_PRIVATE)) != 0;
  return !closed && album.nCount != 0;
}

}  // namespace

bool StepFailed(const SiteCheckReport& report, size_t index) {
  const CheckStep& step = report.steps[index];
  const PageStep& page = step.page;
  if (!page.checked || (page.yields & (kYieldsAlbums | kYieldsPictures)) == 0 ||
      page.status != 200 || page.bytes == 0 || page.saysEmpty || page.items > 0 ||
      page.missing.empty()) {
    return false;
  }
  for (size_t earlier = 0; earlier < index; ++earlier) {
    const CheckStep& before = report.steps[earlier];
    if (before.album == step.album && before.page.kind == page.kind && before.page.items > 0) {
      return false;
    }
  }
  return true;
}

bool SiteCheckReport::ListFailed() const {
  if (albums == 0) return true;
  for (size_t index = 0; index < steps.size(); ++index) {
    if (steps[index].album == 0 && StepFailed(*this, index)) return true;
  }
  return false;
}

bool SiteCheckReport::Ok() const {
  if (refused || stopped || ListFailed()) return false;
  for (const Album& album : checked) {
    if (album.pictures == 0) return false;
  }
  for (size_t index = 0; index < steps.size(); ++index) {
    if (StepFailed(*this, index)) return false;
  }
  return true;
}

SiteCheckReport RunSiteCheck(int site, const std::string& address, const SettingsRecord& settings,
                             const Config& config, const SiteCheckLimits& limits,
                             const std::function<bool()>& stop) {
  SiteCheckReport report;
  report.site = site;
  report.address = address;
  CheckHost host;
  host.address = address;
  AppState app(host);
  app.settings = settings;
  app.config = config;
  app.config.albumListPageCap = limits.listPages;
  app.config.pictureListPageCap = 1;
  app.nSite = site;
  app.nListType = LT_NONE;
  app.bReady = 1;

  // A stop reaches the album list as the window's stop button would.
  std::atomic<bool> done{false};
  std::thread watcher;
  if (stop) {
    watcher = std::thread([&] {
      while (!done.load()) {
        if (stop()) {
          uint8_t running = LIST_RUNNING;
          app.nListState.compare_exchange_strong(running, LIST_STOP);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
    });
  }
  ListPages pages;
  const ListOutcome outcome = RunAlbumList(app, SiteAdapters(), &pages);
  done = true;
  if (watcher.joinable()) watcher.join();
  report.refused = outcome == ListOutcome::Refused;
  for (PageStep& step : pages.steps) report.steps.push_back(CheckStep{0, std::move(step)});
  report.albums = app.albumList.size();
  report.listDiagnosis = pages.diagnosis;

  const PictureListFn pictureList = SiteAdapters().PictureList(site, app.nListType.load());
  app.nDownState = DOWN_RUNNING;
  for (size_t index = 0; pictureList != nullptr && index < app.albumList.size() &&
                         report.checked.size() < limits.albums;
       ++index) {
    if (stop && stop()) break;
    if (!Readable(app.albumList[index])) continue;
    CheckPictureContext context(app, index, limits, stop);
    {
      FetchStopScope stops(context);
      pictureList(context);
    }
    SiteCheckReport::Album album;
    album.row = static_cast<int>(index) + 1;
    album.name = app.albumList[index].strName;
    album.pictures = context.PictureCount();
    album.diagnosis = context.Pages()->Diagnose(app.albumList[index].nCount);
    for (PageStep& step : context.Pages()->Steps()) {
      report.steps.push_back(CheckStep{album.row, std::move(step)});
    }
    report.checked.push_back(std::move(album));
  }
  app.nDownState = DOWN_IDLE;
  report.stopped = stop && stop();
  report.messages = host.messages;
  return report;
}

std::string CheckSideText(const CheckStep& step) {
  return step.album == 0 ? std::string("albums") : "album " + std::to_string(step.album);
}

namespace {

std::string Markers(const std::vector<const char*>& markers) {
  std::string text;
  for (const char* marker : markers)
    text += (text.empty() ? "`" : ", `") + std::string(marker) + "`";
  return text.empty() ? "-" : text;
}

}  // namespace

std::string FoundMarkersText(const PageStep& step) {
  return step.checked ? Markers(step.found) : "-";
}

std::string MissingMarkersText(const PageStep& step) {
  return step.checked ? Markers(step.missing) : "-";
}

}  // namespace albumora
