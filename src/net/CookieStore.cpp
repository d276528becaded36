// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/CookieStore.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <ctime>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <vector>

#include "net/CurlSupport.h"
#include "text/StringCtrl.h"

namespace albumora {

namespace {

struct ShareCleanup {
  void operator()(CURLSH* share) const { curl_share_cleanup(share); }
};

// One line of curl's Netscape export: domain, subdomains flag, path, secure, expiry, name, value.
struct CookieLine {
  std::string domain;  // lower case, leading dot removed
  bool includeSubdomains = false;
  std::string path;
  bool secure = false;
  long long expires = 0;  // 0: session cookie
  std::string name;
  std::string value;
};

bool ParseCookieLine(std::string line, CookieLine& cookie) {
  constexpr std::string_view kHttpOnly = "#HttpOnly_";
  if (line.rfind(kHttpOnly, 0) == 0) {
    line.erase(0, kHttpOnly.size());
  } else if (line.empty() || line[0] == '#') {
    return false;
  }
  std::vector<std::string> fields;
  size_t begin = 0;
  for (size_t tab; (tab = line.find('\t', begin)) != std::string::npos; begin = tab + 1) {
    fields.push_back(line.substr(begin, tab - begin));
  }
  fields.push_back(line.substr(begin));
  if (fields.size() < 6) return false;
  if (fields.size() == 6) fields.emplace_back();  // a cookie without value
  cookie.domain = fields[0];
  std::transform(cookie.domain.begin(), cookie.domain.end(), cookie.domain.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (!cookie.domain.empty() && cookie.domain[0] == '.') cookie.domain.erase(0, 1);
  cookie.includeSubdomains = EqualsNoCase(fields[1], "TRUE");
  cookie.path = fields[2];
  cookie.secure = EqualsNoCase(fields[3], "TRUE");
  cookie.expires = ReadDecimal(fields[4]);
  cookie.name = fields[5];
  cookie.value = fields[6];
  return true;
}

// The limits browsers keep (RFC 6265, 6.1): a cookie's name and value within 4096 bytes, and a
// bounded number of cookies per domain and in all.
constexpr size_t kMaxCookieBytes = 4096;
constexpr size_t kMaxCookiesPerDomain = 150;
constexpr size_t kMaxCookies = 3000;

bool HasControl(std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return true;
  }
  return false;
}

bool IsFlag(const std::string& field, bool& value) {
  if (field == "TRUE" || field == "FALSE") {
    value = field == "TRUE";
    return true;
  }
  return false;
}

// A cookies.txt line in the one form the store writes and reads back unchanged: seven fields
// (six when the value is empty), a host name of letters, digits, "-", "_" and single dots, a
// path from "/", TRUE or FALSE flags, a decimal expiry, a name without "=", ";" or blanks, a
// value without ";", and no control character anywhere. A line outside this form is skipped
// whole: the store could not hold it as read (an empty domain, "..host", a line without path),
// and a save would turn it into another cookie.
bool ParseFileLine(std::string line, CookieLine& cookie, bool& httpOnly) {
  constexpr std::string_view kHttpOnly = "#HttpOnly_";
  httpOnly = line.rfind(kHttpOnly, 0) == 0;
  if (httpOnly) line.erase(0, kHttpOnly.size());
  if (line.empty() || line[0] == '#') return false;
  std::vector<std::string> fields;
  size_t begin = 0;
  for (size_t tab; (tab = line.find('\t', begin)) != std::string::npos; begin = tab + 1)
    fields.push_back(line.substr(begin, tab - begin));
  fields.push_back(line.substr(begin));
  if (fields.size() == 6 && !fields[2].empty() && fields[2][0] == '/') fields.emplace_back();
  if (fields.size() != 7) return false;
  for (const std::string& field : fields)
    if (HasControl(field)) return false;

  std::string domain = fields[0];
  if (!domain.empty() && domain[0] == '.') domain.erase(0, 1);
  if (domain.empty() || domain.front() == '.' || domain.back() == '.' ||
      domain.find("..") != std::string::npos)
    return false;
  for (char& c : domain) {
    const auto byte = static_cast<unsigned char>(c);
    if (!std::isalnum(byte) && c != '.' && c != '-' && c != '_') return false;
    c = static_cast<char>(std::tolower(byte));
  }
  cookie.domain = domain;
  if (!IsFlag(fields[1], cookie.includeSubdomains) || !IsFlag(fields[3], cookie.secure))
    return false;
  cookie.path = fields[2];
  if (cookie.path.empty() || cookie.path[0] != '/' || cookie.path.find(';') != std::string::npos)
    return false;
  const std::string& expiry = fields[4];
  if (expiry.empty() || expiry.size() > 18 ||
      expiry.find_first_not_of("0123456789") != std::string::npos)
    return false;
  cookie.expires = ReadDecimal(expiry);
  cookie.name = fields[5];
  cookie.value = fields[6];
  if (cookie.name.empty() || cookie.name.find_first_of("=; ") != std::string::npos ||
      cookie.value.find(';') != std::string::npos ||
      cookie.name.size() + cookie.value.size() > kMaxCookieBytes)
    return false;
  return true;
}

// The line the store is given for a cookie, and the one a save writes.
std::string FileLine(const CookieLine& cookie, bool httpOnly) {
  return (httpOnly ? "#HttpOnly_" : "") + std::string(cookie.includeSubdomains ? "." : "") +
         cookie.domain + "\t" + (cookie.includeSubdomains ? "TRUE" : "FALSE") + "\t" + cookie.path +
         "\t" + (cookie.secure ? "TRUE" : "FALSE") + "\t" + std::to_string(cookie.expires) + "\t" +
         cookie.name + "\t" + cookie.value;
}

// Keeps the lines a store may hold: well formed, not expired, within the limits per domain and
// in all (the first ones met are kept).
class CookieFilter {
 public:
  bool Accept(const std::string& line, std::string& canonical) {
    CookieLine cookie;
    bool httpOnly = false;
    if (!ParseFileLine(line, cookie, httpOnly)) return false;
    if (cookie.expires != 0 && cookie.expires <= now_) return false;
    if (total_ >= kMaxCookies || perDomain_[cookie.domain] >= kMaxCookiesPerDomain) return false;
    ++perDomain_[cookie.domain];
    ++total_;
    canonical = FileLine(cookie, httpOnly);
    return true;
  }

