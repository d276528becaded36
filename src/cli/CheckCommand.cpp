// SPDX-License-Identifier: GPL-3.0-or-later
// `albumora check`: the album list and the first picture lists of an address, every page shown
// with its kind, status, size, time, the markers its family looks for and the items it gave.
#include "cli/CheckCommand.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/SiteCheck.h"
#include "sites/Pages.h"

namespace albumora::cli {

std::string DiagnosisJson(const PageDiagnosis& diagnosis) {
  std::string missing = "[";
  for (const std::string& marker : diagnosis.missing) {
    missing += (missing.size() > 1 ? "," : "") + JsonString(marker);
  }
  missing += "]";
  return "{\"kind\":" + JsonString(PageKindName(diagnosis.kind)) +
         ",\"address\":" + JsonString(diagnosis.address) +
         ",\"status\":" + std::to_string(diagnosis.status) +
         ",\"bytes\":" + std::to_string(diagnosis.bytes) + ",\"missing\":" + missing +
         ",\"siteCount\":" + std::to_string(diagnosis.siteCount) +
         ",\"text\":" + JsonString(DiagnosisText(diagnosis)) + "}";
}

namespace {

std::string JsonMarkers(const std::vector<const char*>& markers) {
  std::string out = "[";
  for (const char* marker : markers) out += (out.size() > 1 ? "," : "") + JsonString(marker);
  return out + "]";
}

std::string Padded(const std::string& text, size_t width) {
  const size_t used = DisplayWidth(text);
  return text + std::string(used < width ? width - used : 1, ' ');
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2fs", seconds);
  return text;
}

std::string StatusText(const PageStep& step) {
  return step.status != 0 ? std::to_string(step.status) : std::string("-");
}

// The exit status of one check.
int CheckStatus(const SiteCheckReport& report) {
  if (report.stopped) return kExitInterrupted;
  if (report.refused) return kExitUsage;
  if (report.ListFailed()) return kExitListFailed;
  return report.Ok() ? kExitOk : kExitCheckPictures;
}

void PrintTable(const SiteCheckReport& report, const std::string& key) {
  std::printf("check %s (%s)\n", EscapeControls(report.address).c_str(), key.c_str());
  const std::vector<std::pair<const char*, size_t>> columns = {
      {"step", 5}, {"side", 9},  {"kind", 18},  {"status", 7},  {"bytes", 9},
      {"time", 7}, {"items", 6}, {"found", 22}, {"missing", 22}};
  std::string head;
  for (const auto& [name, width] : columns) head += Padded(name, width);
  std::printf("%saddress\n", head.c_str());
  size_t number = 0;
  for (const CheckStep& step : report.steps) {
    const PageStep& page = step.page;
    const std::vector<std::string> cells = {
        std::to_string(++number),   CheckSideText(step),       PageKindName(page.kind),
        StatusText(page),           GroupedNumber(page.bytes), Seconds(page.seconds),
        std::to_string(page.items), FoundMarkersText(page),    MissingMarkersText(page)};
    std::string line;
    for (size_t i = 0; i < cells.size(); ++i) line += Padded(cells[i], columns[i].second);
    line += EscapeControls(page.address);
    if (!page.error.empty()) line += " (" + EscapeControls(page.error) + ")";
    std::printf("%s\n", line.c_str());
  }
  std::printf("albums listed: %zu\n", report.albums);
  if (report.listDiagnosis) {
    std::printf("album list: %s\n", EscapeControls(DiagnosisText(*report.listDiagnosis)).c_str());
  }
  for (const SiteCheckReport::Album& album : report.checked) {
    std::printf(
        "album %d %s: %zu picture(s)%s\n", album.row, EscapeControls(album.name).c_str(),
        album.pictures,
        album.diagnosis ? ("; " + EscapeControls(DiagnosisText(*album.diagnosis))).c_str() : "");
  }
  for (const std::string& message : report.messages) {
    std::printf("message: %s\n", EscapeControls(message).c_str());
  }
  const int status = CheckStatus(report);
  const bool pageFailed =
      std::any_of(report.steps.begin(), report.steps.end(), [](const CheckStep& step) {
        return step.album == 0 && (step.page.status == 0 || step.page.status >= 400);
      });
  const char* verdict =
      status == kExitOk ? "every step took items"
      : status == kExitListFailed && pageFailed
          ? "the album list took no album; a page of it failed (network or HTTP error)"
      : status == kExitListFailed    ? "the album list took no album"
      : status == kExitCheckPictures ? "a picture list took no picture"
      : status == kExitInterrupted   ? "stopped"
                                     : "the address was refused";
  std::printf("result: %s (status %d)\n", verdict, status);
}

void PrintJson(const SiteCheckReport& report, const std::string& key) {
  size_t number = 0;
  for (const CheckStep& step : report.steps) {
    const PageStep& page = step.page;
    std::printf(
        "{\"type\":\"step\",\"step\":%zu,\"site\":%s,\"album\":%d,\"kind\":%s,\"checked\":%s,"
        "\"address\":%s,\"status\":%ld,\"bytes\":%llu,\"seconds\":%.3f,\"items\":%zu,"
        "\"found\":%s,\"missing\":%s,\"error\":%s}\n",
        ++number, JsonString(key).c_str(), step.album, JsonString(PageKindName(page.kind)).c_str(),
        page.checked ? "true" : "false", JsonString(page.address).c_str(), page.status,
        static_cast<unsigned long long>(page.bytes), page.seconds, page.items,
        JsonMarkers(page.found).c_str(), JsonMarkers(page.missing).c_str(),
        JsonString(page.error).c_str());
  }
  std::string albums = "[";
  for (const SiteCheckReport::Album& album : report.checked) {
    albums +=
        (albums.size() > 1 ? "," : "") + std::string("{\"row\":") + std::to_string(album.row) +
        ",\"name\":" + JsonString(album.name) + ",\"pictures\":" + std::to_string(album.pictures) +
        ",\"diagnosis\":" + (album.diagnosis ? DiagnosisJson(*album.diagnosis) : "null") + "}";
  }
  albums += "]";
  std::string messages = "[";
  for (const std::string& message : report.messages) {
    messages += (messages.size() > 1 ? "," : "") + JsonString(message);
  }
  messages += "]";
  std::printf(
      "{\"type\":\"check\",\"site\":%s,\"address\":%s,\"albums\":%zu,\"listDiagnosis\":%s,"
      "\"checked\":%s,\"messages\":%s,\"ok\":%s,\"status\":%d}\n",
      JsonString(key).c_str(), JsonString(report.address).c_str(), report.albums,
      report.listDiagnosis ? DiagnosisJson(*report.listDiagnosis).c_str() : "null", albums.c_str(),
      messages.c_str(), report.Ok() ? "true" : "false", CheckStatus(report));
}

}  // namespace

int RunCheckCommand(const CommonOptions& typed) {
  CommonOptions options = typed;
  std::vector<std::string> addresses;
  if (!typed.address.empty()) {
    std::string address;
    std::string error;
    if (!CheckAddressForm(typed.address, typed.site, address, error)) {
      return UsageError("check", error);
    }
    addresses.push_back(address);
    options.address = address;
  } else if (typed.site >= 0) {
    // The family's example addresses, from its family file.
    for (const SiteEntry& entry : SiteEntries()) {
      if (entry.index == typed.site) addresses = entry.examples;
    }
  } else {
    return UsageError("check", "ADDRESS or --site KEY is needed");
  }
  CliSession session(options);
  if (!session.Setup()) return kExitNotStarted;
  int status = kExitOk;
  for (const std::string& address : addresses) {
    const int site = session.SiteFor(address);
    std::string key = std::to_string(site);
    for (const SiteEntry& entry : SiteEntries()) {
      if (entry.index == site) key = entry.key;
    }
    if (!SiteHasAdapters(site)) {
      status = std::max(status, ListFailureStatus(ListResult::NoAdapter, options, site, "check"));
      continue;
    }
    SiteCheckReport report;
    {
      InterruptScope interrupts(session.app());
      report = RunSiteCheck(site, address, session.app().settings, session.app().config, {},
                            [] { return InterruptScope::Interrupted(); });
    }
    if (options.json) {
      PrintJson(report, key);
    } else {
      PrintTable(report, key);
    }
    std::fflush(stdout);
    status = std::max(status, CheckStatus(report));
    if (report.stopped) break;
  }
  return status;
}

}  // namespace albumora::cli
