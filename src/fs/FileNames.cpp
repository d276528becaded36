// SPDX-License-Identifier: GPL-3.0-or-later
// File and folder names: cleaning, folder chains, picture extensions, diagnostic files and the
// file system's limit on a name's length.
#include "fs/FileNames.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <string_view>
#include <system_error>

#include "fs/ProgramFolder.h"
#include "text/StringCtrl.h"

namespace albumora {

namespace {

// The message callback EnsureDirPath reports a failing folder through.
struct FolderMessageHook {
  std::mutex mutex;
  FolderMessage callback;
};

FolderMessageHook& MessageHook() {
  static FolderMessageHook hook;
  return hook;
}

void ShowFolderMessage(const std::string& folder) {
  FolderMessage callback;
  {
    std::lock_guard lock(MessageHook().mutex);
    callback = MessageHook().callback;
  }
  if (callback) callback(folder);
}

std::string LocalTimeStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return {};
  char buffer[32];
  const size_t length = std::strftime(buffer, sizeof buffer, "%Y%m%d%H%M%S", &local);
  return std::string(buffer, length);
}

void RemoveEach(std::string& text, std::string_view characters) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text)
    if (characters.find(c) == std::string_view::npos) out += c;
  text = std::move(out);
}

// Runs of spaces become one space (what replacing "  " by " " until none is left gives).
void CollapseSpaces(std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text)
    if (c != ' ' || out.empty() || out.back() != ' ') out += c;
  text = std::move(out);
}

// C0, DEL, C1, and the bidirectional embeddings, overrides and isolates (U+202A-U+202E,
// U+2066-U+2069), which could show "gpj.exe" as "exe.jpg".
bool IsControl(char32_t cp) {
  return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || (cp >= 0x202A && cp <= 0x202E) ||
         (cp >= 0x2066 && cp <= 0x2069);
}

// Removes every control character; invalid UTF-8 becomes U+FFFD.
void RemoveControls(std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    const char32_t cp = ReadCodePoint(text, pos);
    if (!IsControl(cp)) AppendCodePoint(out, cp);
  }
  text = std::move(out);
}

}  // namespace

// Control characters go where the bell character went: after tabs became "_". A site's album
// name with an escape sequence would otherwise reach folder names and every terminal that
// prints them.
void CleanFileName(std::string& text, unsigned pattern, bool fallback) {
  DecodeEntities(text);
  CollapseSpaces(text);
  text = Trim(text);
  ReplaceAll(text, ".", "\u3002");
  RemoveEach(text, "\r\n\\/:*?\"<>|");
  ReplaceAll(text, "\t", "_");
  RemoveControls(text);
  text = Trim(text);
  if (fallback && (text.empty() || Utf16Length(text) >= 1000)) {
    if (pattern == 0xFFFF) {
      text = LocalTimeStamp();
    } else {
      text = "pic" + std::to_string(pattern);
    }
  }
}

// The folder chain is made level by level with kPathSep. An absolute path keeps its leading
// separator and its scan starts after it. A level that exists but is no folder fails like one
// that cannot be made: the caller could not put a file inside it.
bool EnsureDirPath(std::string& path) {
  path = Trim(path);
  if (path.empty()) return true;
  if (path.back() != kPathSep) path += kPathSep;
  size_t scan = path.front() == kPathSep ? 1 : 0;
  for (;;) {
    const size_t at = path.find(kPathSep, scan);
    if (at == std::string::npos || at == 0) return true;
    const std::string prefix = path.substr(0, at);
    std::error_code error;
    bool ok = std::filesystem::is_directory(prefix, error);
    if (!ok) {
      std::filesystem::create_directory(prefix, error);  // another thread may win the race
      ok = std::filesystem::is_directory(prefix, error);
    }
    if (!ok) {
      ShowFolderMessage(prefix);
      return false;
    }
    scan = at + 1;
  }
}

void SetFolderMessage(FolderMessage callback) {
  std::lock_guard lock(MessageHook().mutex);
  MessageHook().callback = std::move(callback);
}

bool HasPictureExt(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  std::string ext = name.substr(dot);
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return ext == ".jpeg" || ext == ".jpg" || ext == ".bmp" || ext == ".gif" || ext == ".png" ||
         ext == ".tif";
}

bool ReplaceFileWith(const std::string& path, std::string_view bytes) {
  const size_t slash = path.rfind(kPathSep);
  std::string temp =
      (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + ".part-XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  bool ok = ::fchmod(fd, 0644) == 0;
  for (size_t done = 0; ok && done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  // On disk before the rename: after a crash the file holds the old bytes or the new, whole.
  ok = ok && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) {
    const int error = errno;
    ::unlink(temp.c_str());
    errno = error;  // the caller may name the reason
  }
  return ok;
}

void WriteUnicodeFile(const std::string& name, const char* data, size_t count) {
  std::string bytes("\xFF\xFE", 2);
  if (data != nullptr && count > 0) bytes.append(data, count);
  // Diagnostic copies belong to the program folder, not to whatever folder the process runs in.
  const std::string file = name.empty() ? std::string("1.txt") : name;
  ReplaceFileWith(file.front() == kPathSep ? file : ProgramFile(file).string(), bytes);
}

void WriteUnicodeText(const std::string& name, const std::string& text) {
  const std::u16string units = ToUtf16(text);
  std::string bytes;
  bytes.reserve(units.size() * 2);
  for (const char16_t unit : units) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  WriteUnicodeFile(name, bytes.data(), bytes.size());
}

std::string CutName(std::string_view name, size_t maxBytes) {
  size_t keep = 0;
  for (size_t pos = 0; pos < name.size();) {
    ReadCodePoint(name, pos);
    if (pos > maxBytes) break;
    keep = pos;
  }
  return std::string(name.substr(0, keep));
}

// The extension is the text from the component's last "." when that is short (a picture or list
// extension); the stem before it is cut at a character boundary.
std::string FitFileName(const std::string& path) {
  constexpr size_t kMaxExtBytes = 16;
  const size_t slash = path.rfind(kPathSep);
  const size_t begin = slash == std::string::npos ? 0 : slash + 1;
  const std::string_view name = std::string_view(path).substr(begin);
  std::string out = path.substr(0, begin);
  if (name.empty() || name == "." || name == "..") return out + "_";
  if (name.size() <= kMaxNameBytes) return path;
  std::string_view ext;
  const size_t dot = name.rfind('.');
  if (dot != std::string_view::npos && dot > 0 && name.size() - dot <= kMaxExtBytes)
    ext = name.substr(dot);
  const std::string_view stem = name.substr(0, name.size() - ext.size());
  std::string fitted = CutName(stem, kMaxNameBytes - ext.size());
  fitted.append(ext);
  if (fitted == "." || fitted == "..") fitted = "_";
  return out + fitted;
}

}  // namespace albumora
