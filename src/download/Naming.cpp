// SPDX-License-Identifier: GPL-3.0-or-later
// AddPicture: the file name of every picture, the album folder at the first picture, the skip
// rule of OPT_SKIP_OLD, and the three side files of an album folder.
#include "download/Naming.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>

#include "archive/Archive.h"
#include "fs/FileNames.h"
#include "model/AppState.h"
#include "model/Settings.h"
#include "net/SaveStream.h"
#include "text/StringCtrl.h"

namespace albumora {

namespace {

constexpr const char* kMarkerName = "pic.zrk";
constexpr const char* kLineBreak = "\r\n";
constexpr unsigned kTimeStampPattern = 0xFFFF;

std::string Utf16LeBytes(const std::string& text) {
  std::u16string units = ToUtf16(text);
  std::string bytes;
  bytes.reserve(units.size() * 2);
  for (char16_t unit : units) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>((unit >> 8) & 0xFF));
  }
  return bytes;
}

// Steps 3 to 6 of the naming: the cleaned name before its extension.
std::string BaseName(const AppState& app, const AlbumState& state, const NameRule& rule,
                     const std::string& address, const std::string& description,
                     const std::string& number) {
  const ST_PERLISTRECORD& album = state.album;
  std::string base;
  switch (rule.byNameMode) {
    case 0:
      base = description;
      break;
    case 2: {
      size_t slash = address.rfind('/');
      base = (slash != std::string::npos && slash > 0) ? address.substr(slash + 1) : number;
      break;
    }
    default:
      base = number;
      break;
  }
  std::string name = FieldText(rule.szPrefix) + base + FieldText(rule.szSuffix);

  ReplaceAll(name, "?1", album.strName);
  ReplaceAll(name, "?2", number);
  ReplaceAll(name, "?3", std::to_string(album.nIndex + 1));
  ReplaceAll(name, "?4", std::to_string(album.nNum1));
  ReplaceAll(name, "?5", std::to_string(album.nNum2));
  ReplaceAll(name, "?6", std::to_string(app.albumList.nTicked));
  ReplaceAll(name, "?7", std::to_string(app.albumList.size()));
  ReplaceAll(name, "?8", state.texts.strOwner);

  ReplaceEach(name, FieldText(rule.szFrom), FieldText(rule.szTo));
  CleanFileName(name, kTimeStampPattern, true);
  return name;
}

// A name is taken in a folder when this job gave it to a picture already (compared as the
// unique-name rule compares), or when a file of someone else's stands there: that file keeps its
// bytes.
// A name handed over to another program (an aria2 daemon, a list file) is taken too: that
// program writes it, maybe on another disk.
bool NameTaken(const TakenNames& names, const std::string& folder, const std::string& name,
               const PictureOrigin* origin = nullptr) {
  if (names.taken.contains(FoldKey(name))) return true;
  std::error_code error;
  if ((origin == nullptr || !origin->remoteNames) &&
      std::filesystem::exists(std::filesystem::symlink_status(folder + name, error))) {
    return true;
  }
  return origin != nullptr && origin->archive != nullptr &&
         origin->archive->PathHandedOver(folder + name);
}

// The unique-name rule: the name, else "stem (1).jpg", "stem (2).jpg", ... the first one free.
// The numbers a stem has used up are remembered, so each name costs constant time.
// found gets the names of the stem passed over for a file on disk alone (also for an earlier
// picture of the job), one a line.
std::string UniqueName(TakenNames& names, const std::string& folder, const std::string& stem,
                       const std::string& name, std::string& found,
                       const PictureOrigin* origin = nullptr) {
  std::vector<std::string>& onDisk = names.onDisk[stem];
  auto taken = [&](const std::string& candidate) {
    if (!NameTaken(names, folder, candidate, origin)) return false;
    if (!names.taken.contains(FoldKey(candidate)) &&
        std::find(onDisk.begin(), onDisk.end(), candidate) == onDisk.end()) {
      onDisk.push_back(candidate);
    }
    return true;
  };
  struct Join {
    const std::vector<std::string>& names;
    std::string& out;
    ~Join() {
      for (const std::string& each : names) out += (out.empty() ? "" : "\n") + each;
    }
  } join{onDisk, found};
  if (!taken(name)) return name;
  unsigned& next = names.nextNumber[stem];
  for (unsigned count = std::max(next, 1U);; ++count) {
    const std::string tail = " (" + std::to_string(count) + ").jpg";
    std::string numbered = CutName(stem, kMaxNameBytes - tail.size()) + tail;
    if (!taken(numbered)) {
      next = count + 1;
      return numbered;
    }
  }
}

