// SPDX-License-Identifier: GPL-3.0-or-later
// The program folder, decided once (or again when a caller names another folder) and read by
// every thread.
#include "fs/ProgramFolder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <optional>
#include <system_error>
#include <vector>

namespace albumora {

namespace {

namespace fs = std::filesystem;

constexpr const char* kAppFolderName = "Albumora";
constexpr const char* kSettingsFileName = "soft.dat";

struct FolderState {
  std::mutex mutex;
  std::optional<fs::path> folder;
};

FolderState& State() {
  static FolderState state;
  return state;
}

fs::path WithoutTrailingSeparator(fs::path path) {
  if (!path.has_filename() && path.has_parent_path() && path != path.root_path())
    path = path.parent_path();
  return path;
}

fs::path HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  const long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr && found->pw_dir != nullptr)
    return found->pw_dir;
  std::error_code error;
  return fs::current_path(error);
}

fs::path DefaultFolder() {
  std::error_code error;
  const fs::path exe = fs::read_symlink("/proc/self/exe", error);
  if (!error && exe.has_parent_path()) {
    const fs::path beside = exe.parent_path();
    if (fs::is_regular_file(beside / kSettingsFileName, error)) return beside;
  }
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr) {
    const fs::path base(config);
    if (base.is_absolute()) return base / kAppFolderName;
  }
  return HomeFolder() / ".config" / kAppFolderName;
}

fs::path Decide(const fs::path& override, bool create = true) {
  fs::path folder = override.empty() ? DefaultFolder() : override;
  std::error_code error;
  if (folder.is_relative()) {
    const fs::path absolute = fs::absolute(folder, error);
    if (!error) folder = absolute;
  }
  folder = WithoutTrailingSeparator(folder.lexically_normal());
  if (create) fs::create_directories(folder, error);
  return folder;
}

}  // namespace

fs::path InitProgramFolder(const fs::path& override, bool create) {
  FolderState& state = State();
  std::lock_guard lock(state.mutex);
  state.folder = Decide(override, create);
  return *state.folder;
}

fs::path ProgramFolder() {
  FolderState& state = State();
  std::lock_guard lock(state.mutex);
  if (!state.folder) state.folder = Decide({});
  return *state.folder;
}

fs::path ProgramFile(const std::string& name) { return ProgramFolder() / name; }

}  // namespace albumora
