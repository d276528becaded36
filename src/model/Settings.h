// SPDX-License-Identifier: GPL-3.0-or-later
// The settings record and its file soft.dat: 19808 bytes, little-endian, read and written field
// by field at fixed offsets so that the file is the same on every compiler and platform.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace albumora {

constexpr size_t kSettingsFileSize = 19808;
constexpr size_t kSettingsSlots = 24;
constexpr size_t kNameFieldUnits = 40;  // UTF-16 code units, 0-terminated inside the field
constexpr size_t kRecentUnits = 400;    // UTF-16 code units per recent entry
constexpr size_t kRecentEntries = 5;

// Option flags of NameRule::wOptions.
constexpr uint16_t OPT_FIX_FORMAT = 0x01;
constexpr uint16_t OPT_FIX_ORDER = 0x02;
constexpr uint16_t OPT_NAME_FILE = 0x04;
constexpr uint16_t OPT_THUNDER_ONLY = 0x08;
constexpr uint16_t OPT_OPEN_DIR = 0x10;
constexpr uint16_t OPT_TAOBAO_MAIN = 0x20;
constexpr uint16_t OPT_SKIP_OLD = 0x40;

using NameField = std::array<char16_t, kNameFieldUnits>;
using RecentField = std::array<char16_t, kRecentUnits>;

struct DownParam {  // 8 bytes in the file
  uint16_t wMinKB = 0;
  uint16_t wMaxKB = 0;
  uint16_t wThreads = 0;
  uint16_t wTimeout = 0;
};

struct NameRule {  // 484 bytes in the file
  NameField szPrefix{};
  NameField szSuffix{};
  NameField szFrom{};
  NameField szTo{};
  NameField szDirPrefix{};
  NameField szDirSuffix{};
  uint16_t wOptions = 0;
  uint8_t byNameMode = 0;  // 0 description, 1 picture number, 2 last part of the address
  uint8_t byDirMode = 0;   // 0 album name, 1 none
};

struct SettingsRecord {
  std::array<DownParam, kSettingsSlots> DownParams{};  // slot = site index
  std::array<NameRule, kSettingsSlots> NameRules{};
  std::array<RecentField, kRecentEntries> recentAddr{};
  std::array<RecentField, kRecentEntries> recentDir{};
};

// The ranges of the download parameters, one rule for the window's dialog and `albumora
// config`. The numbers are checked as typed, before they are stored in 16 bits.
constexpr long long kThreadsLow = 1;
constexpr long long kThreadsHigh = 15;
constexpr long long kTimeoutLow = 10;
constexpr long long kWordHigh = 65535;  // the largest number a field holds

enum class DownParamFault { None, Threads, Timeout, MinKB, MaxKB, MinAboveMax };
// The first fault of the four numbers: threads 1 to 15, time-out 10 to 65535 s, sizes 0 to
// 65535 KB (0 = no limit), and a minimum not above a maximum other than 0.
DownParamFault CheckDownParam(long long threads, long long timeout, long long minKB,
                              long long maxKB);
inline DownParamFault CheckDownParam(const DownParam& down) {
  return CheckDownParam(down.wThreads, down.wTimeout, down.wMinKB, down.wMaxKB);
}

// Field offsets in the file.
constexpr size_t kDownParamOffset = 0;
constexpr size_t kDownParamSize = 8;
constexpr size_t kNameRuleOffset = 192;
constexpr size_t kNameRuleSize = 484;
constexpr size_t kRecentAddrOffset = 11808;
constexpr size_t kRecentDirOffset = 15808;
static_assert(kNameRuleOffset == kSettingsSlots * kDownParamSize);
static_assert(kRecentAddrOffset == kNameRuleOffset + kSettingsSlots * kNameRuleSize);
static_assert(kRecentDirOffset == kRecentAddrOffset + kRecentEntries * kRecentUnits * 2);
static_assert(kSettingsFileSize == kRecentDirOffset + kRecentEntries * kRecentUnits * 2);

using SettingsBytes = std::array<uint8_t, kSettingsFileSize>;
SettingsBytes EncodeSettings(const SettingsRecord& record);
// Decodes up to kSettingsFileSize bytes; a shorter input leaves the rest zero.
SettingsRecord DecodeSettings(const uint8_t* bytes, size_t length);

// Reads soft.dat at path (missing or short files give zeros), applies the repairs and writes
// the repaired record back at once.
void LoadSettings(SettingsRecord& record, const std::filesystem::path& path);
// The same record without writing anything (a command that only shows the settings).
SettingsRecord ReadSettings(const std::filesystem::path& path);
// Writes the whole record through a temporary file beside path and a rename; false on failure
// (the old file then stays as it was).
bool SaveSettings(const SettingsRecord& record, const std::filesystem::path& path);
// kind 0 = recent addresses, 1 = recent save paths. True when the text was added.
bool RememberRecent(SettingsRecord& record, int kind, const std::string& text);

// Field texts (UTF-8) of the fixed UTF-16 arrays; SetField stores at most N-1 units and keeps
// the terminating zero.
template <size_t N>
std::string FieldText(const std::array<char16_t, N>& field);
template <size_t N>
void SetField(std::array<char16_t, N>& field, const std::string& text);

}  // namespace albumora