// The name of the file an earlier run wrote for this picture, when that file is still in the
// album folder with the size it had and no other picture of this job has taken the name.
// For a hand-off (handOff), a picture an earlier run handed over keeps the name it was given.
std::optional<std::string> EarlierFile(const PictureOrigin& origin, const TakenNames& names,
                                       const std::string& folder, const std::string& address,
                                       bool handOff = false) {
  if (origin.archive == nullptr) return std::nullopt;
  if (handOff) {
    const auto handed =
        origin.archive->FindHandedOver(origin.site, origin.album, PrimaryAddress(address));
    if (handed && handed->path.size() > folder.size() &&
        handed->path.compare(0, folder.size(), folder) == 0) {
      std::string name = handed->path.substr(folder.size());
      if (name.find(kPathSep) == std::string::npos && !names.taken.contains(FoldKey(name)))
        return name;
    }
  }
  const auto row = origin.archive->FindWritten(origin.site, origin.album, PrimaryAddress(address));
  if (!row || row->path.size() <= folder.size() ||
      row->path.compare(0, folder.size(), folder) != 0) {
    return std::nullopt;
  }
  std::string name = row->path.substr(folder.size());
  if (name.find(kPathSep) != std::string::npos || names.taken.contains(FoldKey(name))) {
    return std::nullopt;
  }
  std::error_code error;
  const auto status = std::filesystem::symlink_status(row->path, error);
  if (!std::filesystem::is_regular_file(status)) return std::nullopt;
  const auto size = std::filesystem::file_size(row->path, error);
  if (error || size != row->bytes) return std::nullopt;
  return name;
}

// The album folder, decided at the album's first picture.
void MakeAlbumFolder(AppState& app, AlbumPictures& target, const NameRule& rule) {
  const ST_PERLISTRECORD& album = target.state.album;
  DownloadList& list = target.state.list;
  std::string folder = rule.byDirMode == 0 ? album.strName : std::string();
  folder = FieldText(rule.szDirPrefix) + folder + FieldText(rule.szDirSuffix);
  ReplaceAll(folder, "?1", album.strName);
  ReplaceAll(folder, "?2", std::to_string(album.nIndex + 1));
  CleanFileName(folder, kTimeStampPattern, false);
  if (!folder.empty()) {
    // Folder texts that differ keep differing on disk: when fitting made this folder the one of
    // an earlier album with another text, it is numbered like a colliding picture.
    const std::string wanted = folder;
    folder = FitFileName(folder);
    for (unsigned count = 1;; ++count) {
      const auto [held, fresh] = app.nameRegister.folders.emplace(folder, wanted);
      if (fresh || held->second == wanted) break;
      const std::string number = " (" + std::to_string(count) + ")";
      folder = CutName(wanted, kMaxNameBytes - number.size()) + number;
    }
    list.strSaveDir += folder;
    list.strSaveDir += kPathSep;
  }
  if (target.folderChosen) target.folderChosen(list.strSaveDir);
  if (!target.state.origin.dryRun) {
    std::error_code error;
    std::filesystem::create_directory(std::filesystem::path(list.strSaveDir), error);
    // Half-written files of a run that was killed go before this run names anything.
    net::RemoveStaleParts(list.strSaveDir);
  }
  target.state.markUrl = ReadMarker(list.strSaveDir);
}

