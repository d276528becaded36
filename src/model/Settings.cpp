// SPDX-License-Identifier: GPL-3.0-or-later
// The settings record and soft.dat: encoded and decoded field by field, little-endian, so the
// file does not depend on the compiler's struct layout.
#include "model/Settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <string_view>
#include <vector>

#include "text/StringCtrl.h"

namespace albumora {

namespace {

// Offsets inside one NameRule.
constexpr size_t kPrefixAt = 0;
constexpr size_t kSuffixAt = 80;
constexpr size_t kFromAt = 160;
constexpr size_t kToAt = 240;
constexpr size_t kDirPrefixAt = 320;
constexpr size_t kDirSuffixAt = 400;
constexpr size_t kOptionsAt = 480;
constexpr size_t kNameModeAt = 482;
constexpr size_t kDirModeAt = 483;

constexpr uint16_t kDefaultThreads = 5;
constexpr uint16_t kMaxThreads = 15;
constexpr uint16_t kMinTimeout = 10;
constexpr uint16_t kDefaultTimeout = 30;
constexpr size_t kPictureNumberSlot = 8;

void Put16(SettingsBytes& bytes, size_t at, uint16_t value) {
  bytes[at] = static_cast<uint8_t>(value & 0xFF);
  bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

uint16_t Get16(const SettingsBytes& bytes, size_t at) {
  return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

template <size_t N>
void PutUnits(SettingsBytes& bytes, size_t at, const std::array<char16_t, N>& field) {
  for (size_t i = 0; i < N; ++i) Put16(bytes, at + 2 * i, static_cast<uint16_t>(field[i]));
}

template <size_t N>
void GetUnits(const SettingsBytes& bytes, size_t at, std::array<char16_t, N>& field) {
  for (size_t i = 0; i < N; ++i) field[i] = static_cast<char16_t>(Get16(bytes, at + 2 * i));
}

void RepairSettings(SettingsRecord& record) {
  for (DownParam& down : record.DownParams) {
    if (down.wThreads == 0 || down.wThreads > kMaxThreads) down.wThreads = kDefaultThreads;
    if (down.wTimeout < kMinTimeout) down.wTimeout = kDefaultTimeout;
  }
  record.NameRules[kPictureNumberSlot].byNameMode = 1;
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

// A temporary file made with mkstemp: closed, and removed unless it was renamed into place.
class TempFile {
 public:
  explicit TempFile(std::string name) : name_(std::move(name)), fd_(::mkstemp(name_.data())) {
    made_ = fd_ >= 0;
  }
  ~TempFile() {
    Close();
    if (made_ && !kept_) ::unlink(name_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  bool ok() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  const std::string& name() const { return name_; }
  bool Close() {
    if (fd_ < 0) return true;
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    return closed;
  }
  void Keep() { kept_ = true; }

 private:
  std::string name_;
  int fd_;
  bool made_ = false;
  bool kept_ = false;
};

// Makes a finished rename durable; a failure here changes nothing the caller could act on.
void SyncFolder(const std::filesystem::path& file) {
  const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

SettingsBytes EncodeSettings(const SettingsRecord& record) {
  SettingsBytes bytes{};
  for (size_t slot = 0; slot < kSettingsSlots; ++slot) {
    const DownParam& down = record.DownParams[slot];
    const size_t at = kDownParamOffset + slot * kDownParamSize;
    Put16(bytes, at, down.wMinKB);
    Put16(bytes, at + 2, down.wMaxKB);
    Put16(bytes, at + 4, down.wThreads);
    Put16(bytes, at + 6, down.wTimeout);
  }
  for (size_t slot = 0; slot < kSettingsSlots; ++slot) {
    const NameRule& rule = record.NameRules[slot];
    const size_t at = kNameRuleOffset + slot * kNameRuleSize;
    PutUnits(bytes, at + kPrefixAt, rule.szPrefix);
    PutUnits(bytes, at + kSuffixAt, rule.szSuffix);
    PutUnits(bytes, at + kFromAt, rule.szFrom);
    PutUnits(bytes, at + kToAt, rule.szTo);
    PutUnits(bytes, at + kDirPrefixAt, rule.szDirPrefix);
    PutUnits(bytes, at + kDirSuffixAt, rule.szDirSuffix);
    Put16(bytes, at + kOptionsAt, rule.wOptions);
    bytes[at + kNameModeAt] = rule.byNameMode;
    bytes[at + kDirModeAt] = rule.byDirMode;
  }
  for (size_t i = 0; i < kRecentEntries; ++i) {
    PutUnits(bytes, kRecentAddrOffset + i * kRecentUnits * 2, record.recentAddr[i]);
    PutUnits(bytes, kRecentDirOffset + i * kRecentUnits * 2, record.recentDir[i]);
  }
  return bytes;
}

SettingsRecord DecodeSettings(const uint8_t* bytes, size_t length) {
  SettingsBytes image{};
  if (bytes != nullptr) {
    const size_t used = length < kSettingsFileSize ? length : kSettingsFileSize;
    std::copy(bytes, bytes + used, image.begin());
  }
  SettingsRecord record;
  for (size_t slot = 0; slot < kSettingsSlots; ++slot) {
    DownParam& down = record.DownParams[slot];
    const size_t at = kDownParamOffset + slot * kDownParamSize;
    down.wMinKB = Get16(image, at);
    down.wMaxKB = Get16(image, at + 2);
    down.wThreads = Get16(image, at + 4);
    down.wTimeout = Get16(image, at + 6);
  }
  for (size_t slot = 0; slot < kSettingsSlots; ++slot) {
    NameRule& rule = record.NameRules[slot];
    const size_t at = kNameRuleOffset + slot * kNameRuleSize;
    GetUnits(image, at + kPrefixAt, rule.szPrefix);
    GetUnits(image, at + kSuffixAt, rule.szSuffix);
    GetUnits(image, at + kFromAt, rule.szFrom);
    GetUnits(image, at + kToAt, rule.szTo);
    GetUnits(image, at + kDirPrefixAt, rule.szDirPrefix);
    GetUnits(image, at + kDirSuffixAt, rule.szDirSuffix);
    rule.wOptions = Get16(image, at + kOptionsAt);
    rule.byNameMode = image[at + kNameModeAt];
    rule.byDirMode = image[at + kDirModeAt];
  }
  for (size_t i = 0; i < kRecentEntries; ++i) {
    GetUnits(image, kRecentAddrOffset + i * kRecentUnits * 2, record.recentAddr[i]);
    GetUnits(image, kRecentDirOffset + i * kRecentUnits * 2, record.recentDir[i]);
  }
  return record;
}

DownParamFault CheckDownParam(long long threads, long long timeout, long long minKB,
                              long long maxKB) {
  if (threads < kThreadsLow || threads > kThreadsHigh) return DownParamFault::Threads;
  if (timeout < kTimeoutLow || timeout > kWordHigh) return DownParamFault::Timeout;
  if (minKB < 0 || minKB > kWordHigh) return DownParamFault::MinKB;
  if (maxKB < 0 || maxKB > kWordHigh) return DownParamFault::MaxKB;
  if (maxKB != 0 && minKB > maxKB) return DownParamFault::MinAboveMax;
  return DownParamFault::None;
}

void LoadSettings(SettingsRecord& record, const std::filesystem::path& path) {
  record = ReadSettings(path);
  SaveSettings(record, path);
}

SettingsRecord ReadSettings(const std::filesystem::path& path) {
  std::vector<uint8_t> bytes(kSettingsFileSize, 0);
  size_t length = 0;
  {
    std::ifstream file(path, std::ios::binary);
    if (file) {
      file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
      length = static_cast<size_t>(file.gcount());
    }
  }
  SettingsRecord record = DecodeSettings(bytes.data(), length);
  RepairSettings(record);
  return record;
}

// The record goes to a fresh file beside soft.dat, is flushed to the disk and then renamed over
// it, so a crash or a full disk mid-write leaves the old file whole instead of a cut one.
bool SaveSettings(const SettingsRecord& record, const std::filesystem::path& path) {
  const SettingsBytes bytes = EncodeSettings(record);
  TempFile temp(path.string() + ".XXXXXX");
  if (!temp.ok()) return false;
  ::fchmod(temp.fd(), 0644);
  if (!WriteAll(temp.fd(), bytes.data(), bytes.size())) return false;
  if (::fsync(temp.fd()) != 0) return false;
  if (!temp.Close()) return false;
  if (::rename(temp.name().c_str(), path.c_str()) != 0) return false;
  temp.Keep();
  SyncFolder(path);
  return true;
}

// Entries are compared as whole texts without regard to case.
bool RememberRecent(SettingsRecord& record, int kind, const std::string& text) {
  if (kind != 0 && kind != 1) return false;
  auto& list = kind == 0 ? record.recentAddr : record.recentDir;
  if (Utf16Length(text) >= kRecentUnits) return false;
  for (const RecentField& entry : list)
    if (EqualsNoCase(FieldText(entry), text)) return false;
  for (size_t i = kRecentEntries - 1; i > 0; --i) list[i] = list[i - 1];
  SetField(list[0], text);
  return true;
}

template <size_t N>
std::string FieldText(const std::array<char16_t, N>& field) {
  size_t length = 0;
  while (length < N && field[length] != 0) ++length;
  return FromUtf16(std::u16string_view(field.data(), length));
}

// At most N-1 units; a surrogate pair that would be cut in half is left out whole. The rest of
// the field is zeroed so that no old text lingers behind the terminator.
template <size_t N>
void SetField(std::array<char16_t, N>& field, const std::string& text) {
  const std::u16string units = ToUtf16(text);
  size_t length = units.size() < N - 1 ? units.size() : N - 1;
  if (length > 0 && length < units.size() && units[length - 1] >= 0xD800 &&
      units[length - 1] <= 0xDBFF)
    --length;
  field.fill(0);
  std::copy(units.begin(), units.begin() + static_cast<std::ptrdiff_t>(length), field.begin());
}

template std::string FieldText<kNameFieldUnits>(const NameField&);
template std::string FieldText<kRecentUnits>(const RecentField&);
template void SetField<kNameFieldUnits>(NameField&, const std::string&);
template void SetField<kRecentUnits>(RecentField&, const std::string&);

}  // namespace albumora
