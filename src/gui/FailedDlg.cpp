// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/FailedDlg.h"

#include "sites/Pages.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "download/Naming.h"

namespace albumora {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// What the first address of a picture gave when the fallback was tried after it and its own
// words were not heard: the picture's result keeps the words of the last address only.
constexpr const char* kFellBack = "没有得到图片，改试备用地址";

// A failed picture: its addresses in the order tried, what each gave.
std::vector<FailedAttempt> Attempts(const std::string& line, const std::string& words,
                                    FetchFailure kind, const WordsOfAddress& wordsOf) {
  const std::string primary = PrimaryAddress(line);
  const size_t cut = line.find("\r\n");
  const std::string fallback = cut == std::string::npos ? std::string() : line.substr(cut + 2);
  // A body that came but could not be written tries no fallback.
  if (fallback.empty() || kind == FetchFailure::NotWritten) {
    return {{primary, FailureInChinese(words)}};
  }
  const std::string heard = wordsOf ? wordsOf(primary) : std::string();
  return {{primary, heard.empty() ? QString(kFellBack) : FailureInChinese(heard)},
          {fallback, FailureInChinese(words)}};
}

}  // namespace

QString FailureInChinese(const std::string& words) {
  // The first phrase found names the failure; the table is read top down.
  struct Phrase {
    const char* pattern;  // a regular expression on the engine's words, any case
    const char* chinese;  // may use \1 for the first group
  };
  static constexpr Phrase kPhrases[] = {
      {"HTTP (4\\d\\d|5\\d\\d)", "网站回答 \\1"},
      {"\\b(429|503)\\b|retries|slow down", "网站一再要求放慢"},
      {"too slow|low.speed", "速度太慢"},
      {"time.?out|timed out", "超时"},
      {"size limit|too (large|small)|minimum|maximum", "大小不在设置的范围内"},
      {"not a picture|html|empty answer", "得到的不是图片"},
      {"could not be written|cannot write|no space|disk is full", "无法写入文件"},
      {"resolve", "找不到网站（域名解析失败）"},
      {"connect|refused|reset|proxy", "无法连接网站"},
      {"ssl|tls|certificate", "安全连接失败"},
      {"^stopped$", "已停止"},
      {"the site counts (\\d+), (\\d+) listed", "网站显示 \\1 张，列出 \\2 张"},
  };
  const QString text = Q(words);
  for (const Phrase& phrase : kPhrases) {
    const QRegularExpression pattern(phrase.pattern, QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch()) continue;
    QString chinese = phrase.chinese;
    for (int group = 1; group <= match.lastCapturedIndex(); ++group) {
      chinese.replace(QString("\\%1").arg(group), match.captured(group));
    }
    return chinese + "（" + text + "）";
  }
  return text.isEmpty() ? QString("失败") : "失败（" + text + "）";
}

std::vector<FailedRow> FailedRowsOf(const std::vector<AlbumReport>& reports,
                                    const std::vector<std::string>& names,
                                    const WordsOfAddress& wordsOf) {
  std::vector<FailedRow> rows;
  for (const AlbumReport& report : reports) {
    const std::string name =
        report.albumIndex >= 0 && static_cast<size_t>(report.albumIndex) < names.size()
            ? names[static_cast<size_t>(report.albumIndex)]
            : std::string();
    const bool listBad =
        report.outcome == AlbumOutcome::ListFailed || report.outcome == AlbumOutcome::Refused;
    if (listBad || !report.note.empty() || report.diagnosis) {
      FailedRow row{name, {}, {}};
      // A page that answered but no longer holds what its family looks for.
      if (report.diagnosis) {
        row.tried.push_back({report.diagnosis->address,
                             QString::fromStdString(DiagnosisTextZh(*report.diagnosis))});
      }
      for (const std::string& page : report.pageFailures) {
        const size_t colon = page.find(": ");
        row.tried.push_back(
            {page.substr(0, colon),
             FailureInChinese(colon == std::string::npos ? std::string()
                                                         : page.substr(colon + 2))});
      }
      if (report.outcome == AlbumOutcome::Refused)
        row.tried.push_back({{}, "需要登录、密码或确认"});
      if (!report.note.empty()) row.tried.push_back({{}, FailureInChinese(report.note)});
      if (row.tried.empty()) row.tried.push_back({{}, "图集列表获取失败"});
      rows.push_back(std::move(row));
    }
    for (const FailedPicture& picture : report.failures) {
      rows.push_back(
          {name, picture.file, Attempts(picture.address, picture.reason, picture.kind, wordsOf)});
    }
  }
  return rows;
}