// Appends "description\r\n" as UTF-16LE to the album's picture-name file.
void AppendNameLine(const std::string& path, const std::string& description, bool first) {
  std::ofstream out;
  if (first) {
    out.open(path, std::ios::binary | std::ios::trunc);
    if (!out) return;
    out.write("\xFF\xFE", 2);
  } else {
    if (!std::filesystem::exists(path)) return;
    out.open(path, std::ios::binary | std::ios::app);
    if (!out) return;
  }
  std::string bytes = Utf16LeBytes(description + kLineBreak);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

std::string PrimaryAddress(const std::string& line) {
  size_t cut = line.find(kLineBreak);
  return cut == std::string::npos ? line : line.substr(0, cut);
}

AlbumState::AlbumState(const AppState& app, int index, std::string jobFolder) {
  if (index >= 0 && static_cast<size_t>(index) < app.albumList.size()) {
    albumIndex = index;
    album = app.albumList[static_cast<size_t>(index)];
  }
  texts = static_cast<const JobTexts&>(app);
  list.strSaveDir = std::move(jobFolder);
}

bool AddPicture(AppState& app, AlbumPictures& target, const std::string& address,
                const std::string& description, const std::string& header) {
  AlbumState& state = target.state;
  if (state.albumIndex < 0) return true;
  DownloadList& list = state.list;
  const ST_PERLISTRECORD& album = state.album;
  const NameRule& rule = app.Rule();
  const size_t n = list.size();
  const std::string number = std::to_string(n + 1);

  // A description is cleaned like any other, also one that reads like a whole path: a remote
  // site never chooses where a file lands outside the album folder.
  std::string stem = BaseName(app, state, rule, address, description, number);
  std::string name = HasPictureExt(stem) ? stem : stem + ".jpg";
  name = FitFileName(name);

  if (n == 0) MakeAlbumFolder(app, target, rule);

  if ((rule.wOptions & OPT_SKIP_OLD) != 0 && !state.markUrl.empty() &&
      PrimaryAddress(address) == state.markUrl) {
    return false;
  }

  // Names are unique within the folder over the whole job, also across albums that share it;
  // a picture an earlier run wrote keeps its file.
  TakenNames& names = app.nameRegister.names[list.strSaveDir];
  bool already = false;
  std::string found;
  const PictureOrigin* origin = &state.origin;
  const bool handOff = (rule.wOptions & OPT_THUNDER_ONLY) != 0;
  if (auto earlier = EarlierFile(*origin, names, list.strSaveDir, address, handOff)) {
    name = std::move(*earlier);
    already = !state.origin.refetch;
  } else {
    name = UniqueName(names, list.strSaveDir, stem, name, found, handOff ? origin : nullptr);
  }
  names.taken.insert(FoldKey(name));

  list.arrUrl.push_back(address);
  list.arrName.push_back(name);
  list.arrHeader.push_back(header);
  list.arrAlready.resize(list.arrUrl.size() - 1);
  list.arrAlready.push_back(already ? 1 : 0);
  list.arrFoundFile.resize(list.arrUrl.size() - 1);
  list.arrFoundFile.push_back(std::move(found));

  if (!target.shown || target.shown()) {
    char status[64];
    std::snprintf(status, sizeof status, "已获取到%d张图片信息", static_cast<int>(list.size()));
    app.SetShown({list.strSaveDir, static_cast<int32_t>(list.size()), 0});
    app.host.SetStatus(StatusLine::Progress, status);
  }

  if ((rule.wOptions & OPT_NAME_FILE) != 0 && !state.origin.dryRun) {
    std::string path = FitFileName(list.strSaveDir + album.strName + ".txt");
    AppendNameLine(path, description, list.size() < 2);
  }
  return true;
}

void AddPicture(AppState& app, AlbumState& album, const std::string& address,
                const std::string& description, const std::string& header) {
  AlbumPictures target{album, {}, {}};
  if (AddPicture(app, target, address, description, header)) return;
  album.enough = true;
  // "Enough" never replaces a stop the user asked for meanwhile.
  uint8_t state = app.nDownState.load();
  while (state != DOWN_STOP && !app.nDownState.compare_exchange_weak(state, DOWN_ENOUGH)) {
  }
}

void WriteMarker(const std::string& firstAddress, const std::string& folder) {
  // The hidden attribute has no counterpart here: the marker keeps its name and nothing else.
  ReplaceFileWith(folder + kMarkerName, Utf16LeBytes(PrimaryAddress(firstAddress)));
}

std::string ReadMarker(const std::string& folder) {
  std::ifstream in(folder + kMarkerName, std::ios::binary);
  if (!in) return {};
  std::u16string units;
  char pair[2];
  while (in.read(pair, 2)) {
    char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(pair[0]) |
                                          (static_cast<unsigned char>(pair[1]) << 8));
    if (unit == u'\n') break;
    units.push_back(unit);
  }
  // Markers of earlier versions hold the whole address line; its first line ends in "\r".
  if (!units.empty() && units.back() == u'\r') units.pop_back();
  return FromUtf16(units);
}

// The whole list is written at once: a download manager never reads half a list.
void WriteThunderList(const DownloadList& list, const std::string& path) {
  std::string bytes;
  for (const std::string& line : list.arrUrl) {
    bytes += WideToGbk(line);
    bytes += kLineBreak;
  }
  ReplaceFileWith(FitFileName(path), bytes);
}

}  // namespace albumora