 private:
  long long now_ = static_cast<long long>(std::time(nullptr));
  std::map<std::string, size_t> perDomain_;
  size_t total_ = 0;
};

bool DomainMatches(const std::string& host, const std::string& domain, bool includeSubdomains) {
  if (host == domain) return true;
  return includeSubdomains && host.size() > domain.size() &&
         host.compare(host.size() - domain.size(), domain.size(), domain) == 0 &&
         host[host.size() - domain.size() - 1] == '.';
}

bool PathMatches(const std::string& requestPath, const std::string& cookiePath) {
  if (cookiePath.empty() || cookiePath == "/") return true;
  if (requestPath.compare(0, cookiePath.size(), cookiePath) != 0) return false;
  return requestPath.size() == cookiePath.size() || cookiePath.back() == '/' ||
         requestPath[cookiePath.size()] == '/';
}

// The default cookie path of a request path: up to its last '/', "/" when that is the first.
std::string DefaultPath(const std::string& path) {
  size_t slash = path.rfind('/');
  if (path.empty() || path[0] != '/' || slash == 0 || slash == std::string::npos) return "/";
  return path.substr(0, slash);
}

bool ReadWholeFile(const std::filesystem::path& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  bytes = text.str();
  return true;
}

}  // namespace

struct CookieStore::Impl {
  std::unique_ptr<CURLSH, ShareCleanup> share;
  std::array<std::mutex, CURL_LOCK_DATA_LAST> locks;

  // The cookies file this store last loaded or saved, and the time it was then written: a
  // different time means another process wrote it since.
  std::mutex fileMutex;
  std::filesystem::path seenFile;
  std::optional<std::filesystem::file_time_type> seenWrite;

  void Saw(const std::filesystem::path& path) {
    std::error_code error;
    const auto written = std::filesystem::last_write_time(path, error);
    std::lock_guard lock(fileMutex);
    seenFile = path;
    seenWrite.reset();
    if (!error) seenWrite = written;
  }
  bool ChangedElsewhere(const std::filesystem::path& path) {
    std::error_code error;
    const auto written = std::filesystem::last_write_time(path, error);
    if (error) return false;  // no file: nothing to keep
    std::lock_guard lock(fileMutex);
    return seenFile != path || !seenWrite || *seenWrite != written;
  }

