// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/SaveStream.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>

namespace albumora::net {

namespace {

// A coded picture is refused past this many decoded bytes when no size limit bounds it: a few
// KB of gzip can otherwise fill the disk.
constexpr uint64_t kMaxDecodedBytes = uint64_t{1} << 30;
// A picture's leading blanks are held (unwritten) at most this long before the HTML check gives
// up and lets them land.
constexpr size_t kMaxHeldBlanks = 65536;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

// A header's value in a raw header block ("" when absent), any letter case of its name.
std::string HeaderOf(const std::string& block, std::string_view name) {
  std::string lower;
  lower.reserve(block.size());
  for (char c : block) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::string marker = "\r\n";
  for (char c : name) marker += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  marker += ':';
  const size_t at = lower.find(marker);
  if (at == std::string::npos) return {};
  size_t begin = at + marker.size();
  size_t end = block.find("\r\n", begin);
  if (end == std::string::npos) end = block.size();
  while (begin < end && IsBlank(block[begin])) ++begin;
  while (end > begin && IsBlank(block[end - 1])) --end;
  return block.substr(begin, end - begin);
}

// The version an answer names: a strong ETag, else its Last-Modified date; empty: none (a
// weak ETag does not vouch for the same bytes).
std::string VersionOf(const std::string& headers) {
  const std::string etag = HeaderOf(headers, "ETag");
  if (!etag.empty() && etag.rfind("W/", 0) != 0) return etag;
  return HeaderOf(headers, "Last-Modified");
}

bool ReadNumber(std::string_view text, uint64_t& value) {
  if (text.empty() || text.size() > 19) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return true;
}

// The file name part of a path.
std::string_view NameOf(std::string_view path) {
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// A stable 64-bit FNV-1a hash, for the partial file's name.
std::string HashText(std::string_view text) {
  uint64_t hash = 14695981039346656037ULL;
  for (char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ULL;
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return hex;
}

// 1: text starts with marker (any letter case); 0: it cannot; -1: text is a shorter prefix.
int StartsWithNoCase(std::string_view text, std::string_view marker) {
  size_t n = std::min(text.size(), marker.size());
  for (size_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != marker[i]) return 0;
  }
  return text.size() >= marker.size() ? 1 : -1;
}

}  // namespace

void SaveStream::InflateEnd::operator()(z_stream* stream) const {
  inflateEnd(stream);
  delete stream;
}

SaveStream::SaveStream(std::string target, bool picture, uint64_t maxBytes, std::string resumeKey)
    : target_(std::move(target)),
      picture_(picture),
      maxBytes_(maxBytes),
      decided_(!picture),
      resumeKey_(picture ? std::move(resumeKey) : std::string()) {
  if (resumeKey_.empty()) return;
  const size_t slash = target_.rfind('/');
  partialPath_ = (slash == std::string::npos ? std::string() : target_.substr(0, slash + 1)) +
                 kResumePrefix + HashText(resumeKey_ + "\n" + std::string(NameOf(target_)));
  infoPath_ = partialPath_ + ".info";
}

std::string SaveStream::ResumeHeaders() {
  askedFrom_ = 0;
  askedVersion_.clear();
  if (partialPath_.empty()) return {};
  // The info file: the address, the version, the whole size; one a line.
  std::ifstream info(infoPath_);
  std::string address, version, total;
  if (!std::getline(info, address) || !std::getline(info, version) || !std::getline(info, total) ||
      address != resumeKey_ || version.empty() || !ReadNumber(total, askedTotal_)) {
    return {};
  }
  struct stat status {};
  if (::stat(partialPath_.c_str(), &status) != 0 || !S_ISREG(status.st_mode) ||
      status.st_size <= 0 || static_cast<uint64_t>(status.st_size) >= askedTotal_) {
    return {};
  }
  askedFrom_ = static_cast<uint64_t>(status.st_size);
  askedVersion_ = version;
  return "Range: bytes=" + std::to_string(askedFrom_) + "-\r\nIf-Range: " + version;
}

bool SaveStream::Begin(long status, const std::string& headers) {
  if (partialPath_.empty() || coding_ != Coding::None) {
    // A coded answer lands decoded: its bytes cannot continue a file.
    if (askedFrom_ > 0 && status == 206) {
      DropPartial();
      return false;
    }
    return true;
  }
  const std::string version = VersionOf(headers);
  if (askedFrom_ > 0 && status == 206) {
    // "Content-Range: bytes N-M/T": from byte N of the same version and the same whole size.
    const std::string range = HeaderOf(headers, "Content-Range");
    const size_t dash = range.find('-');
    const size_t slash = range.find('/');
    uint64_t first = 0;
    uint64_t total = 0;
    const bool fits = range.rfind("bytes ", 0) == 0 && dash != std::string::npos &&
                      slash != std::string::npos && dash < slash &&
                      ReadNumber(std::string_view(range).substr(6, dash - 6), first) &&
                      ReadNumber(std::string_view(range).substr(slash + 1), total) &&
                      first == askedFrom_ && total == askedTotal_ && version == askedVersion_;
    if (!fits) {
      DropPartial();
      return false;
    }
    resumeFrom_ = askedFrom_;
    landed_ = askedFrom_;
    resumable_ = true;
    decided_ = true;  // the start of the picture was checked when it landed
    return true;
  }
  if (status == 206 || !HeaderOf(headers, "Content-Range").empty()) {
    // A part never asked for, or a part that calls itself whole.
    DropPartial();
    return false;
  }
  // Anything else starts over: a new partial file when this answer can be resumed.
  DropPartial();
  uint64_t total = 0;
  if (status == 200 && !version.empty() && HeaderOf(headers, "Accept-Ranges") == "bytes" &&
      ReadNumber(HeaderOf(headers, "Content-Length"), total) && total > 0) {
    std::ofstream info(infoPath_, std::ios::trunc);
    info << resumeKey_ << "\n" << version << "\n" << total << "\n";
    info.close();
    resumable_ = static_cast<bool>(info);
    if (!resumable_) ::unlink(infoPath_.c_str());
  }
  return true;
}

void SaveStream::Discard() {
  discard_ = true;
  // Nothing of this answer is in the partial file yet: what an earlier one left goes now.
  if (fd_ < 0) DropPartial();
}

void DropResumeFile(const std::string& target, const std::string& address) {
  SaveStream stream(target, true, 0, address);
  stream.Discard();
}

void SaveStream::DropPartial() {
  if (partialPath_.empty()) return;
  ::unlink(partialPath_.c_str());
  ::unlink(infoPath_.c_str());
  resumeFrom_ = 0;
  resumable_ = false;
}

SaveStream::~SaveStream() {
  if (!committed_) Remove();
}

void SaveStream::SetContentEncoding(const std::string& value) {
  if (!picture_) return;
  std::string coding;
  for (char c : value) {
    if (!IsBlank(c)) coding += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  if (coding == "gzip" || coding == "x-gzip") {
    coding_ = Coding::Gzip;
  } else if (coding == "deflate") {
    coding_ = Coding::Deflate;
  }
  if (coding_ != Coding::None && maxBytes_ == 0) maxBytes_ = kMaxDecodedBytes;
}

bool SaveStream::Write(const char* data, size_t length) {
  if (coding_ == Coding::None) return Land(data, length);
  return Decode(data, length);
}

bool SaveStream::Decode(const char* data, size_t length) {
  if (!inflater_) {
    // gzip and zlib streams announce themselves (window bits 47); "deflate" is a zlib stream
    // by the book and raw deflate from some servers: its first two bytes tell.
    int windowBits = 47;
    if (coding_ == Coding::Deflate) {
      codingHead_.append(data, length);
      if (codingHead_.size() < 2) return true;
      auto b0 = static_cast<unsigned char>(codingHead_[0]);
      auto b1 = static_cast<unsigned char>(codingHead_[1]);
      if ((b0 & 0x0F) != 8 || ((b0 << 8) | b1) % 31 != 0) windowBits = -15;
    }
    inflater_.reset(new z_stream{});
    if (inflateInit2(inflater_.get(), windowBits) != Z_OK) {
      // inflateEnd on a stream that failed to initialise is harmless (it reports an error).
      return false;
    }
    if (!codingHead_.empty()) {
      std::string head = std::move(codingHead_);
      codingHead_.clear();
      return Decode(head.data(), head.size());
    }
  }
  z_stream& stream = *inflater_;
  char window[16384];
  size_t fed = 0;
  bool windowFilled = false;  // inflate may hold more output for this input
  while (!codingEnded_) {
    if (stream.avail_in == 0 && fed < length) {
      size_t piece = std::min<size_t>(length - fed, UINT_MAX);
      stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data + fed));
      stream.avail_in = static_cast<uInt>(piece);
      fed += piece;
    } else if (stream.avail_in == 0 && !windowFilled) {
      break;
    }
    stream.next_out = reinterpret_cast<Bytef*>(window);
    stream.avail_out = sizeof window;
    int result = inflate(&stream, Z_NO_FLUSH);
    size_t produced = sizeof window - stream.avail_out;
    windowFilled = stream.avail_out == 0;
    if (produced > 0 && !Land(window, produced)) return false;
    if (result == Z_STREAM_END) {
      codingEnded_ = true;  // bytes after the end of the stream are ignored
    } else if (result == Z_BUF_ERROR && produced == 0) {
      if (stream.avail_in != 0) return false;
    } else if (result != Z_OK) {
      return false;
    }
  }
  stream.avail_in = 0;
  return true;
}

bool SaveStream::Land(const char* data, size_t length) {
  landed_ += length;
  if (maxBytes_ != 0 && landed_ > maxBytes_) {
    discard_ = true;
    return false;
  }
  // A page's file that cannot be written leaves the answer good (Commit tells); a picture's
  // fails at once, so that a full disk stops it without reading the rest.
  if (decided_) return ToFile(data, length) || !picture_;
  held_.append(data, length);
  return DecideHtml(false);
}

bool SaveStream::DecideHtml(bool atEnd) {
  std::string_view text(held_);
  size_t start = 0;
  while (start < text.size() && IsBlank(text[start])) ++start;
  bool undecided = false;
  if (start == text.size()) {
    undecided = !atEnd && text.size() <= kMaxHeldBlanks;
  } else {
    for (std::string_view marker :
         {std::string_view("<!doctype html"), std::string_view("<html")}) {
      int match = StartsWithNoCase(text.substr(start), marker);
      if (match == 1) {  // an HTML document is no picture
        discard_ = true;
        return false;
      }
      if (match == -1 && !atEnd) undecided = true;
    }
  }
  if (undecided) return true;
  decided_ = true;
  const bool written = ToFile(held_.data(), held_.size());
  held_.clear();
  held_.shrink_to_fit();
  return written;
}

bool SaveStream::Finish() {
  if (coding_ != Coding::None) {
    if (!inflater_ && !codingHead_.empty()) {
      // A deflate answer of a single byte: no stream can be that short.
      return false;
    }
    if (inflater_ && !codingEnded_) return false;  // the coded stream was cut or corrupt
  }
  if (!decided_ && !DecideHtml(true)) return false;
  return !picture_ || landed_ > 0;
}

bool SaveStream::OpenFile() {
  if (resumable_) {
    // The partial file: continued from its end, or begun afresh.
    tempPath_ = partialPath_;
    const int flags = resumeFrom_ > 0 ? O_WRONLY | O_APPEND | O_CLOEXEC
                                      : O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
    fd_ = ::open(tempPath_.c_str(), flags, 0644);
    struct stat status {};
    if (fd_ >= 0 && resumeFrom_ > 0 &&
        (::fstat(fd_, &status) != 0 || static_cast<uint64_t>(status.st_size) != resumeFrom_)) {
      ::close(fd_);
      fd_ = -1;
      errno = 0;
      discard_ = true;
    }
    return fd_ >= 0;
  }
  const size_t slash = target_.rfind('/');
  // The writer's process id is in the name: a later run can tell a killed run's leftover
  // from a file another running process is still writing.
  tempPath_ = (slash == std::string::npos ? std::string() : target_.substr(0, slash + 1)) +
              kPartPrefix + std::to_string(::getpid()) + "-XXXXXX";
  fd_ = ::mkstemp(tempPath_.data());
  return fd_ >= 0 && ::fchmod(fd_, 0644) == 0;
}

bool SaveStream::ToFile(const char* data, size_t length) {
  if (fileFailed_) return false;
  if (fd_ < 0 && !OpenFile()) {
    writeErrno_ = errno != 0 ? errno : EIO;
    fileFailed_ = true;
    Remove();
    return false;
  }
  for (size_t done = 0; done < length;) {
    const ssize_t n = ::write(fd_, data + done, length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // Nothing half-written stays, also not as a partial file to resume.
      writeErrno_ = n < 0 ? errno : ENOSPC;
      fileFailed_ = true;
      Remove();
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

bool SaveStream::Commit() {
  if (fd_ < 0) ToFile(nullptr, 0);  // an accepted empty answer is an empty file
  if (fileFailed_ || fd_ < 0) return false;
  const bool closed = ::close(fd_) == 0;
  if (!closed && writeErrno_ == 0) writeErrno_ = errno;
  fd_ = -1;
  if (!closed || ::rename(tempPath_.c_str(), target_.c_str()) != 0) {
    if (closed) writeErrno_ = errno;
    fileFailed_ = true;
    Remove();
    return false;
  }
  if (resumable_) ::unlink(infoPath_.c_str());
  committed_ = true;
  return true;
}

void SaveStream::Remove() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  // A cut answer that can be resumed keeps its partial file (and its info file) for the next
  // exchange, unless it was refused or a write failed.
  if (resumable_ && !discard_ && !fileFailed_ && tempPath_ == partialPath_ && landed_ > 0) {
    tempPath_.clear();
    return;
  }
  if (!tempPath_.empty()) {
    ::unlink(tempPath_.c_str());
    tempPath_.clear();
  }
  if (resumable_) DropPartial();
}

int RemoveStaleParts(const std::string& folder) {
  int removed = 0;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    // Partial files kept for a resume belong to no process.
    if (name.rfind(kPartPrefix, 0) != 0 || name.rfind(kResumePrefix, 0) == 0) continue;
    const size_t dash = name.find('-', std::strlen(kPartPrefix));
    if (dash == std::string::npos) continue;
    long pid = 0;
    try {
      pid = std::stol(name.substr(std::strlen(kPartPrefix), dash - std::strlen(kPartPrefix)));
    } catch (const std::exception&) {
      continue;
    }
    if (pid <= 0 || pid == ::getpid() || ::kill(static_cast<pid_t>(pid), 0) == 0 ||
        errno != ESRCH) {
      continue;
    }
    std::error_code removeError;
    if (std::filesystem::remove(entry.path(), removeError)) ++removed;
  }
  return removed;
}

}  // namespace albumora::net
