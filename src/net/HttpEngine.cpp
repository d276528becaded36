// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/HttpEngine.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>

#include "fs/FileNames.h"
#include "net/CookieStore.h"
#include "net/CurlSupport.h"
#include "net/Politeness.h"
#include "net/SaveStream.h"
#include "text/StringCtrl.h"

namespace albumora {

const char* const kUserAgent =
    "Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1; Trident/4.0; .NET CLR 3.0.04506.648; .NET "
    "CLR 3.5.21022; .NET CLR 2.0.50727;)";

namespace {

using Clock = std::chrono::steady_clock;

struct ProxySetting {
  std::mutex mutex;
  std::string url;
};

ProxySetting& Proxy() {
  static ProxySetting setting;
  return setting;
}

struct LimitsSetting {
  std::mutex mutex;
  EngineLimits limits;
};

LimitsSetting& Limits() {
  static LimitsSetting setting;
  return setting;
}

struct FailureObserverSetting {
  std::mutex mutex;
  FetchFailureObserver observer;
};

FailureObserverSetting& FailureObserver() {
  static FailureObserverSetting setting;
  return setting;
}

struct WaitObserverSetting {
  std::mutex mutex;
  HostWaitObserver observer;
};

WaitObserverSetting& WaitObserver() {
  static WaitObserverSetting setting;
  return setting;
}

size_t FindNoCase(std::string_view text, std::string_view marker) {
  auto it = std::search(text.begin(), text.end(), marker.begin(), marker.end(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) ==
           std::tolower(static_cast<unsigned char>(b));
  });
  return it == text.end() ? std::string_view::npos : static_cast<size_t>(it - text.begin());
}

bool ContainsNoCase(std::string_view text, std::string_view marker) {
  return FindNoCase(text, marker) != std::string_view::npos;
}

// Drops everything up to and including the last occurrence of cutStart, then everything from
// the first occurrence of cutEnd on. `from` is where a new occurrence may begin (the bytes before
// it were searched already). Returns true when cutEnd was found.
bool ApplyCutMarkers(std::string& bytes, const std::string& cutStart, const std::string& cutEnd,
                     size_t from = 0) {
  size_t startFrom = from;
  if (!cutStart.empty()) {
    for (size_t at; (at = bytes.find(cutStart, startFrom)) != std::string::npos;) {
      bytes.erase(0, at + cutStart.size());
      startFrom = 0;
    }
  }
  if (!cutEnd.empty()) {
    size_t at = bytes.find(cutEnd, std::min(startFrom, bytes.size()));
    if (at != std::string::npos) {
      bytes.resize(at);
      return true;
    }
  }
  return false;
}

// Where a marker of this length could begin in bytes that grew from oldSize.
size_t SearchFrom(size_t oldSize, const std::string& cutStart, const std::string& cutEnd) {
  size_t longest = std::max(cutStart.size(), cutEnd.size());
  return oldSize >= longest ? oldSize - longest + 1 : 0;
}

bool OutsideLimits(size_t length, const HttpRequest& request) {
  if (length < size_t{request.nMinKB} * 1024) return true;
  return request.nMaxKB != 0 && length > size_t{request.nMaxKB} * 1024;
}

// One exchange in progress: the answer being filled and what the callbacks decided.
struct Transfer {
  const HttpRequest& request;
  HttpResponse& response;
  net::SaveStream* save = nullptr;  // the body goes to its file as it arrives
  std::string block;                // header block being received
  bool final = false;               // the final answer's header block has ended
  bool refused = false;             // a check failed: the transfer was aborted as a failure
  bool stoppedAtMark = false;       // cutEnd found: the transfer was aborted as a success
  bool timedOut = false;
  bool stopped = false;         // the job asked for a stop: the transfer was aborted as a failure
  bool tooSlow = false;         // the body came slower than the low-speed limit
  bool resumeMismatch = false;  // a 206 that does not continue the partial file
  int writeError = 0;           // the error number of a write to the file that failed
  FetchFailure failure = FetchFailure::None;  // why a check refused the answer
  char errorText[CURL_ERROR_SIZE] = {};
  Clock::time_point lastProgress = Clock::now();
  curl_off_t lastDown = 0;
  curl_off_t lastUp = 0;
  // The low-speed limit: bytes a second over a window of seconds, from the body's first byte.
  EngineLimits limits = GetEngineLimits();
  bool bodyStarted = false;
  Clock::time_point windowStart;
  curl_off_t windowBytes = 0;

