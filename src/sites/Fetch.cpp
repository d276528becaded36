// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/Fetch.h"

#include <chrono>

#include "sites/Walk.h"

namespace albumora {

namespace {

// The job whose adapter runs on this thread, while a FetchStopScope lives.
thread_local const JobContext* tCurrentJob = nullptr;

unsigned TextFlags(CodePage codePage) {
  switch (codePage) {
    case CodePage::Utf8:
      return TEXT_GUNZIP | TEXT_UTF8;
    case CodePage::Big5:
      return TEXT_GUNZIP | TEXT_BIG5;
    case CodePage::Gbk:
      break;
  }
  return TEXT_GUNZIP;
}

}  // namespace

FetchStopScope::FetchStopScope(const JobContext& job) : previous_(tCurrentJob) {
  tCurrentJob = &job;
}

FetchStopScope::~FetchStopScope() { tCurrentJob = previous_; }

std::string RecipeHeaders(const PageOptions& page) {
  std::string headers = "Accept-Encoding: gzip, deflate";
  if (!page.referer.empty()) headers += "\r\nReferer: " + page.referer;
  if (!page.cookie.empty()) headers += "\r\ncookie: " + page.cookie;
  return headers;
}

Fetcher::Fetcher(CodePage codePage) : codePage_(codePage) {
  InitRequest(request_, std::string(), std::string(), 20000);
}

std::optional<std::string> Fetcher::Get(const std::string& address, const PageOptions& page) {
  return Fetch(nullptr, address, page, codePage_);
}

std::optional<std::string> Fetcher::Get(const std::string& address, const PageOptions& page,
                                        CodePage codePage) {
  return Fetch(nullptr, address, page, codePage);
}

std::optional<std::string> Fetcher::Get(const PageMarkers& kind, const std::string& address,
                                        const PageOptions& page) {
  return Fetch(&kind, address, page, codePage_);
}

std::optional<std::string> Fetcher::Get(const PageMarkers& kind, const std::string& address,
                                        const PageOptions& page, CodePage codePage) {
  return Fetch(&kind, address, page, codePage);
}

std::optional<std::string> Fetcher::Fetch(const PageMarkers* kind, const std::string& address,
                                          const PageOptions& page, CodePage codePage) {
  request_.strUrl = address;
  request_.strHeaders = RecipeHeaders(page);
  request_.cutStart = page.cutStart;
  request_.cutEnd = page.cutEnd;
  request_.retryMark = page.retryMark;
  request_.nMinLen = page.minLen;
  request_.nTries = page.tries;
  request_.nRetryPause = page.retryPause;
  if (const JobContext* job = tCurrentJob) {
    request_.stopRequested = [job] { return job->Halted(); };
  } else {
    request_.stopRequested = nullptr;
  }
  response_ = HttpResponse{};
  const JobContext* job = tCurrentJob;
  PageLog* log = job != nullptr ? job->Pages() : nullptr;
  PageStep step;
  if (log != nullptr) {
    step.address = address;
    if (kind != nullptr) {
      step.kind = kind->kind;
      step.yields = kind->yields;
      step.checked = true;
    }
  }
  const auto start = std::chrono::steady_clock::now();
  const bool fetched = HttpFetch(request_, response_, 0);
  if (std::shared_ptr<PageRecorder> recorder = CurrentPageRecorder()) {
    recorder->Record(request_, response_);
  }
  if (log != nullptr) {
    step.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    step.status = response_.nStatus;
  }
  if (!fetched) {
    if (job != nullptr && !job->Halted()) {
      job->PageFailed(address,
                      response_.strError.empty() ? "no usable answer" : response_.strError);
    }
    if (log != nullptr) {
      step.error = response_.strError.empty() ? "no usable answer" : response_.strError;
      log->Read(std::move(step));
    }
    return std::nullopt;
  }
  if (job != nullptr && response_.nStatus >= 400) {
    job->PageFailed(address, "HTTP " + std::to_string(response_.nStatus));
  }
  std::string text;
  bool intact = true;
  GetResponseText(response_, text, TextFlags(codePage), &intact);
  if (job != nullptr && !intact) job->PageFailed(address, "a cut or broken compressed answer");
  if (log != nullptr) {
    // One search per marker, on the answer already in memory.
    step.bytes = text.size();
    if (kind != nullptr) {
      for (const char* marker : kind->markers) {
        (HoldsMarker(text, marker) ? step.found : step.missing).push_back(marker);
      }
      for (const char* nothing : kind->nothing)
        step.saysEmpty = step.saysEmpty || HoldsMarker(text, nothing);
    }
    log->Read(std::move(step));
  }
  WalkNotesAnswer(address, text);
  return text;
}

std::string Unslash(std::string text) {
  ReplaceAll(text, "\\/", "/");
  return text;
}

std::string FillTemplate(std::string_view pattern, std::string_view value) {
  std::string out(pattern);
  const size_t at = out.find("%s");
  if (at != std::string::npos) out.replace(at, 2, value);
  return out;
}

}  // namespace albumora
