// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/Pages.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>

#include "text/StringCtrl.h"

namespace albumora {

const char* PageKindName(PageKind kind) {
  switch (kind) {
    case PageKind::Unnamed:
      return "page";
    case PageKind::UserPage:
      return "user page";
    case PageKind::AlbumIndex:
      return "album index";
    case PageKind::AlbumPage:
      return "album page";
    case PageKind::PictureListPage:
      return "picture-list page";
    case PageKind::PhotoPage:
      return "photo page";
    case PageKind::ScriptAnswer:
      return "script answer";
    case PageKind::ItemPage:
      return "item page";
  }
  return "page";
}

const char* PageKindNameZh(PageKind kind) {
  switch (kind) {
    case PageKind::Unnamed:
      return "网页";
    case PageKind::UserPage:
      return "用户主页";
    case PageKind::AlbumIndex:
      return "相册目录";
    case PageKind::AlbumPage:
      return "相册页";
    case PageKind::PictureListPage:
      return "图片列表页";
    case PageKind::PhotoPage:
      return "图片页";
    case PageKind::ScriptAnswer:
      return "脚本数据";
    case PageKind::ItemPage:
      return "商品页";
  }
  return "网页";
}

bool HoldsMarker(std::string_view text, std::string_view marker) {
  constexpr std::string_view kOr = " | ";
  for (;;) {
    const size_t split = marker.find(kOr);
    if (text.find(marker.substr(0, split)) != std::string_view::npos) return true;
    if (split == std::string_view::npos) return false;
    marker.remove_prefix(split + kOr.size());
  }
}

std::string GroupedNumber(uint64_t value) {
  std::string digits = std::to_string(value);
  for (size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
  return digits;
}

std::string DiagnosisText(const PageDiagnosis& diagnosis) {
  std::string text = "the page " + diagnosis.address + " (" + PageKindName(diagnosis.kind) + ", " +
                     GroupedNumber(diagnosis.bytes) + " bytes) ";
  if (!diagnosis.missing.empty()) {
    text += "no longer holds ";
    for (size_t i = 0; i < diagnosis.missing.size(); ++i) {
      text += (i > 0 ? ", `" : "`") + diagnosis.missing[i] + "`";
    }
  } else {
    text += "gave no ";
    text += diagnosis.items == kYieldsAlbums ? "album" : "picture";
    if (diagnosis.siteCount > 0) {
      text += " though the site counts " + std::to_string(diagnosis.siteCount);
    }
  }
  return text + ": the site may have changed";
}

std::string DiagnosisTextZh(const PageDiagnosis& diagnosis) {
  std::string text = "网页 " + diagnosis.address + "（" + PageKindNameZh(diagnosis.kind) + "，" +
                     GroupedNumber(diagnosis.bytes) + " 字节）中";
  if (!diagnosis.missing.empty()) {
    text += "找不到 ";
    for (size_t i = 0; i < diagnosis.missing.size(); ++i) {
      text += (i > 0 ? "、" : "") + diagnosis.missing[i];
    }
  } else {
    text += diagnosis.items == kYieldsAlbums ? "没有取到相册" : "没有取到图片";
    if (diagnosis.siteCount > 0)
      text += "（网站显示有 " + std::to_string(diagnosis.siteCount) + " 张）";
  }
  return text + "，网站可能已改版";
}

void PageLog::Read(PageStep step) {
  std::lock_guard lock(mutex_);
  steps_.push_back(std::move(step));
}

void PageLog::Took() {
  std::lock_guard lock(mutex_);
  ++taken_;
  for (auto it = steps_.rbegin(); it != steps_.rend(); ++it) {
    if ((it->yields & items_) != 0) {
      ++it->items;
      return;
    }
  }
  if (!steps_.empty()) ++steps_.back().items;
}

void PageLog::Spoke() {
  std::lock_guard lock(mutex_);
  spoke_ = true;
}

std::vector<PageStep> PageLog::Steps() const {
  std::lock_guard lock(mutex_);
  return steps_;
}

size_t PageLog::Count() const {
  std::lock_guard lock(mutex_);
  return steps_.size();
}

size_t PageLog::Taken() const {
  std::lock_guard lock(mutex_);
  return taken_;
}

std::optional<PageDiagnosis> PageLog::Diagnose(int32_t siteCount) const {
  std::lock_guard lock(mutex_);
  if (spoke_ || taken_ > 0 || siteCount == 0) return std::nullopt;
  auto diagnosis = [&](const PageStep& step) {
    PageDiagnosis found;
    found.kind = step.kind;
    found.address = step.address;
    found.status = step.status;
    found.bytes = step.bytes;
    for (const char* marker : step.missing) found.missing.emplace_back(marker);
    found.items = items_;
    found.siteCount = std::max(siteCount, 0);
    return found;
  };
  auto answered = [&](const PageStep& step) {
    return (step.yields & items_) != 0 && step.status == 200 && step.bytes > 0 && !step.saysEmpty;
  };
  for (const PageStep& step : steps_) {
    if (answered(step) && !step.missing.empty()) return diagnosis(step);
  }
  if (siteCount > 0) {
    for (const PageStep& step : steps_) {
      if (answered(step)) return diagnosis(step);
    }
  }
  return std::nullopt;
}

namespace {

struct RecorderSetting {
  std::mutex mutex;
  std::shared_ptr<PageRecorder> recorder;
};

RecorderSetting& Recorder() {
  static RecorderSetting setting;
  return setting;
}

// Names whose values are credentials: never saved.
constexpr std::array<std::string_view, 14> kSecretNames = {
    "skey",   "p_skey", "token", "access_token", "g_tk", "sid",   "password",
    "passwd", "ticket", "p_uin", "uin",          "ptcz", "login", "session"};

bool NameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '-';
}

// Blanks the value after every "name=" and "name\":\"" (the name standing alone, any case).
void BlankValuesOf(std::string& text, std::string_view name) {
  std::string lower = text;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (size_t at = lower.find(name); at != std::string::npos; at = lower.find(name, at + 1)) {
    if (at > 0 && NameChar(lower[at - 1])) continue;
    size_t value = at + name.size();
    std::string_view end;
    if (lower.compare(value, 1, "=") == 0) {
      value += 1;
      end = "&; \t\r\n\"'<>,";
    } else if (lower.compare(value, 3, "\":\"") == 0) {
      value += 3;
      end = "\"";
    } else {
      continue;
    }
    size_t stop = lower.find_first_of(end, value);
    if (stop == std::string::npos) stop = lower.size();
    if (stop == value) continue;
    text.replace(value, stop - value, "REMOVED");
    lower.replace(value, stop - value, "removed");
  }
}

bool StartsWithNoCase(std::string_view line, std::string_view head) {
  return line.size() >= head.size() && EqualsNoCase(line.substr(0, head.size()), head);
}

// The lines of a header block without its cookie lines.
std::string WithoutCookies(const std::string& headers, std::vector<std::string>& secrets) {
  std::string out;
  size_t from = 0;
  while (from < headers.size()) {
    size_t end = headers.find('\n', from);
    if (end == std::string::npos) end = headers.size();
    std::string line = headers.substr(from, end - from);
    from = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (StartsWithNoCase(line, "cookie:") || StartsWithNoCase(line, "set-cookie:")) {
      // Every value of the cookie line is a secret wherever it shows up.
      std::string rest = line.substr(line.find(':') + 1);
      size_t at = 0;
      while (at < rest.size()) {
        size_t stop = rest.find(';', at);
        if (stop == std::string::npos) stop = rest.size();
        const std::string pair = rest.substr(at, stop - at);
        const size_t eq = pair.find('=');
        if (eq != std::string::npos) {
          const std::string value = Trim(pair.substr(eq + 1));
          if (value.size() >= 6) secrets.push_back(value);
        }
        at = stop + 1;
      }
      continue;
    }
    out += line + "\n";
  }
  return out;
}

}  // namespace

std::string BlankCredentials(std::string text, const std::vector<std::string>& secrets) {
  for (const std::string& secret : secrets) {
    if (!secret.empty()) ReplaceAll(text, secret, "REMOVED");
  }
  for (std::string_view name : kSecretNames) BlankValuesOf(text, name);
  return text;
}

void SetPageRecorder(std::shared_ptr<PageRecorder> recorder) {
  std::lock_guard lock(Recorder().mutex);
  Recorder().recorder = std::move(recorder);
}

std::shared_ptr<PageRecorder> CurrentPageRecorder() {
  std::lock_guard lock(Recorder().mutex);
  return Recorder().recorder;
}

std::shared_ptr<PageFolderRecorder> PageFolderRecorder::Open(const std::string& folder,
                                                             std::string& error) {
  std::error_code code;
  std::filesystem::create_directories(folder, code);
  if (code || !std::filesystem::is_directory(folder, code)) {
    error = "cannot make the folder " + folder + (code ? ": " + code.message() : std::string());
    return nullptr;
  }
  auto recorder = std::shared_ptr<PageFolderRecorder>(new PageFolderRecorder(folder));
  // A folder that already holds pages (an earlier address of the run, an earlier run) goes on
  // after its last number: nothing is overwritten.
  for (const auto& entry : std::filesystem::directory_iterator(folder, code)) {
    const std::string name = entry.path().filename().string();
    const size_t dash = name.find('-');
    if (dash == 0 || dash == std::string::npos || dash > 9 ||
        name.find_first_not_of("0123456789") != dash) {
      continue;
    }
    recorder->count_ = std::max(recorder->count_, std::stoul(name.substr(0, dash)));
  }
  return recorder;
}

void PageFolderRecorder::Record(const HttpRequest& request, const HttpResponse& response) {
  std::vector<std::string> secrets;
  std::string text = request.strVerb + " " + request.strUrl + "\n";
  text += WithoutCookies(request.strHeaders, secrets);
  text += "\n";
  if (response.nStatus == 0) {
    text += "no answer: " + response.strError + "\n";
  } else {
    text += WithoutCookies(response.strHeaders, secrets);
  }
  text += "\n";
  std::string body = response.body;
  if (response.bGzip == 1) {
    std::string inflated;
    InflateBody(inflated, response.body.data(), response.body.size());
    body = std::move(inflated);
  }
  text += body;
  text = BlankCredentials(std::move(text), secrets);

  std::string host = request.strUrl;
  CutAfter(host, "://");
  host = host.substr(0, host.find_first_of("/?#:"));
  std::string name;
  std::lock_guard lock(mutex_);
  char number[16];
  std::snprintf(number, sizeof number, "%04zu", ++count_);
  name = std::string(number) + "-" + (host.empty() ? "page" : host) + ".txt";
  for (char& c : name) {
    if (!NameChar(c) && c != '.') c = '_';
  }
  std::ofstream(std::filesystem::path(folder_) / name, std::ios::binary | std::ios::trunc) << text;
}

size_t PageFolderRecorder::Count() const {
  std::lock_guard lock(mutex_);
  return count_;
}

}  // namespace albumora
