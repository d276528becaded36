// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/CurlSupport.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <vector>

namespace albumora::net {

void EnsureCurlGlobal() {
  static const bool initialised = [] {
    return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  }();
  (void)initialised;
}

EasyHandle AcquireEasy() {
  EnsureCurlGlobal();
  return EasyHandle(curl_easy_init());
}

namespace {

struct MultiCleanup {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
using MultiHandle = std::unique_ptr<CURLM, MultiCleanup>;

// Idle multi handles with their open connections. One more than the pool's 15 workers, so the
// album-list job's exchanges keep theirs too.
class IdleMultis {
 public:
  static IdleMultis& Shared() {
    static IdleMultis idle;
    return idle;
  }
  MultiHandle Take() {
    {
      std::lock_guard lock(mutex_);
      if (!idle_.empty()) {
        MultiHandle multi = std::move(idle_.back());
        idle_.pop_back();
        return multi;
      }
    }
    EnsureCurlGlobal();
    return MultiHandle(curl_multi_init());
  }
  void Give(MultiHandle multi) {
    std::unique_lock lock(mutex_);
    if (idle_.size() < kMaxIdle) {
      idle_.push_back(std::move(multi));
      return;
    }
    lock.unlock();  // multi is closed outside the lock
  }

 private:
  static constexpr size_t kMaxIdle = 16;
  std::mutex mutex_;
  std::vector<MultiHandle> idle_;
};

}  // namespace

LentMulti::LentMulti() : multi_(IdleMultis::Shared().Take().release()) {}

LentMulti::~LentMulti() {
  if (multi_ != nullptr) IdleMultis::Shared().Give(MultiHandle(multi_));
}

std::string CanonicalUrl(const std::string& address) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(address.size());
  for (char c : address) {
    auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F) {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    } else {
      out += c;
    }
  }
  return out;
}

bool SplitUrl(const std::string& address, UrlParts& parts) {
  EnsureCurlGlobal();
  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> url(curl_url(), curl_url_cleanup);
  if (!url) return false;
  if (curl_url_set(url.get(), CURLUPART_URL, CanonicalUrl(address).c_str(), 0) != CURLUE_OK) {
    return false;
  }
  auto part = [&](CURLUPart which, std::string& target) {
    char* text = nullptr;
    if (curl_url_get(url.get(), which, &text, 0) != CURLUE_OK) return false;
    target = text;
    curl_free(text);
    return true;
  };
  if (!part(CURLUPART_SCHEME, parts.scheme) || !part(CURLUPART_HOST, parts.host)) return false;
  if (!part(CURLUPART_PATH, parts.path) || parts.path.empty()) {
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ == 12
// GCC 12 at -O3 reports a bogus overlap (-Wrestrict) in the inlined std::string assignment of
// a literal; the buffers never overlap.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
    parts.path = "/";
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ == 12
#pragma GCC diagnostic pop
#endif
  }
  auto lower = [](std::string& text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  };
  lower(parts.scheme);
  lower(parts.host);
  return true;
}

}  // namespace albumora::net
