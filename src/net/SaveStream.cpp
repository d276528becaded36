#include "net/SaveStream.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
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

SaveStream::SaveStream(std::string target, bool picture, uint64_t maxBytes)
    : target_(std::move(target)), picture_(picture), maxBytes_(maxBytes), decided_(!picture) {}

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
  if (maxBytes_ != 0 && landed_ > maxBytes_) return false;
  if (decided_) {
    ToFile(data, length);
    return true;
  }
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
      if (match == 1) return false;  // an HTML document is no picture
      if (match == -1 && !atEnd) undecided = true;
    }
  }
  if (undecided) return true;
  decided_ = true;
  ToFile(held_.data(), held_.size());
  held_.clear();
  held_.shrink_to_fit();
  return true;
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

void SaveStream::ToFile(const char* data, size_t length) {
  if (fileFailed_) return;
  if (fd_ < 0) {
    const size_t slash = target_.rfind('/');
    // The writer's process id is in the name: a later run can tell a killed run's leftover
    // from a file another running process is still writing.
    tempPath_ = (slash == std::string::npos ? std::string() : target_.substr(0, slash + 1)) +
                kPartPrefix + std::to_string(::getpid()) + "-XXXXXX";
    fd_ = ::mkstemp(tempPath_.data());
    if (fd_ < 0 || ::fchmod(fd_, 0644) != 0) {
      fileFailed_ = true;
      Remove();
      return;
    }
  }
  for (size_t done = 0; done < length;) {
    const ssize_t n = ::write(fd_, data + done, length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      fileFailed_ = true;
      Remove();
      return;
    }
    done += static_cast<size_t>(n);
  }
}

bool SaveStream::Commit() {
  if (fd_ < 0) ToFile(nullptr, 0);  // an accepted empty answer is an empty file
  if (fileFailed_ || fd_ < 0) return false;
  const bool closed = ::close(fd_) == 0;
  fd_ = -1;
  if (!closed || ::rename(tempPath_.c_str(), target_.c_str()) != 0) {
    Remove();
    return false;
  }
  committed_ = true;
  return true;
}

void SaveStream::Remove() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!tempPath_.empty()) {
    ::unlink(tempPath_.c_str());
    tempPath_.clear();
  }
}

int RemoveStaleParts(const std::string& folder) {
  int removed = 0;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(kPartPrefix, 0) != 0) continue;
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