  Transfer(const HttpRequest& req, HttpResponse& resp) : request(req), response(resp) {}

  bool StopRequested() {
    if (!stopped && request.stopRequested && request.stopRequested()) stopped = true;
    return stopped;
  }
};

bool IsPicture(const HttpRequest& request) { return request.bPicture; }

bool RefusesErrorStatus(const HttpRequest& request) {
  return request.bRefuseErrorStatus || request.bPicture;
}

// The value of a header line in a raw header block ("" when absent).
std::string HeaderValue(const std::string& block, std::string_view name) {
  std::string marker = "\r\n" + std::string(name) + ":";
  size_t at = FindNoCase(block, marker);
  if (at == std::string::npos) return {};
  size_t begin = at + marker.size();
  size_t end = block.find("\r\n", begin);
  return Trim(block.substr(begin, end == std::string::npos ? std::string::npos : end - begin));
}

// The body goes straight to its file unless the checks need it whole in memory.
bool StreamsToFile(const HttpRequest& request) {
  return !request.strSavePath.empty() && request.cutStart.empty() && request.cutEnd.empty() &&
         request.retryMark.empty() && request.nMinLen == 0;
}

long StatusOf(std::string_view statusLine) {
  size_t space = statusLine.find(' ');
  if (space == std::string_view::npos) return 0;
  return static_cast<long>(ReadDecimal(statusLine.substr(space + 1)));
}

// The final answer's headers are in: record them and check the announced length.
bool AcceptHeaders(Transfer& t, long status) {
  HttpResponse& r = t.response;
  r.strHeaders = t.block;
  r.nStatus = status;
  r.bGzip = r.strHeaders.find("gzip") != std::string::npos ? 1 : 0;
  if (RefusesErrorStatus(t.request) && status >= 400) {
    // A range the server cannot serve, or a picture that is not there (any more): the partial
    // file goes, the next try starts over. A refusal or a server's trouble may pass.
    if (t.save != nullptr && status < 500 && status != 408 && status != 429) t.save->Discard();
    t.failure = FetchFailure::HttpStatus;
    return false;
  }
  // A picture announced as an HTML page is no picture.
  if (RefusesErrorStatus(t.request) &&
      ContainsNoCase(HeaderValue(r.strHeaders, "Content-Type"), "text/html")) {
    t.failure = FetchFailure::NotPicture;
    return false;
  }
  uint64_t resumed = 0;
  if (t.save != nullptr) {
    t.save->SetContentEncoding(HeaderValue(r.strHeaders, "Content-Encoding"));
    // A part of a picture that does not continue the partial file kept for it.
    if (!t.save->Begin(status, r.strHeaders)) {
      t.failure = FetchFailure::Network;
      t.resumeMismatch = true;
      return false;
    }
    resumed = t.save->ResumedFrom();
  }
  size_t at = FindNoCase(r.strHeaders, "Content-Length:");
  if (at != std::string::npos) {
    long long announced = ReadDecimal(std::string_view(r.strHeaders).substr(at + 15));
    if (OutsideLimits(static_cast<size_t>(std::max(announced, 0LL)) + resumed, t.request)) {
      if (t.save != nullptr) t.save->Discard();
      t.failure = FetchFailure::SizeLimit;
      return false;
    }
  }
  return true;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto& t = *static_cast<Transfer*>(user);
  size_t length = size * count;
  t.lastProgress = Clock::now();
  std::string_view line(data, length);
  if (line.rfind("HTTP/", 0) == 0) {  // a new answer: informational, redirect or final
    t.block.clear();
    t.final = false;
  } else if (t.final) {
    return length;  // trailers after a chunked body
  }
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (!line.empty()) {
    t.block.append(line);
    t.block.append("\r\n");
    return length;
  }
  // The blank line ends a block. Informational answers and redirects that will be followed are
  // not the final answer.
  long status = StatusOf(std::string_view(t.block).substr(0, t.block.find("\r\n")));
  if (status >= 100 && status < 200) {
    t.block.clear();
    return length;
  }
  if (status >= 300 && status < 400 && ContainsNoCase(t.block, "\r\nLocation:")) return length;
  t.final = true;
  if (!AcceptHeaders(t, status)) {
    t.refused = true;
    return 0;
  }
  return length;
}

size_t TakeBody(Transfer& t, char* data, size_t length);

// The body's bytes, after the engine-wide byte budget had its say.
size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto& t = *static_cast<Transfer*>(user);
  const size_t length = size * count;
  if (t.limits.limitRate != 0) {
    if (!net::SpendBudget(length, t.limits.limitRate, [&t] { return t.StopRequested(); })) {
      return 0;
    }
  }
  return TakeBody(t, data, length);
}

