// SPDX-License-Identifier: GPL-3.0-or-later
// `albumora-demo`: the whole download road against the bundled sample site. The loopback test
// web serves a sample Qzone account; the engine reaches it through its proxy setting, so no
// request leaves the machine. A scratch program folder keeps the user's settings untouched, and
// the pictures land in a fresh temporary folder unless --save names one.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <vector>

#include "DemoSite.h"
#include "TestWeb.h"
#include "cli/CliCommon.h"
#include "cli/DownloadRun.h"
#include "demo/DemoCommands.h"
#include "model/Settings.h"
#include "net/HttpEngine.h"

namespace albumora::demo {

using namespace albumora::cli;

namespace {

// A fresh folder for the demo's settings and cookies, removed at the end.
class ScratchHome {
 public:
  ScratchHome() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "albumora-demo-home-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~ScratchHome() {
    std::error_code error;
    if (!path_.empty()) std::filesystem::remove_all(path_, error);
  }
  ScratchHome(const ScratchHome&) = delete;
  ScratchHome& operator=(const ScratchHome&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

void PrintTree(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  std::error_code error;
  for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
       !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    if (it->is_regular_file()) files.push_back(it->path());
  }
  std::sort(files.begin(), files.end());
  for (const auto& file : files) {
    std::error_code sizeError;
    auto size = std::filesystem::file_size(file, sizeError);
    std::printf("  %s  (%ju bytes)\n", std::filesystem::relative(file, folder).string().c_str(),
                static_cast<uintmax_t>(sizeError ? 0 : size));
  }
}

}  // namespace

int RunDemo(std::string save) {
  if (save.empty()) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "albumora-demo-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      std::cerr << "albumora-demo: no temporary folder for the pictures (--save DIR names one)"
                << std::endl;
      return kExitNotStarted;
    }
    save = pattern;
  }
  std::error_code error;
  std::filesystem::path saveDir = std::filesystem::absolute(save, error);
  std::string reason;
  if (error || !CheckSaveFolder(saveDir.string(), reason)) {
    std::cerr << "albumora-demo: " << (error ? error.message() : reason) << std::endl;
    return kExitNotStarted;
  }

  std::unique_ptr<testweb::TestWeb> web;
  try {
    web = std::make_unique<testweb::TestWeb>();
    testweb::ServeDemoSite(*web);
  } catch (const std::exception& failure) {
    std::cerr << "albumora-demo: the sample site cannot start: " << failure.what() << std::endl;
    return kExitNotStarted;
  }
  ScratchHome home;
  if (home.Path().empty()) {
    std::cerr << "albumora-demo: no scratch folder for the demo's settings" << std::endl;
    return kExitNotStarted;
  }

  std::printf("Sample site: QQ空间 account %s, served on %s (loopback; no internet)\n",
              testweb::kDemoAccount, web->Origin().c_str());
  CommonOptions options;
  options.site = 0;
  options.home = home.Path();
  options.answer = Answer::No;
  options.proxy = web->ProxyUrl();
  CatchStopSignals();  // Ctrl-C stops the sample download, which then tidies up
  CliSession session(options);
  int status = kExitNotStarted;
  if (session.Setup()) {
    std::printf("\nAlbums of %s (row, name, pictures, remark):\n", testweb::kDemoAccount);
    std::fflush(stdout);
    const ListResult listed = session.ListAlbums(testweb::kDemoAccount);
    PrintAlbums(session.app(), false);
    if (listed != ListResult::Listed) {
      return ListFailureStatus(listed, options, 0, "");
    }

    // Show off two of the per-site options: the picture-name file and the format repair.
    AppState& app = session.app();
    app.Rule().wOptions = OPT_NAME_FILE | OPT_FIX_FORMAT;
    AlbumSelection all;
    std::string selectError;
    SelectAlbums(app, all, selectError);

    std::printf(
        "\nDownloading every album into %s\n(row, album, outcome, listed, written, already there, "
        "failed, stopped, folder):\n",
        saveDir.string().c_str());
    std::fflush(stdout);
    const DownloadSummary summary = RunDownloadWithSummary(session, saveDir.string(), RunChoices{});
    status = FinishDownload(session, summary);
    if (summary.started) {
      std::printf("\n%zu albums, %zu pictures listed, %ld written. Files under %s:\n",
                  summary.albums, summary.listed, summary.written, saveDir.string().c_str());
      PrintTree(saveDir);
      std::printf(
          "\nNames come from the pictures' descriptions (equal ones are numbered); 雷峰夕照 "
          "came from its preview address because the full-size one answered 404; the PNG was "
          "renamed by its content; pic.zrk remembers each album's newest picture; the .txt "
          "files list the original names.\n\n"
          "With a real account: albumora list 10001, then albumora download -o DIR 10001\n"
          "(albumora --help tells more).\n");
    }
  }
  return status;
}

}  // namespace albumora::demo
