// SPDX-License-Identifier: GPL-3.0-or-later
// The HTTP engine every page, list and picture goes through: one exchange (HttpExchange),
// attempts and answer checks around it (HttpFetch), and the answer as text (GetResponseText).
// Built on libcurl; cookies come from and go to the shared cookie store (CookieStore.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace albumora {

constexpr unsigned REQ_CACHE = 1;     // decompress a gzip answer before HttpFetch's checks
constexpr unsigned REQ_NORELOAD = 2;  // the answer may come from a cache
constexpr unsigned TEXT_GUNZIP = 1;
constexpr unsigned TEXT_UTF8 = 2;
constexpr unsigned TEXT_BIG5 = 8;

// One page's or picture's retry budget: the re-asks it may still make, whoever asks again — the
// engine after a refusal (429, 503) or a transient error (HTTP 408, 500, 502, 504, or a time-out,
// a reset or refused connection before any byte of the body), the page's own tries (nTries)
// after any failure or an answer its checks reject, or a picture's worker at its fallback
// address (whose first ask is free). So one address is asked at most 1 + the engine's retries
// times.
struct RetryBudget {
  uint32_t left = 0;  // re-asks still allowed
  uint32_t used = 0;  // re-asks made: the next one waits 2^used times the back-off base
};

struct HttpRequest {
  std::string strUrl;
  std::string strVerb = "GET";
  std::string strHeaders;   // extra header lines separated by "\r\n", no trailing line end
  std::string cutStart;     // bytes: everything up to and including its last occurrence is cut
  std::string cutEnd;       // bytes: reading stops at its first occurrence
  std::string retryMark;    // bytes: an answer containing it counts as failed in HttpFetch
  std::string strSavePath;  // absolute path; the accepted body is written there
  uint32_t nReadTimeout = 20000;  // ms, each read of the body
  uint32_t nTimeout = 20000;      // ms, connect and send
  uint32_t nMinKB = 0;
  uint32_t nMaxKB = 0;
  uint32_t nMinLen = 0;
  uint8_t nTries = 1;
  uint8_t nRetryPause = 1;  // seconds
  // Extension for picture downloads: an HTTP status of 400 or more, or an HTML page, fails the
  // exchange (and nothing is written). Pages keep the status unexamined.
  bool bRefuseErrorStatus = false;
  // Extension for picture downloads: the answer is a picture file. Besides bRefuseErrorStatus,
  // its gzip or deflate content coding is undone before it lands in strSavePath, and an empty
  // answer or an HTML document ("<!DOCTYPE html" or "<html" after blanks, any letter case)
  // fails the exchange and leaves no file.
  bool bPicture = false;
  // Optional: a stop request of the job the exchange serves. While it answers true an exchange
  // in flight ends at once as a failure (nothing written) and HttpFetch makes no further
  // attempt and no pause.
  std::function<bool()> stopRequested;
  // Optional: the budget this ask shares with the other asks of the same page or picture (it
  // must outlive the call). None: HttpExchange and HttpFetch start one of the engine's retries.
  RetryBudget* budget = nullptr;
};

// Why an exchange failed, for the front ends' reports.
enum class FetchFailure : uint8_t {
  None,
  Network,     // no answer: name resolution, connection, proxy, TLS, a broken transfer
  TimedOut,    // a step of the exchange waited longer than its time-out
  HttpStatus,  // a status of 400 or more where the request refuses one
  SizeLimit,   // the answer is outside nMinKB..nMaxKB (or past kMaxBodyBytes)
  NotPicture,  // an HTML page where a picture was asked for
  NotWritten,  // the answer was good but its file could not be written
  TooSlow,     // the body came slower than the engine's low-speed limit
  Stopped,     // the job that asked for it was stopped
  Refused,     // the site kept answering 429 or 503 beyond the request's retry budget
  DiskFull,    // the file could not be written: no space left on the device, or the quota
};
constexpr size_t kFetchFailureKinds = 11;