// What a failed write of the answer's file means: a full disk or quota stops a whole job.
FetchFailure WriteFailure(int error) {
  if (error == 0) return FetchFailure::NotPicture;  // no write failed: the answer was refused
  return error == ENOSPC || error == EDQUOT ? FetchFailure::DiskFull : FetchFailure::NotWritten;
}

size_t TakeBody(Transfer& t, char* data, size_t length) {
  t.lastProgress = Clock::now();
  t.response.nBodyBytes += length;
  if (t.save != nullptr) {
    if (t.request.nMaxKB != 0 &&
        t.response.nBodyBytes + t.save->ResumedFrom() > uint64_t{t.request.nMaxKB} * 1024) {
      t.refused = true;
      t.failure = FetchFailure::SizeLimit;
      t.save->Discard();
      return 0;
    }
    if (!t.save->Write(data, length)) {
      t.refused = true;
      t.writeError = t.save->WriteError();
      t.failure = WriteFailure(t.writeError);
      return 0;
    }
    return length;
  }
  std::string& body = t.response.body;
  size_t oldSize = body.size();
  body.append(data, length);
  if (t.response.bGzip == 0 &&
      ApplyCutMarkers(body, t.response.cutStart, t.response.cutEnd,
                      SearchFrom(oldSize, t.response.cutStart, t.response.cutEnd))) {
    t.stoppedAtMark = true;
    return 0;
  }
  size_t limit = t.request.nMaxKB != 0 ? size_t{t.request.nMaxKB} * 1024 : kMaxBodyBytes;
  if (body.size() > limit) {
    t.refused = true;
    t.failure = FetchFailure::SizeLimit;
    return 0;
  }
  return length;
}

// Per-step time-outs: the answer's headers must follow within nTimeout of the last progress,
// and every piece of the body within nReadTimeout of the previous one.
bool StepExpired(Transfer& t) {
  uint32_t limitMs = t.final ? t.request.nReadTimeout : t.request.nTimeout;
  if (Clock::now() - t.lastProgress > std::chrono::milliseconds(limitMs)) t.timedOut = true;
  return t.timedOut;
}

// The low-speed limit, over consecutive windows from the body's first byte: a window that took
// fewer bytes than the limit asks for fails the transfer.
bool TooSlow(Transfer& t) {
  const EngineLimits& limits = t.limits;
  if (t.tooSlow) return true;
  if (limits.lowSpeedBytes == 0 || limits.lowSpeedSeconds == 0 || !t.bodyStarted) return false;
  const auto now = Clock::now();
  if (now - t.windowStart < std::chrono::seconds(limits.lowSpeedSeconds)) return false;
  const auto wanted = static_cast<curl_off_t>(limits.lowSpeedBytes) * limits.lowSpeedSeconds;
  if (t.lastDown - t.windowBytes < wanted) {
    t.tooSlow = true;
  } else {
    t.windowStart = now;
    t.windowBytes = t.lastDown;
  }
  return t.tooSlow;
}

int OnProgress(void* user, curl_off_t, curl_off_t down, curl_off_t, curl_off_t up) {
  auto& t = *static_cast<Transfer*>(user);
  if (down != t.lastDown || up != t.lastUp) {
    if (!t.bodyStarted && down > 0) {
      t.bodyStarted = true;
      t.windowStart = Clock::now();
      t.windowBytes = 0;
    }
    t.lastDown = down;
    t.lastUp = up;
    t.lastProgress = Clock::now();
  }
  return t.StopRequested() || StepExpired(t) || TooSlow(t) ? 1 : 0;
}

constexpr int kPollMs = 50;