  static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* user) {
    static_cast<Impl*>(user)->locks[static_cast<size_t>(data)].lock();
  }
  static void Unlock(CURL*, curl_lock_data data, void* user) {
    static_cast<Impl*>(user)->locks[static_cast<size_t>(data)].unlock();
  }

  // A handle on the shared cookies, for reading or changing the store without a transfer.
  net::EasyHandle Attached() const {
    net::EasyHandle curl = net::AcquireEasy();
    if (curl) {
      curl_easy_setopt(curl.get(), CURLOPT_SHARE, share.get());
      curl_easy_setopt(curl.get(), CURLOPT_COOKIEFILE, "");
    }
    return curl;
  }

  // Every cookie held, in the store's order (creation order within a domain family).
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    net::EasyHandle curl = Attached();
    if (!curl) return lines;
    curl_slist* list = nullptr;
    if (curl_easy_getinfo(curl.get(), CURLINFO_COOKIELIST, &list) != CURLE_OK) return lines;
    for (curl_slist* item = list; item; item = item->next) lines.emplace_back(item->data);
    curl_slist_free_all(list);
    return lines;
  }

  void Command(const std::string& command) const {
    net::EasyHandle curl = Attached();
    if (curl) curl_easy_setopt(curl.get(), CURLOPT_COOKIELIST, command.c_str());
  }
};

