// SPDX-License-Identifier: GPL-3.0-or-later
#include "albumlist/AlbumListJob.h"

#include <cstdio>
#include <system_error>
#include <thread>

#include "albumlist/AlbumRows.h"
#include "albumlist/CoverQueue.h"
#include "fs/FileNames.h"
#include "fs/ProgramFolder.h"
#include "model/AppState.h"
#include "model/Settings.h"
#include "sites/Context.h"
#include "sites/Fetch.h"
#include "sites/Registry.h"
#include "sites/Walk.h"
#include "text/StringCtrl.h"

namespace albumora {

const char* const kEmptyAddressMessage = "请输入正确的相册网址（QQ空间可直接输入QQ号）";

bool JobListContext::Halted() const { return app_.nListState.load() == LIST_STOP; }
JobTexts& JobListContext::Texts() { return app_; }
User& JobListContext::user() { return person_; }
bool JobListContext::Publish(const ST_PERLISTRECORD& album) {
  pages_.Took();
  // The page walk tells an album again from a new one by its address and the site's name.
  if (WalkNotesItem(album.strAddr + '\n' + album.strName)) PublishAlbum(album, app_, covers_);
  return !Halted();
}

std::string JobListContext::Person::AddressText() { return app_.host.AddressText(); }
void JobListContext::Person::ShowMessage(const std::string& text, const std::string& caption) {
  pages_.Spoke();
  app_.host.ShowMessage(text, caption);
}
bool JobListContext::Person::AskYesNo(const std::string& text, const std::string& caption) {
  pages_.Spoke();
  return app_.host.AskYesNo(text, caption);
}
void JobListContext::Person::OpenLogin(const std::string& address) {
  pages_.Spoke();
  app_.host.OpenLogin(address);
}
size_t JobListContext::AlbumCount() const { return app_.albumList.size(); }
uint32_t JobListContext::PageCap() const { return app_.config.albumListPageCap; }
void JobListContext::PageFailed(const std::string&, const std::string&) const {
  if (failedPages_ != nullptr) ++*failedPages_;
}

namespace {

// Cleans an owner text as a folder name and ends it with the separator.
void FinishOwner(std::string& owner) {
  CleanFileName(owner, 0, false);
  if (!owner.empty() && owner.back() != kPathSep) owner += kPathSep;
}

std::string Format(const char* pattern, size_t n) {
  char text[128];
  std::snprintf(text, sizeof text, pattern, static_cast<int>(n));
  return text;
}

void RunPlan(AppState& app, const Adapters& adapters, ListPlan plan, CoverQueue& covers,
             std::atomic<size_t>& failedPages, ListPages* pages) {
  if (!plan.idLookupUrl.empty() && plan.lookupId != nullptr) {
    std::string id;
    JobListContext lookup(app, &covers);
    bool found = false;
    {
      FetchStopScope stops(lookup);
      found = plan.lookupId(plan.idLookupUrl, id);
    }
    if (pages != nullptr) pages->steps = lookup.Pages()->Steps();
    if (!found) {
      // The address form, and with it the list type, was settled before the lookup.
      if (!plan.calls.empty()) app.nListType = plan.calls.front().nListType;
      return;
    }
    if (!plan.calls.empty()) plan.calls.front().address = Trim(id);
  }
  for (const AdapterCall& call : plan.calls) {
    if (call.onlyWhenEmpty && !app.albumList.empty()) continue;
    if (call.siteParam1) app.strSiteParam1 = *call.siteParam1;
    if (call.siteParam2) app.strSiteParam2 = *call.siteParam2;
    if (call.ownerBefore) app.strOwner = *call.ownerBefore;
    app.nListType = call.nListType;
    if (AlbumListFn adapter = adapters.AlbumList(app.nSite.load(), call.nListType)) {
      JobListContext context(app, &covers, &failedPages);
      {
        FetchStopScope stops(context);
        adapter(call.address, context);
      }
      if (pages != nullptr) {
        for (PageStep& step : context.Pages()->Steps()) pages->steps.push_back(std::move(step));
        if (!pages->diagnosis) pages->diagnosis = context.Pages()->Diagnose();
      }
    }
    if (call.ownerAfter) app.strOwner = *call.ownerAfter;
  }
  if (pages != nullptr && !app.albumList.empty()) pages->diagnosis.reset();
  if (app.albumList.empty() && !plan.emptyMessage.empty()) {
    app.host.ShowMessage(plan.emptyMessage);
  }
}

void Finish(AppState& app, const std::string& typed, size_t failedPages) {
  FinishOwner(app.strOwner);
  FinishOwner(app.strOwnerTitle);
  app.host.GridFinished();
  const size_t n = app.albumList.size();
  app.host.SetStatus(StatusLine::ListTitle, Format("相册列表(共%d个)", n));
  // A list that a stop or a failed page cut short says so.
  const char* status = app.nListState.load() == LIST_STOP ? "获取相册列表已终止，共%d个"
                       : failedPages == 0                 ? "获取相册列表完成，共%d个"
                       : n == 0                           ? "获取相册列表失败"
                                : "获取相册列表未完成，共%d个";
  app.host.SetStatus(StatusLine::Main, Format(status, n));
  app.host.SetListBusy(false, n > 0);
  if (n > 0 && RememberRecent(app.settings, 0, typed)) {
    app.host.AddressRemembered(typed);
    SaveSettings(app.settings, ProgramFile("soft.dat"));
  }
  // Last: whoever waits for the idle state finds the job done with every record.
  app.nListState = LIST_IDLE;
}

}  // namespace

void GetAlbumList(AppState& app, const Adapters& adapters) { RunAlbumList(app, adapters); }

ListOutcome RunAlbumList(AppState& app, const Adapters& adapters) {
  return RunAlbumList(app, adapters, nullptr);
}

ListOutcome RunAlbumList(AppState& app, const Adapters& adapters, ListPages* pages) {
  if (pages != nullptr) *pages = ListPages{};
  Host& host = app.host;
  // Reset for the current view.
  const bool preview = app.bPreview.load();
  app.grid.Reset(preview);
  host.GridReset(preview);
  app.albumList.Clear();
  host.ClearThumbnails();
  app.strOwner.clear();
  app.strOwnerTitle.clear();

  const std::string typed = Trim(host.AddressText());
  if (typed.empty()) {
    host.ShowMessage(kEmptyAddressMessage);
    app.nListState = LIST_IDLE;
    return ListOutcome::Refused;
  }

  // Busy form.
  app.nListState = LIST_RUNNING;
  host.SetListBusy(true, false);
  host.SetStatus(StatusLine::ListTitle, "相册列表");
  host.SetStatus(StatusLine::Main, "正在获取相册列表，请稍等...");
  host.SetStatus(StatusLine::Progress, "");

  ListOutcome outcome = ListOutcome::Ran;
  std::atomic<size_t> failedPages{0};
  const std::string addr = HttpForm(typed);
  const int site = app.nSite.load();
  if (!Contains(addr, "http://") && site != SITE_QZONE) {
    // Only Qzone takes a bare account number.
    host.ShowMessage(kEmptyAddressMessage);
    outcome = ListOutcome::Refused;
  } else {
    // The list goes on while covers land; the job ends once they have all been loaded.
    CoverQueue covers(app, [&app] { return app.nListState.load() == LIST_STOP; });
    RunPlan(app, adapters, adapters.Plan(site, addr), covers, failedPages, pages);
    covers.Finish();
  }
  Finish(app, typed, failedPages.load());
  return outcome;
}

}  // namespace albumora