// Runs the transfer on a lent multi handle (whose open connections it may reuse), waking at
// least every kPollMs so that a step time-out or a stop request is noticed promptly
// (curl_easy_perform would look only about once a second).
CURLcode Perform(CURL* easy, Transfer& t) {
  net::LentMulti multi;
  if (!multi || curl_multi_add_handle(multi.get(), easy) != CURLM_OK) return CURLE_FAILED_INIT;
  CURLcode result = CURLE_OK;
  for (bool done = false; !done;) {
    int running = 0;
    if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
      result = CURLE_FAILED_INIT;
      break;
    }
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
      if (message->msg == CURLMSG_DONE) {
        result = message->data.result;
        done = true;
      }
    }
    if (done || running == 0) break;
    if (t.StopRequested()) {
      result = CURLE_ABORTED_BY_CALLBACK;
      break;
    }
    if (StepExpired(t)) {
      result = CURLE_OPERATION_TIMEDOUT;
      break;
    }
    if (TooSlow(t)) {
      result = CURLE_ABORTED_BY_CALLBACK;
      break;
    }
    curl_multi_poll(multi.get(), nullptr, 0, kPollMs, nullptr);
  }
  curl_multi_remove_handle(multi.get(), easy);
  return result;
}

// The connection is up: the wait for the answer starts now.
int OnConnected(void* user, char*, char*, int, int) {
  static_cast<Transfer*>(user)->lastProgress = Clock::now();
  return CURL_PREREQFUNC_OK;
}

struct SlistFree {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using Slist = std::unique_ptr<curl_slist, SlistFree>;

// The caller's header lines for libcurl, as given. A "cookie:" line of the caller stays a header
// of its own beside the store's cookies: libcurl sends such a header only to the address's own
// host, never on to the host a redirect names, so one site's login does not leak to another.
Slist HeaderList(const std::string& headers) {
  Slist list;
  size_t begin = 0;
  while (begin < headers.size()) {
    size_t end = headers.find("\r\n", begin);
    if (end == std::string::npos) end = headers.size();
    std::string line = headers.substr(begin, end - begin);
    begin = end + 2;
    if (Trim(line).empty()) continue;
    curl_slist* grown = curl_slist_append(list.get(), line.c_str());
    if (grown) {
      (void)list.release();
      list.reset(grown);
    }
  }
  return list;
}

// Writes the accepted body beside the target and renames it into place; on any failure the
// target is untouched and nothing is left behind.
bool SetUp(CURL* curl, Transfer& t, curl_slist* headers, const std::string& url) {
  const HttpRequest& request = t.request;
  bool ok = curl_easy_setopt(curl, CURLOPT_URL, url.c_str()) == CURLE_OK;
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
  // The body is kept as sent: gzip answers are the callers' to inflate (InflateBody), and no
  // Accept-Encoding is added beyond the caller's own header lines.
  curl_easy_setopt(curl, CURLOPT_HTTP_CONTENT_DECODING, 0L);
  curl_easy_setopt(curl, CURLOPT_USERAGENT,
                   t.limits.userAgent.empty() ? kUserAgent : t.limits.userAgent.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, t.errorText);
  curl_easy_setopt(curl, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.nTimeout));
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &t);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnProgress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &t);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_PREREQFUNCTION, OnConnected);
  curl_easy_setopt(curl, CURLOPT_PREREQDATA, &t);
  // Cookies: the one shared store, sent and stored on every hop.
  curl_easy_setopt(curl, CURLOPT_SHARE, static_cast<CURLSH*>(CookieStore::Shared().ShareHandle()));
  curl_easy_setopt(curl, CURLOPT_COOKIEFILE, "");
  if (request.strVerb == "HEAD") {
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
  } else if (!request.strVerb.empty() && request.strVerb != "GET") {
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, request.strVerb.c_str());
  }
  std::string proxy = EngineProxy();
  if (!proxy.empty()) {
    curl_easy_setopt(curl, CURLOPT_PROXY, proxy.c_str());
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "");
  }
  return ok;
}