CookieStore::CookieStore() : impl_(std::make_unique<Impl>()) {
  net::EnsureCurlGlobal();
  impl_->share.reset(curl_share_init());
  if (impl_->share) {
    curl_share_setopt(impl_->share.get(), CURLSHOPT_LOCKFUNC, &Impl::Lock);
    curl_share_setopt(impl_->share.get(), CURLSHOPT_UNLOCKFUNC, &Impl::Unlock);
    curl_share_setopt(impl_->share.get(), CURLSHOPT_USERDATA, impl_.get());
    curl_share_setopt(impl_->share.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    // Not cookies: every exchange attaches to this one share handle, so the engine's DNS answers
    // and TLS sessions are shared here too (open connections live in the engine's multi
    // handles, CurlSupport.h).
    curl_share_setopt(impl_->share.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    curl_share_setopt(impl_->share.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
  }
}

CookieStore::~CookieStore() = default;

CookieStore& CookieStore::Shared() {
  static CookieStore store;
  return store;
}

void* CookieStore::ShareHandle() { return impl_->share.get(); }

std::string CookieStore::CookiesFor(const std::string& address) {
  net::UrlParts url;
  if (!net::SplitUrl(address, url)) return {};
  bool https = url.scheme == "https";
  long long now = static_cast<long long>(std::time(nullptr));

  std::vector<CookieLine> matching;
  for (const std::string& line : impl_->Lines()) {
    CookieLine cookie;
    if (!ParseCookieLine(line, cookie)) continue;
    if (!DomainMatches(url.host, cookie.domain, cookie.includeSubdomains)) continue;
    if (!PathMatches(url.path, cookie.path)) continue;
    if (cookie.secure && !https) continue;
    if (cookie.expires != 0 && cookie.expires <= now) continue;
    matching.push_back(std::move(cookie));
  }
  // Longer paths first; the store's order (older first) among equal paths.
  std::stable_sort(matching.begin(), matching.end(), [](const CookieLine& a, const CookieLine& b) {
    return a.path.size() > b.path.size();
  });
  std::string text;
  for (const CookieLine& cookie : matching) {
    if (!text.empty()) text += "; ";
    text += cookie.name + "=" + cookie.value;
  }
  return text;
}

// Lines the store cannot hold as written (see ParseFileLine), expired cookies and cookies
// beyond the limits are skipped whole. Cookies already held count towards the limits.
bool CookieStore::ImportFile(const std::filesystem::path& path) {
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) return false;
  CookieFilter filter;
  std::string canonical;
  for (const std::string& line : impl_->Lines()) filter.Accept(line, canonical);
  std::istringstream lines(bytes);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (filter.Accept(line, canonical)) impl_->Command(canonical);
  }
  return true;
}

void CookieStore::SetCookie(const std::string& address, const std::string& setCookieValue) {
  net::UrlParts url;
  if (!net::SplitUrl(address, url)) return;

  // "name=value; Attr=...; Flag": the pair, then the attributes that place and date it.
  std::vector<std::string> parts;
  size_t begin = 0;
  for (size_t semicolon; (semicolon = setCookieValue.find(';', begin)) != std::string::npos;
       begin = semicolon + 1) {
    parts.push_back(setCookieValue.substr(begin, semicolon - begin));
  }
  parts.push_back(setCookieValue.substr(begin));
  std::string pair = Trim(parts[0]);
  size_t equals = pair.find('=');
  if (equals == std::string::npos || equals == 0) return;
  std::string name = Trim(pair.substr(0, equals));
  std::string value = Trim(pair.substr(equals + 1));
  if (name.empty() || name.find('\t') != std::string::npos ||
      value.find('\t') != std::string::npos || name.size() + value.size() > kMaxCookieBytes) {
    return;
  }

  std::string domain = url.host;
  bool includeSubdomains = false;
  std::string path = DefaultPath(url.path);
  bool secure = false;
  bool httpOnly = false;
  long long expires = 0;
  bool maxAgeSeen = false;
  long long now = static_cast<long long>(std::time(nullptr));
  for (size_t i = 1; i < parts.size(); ++i) {
    std::string attribute = Trim(parts[i]);
    size_t eq = attribute.find('=');
    std::string key = Trim(attribute.substr(0, eq));
    std::string argument = eq == std::string::npos ? std::string() : Trim(attribute.substr(eq + 1));
    if (EqualsNoCase(key, "domain") && !argument.empty()) {
      if (argument[0] == '.') argument.erase(0, 1);
      std::transform(argument.begin(), argument.end(), argument.begin(),
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
      if (!DomainMatches(url.host, argument, true)) return;  // a cookie for another site
      domain = argument;
      includeSubdomains = true;
    } else if (EqualsNoCase(key, "path") && !argument.empty() && argument[0] == '/') {
      path = argument;
    } else if (EqualsNoCase(key, "secure")) {
      secure = true;
    } else if (EqualsNoCase(key, "httponly")) {
      httpOnly = true;
    } else if (EqualsNoCase(key, "max-age") && !argument.empty()) {
      long long seconds = argument[0] == '-' ? -1 : ReadDecimal(argument);
      expires = seconds <= 0 ? 1 : now + seconds;
      maxAgeSeen = true;
    } else if (EqualsNoCase(key, "expires") && !maxAgeSeen) {
      time_t when = curl_getdate(argument.c_str(), nullptr);
      if (when != -1) expires = when <= 0 ? 1 : static_cast<long long>(when);
    }
  }
  std::string line = (httpOnly ? "#HttpOnly_" : "") + std::string(includeSubdomains ? "." : "") +
                     domain + "\t" + (includeSubdomains ? "TRUE" : "FALSE") + "\t" + path + "\t" +
                     (secure ? "TRUE" : "FALSE") + "\t" + std::to_string(expires) + "\t" + name +
                     "\t" + value;
  impl_->Command(line);
}

bool CookieStore::Load(const std::filesystem::path& path) {
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) return false;
  Clear();
  const bool ok = ImportFile(path);
  impl_->Saw(path);
  return ok;
}

bool CookieStore::SaveMerged(const std::filesystem::path& path) {
  if (impl_->ChangedElsewhere(path)) ImportFile(path);
  return Save(path);
}

bool CookieStore::Save(const std::filesystem::path& path) {
  // Only what a load gives back as it was: expired cookies, cookies beyond the limits and
  // cookies no line can represent are left out.
  std::string text = "# Netscape HTTP Cookie File\n";
  CookieFilter filter;
  std::string canonical;
  for (const std::string& line : impl_->Lines())
    if (filter.Accept(line, canonical)) text += canonical + "\n";

  std::string temp = path.string() + ".part-XXXXXX";
  int fd = mkstemp(temp.data());  // mode 0600
  if (fd < 0) return false;
  bool ok = fchmod(fd, 0600) == 0;
  for (size_t written = 0; ok && written < text.size();) {
    ssize_t n = write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) written += static_cast<size_t>(n);
  }
  ok = close(fd) == 0 && ok;
  if (ok && rename(temp.c_str(), path.c_str()) == 0) {
    impl_->Saw(path);
    return true;
  }
  unlink(temp.c_str());
  return false;
}

void CookieStore::Clear() { impl_->Command("ALL"); }

// The login window's exchange with the store: whole cookies with their attributes.