std::vector<FailedRow> FailedRowsOf(Archive& archive) {
  std::vector<FailedRow> rows;
  for (const AlbumRow& album : archive.NewestRunAlbums()) {
    const bool listBad =
        album.outcome == AlbumOutcome::ListFailed || album.outcome == AlbumOutcome::Refused;
    if (listBad || !album.note.empty()) {
      FailedRow row{album.name, {}, {}};
      if (album.outcome == AlbumOutcome::ListFailed) {
        row.tried.push_back({album.album, "图集列表获取失败"});
      }
      if (album.outcome == AlbumOutcome::Refused) {
        row.tried.push_back({album.album, "需要登录、密码或确认"});
      }
      if (!album.note.empty()) row.tried.push_back({album.album, FailureInChinese(album.note)});
      rows.push_back(std::move(row));
    }
    if (album.failed == 0) continue;
    for (const PictureRow& picture : archive.FailedOf(album.site, album.album)) {
      // The archive keeps the address the site listed and the last one tried, with its words.
      const std::string listed = picture.listedUrl.empty() ? picture.url : picture.listedUrl;
      const std::string words = picture.detail.empty() ? picture.reason : picture.detail;
      if (picture.url != listed) {
        rows.push_back({album.name,
                        picture.path,
                        {{listed, kFellBack}, {picture.url, FailureInChinese(words)}}});
      } else {
        rows.push_back(
            {album.name, picture.path, {{listed, "最后一次尝试：" + FailureInChinese(words)}}});
      }
    }
  }
  return rows;
}

CFailedDlg::CFailedDlg(const std::vector<FailedRow>& rows, QWidget* parent) : QDialog(parent) {
  setWindowTitle("失败的图片");
  size_t pictures = 0;
  for (const FailedRow& row : rows) pictures += row.file.empty() ? 0 : 1;
  auto* layout = new QVBoxLayout(this);
  QString summary = QString("%1 张图片没有写入。").arg(pictures);
  if (pictures < rows.size()) {
    summary += QString("%1 个图集的图片列表没有完整获取。").arg(rows.size() - pictures);
  }
  summary += "再次点“下载”只重新获取没有写入的和缺少的图片。";
  auto* label = new QLabel(summary, this);
  label->setWordWrap(true);
  layout->addWidget(label);
  table_ = new QTableWidget(static_cast<int>(rows.size()), 4, this);
  table_->setHorizontalHeaderLabels({"图集", "文件", "尝试的地址", "结果"});
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setWordWrap(false);
  table_->verticalHeader()->setVisible(false);
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  table_->horizontalHeader()->setStretchLastSection(true);
  for (size_t index = 0; index < rows.size(); ++index) {
    const FailedRow& row = rows[index];
    const int r = static_cast<int>(index);
    QStringList addresses;
    QStringList results;
    for (const FailedAttempt& attempt : row.tried) {
      addresses.append(Q(attempt.address));
      results.append(attempt.result);
    }
    table_->setItem(r, 0, new QTableWidgetItem(Q(row.album)));
    table_->setItem(r, 1, new QTableWidgetItem(row.file.empty() ? "（图片列表）" : Q(row.file)));
    table_->setItem(r, 2, new QTableWidgetItem(addresses.join('\n')));
    table_->setItem(r, 3, new QTableWidgetItem(results.join('\n')));
  }
  table_->resizeColumnsToContents();
  table_->resizeRowsToContents();
  layout->addWidget(table_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  QPushButton* copy = buttons->addButton("复制地址", QDialogButtonBox::ActionRole);
  connect(copy, &QPushButton::clicked, this, [rows, copy] {
    QString text;
    for (const FailedRow& row : rows) {
      if (!row.file.empty() && !row.tried.empty()) text += Q(row.tried.front().address) + "\n";
    }
    QApplication::clipboard()->setText(text);
    // The sign that it was done.
    copy->setText("已复制");
    QTimer::singleShot(2000, copy, [copy] { copy->setText("复制地址"); });
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  resize(900, 420);
}

}  // namespace albumora