std::string HostOf(const std::string& url) {
  size_t begin = url.find("://");
  begin = begin == std::string::npos ? 0 : begin + 3;
  size_t end = url.find_first_of("/?#", begin);
  return url.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

std::string KbText(size_t bytes) { return std::to_string((bytes + 1023) / 1024) + " KB"; }

// Why the exchange failed, in the engine's own words.
void DescribeFailure(HttpResponse& response, const HttpRequest& request, const Transfer& t,
                     CURLcode code) {
  std::string text;
  if (t.stopped) {
    response.failure = FetchFailure::Stopped;
    text = "stopped";
  } else if (t.tooSlow) {
    response.failure = FetchFailure::TooSlow;
    text = "too slow: less than " + std::to_string(t.limits.lowSpeedBytes) +
           " bytes a second for " + std::to_string(t.limits.lowSpeedSeconds) + " s";
  } else if (t.timedOut || code == CURLE_OPERATION_TIMEDOUT) {
    response.failure = FetchFailure::TimedOut;
    text = t.final ? "time-out: no data for " + std::to_string(request.nReadTimeout / 1000) + " s"
                   : "time-out: no answer within " + std::to_string(request.nTimeout / 1000) + " s";
  } else if (t.failure == FetchFailure::HttpStatus ||
             (request.bRefuseErrorStatus && response.nStatus >= 400)) {
    response.failure = FetchFailure::HttpStatus;
    std::string line = response.strHeaders.substr(0, response.strHeaders.find("\r\n"));
    size_t space = line.find(' ');
    text = "HTTP " +
           (space == std::string::npos ? std::to_string(response.nStatus) : line.substr(space + 1));
  } else if (t.failure == FetchFailure::DiskFull || t.failure == FetchFailure::NotWritten) {
    // The system's own reason; the site is not to blame.
    response.failure = t.failure;
    response.strError = "cannot write " + request.strSavePath + ": " +
                        std::strerror(t.writeError != 0 ? t.writeError : EIO);
    return;
  } else if (t.resumeMismatch) {
    response.failure = FetchFailure::Network;
    text =
        "the rest of a cut picture did not fit its first part (the picture changed?); it is "
        "fetched whole next time";
  } else if (t.failure == FetchFailure::NotPicture) {
    response.failure = FetchFailure::NotPicture;
    text = "not a picture: an HTML page, an empty answer or a broken coded stream";
  } else if (t.failure == FetchFailure::SizeLimit || (code == CURLE_OK && !t.refused)) {
    response.failure = FetchFailure::SizeLimit;
    text = "size limit: " + KbText(static_cast<size_t>(response.nBodyBytes)) + " (allowed " +
           std::to_string(request.nMinKB) + " to " +
           (request.nMaxKB == 0 ? std::string("any") : std::to_string(request.nMaxKB)) + " KB)";
  } else {
    response.failure = FetchFailure::Network;
    text = t.errorText[0] != '\0' ? t.errorText : curl_easy_strerror(code);
  }
  response.strError = HostOf(request.strUrl) + ": " + text;
}

void ReportFailure(const HttpRequest& request, const HttpResponse& response) {
  FetchFailureObserver observer;
  {
    std::lock_guard lock(FailureObserver().mutex);
    observer = FailureObserver().observer;
  }
  if (observer) observer(request.strUrl, response);
}

}  // namespace

void SetFetchFailureObserver(FetchFailureObserver observer) {
  std::lock_guard lock(FailureObserver().mutex);
  FailureObserver().observer = std::move(observer);
}

void InitRequest(HttpRequest& request, const std::string& address, const std::string& savePath,
                 uint32_t timeoutMs) {
  request = HttpRequest{};
  request.strUrl = address;
  request.strSavePath = savePath;
  request.nReadTimeout = timeoutMs;
  request.nTimeout = timeoutMs;
}

