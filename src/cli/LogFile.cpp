// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/LogFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <mutex>

namespace albumora::cli {

namespace {

// The one log of the process: opened once by the command, written from the job's threads.
struct Log {
  std::mutex mutex;
  int fd = -1;
  ~Log() {
    if (fd >= 0) ::close(fd);
  }
};

Log& TheLog() {
  static Log log;
  return log;
}

std::string Stamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
  return text;
}

}  // namespace

bool OpenLog(const std::string& path, std::string& error) {
  Log& log = TheLog();
  std::lock_guard lock(log.mutex);
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    error = "cannot open the log file " + path + ": " + std::strerror(errno);
    return false;
  }
  if (log.fd >= 0) ::close(log.fd);
  log.fd = fd;
  return true;
}

bool LogOpen() {
  Log& log = TheLog();
  std::lock_guard lock(log.mutex);
  return log.fd >= 0;
}

void LogLine(const std::string& text) {
  Log& log = TheLog();
  std::lock_guard lock(log.mutex);
  if (log.fd < 0) return;
  const std::string stamp = Stamp() + " ";
  std::string lines;
  size_t start = 0;
  do {
    const size_t end = text.find('\n', start);
    lines += stamp +
             text.substr(start, end == std::string::npos ? std::string::npos : end - start) + "\n";
    start = end == std::string::npos ? text.size() + 1 : end + 1;
  } while (start <= text.size());
  for (size_t done = 0; done < lines.size();) {
    const ssize_t wrote = ::write(log.fd, lines.data() + done, lines.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) break;  // a full disk: the run goes on without its log
    done += static_cast<size_t>(wrote);
  }
}

}  // namespace albumora::cli
