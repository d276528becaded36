// `albumora download`: the album-list job for the address, then the download job on the
// selected albums with the site's settings (numeric options override them for this run only).
#include <iostream>

#include "cli/CliCommon.h"
#include "cli/DownloadRun.h"
#include "text/StringCtrl.h"

namespace albumora::cli {

namespace {

struct NumberOption {
  const char* name;
  long low;
  long high;
  std::optional<uint16_t> DownloadOverrides::*field;
};

constexpr NumberOption kNumberOptions[] = {
    {"--threads", 1, 15, &DownloadOverrides::threads},
    {"--timeout", 1, 65535, &DownloadOverrides::timeoutSec},
    {"--min-kb", 0, 65535, &DownloadOverrides::minKB},
    {"--max-kb", 0, 65535, &DownloadOverrides::maxKB},
};

bool ReadNumber(const std::string& text, long low, long high, long& value) {
  if (text.empty() || text.size() > 6) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  value = std::stol(text);
  return value >= low && value <= high;
}

}  // namespace

int RunDownloadCommand(const std::vector<std::string>& args) {
  ArgReader reader(args);
  CommonOptions options;
  DownloadOverrides overrides;
  std::string save;
  std::string albums = "all";
  auto extra = [&](const std::string& option, ArgReader& in, std::string& error) {
    std::string value;
    if (option == "--save" || option == "--albums") {
      if (!in.Value(value)) {
        error = option + " needs a value";
        return false;
      }
      (option == "--save" ? save : albums) = value;
      return true;
    }
    for (const NumberOption& number : kNumberOptions) {
      if (option != number.name) continue;
      long parsed = 0;
      if (!in.Value(value) || !ReadNumber(value, number.low, number.high, parsed)) {
        error = option + " needs a number from " + std::to_string(number.low) + " to " +
                std::to_string(number.high);
        return false;
      }
      overrides.*number.field = static_cast<uint16_t>(parsed);
      return true;
    }
    return false;
  };
  std::string error;
  if (!ParseCommonOptions(reader, options, error, extra)) return UsageError(error);
  if (options.positional.size() != 1) return UsageError("download needs one ADDRESS");
  AlbumSelection selection;
  if (!ParseAlbumSelection(albums, selection, error)) return UsageError(error);

  CliSession session(options);
  if (!session.Setup()) return kExitNotStarted;
  if (Trim(save).empty()) {
    session.host().ShowMessage("请先设置保存路径");
    return kExitNotStarted;
  }
  const ListOutcome outcome = session.ListAlbums(options.positional.front());
  session.SaveCookies();
  if (outcome != ListOutcome::Ran) return kExitNotStarted;
  // No album: the list job has said why; there is nothing to download and no folder to make.
  if (session.app().albumList.empty()) return kExitOk;
  if (!SelectAlbums(session.app(), selection, error)) return UsageError(error);

  // After the album-list job, which saves the settings it remembers: the overrides stay in
  // memory for this run.
  ApplyOverrides(session.app(), overrides);
  const DownloadSummary summary = RunDownloadWithSummary(session, save);
  session.SaveCookies();
  return summary.started ? kExitOk : kExitNotStarted;
}

}  // namespace albumora::cli