namespace {

bool IsRefusal(long status) { return status == 429 || status == 503; }

void ReportWait(const HostWait& wait) {
  HostWaitObserver observer;
  {
    std::lock_guard lock(WaitObserver().mutex);
    observer = WaitObserver().observer;
  }
  if (observer) observer(wait);
}

// The exchanges go through a proxy: the engine's own, or one of the environment's.
bool ThroughProxy() {
  if (!EngineProxy().empty()) return true;
  for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

// An answer worth asking again within the request's retry budget: HTTP 408, 500, 502 or 504, or
// a time-out, a reset or refused connection before any byte of the body (a name that does not
// resolve, a transfer broken in its body, or a proxy that refuses connections is not: a proxy
// that cannot reach the site answers with a status).
bool IsTransient(const HttpResponse& response, CURLcode code, bool anyBody) {
  switch (response.nStatus) {
    case 408:
    case 500:
    case 502:
    case 504:
      return true;
    default:
      break;
  }
  if (anyBody) return false;
  if (response.failure == FetchFailure::TimedOut) return true;
  if (response.failure != FetchFailure::Network) return false;
  if (code == CURLE_COULDNT_CONNECT) return !ThroughProxy();
  return code == CURLE_RECV_ERROR || code == CURLE_SEND_ERROR || code == CURLE_GOT_NOTHING;
}

// One exchange, without the host's gate. transient: a failure worth asking again (IsTransient).
bool ExchangeOnce(HttpResponse& response, const HttpRequest& request, bool& transient) {
  transient = false;
  // No answer cache: every answer comes from the network, so REQ_NORELOAD and REQ_CACHE change
  // nothing here (REQ_CACHE only matters to HttpFetch's checks).
  response.body.clear();
  response.strHeaders.clear();
  response.bGzip = 0;
  response.nStatus = 0;
  response.bSaved = false;
  response.failure = FetchFailure::None;
  response.strError.clear();
  response.nBodyBytes = 0;
  response.cutStart = request.cutStart;
  response.cutEnd = request.cutEnd;
  if (request.strUrl.empty()) return false;
  if (request.stopRequested && request.stopRequested()) return false;

  net::EasyHandle curl = net::AcquireEasy();
  if (!curl) return false;
  Transfer transfer(request, response);
  // Where the accepted body lands: a fresh file beside the target, renamed over it at the end.
  std::optional<net::SaveStream> save;
  std::string headerText = request.strHeaders;
  if (!request.strSavePath.empty()) {
    // A picture streamed to its file may resume a partial file a cut exchange left.
    const bool resumable = IsPicture(request) && StreamsToFile(request);
    save.emplace(FitFileName(request.strSavePath), IsPicture(request),
                 uint64_t{request.nMaxKB} * 1024, resumable ? request.strUrl : std::string());
    if (StreamsToFile(request)) transfer.save = &*save;
    if (const std::string range = save->ResumeHeaders(); !range.empty()) {
      headerText += (headerText.empty() ? "" : "\r\n") + range;
    }
  }
  Slist headers = HeaderList(headerText);
  std::string url = net::CanonicalUrl(request.strUrl);
  if (!SetUp(curl.get(), transfer, headers.get(), url)) return false;

  CURLcode code = Perform(curl.get(), transfer);
  const bool anyBody = response.nBodyBytes > 0 || transfer.bodyStarted;
  bool ok = code == CURLE_OK || (code == CURLE_WRITE_ERROR && transfer.stoppedAtMark);
  ok = ok && !transfer.refused && !transfer.timedOut && !transfer.stopped && !transfer.tooSlow;
  if (ok && !transfer.final) {
    // A redirect answer that was not followed after all (an empty Location) is the answer.
    transfer.final = true;
    ok = AcceptHeaders(transfer, StatusOf(transfer.block.substr(0, transfer.block.find("\r\n"))));
  }
  if (ok && RefusesErrorStatus(request) && response.nStatus >= 400) ok = false;
  if (transfer.save == nullptr) response.nBodyBytes = response.body.size();
  const uint64_t resumed = transfer.save != nullptr ? transfer.save->ResumedFrom() : 0;
  if (ok && OutsideLimits(static_cast<size_t>(response.nBodyBytes + resumed), request)) {
    ok = false;
    if (save) save->Discard();
  }
  if (ok && save) {
    // A body held in memory (the markers or checks needed it) lands now, by the same rules.
    if (transfer.save == nullptr) ok = save->Write(response.body.data(), response.body.size());
    // A picture that is empty, an HTML page or a cut coded stream fails here.
    ok = ok && save->Finish();
    if (!ok) {
      transfer.writeError = save->WriteError();
      transfer.failure = WriteFailure(transfer.writeError);
    }
  }
  if (!ok) {
    DescribeFailure(response, request, transfer, code);
    transient = !transfer.stopped && IsTransient(response, code, anyBody);
    return false;
  }
  transient = IsTransient(response, code, anyBody);
  // A file that cannot be written does not change the result; bSaved tells whether it landed.
  if (save) {
    response.bSaved = save->Commit();
    if (!response.bSaved) {
      const int error = save->WriteError() != 0 ? save->WriteError() : EIO;
      response.failure = WriteFailure(error);
      response.strError = "cannot write " + request.strSavePath + ": " + std::strerror(error);
    }
  }
  return ok;
}

}  // namespace

void SetHostWaitObserver(HostWaitObserver observer) {
  std::lock_guard lock(WaitObserver().mutex);
  WaitObserver().observer = std::move(observer);
}

namespace {

HttpResponse StoppedAnswer(const std::string& host) {
  HttpResponse response;
  response.failure = FetchFailure::Stopped;
  response.strError = host + ": stopped";
  return response;
}

std::string TimesText(unsigned asks) {
  return asks == 1 ? std::string() : " (asked " + std::to_string(asks) + " times)";
}

// The exchange through the host's gate, asked again within the budget after a refusal (429 or
// 503: the whole host is paused meanwhile) or a transient error (this request alone waits). The
// n-th re-ask of the budget waits the site's Retry-After or else exactly 2^(n-1) times the base.
bool ExchangeWithin(HttpResponse& response, const HttpRequest& request, RetryBudget& budget) {
  const EngineLimits limits = GetEngineLimits();
  const std::string host = HostOf(request.strUrl);
  const net::PoliteRules rules{limits.waitMs, limits.randomWait, limits.perHostConnections};
  auto stopRequested = [&request] { return request.stopRequested && request.stopRequested(); };
  for (unsigned asks = 1;; ++asks) {
    bool ok = false;
    bool transient = false;
    bool entered = false;
    net::PoliteClock::time_point sentAt{};
    if (request.strUrl.empty() || stopRequested()) {
      ok = ExchangeOnce(response, request, transient);
    } else if (!net::EnterHost(host, rules, request.stopRequested, &sentAt)) {
      response = StoppedAnswer(host);
      return false;
    } else {
      entered = true;
      ok = ExchangeOnce(response, request, transient);
    }
    const bool stopped = stopRequested();
    const bool refusal = IsRefusal(response.nStatus);
    const bool again = (refusal || transient) && !stopped && budget.left > 0;
    const auto wait = net::RefusalWait(HeaderValue(response.strHeaders, "Retry-After"),
                                       budget.used + 1, limits.backoffBaseMs);
    if (entered && refusal) {
      // Every refusal tells the host's pacing and pauses it, the last one too.
      if (net::PauseHost(host, sentAt, wait) && again) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(wait).count();
        ReportWait({host, static_cast<uint32_t>((ms + 999) / 1000), response.nStatus});
      }
    } else if (entered) {
      net::LeaveHost(host, sentAt, response.nStatus != 0);
    }
    if (!again) {
      if (refusal && !ok && !stopped) {
        response.failure = FetchFailure::Refused;
        response.strError = host + ": refused by the site (HTTP " +
                            std::to_string(response.nStatus) + ", " + std::to_string(asks) +
                            " times)";
      } else if (transient && !ok && !stopped) {
        response.strError += TimesText(asks);
      }
      if (!ok) ReportFailure(request, response);
      return ok;
    }
    --budget.left;
    ++budget.used;
    // A refusal's wait is the host's pause, waited out at its gate; a transient error's is ours.
    if (!refusal && !net::SleepUntil(net::PoliteClock::now() + wait, request.stopRequested)) {
      response = StoppedAnswer(host);
      return false;
    }
  }
}

}  // namespace

