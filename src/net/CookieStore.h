// SPDX-License-Identifier: GPL-3.0-or-later
// The one process-wide cookie store: every exchange sends from it and stores into it, the login
// window fills it, and it persists as a Netscape cookies.txt (mode 0600, written through a
// temporary file and a rename). Thread-safe.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace albumora {

// One cookie of the store with everything that places and dates it (what the login window's
// browser and the store exchange).
struct StoredCookie {
  std::string domain;              // lower case, no leading dot
  bool includeSubdomains = false;  // false: a host-only cookie
  std::string path = "/";
  bool secure = false;
  bool httpOnly = false;
  long long expires = 0;  // seconds since the epoch; 0: a session cookie
  std::string name;
  std::string value;
};

class CookieStore {
 public:
  static CookieStore& Shared();

  // The cookies for an address's host and path: "name=value" pairs joined by "; ", longer paths
  // first, then older first; empty when there is none.
  std::string CookiesFor(const std::string& address);
  // Merges a Netscape cookies.txt (browser exports included, "#HttpOnly_" lines too). Keeps the
  // limits browsers keep (4096 bytes of name and value, 150 cookies a domain, 3000 in all),
  // skips expired cookies and skips whole every line a save could not write back as read.
  bool ImportFile(const std::filesystem::path& path);
  // Adds one cookie as a Set-Cookie header value received from address.
  void SetCookie(const std::string& address, const std::string& setCookieValue);
  // Loads the persisted store (replacing what is held) and saves it; a save leaves out expired
  // cookies and those beyond the limits, so a save and a load give the same store.
  bool Load(const std::filesystem::path& path);
  bool Save(const std::filesystem::path& path);
  // Saves the store to a file another process may also write (the command line and the window
  // share cookies.txt): when the file changed since this store last loaded or saved it, its
  // cookies are merged in first, so a login another process saved meanwhile is kept.
  bool SaveMerged(const std::filesystem::path& path);
  void Clear();

  // Every cookie held that has not expired, in the store's order.
  std::vector<StoredCookie> AllCookies();
  // Adds a cookie, replacing the one of the same domain, path and name; an expiry in the past
  // removes that one instead. Cookies with a tab or line break in a field are refused.
  bool PutCookie(const StoredCookie& cookie);
  // Removes the cookie of that domain (leading dot ignored), path and name, if held.
  void DeleteCookie(const std::string& domain, const std::string& path, const std::string& name);

  // The libcurl share handle exchanges attach to (CURLSH*), as an opaque pointer.
  void* ShareHandle();

  CookieStore(const CookieStore&) = delete;
  CookieStore& operator=(const CookieStore&) = delete;
  ~CookieStore();

 private:
  CookieStore();
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The cookie reader of the fetch recipe.
std::string GetCookies(const std::string& address);
// Reads one cookie value the way the adapters do: " name=" to ";" in cookies + ";". A cookie
// that stands first in the text (no blank before it) is not found.
std::string CookieValue(const std::string& cookies, const std::string& name);
// The Qzone request token over the UTF-16 code units of skey.
uint32_t ComputeGtk(const std::string& skey);

}  // namespace albumora
