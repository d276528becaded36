// SPDX-License-Identifier: GPL-3.0-or-later
// The repairs after an album's pool: the extension the content shows, and file times in list
// order.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fstream>

#include "download/DownloadJob.h"
#include "download/Repairs.h"
#include "fs/FileNames.h"
#include "model/AppState.h"

namespace albumora {

namespace {

// The extension the first bytes show; empty when none of the known signatures matches.
std::string ExtensionOf(const unsigned char (&b)[7]) {
  if (b[0] == 0xFF && b[1] == 0xD8) return ".jpg";
  if (b[0] == 0x89 && b[1] == 0x50) return ".png";
  if (b[0] == 0x47 && b[1] == 0x49 && b[2] == 0x46) return ".gif";
  if (b[0] == 0x42 && b[1] == 0x4D) return ".bmp";
  if (b[0] == 0 && b[1] == 0 && b[3] == 0 && b[4] == 0 && (b[2] == 2 || b[2] == 16)) return ".tga";
  if (b[0] == 0 && b[1] == 0 && b[2] == 1 && b[3] == 0 && b[4] == 1) return ".ico";
  if (b[0] == 0 && b[1] == 0 && b[2] == 2 && b[3] == 0 && b[4] == 1) return ".cur";
  if ((b[0] == 0x4D && b[1] == 0x4D) || (b[0] == 0x49 && b[1] == 0x49)) return ".tiff";
  return {};
}

// A move that never replaces an existing file.
bool MoveNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return true;
  }
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without the no-replace rename: a hard link fails on an existing name too.
  if (link(from.c_str(), to.c_str()) != 0) return false;
  unlink(from.c_str());
  return true;
}

}  // namespace

bool FixFormat(std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return false;

  // The extension is looked for in the file's own name only, never in a folder above it.
  size_t nameStart = path.rfind(kPathSep);
  nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
  size_t dot = path.rfind('.');
  std::string stem = path;
  std::string extension;
  if (dot != std::string::npos && dot >= nameStart) {
    stem = path.substr(0, dot);
    extension = path.substr(dot);
  }

  unsigned char bytes[7] = {};
  {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    in.read(reinterpret_cast<char*>(bytes), sizeof bytes);
  }
  std::string shown = ExtensionOf(bytes);
  if (!shown.empty()) extension = shown;

  // A name already as long as the file system allows ("….jpg") would not take ".tiff".
  std::string moved = FitFileName(stem + extension);
  if (moved == path) return false;
  std::string old = path;
  path = moved;
  return MoveNoReplace(old, moved);
}

void FixFormatList(DownloadList& list) {
  for (std::string& name : list.arrName) {
    std::string path = list.strSaveDir + name;
    FixFormat(path);
    size_t sep = path.rfind(kPathSep);
    name = sep == std::string::npos ? path : path.substr(sep + 1);
  }
}

void FixOrder(DownloadList& list) {
  int64_t seconds = static_cast<int64_t>(std::time(nullptr));
  for (const std::string& name : list.arrName) {
    SetAllFileTimes(list.strSaveDir + name, seconds);
    seconds -= 60;
  }
}

void SetAllFileTimes(const std::string& path, int64_t seconds) {
  // This platform keeps no creation time that a program may set: the access and modification
  // times are set.
  int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return;
  if (seconds > 0) {
    struct timespec times[2] = {};
    times[0].tv_sec = static_cast<time_t>(seconds);
    times[1].tv_sec = static_cast<time_t>(seconds);
    futimens(fd, times);
  }
  close(fd);
}

}  // namespace albumora