struct HttpResponse {
  std::string strHeaders;  // raw header block of the final answer, each line ending "\r\n"
  std::string body;        // as received (possibly gzip, possibly cut by the markers)
  std::string cutStart;
  std::string cutEnd;
  uint8_t bGzip = 0;
  long nStatus = 0;     // status code of the final answer (0 when none arrived)
  bool bSaved = false;  // the accepted body was written to the request's strSavePath
  FetchFailure failure = FetchFailure::None;
  // The engine's own text for a failure: the host, then curl's message, the status line or
  // the limit that refused the answer.
  std::string strError;
  // Bytes of the answer body received. With a save path and no markers, nMinLen or retryMark
  // the body goes straight to the file as it arrives and `body` stays empty.
  uint64_t nBodyBytes = 0;
};

// Largest answer held in memory when no nMaxKB bounds it (an answer streamed to its file has no
// such bound), and largest decompressed output of InflateBody.
constexpr size_t kMaxBodyBytes = size_t{256} << 20;

void InitRequest(HttpRequest& request, const std::string& address, const std::string& savePath,
                 uint32_t timeoutMs);
bool HttpExchange(HttpResponse& response, const HttpRequest& request, unsigned flags);
bool HttpFetch(const HttpRequest& request, HttpResponse& response, unsigned flags);
void GetResponseText(const HttpResponse& response, std::string& text, unsigned flags);
// The same; intact tells whether a compressed answer inflated to its end (a cut or broken
// stream gives what could be read, and false).
void GetResponseText(const HttpResponse& response, std::string& text, unsigned flags, bool* intact);
// gzip or zlib (window bits 47); fails past kMaxBodyBytes of output. out keeps what was inflated.
bool InflateBody(std::string& out, const char* in, size_t length);

// Engine-wide proxy ("http://127.0.0.1:port"); it overrides the proxy environment variables
// (http_proxy, https_proxy, no_proxy), which apply while it is empty.
void SetEngineProxy(const std::string& proxyUrl);
std::string EngineProxy();

// Engine-wide observer of failed exchanges (the command line's -v and its causes): called on
// the requesting thread after each exchange that failed, with the address asked for. Empty: none.
using FetchFailureObserver = std::function<void(const std::string& url, const HttpResponse&)>;
void SetFetchFailureObserver(FetchFailureObserver observer);

// Engine-wide observer of the waits a refusal imposes on a host: called on the requesting thread
// when a host is paused anew (or its pause grows by more than a second), with the host, the wait
// in whole seconds (rounded up) and the status that asked for it. Empty: none.
struct HostWait {
  std::string host;
  uint32_t seconds = 0;
  long status = 0;
};
using HostWaitObserver = std::function<void(const HostWait&)>;
void SetHostWaitObserver(HostWaitObserver observer);

// The user agent every request carries unless the engine's limits name another.
extern const char* const kUserAgent;

// Engine-wide limits, applied to every exchange from its next start.
struct EngineLimits {
  // An answer body that arrives slower than lowSpeedBytes a second, measured over
  // lowSpeedSeconds, fails as TooSlow (a picture's fallback is then tried, a page's tries go
  // on). 0 bytes or 0 seconds: no such limit. A wait before any byte of the body is the per-step
  // time-outs' business.
  uint32_t lowSpeedBytes = 1024;
  uint32_t lowSpeedSeconds = 10;
  std::string userAgent;  // empty: kUserAgent
  // A page or picture is asked again at most this many times in all (RetryBudget): after a
  // refusal (429 or 503: the whole host waits meanwhile) or a transient error, once the site's
  // Retry-After has passed (at most 10 minutes) or else exactly 1, 2, 4 ... times backoffBaseMs
  // (at most 60 s).
  uint32_t retries = 5;
  uint32_t backoffBaseMs = 1000;
  // Least interval between two requests to one host (0: none); randomWait: 0.5 to 1.5 times it.
  uint32_t waitMs = 0;
  bool randomWait = false;
  // Parallel requests to one host (0: no cap).
  uint32_t perHostConnections = 0;
  // Bytes a second for all the transfers together (0: no limit).
  uint64_t limitRate = 0;
};
void SetEngineLimits(const EngineLimits& limits);
EngineLimits GetEngineLimits();

}  // namespace albumora