bool HttpExchange(HttpResponse& response, const HttpRequest& request, unsigned /*flags*/) {
  if (request.budget != nullptr) return ExchangeWithin(response, request, *request.budget);
  RetryBudget budget{GetEngineLimits().retries};
  return ExchangeWithin(response, request, budget);
}

// The page's own tries (nTries) ask again after any failure or an answer its checks reject,
// each re-ask taken from the same budget as the engine's.
bool HttpFetch(const HttpRequest& request, HttpResponse& response, unsigned flags) {
  if (request.nTries == 0) return false;
  RetryBudget own{GetEngineLimits().retries};
  RetryBudget& budget = request.budget != nullptr ? *request.budget : own;
  auto stopRequested = [&request] { return request.stopRequested && request.stopRequested(); };
  for (unsigned attempt = 1;; ++attempt) {
    if (ExchangeWithin(response, request, budget)) {
      if (request.nMinLen == 0 && request.retryMark.empty()) return true;
      std::string inflated;
      const std::string* bytes = &response.body;
      if ((flags & REQ_CACHE) && response.bGzip == 1) {
        InflateBody(inflated, response.body.data(), response.body.size());
        bytes = &inflated;
      }
      if (bytes->size() > request.nMinLen &&
          (request.retryMark.empty() || bytes->find(request.retryMark) == std::string::npos)) {
        return true;
      }
    }
    // The pause after a failed attempt, cut short by a stop request.
    const auto pauseEnd = Clock::now() + std::chrono::seconds(request.nRetryPause);
    while (!stopRequested() && Clock::now() < pauseEnd) {
      std::this_thread::sleep_for(
          std::min<Clock::duration>(pauseEnd - Clock::now(), std::chrono::milliseconds(kPollMs)));
    }
    if (stopRequested() || attempt >= request.nTries || budget.left == 0) return false;
    --budget.left;
    ++budget.used;
  }
}

