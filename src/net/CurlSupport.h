// SPDX-License-Identifier: GPL-3.0-or-later
// libcurl plumbing shared by the engine and the cookie store: one-time global set-up, easy
// handles, and the address canonicalisation every request and cookie look-up applies.
#pragma once

#include <curl/curl.h>

#include <memory>
#include <string>

namespace albumora::net {

// curl_global_init, once per process, before the first handle (thread-safe).
void EnsureCurlGlobal();

struct EasyCleanup {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, EasyCleanup>;

// A handle for one exchange, in its default state. Every exchange takes one here, so a
// per-thread cache of handles (and so of connections) can be added in this one place.
EasyHandle AcquireEasy();

// A multi handle lent to one exchange at a time. Its connection cache outlives the exchange:
// the handle goes back to an engine-wide set of idle ones, so the next exchange to the same host
// (or through the same proxy) takes an open connection instead of paying for a new one, whatever
// thread it runs on. The most recently returned handle is lent first.
class LentMulti {
 public:
  LentMulti();   // an idle handle, or a new one when none is idle (null when that fails)
  ~LentMulti();  // back to the idle set; closed (with its connections) when that is full
  LentMulti(const LentMulti&) = delete;
  LentMulti& operator=(const LentMulti&) = delete;
  CURLM* get() const { return multi_; }
  explicit operator bool() const { return multi_ != nullptr; }

 private:
  CURLM* multi_ = nullptr;  // owned; returned or cleaned up by the destructor
};

// The address as a browser sends it: spaces, control characters and bytes of 0x80 and above
// percent-encoded, everything else as given.
std::string CanonicalUrl(const std::string& address);

struct UrlParts {
  std::string scheme;  // lower case
  std::string host;    // lower case, no port
  std::string path;    // "/" when the address has none
};
bool SplitUrl(const std::string& address, UrlParts& parts);

}  // namespace albumora::net
