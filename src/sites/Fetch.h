// SPDX-License-Identifier: GPL-3.0-or-later
// The one fetch recipe every adapter follows: one request per adapter call, 20 s time-outs,
// "Accept-Encoding: gzip, deflate" with an optional Referer or cookie line, optional markers,
// HttpFetch with flags 0, and the answer read as text in the site's code page.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "net/HttpEngine.h"
#include "sites/Context.h"
#include "sites/Pages.h"
#include "text/StringCtrl.h"

namespace albumora {

// What a page asks of the recipe beyond the address. Everything left empty is not sent or not
// applied.
struct PageOptions {
  std::string referer;    // "Referer: %s"
  std::string cookie;     // "cookie: %s", a cookie text of GetCookies
  std::string cutStart;   // start cut marker of the engine
  std::string cutEnd;     // stop-reading marker of the engine
  std::string retryMark;  // an answer containing it counts as failed
  uint32_t minLen = 0;    // HttpFetch accepts only longer answers
  // Asks in all after a failure or an answer the checks above reject. Every re-ask takes one
  // from the page's one retry budget (the engine's retries, which also pays for re-asks after
  // a refusal or a transient error), so a page is asked at most 1 + retries times in all.
  uint8_t tries = 1;
  uint8_t retryPause = 1;  // seconds after a failed attempt
};

class Fetcher {
 public:
  // The request of one adapter call; answers are read in codePage (GBK sites: Gbk).
  explicit Fetcher(CodePage codePage = CodePage::Gbk);

  // Fetches the address and returns the answer as text; nothing when the fetch failed. An empty
  // answer is an empty text.
  std::optional<std::string> Get(const std::string& address, const PageOptions& page = {});
  // The same with the answer's code page chosen for this page.
  std::optional<std::string> Get(const std::string& address, const PageOptions& page,
                                 CodePage codePage);
  // The same for a page of one of the family's kinds: the answer is checked against the kind's
  // markers, and the page noted in the log of the adapter call that runs.
  std::optional<std::string> Get(const PageMarkers& kind, const std::string& address,
                                 const PageOptions& page = {});
  std::optional<std::string> Get(const PageMarkers& kind, const std::string& address,
                                 const PageOptions& page, CodePage codePage);

  // For the few requests the recipe cannot express.
  HttpRequest& Request() { return request_; }
  const HttpResponse& Response() const { return response_; }

 private:
  std::optional<std::string> Fetch(const PageMarkers* kind, const std::string& address,
                                   const PageOptions& page, CodePage codePage);

  HttpRequest request_;
  HttpResponse response_;
  CodePage codePage_;
};

// While it lives, every Fetcher on this thread ends an exchange in flight as soon as the job
// halts (a stop, or "enough"): the jobs open one around each adapter call, so a stop reaches a
// stalled page at once in every adapter.
class FetchStopScope {
 public:
  explicit FetchStopScope(const JobContext& job);
  ~FetchStopScope();
  FetchStopScope(const FetchStopScope&) = delete;
  FetchStopScope& operator=(const FetchStopScope&) = delete;

 private:
  const JobContext* previous_;
};

// The recipe's header text: "Accept-Encoding: gzip, deflate", then the Referer or cookie line.
std::string RecipeHeaders(const PageOptions& page);

// "a\/b" as JSON writes it becomes "a/b".
std::string Unslash(std::string text);

// A template with one "%s", filled.
std::string FillTemplate(std::string_view pattern, std::string_view value);

}  // namespace albumora
