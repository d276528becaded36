// SPDX-License-Identifier: GPL-3.0-or-later
// "失败的图片": what the last download did not get, one row per picture that was not written
// (each address tried and what it gave) and one per album whose picture list failed, was
// refused or carries a remark (with the page that failed). The rows come from the job's reports
// while the program runs and from the download archive after a restart; the reasons are said
// in Chinese, the engine's own words after them.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "download/DownloadJob.h"

class QTableWidget;

namespace albumora {

struct FailedAttempt {
  std::string address;
  QString result;  // what it gave, in Chinese
};

struct FailedRow {
  std::string album;  // the album's name
  std::string file;   // the picture's file; empty: the album's picture list
  std::vector<FailedAttempt> tried;
};

// The engine's words for a failure ("pics.test: HTTP 404 Not Found") in Chinese, the words
// after them: "网站回答 404（pics.test: HTTP 404 Not Found）". The table of phrases is here.
QString FailureInChinese(const std::string& words);
// The engine's words for an address that failed during the job; empty when none were heard.
using WordsOfAddress = std::function<std::string(const std::string& address)>;
// The rows of a job's reports (names: the albums' names by their index in the album list).
std::vector<FailedRow> FailedRowsOf(const std::vector<AlbumReport>& reports,
                                    const std::vector<std::string>& names,
                                    const WordsOfAddress& wordsOf = {});
// The rows of the archive's newest run.
std::vector<FailedRow> FailedRowsOf(Archive& archive);

class CFailedDlg : public QDialog {
 public:
  CFailedDlg(const std::vector<FailedRow>& rows, QWidget* parent);
  QTableWidget* Table() const { return table_; }

 private:
  QTableWidget* table_ = nullptr;
};

}  // namespace albumora