void GetResponseText(const HttpResponse& response, std::string& text, unsigned flags) {
  GetResponseText(response, text, flags, nullptr);
}

void GetResponseText(const HttpResponse& response, std::string& text, unsigned flags,
                     bool* intact) {
  std::string bytes;
  if (intact != nullptr) *intact = true;
  if ((flags & TEXT_GUNZIP) && response.bGzip == 1) {
    const bool whole = InflateBody(bytes, response.body.data(), response.body.size());
    if (intact != nullptr) *intact = whole;
  } else {
    bytes = response.body;
  }
  if (response.bGzip == 1) ApplyCutMarkers(bytes, response.cutStart, response.cutEnd);

  // GBK reads the bytes as a zero-terminated string.
  auto gbk = [&bytes] {
    return BytesToWide(bytes.data(), strnlen(bytes.data(), bytes.size()), CodePage::Gbk);
  };
  if (response.strHeaders.find("charset=GBK") != std::string::npos) {
    text = gbk();
  } else if (flags & TEXT_UTF8) {
    text = BytesToWide(bytes.data(), bytes.size(), CodePage::Utf8);
  } else if (flags & TEXT_BIG5) {
    text = BytesToWide(bytes.data(), bytes.size(), CodePage::Big5);
  } else {
    text = gbk();
  }
  DecodeEntities(text);
}

bool InflateBody(std::string& out, const char* in, size_t length) {
  out.clear();
  z_stream stream{};
  if (inflateInit2(&stream, 47) != Z_OK) return false;
  size_t fed = 0;
  auto feed = [&] {
    size_t piece = std::min<size_t>(length - fed, UINT_MAX);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in + fed));
    stream.avail_in = static_cast<uInt>(piece);
    fed += piece;
  };
  feed();
  bool ok = false;
  char window[8192];
  for (;;) {
    if (stream.avail_in == 0 && fed < length) feed();
    stream.next_out = reinterpret_cast<Bytef*>(window);
    stream.avail_out = sizeof window;
    int result = inflate(&stream, Z_NO_FLUSH);
    size_t produced = sizeof window - stream.avail_out;
    if (out.size() + produced > kMaxBodyBytes) break;  // a decompression bomb
    out.append(window, produced);
    if (result == Z_STREAM_END) {
      ok = true;
      break;
    }
    if (result != Z_OK) break;
  }
  inflateEnd(&stream);
  return ok;
}

void SetEngineProxy(const std::string& proxyUrl) {
  std::lock_guard lock(Proxy().mutex);
  Proxy().url = proxyUrl;
}

std::string EngineProxy() {
  std::lock_guard lock(Proxy().mutex);
  return Proxy().url;
}

void SetEngineLimits(const EngineLimits& limits) {
  std::lock_guard lock(Limits().mutex);
  Limits().limits = limits;
}

EngineLimits GetEngineLimits() {
  std::lock_guard lock(Limits().mutex);
  return Limits().limits;
}

}  // namespace albumora
