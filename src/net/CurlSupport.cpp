#include "net/CurlSupport.h"

#include <algorithm>
#include <cctype>

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
  if (!part(CURLUPART_PATH, parts.path) || parts.path.empty()) parts.path = "/";
  auto lower = [](std::string& text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  };
  lower(parts.scheme);
  lower(parts.host);
  return true;
}

}  // namespace albumora::net