namespace {

// libcurl keeps a cookie replaced by an expired one (a deletion) until it next reads a cookie
// file or sends cookies, and lists it until then; reading the empty file /dev/null drops it now.
void DropExpired(CURLSH* share) {
  net::EasyHandle curl = net::AcquireEasy();
  if (!curl) return;
  curl_easy_setopt(curl.get(), CURLOPT_SHARE, share);
  curl_easy_setopt(curl.get(), CURLOPT_COOKIEFILE, "/dev/null");
  curl_easy_setopt(curl.get(), CURLOPT_COOKIELIST, "RELOAD");
}

}  // namespace

std::vector<StoredCookie> CookieStore::AllCookies() {
  std::vector<StoredCookie> cookies;
  const long long now = static_cast<long long>(std::time(nullptr));
  for (const std::string& line : impl_->Lines()) {
    CookieLine parsed;
    if (!ParseCookieLine(line, parsed)) continue;
    if (parsed.expires != 0 && parsed.expires <= now) continue;
    StoredCookie cookie;
    cookie.domain = std::move(parsed.domain);
    cookie.includeSubdomains = parsed.includeSubdomains;
    cookie.path = std::move(parsed.path);
    cookie.secure = parsed.secure;
    cookie.httpOnly = line.rfind("#HttpOnly_", 0) == 0;
    cookie.expires = parsed.expires;
    cookie.name = std::move(parsed.name);
    cookie.value = std::move(parsed.value);
    cookies.push_back(std::move(cookie));
  }
  return cookies;
}

bool CookieStore::PutCookie(const StoredCookie& cookie) {
  std::string domain = cookie.domain;
  if (!domain.empty() && domain[0] == '.') domain.erase(0, 1);
  std::transform(domain.begin(), domain.end(), domain.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const std::string path = cookie.path.empty() ? std::string("/") : cookie.path;
  // Only what cookies.txt can hold and give back unchanged: no control character anywhere, a
  // name without "=", ";" or blanks, a value and a path without ";".
  for (const std::string* field :
       std::initializer_list<const std::string*>{&domain, &path, &cookie.name, &cookie.value}) {
    for (const char c : *field) {
      const auto byte = static_cast<unsigned char>(c);
      if (byte < 0x20 || byte == 0x7F) return false;
    }
  }
  if (domain.empty() || cookie.name.empty() || path[0] != '/' ||
      cookie.name.find_first_of("=; ") != std::string::npos ||
      cookie.value.find(';') != std::string::npos || path.find(';') != std::string::npos) {
    return false;
  }
  // An expired cookie replaces the held one and is dropped with it: the store's way to delete.
  const long long expires = cookie.expires < 0 ? 1 : cookie.expires;
  const std::string line = (cookie.httpOnly ? "#HttpOnly_" : "") +
                           std::string(cookie.includeSubdomains ? "." : "") + domain + "\t" +
                           (cookie.includeSubdomains ? "TRUE" : "FALSE") + "\t" + path + "\t" +
                           (cookie.secure ? "TRUE" : "FALSE") + "\t" + std::to_string(expires) +
                           "\t" + cookie.name + "\t" + cookie.value;
  impl_->Command(line);
  if (expires != 0 && expires <= static_cast<long long>(std::time(nullptr))) {
    DropExpired(impl_->share.get());
  }
  return true;
}

void CookieStore::DeleteCookie(const std::string& domain, const std::string& path,
                               const std::string& name) {
  std::string bare = domain;
  if (!bare.empty() && bare[0] == '.') bare.erase(0, 1);
  std::transform(bare.begin(), bare.end(), bare.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const StoredCookie& held : AllCookies()) {
    if (held.domain != bare || held.path != path || held.name != name) continue;
    StoredCookie gone = held;
    gone.value.clear();
    gone.expires = 1;
    PutCookie(gone);
  }
}

std::string GetCookies(const std::string& address) {
  return CookieStore::Shared().CookiesFor(address);
}

std::string CookieValue(const std::string& cookies, const std::string& name) {
  return GetBetweenCopy(cookies + ";", " " + name + "=", ";");
}

uint32_t ComputeGtk(const std::string& skey) {
  uint32_t hash = 5381;
  for (char16_t unit : ToUtf16(skey)) hash = hash * 33 + unit;
  return hash & 0x7FFFFFFFu;
}

}  // namespace albumora
