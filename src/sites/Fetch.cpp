#include "sites/Fetch.h"

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
  return Get(address, page, codePage_);
}

std::optional<std::string> Fetcher::Get(const std::string& address, const PageOptions& page,
                                        CodePage codePage) {
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
  if (!HttpFetch(request_, response_, 0)) {
    if (job != nullptr && !job->Halted()) {
      job->PageFailed(address,
                      response_.strError.empty() ? "no usable answer" : response_.strError);
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
