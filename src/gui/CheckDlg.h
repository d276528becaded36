// SPDX-License-Identifier: GPL-3.0-or-later
// "检查网站": whether the site family of the address in the box still reads its pages. The
// album list and the first picture lists of its first albums are read on a thread of the dialog,
// and every page is shown as a row: page kind, status, size, time, items taken, the markers the
// family looks for found and missing. "保存网页" reads them again and saves every page into a
// folder the user picks, for a bug report.
#pragma once

#include <QDialog>
#include <atomic>
#include <string>
#include <thread>

#include "app/SiteCheck.h"
#include "model/Config.h"
#include "model/Settings.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace albumora {

class CCheckDlg : public QDialog {
 public:
  CCheckDlg(int site, std::string address, const SettingsRecord& settings, const Config& config,
            QWidget* parent);
  // A check still running is asked to stop and waited for.
  ~CCheckDlg() override;
  CCheckDlg(const CCheckDlg&) = delete;
  CCheckDlg& operator=(const CCheckDlg&) = delete;

  // Runs the check on the dialog's thread; with a folder, every page is saved there. The table
  // fills when it ends.
  void Start(const std::string& pagesFolder = {});
  bool Running() const { return running_.load(); }

  QTableWidget* Table() const { return table_; }
  QLabel* Result() const { return result_; }

 private:
  void Show(const SiteCheckReport& report, const std::string& pagesFolder);
  void Join();

  int site_;
  std::string address_;
  SettingsRecord settings_;
  Config config_;
  QTableWidget* table_ = nullptr;
  QLabel* result_ = nullptr;
  QPushButton* again_ = nullptr;
  QPushButton* save_ = nullptr;
  std::atomic<bool> stop_{false};
  std::atomic<bool> running_{false};
  std::thread worker_;
};

// Opens the check dialog for an address of a site family (modal) and starts the check at once.
void OpenCheckDialog(QWidget* parent, int site, const std::string& address,
                     const SettingsRecord& settings, const Config& config);

// The one-line text of a check in the window's words: "网站正常…" or where a page changed.
std::string CheckResultTextZh(const SiteCheckReport& report);

}  // namespace albumora
