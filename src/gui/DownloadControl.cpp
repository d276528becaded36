// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/DownloadControl.h"

#include <unistd.h>

#include <QBoxLayout>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <cerrno>
#include <system_error>

#include "gui/ChineseTexts.h"
#include "gui/ComboBox2.h"
#include "gui/Prompts.h"

namespace albumora::gui {

namespace {

QString WithSlash(QString folder) {
  if (!folder.isEmpty() && !folder.endsWith('/')) folder += '/';
  return folder;
}

}  // namespace

QString ProposedSavePath(const std::filesystem::path& currentDir, const QString& documentsDir) {
  const QString folder = WithSlash(QString::fromStdString(currentDir.string()));
  const QString lower = folder.toLower();
  // A program started from a temporary folder (an unpacked download), or from the root where
  // nobody may write, proposes the documents folder instead.
  const bool temporary = lower.contains("/temp/") || lower.contains("/tmp/") ||
                         lower.contains("\\temp\\") || lower.contains("\\locals") || folder == "/";
  if (!temporary) return folder;
  // Made by the first download that uses it (MakeSaveFolder), not here.
  return WithSlash(documentsDir) + "Albumora/";
}

bool MakeSaveFolder(const QString& folder, QString& reason) {
  const std::filesystem::path path(folder.toStdString());
  std::error_code error;
  std::filesystem::create_directories(path, error);
  if (!error && !std::filesystem::is_directory(path, error)) {
    error = std::make_error_code(std::errc::not_a_directory);
  }
  if (!error && ::access(path.c_str(), W_OK | X_OK) != 0) {
    error = std::error_code(errno, std::generic_category());
  }
  if (!error) return true;
  reason = "无法创建保存路径：" + folder + "\n" + SystemReason(error);
  return false;
}

DownloadControl::DownloadControl(QWidget* parent, SettingsRecord& settings, Prompts& prompts,
                                 std::function<void()> saveSettings)
    : settings_(settings), prompts_(prompts), saveSettings_(std::move(saveSettings)) {
  button_ = new QPushButton("下载", parent);
  button_->setEnabled(false);
  saveLabel_ = new QLabel("保存路径:", parent);
  save_ = new CComboBox2(parent);
  save_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  save_->SetSorted(false);
  browse_ = new QPushButton("设置", parent);
  open_ = new QPushButton("打开", parent);
  progressLabel_ = new QLabel("当前相册:", parent);
  progress_ = new QProgressBar(parent);
  ClearProgress();

  connect(button_, &QPushButton::clicked, this, [this] { emit DownloadRequested(); });
  connect(browse_, &QPushButton::clicked, this, [this] { Browse(); });
  connect(open_, &QPushButton::clicked, this, [this] { emit OpenRequested(); });
}

void DownloadControl::AddSaveRow(QBoxLayout* row) {
  row->addWidget(saveLabel_);
  row->addWidget(save_, 1);
  row->addWidget(browse_);
  row->addWidget(open_);
}

void DownloadControl::AddProgress(QBoxLayout* row) {
  row->addWidget(progressLabel_);
  row->addWidget(progress_, 1);
}

void DownloadControl::LoadRecent() {
  QStringList recent;
  for (const RecentField& entry : settings_.recentDir) {
    if (entry[0] != 0) recent.append(QString::fromStdString(FieldText(entry)));
  }
  save_->SetItems(recent);
  if (!recent.isEmpty()) save_->setEditText(recent.front());
}

QString DownloadControl::SavePath() const { return save_->currentText(); }

void DownloadControl::SetSavePath(const QString& folder) { save_->setEditText(folder); }

// The folder goes first in soft.dat's recent save paths (the one start-up shows), the others
// after it in their order; the drop-down shows them so, the newest first.
bool DownloadControl::Remember(const QString& folder) {
  const std::string text = folder.toStdString();
  if (text.empty() || QString(folder).size() >= static_cast<qsizetype>(kRecentUnits)) return false;
  if (FieldText(settings_.recentDir[0]) == text) return false;
  std::vector<std::string> recent{text};
  for (const RecentField& entry : settings_.recentDir) {
    const std::string kept = FieldText(entry);
    if (!kept.empty() && kept != text && recent.size() < kRecentEntries) recent.push_back(kept);
  }
  QStringList items;
  for (size_t i = 0; i < kRecentEntries; ++i) {
    SetField(settings_.recentDir[i], i < recent.size() ? recent[i] : std::string());
    if (i < recent.size()) items.append(QString::fromStdString(recent[i]));
  }
  save_->SetItems(items);
  saveSettings_();
  return true;
}

void DownloadControl::RememberUsed() {
  const QString folder = WithSlash(save_->currentText().trimmed());
  if (folder.isEmpty()) return;
  save_->setEditText(folder);
  Remember(folder);
}

void DownloadControl::Browse() {
  const QString chosen = prompts_.pickFolder(button_->window(), "请选择文件保存目录：",
                                             save_->currentText().trimmed());
  if (chosen.isEmpty()) return;
  const QString folder = WithSlash(chosen);
  save_->setEditText(folder);
  Remember(folder);
}

void DownloadControl::TakeDroppedPath(const QString& path) {
  QString folder = path;
  // A file gives its folder. A path that exists says itself what it is (a folder may have a
  // dot in its name); otherwise a last "." after the last "/" marks a file.
  const QFileInfo info(path);
  const qsizetype slash = folder.lastIndexOf('/');
  const bool file = info.exists() ? !info.isDir() : slash < folder.lastIndexOf('.');
  if (file && slash >= 0) folder = folder.left(slash);
  folder = WithSlash(folder);
  if (folder.isEmpty()) return;
  save_->setEditText(folder);
  Remember(folder);
}

void DownloadControl::SetBusy(bool busy) {
  button_->setText(busy ? "终止下载" : "下载");
  browse_->setEnabled(!busy);
  save_->setEnabled(!busy);
  if (!busy) ClearProgress();
}

void DownloadControl::ShowProgress(int finished, int total) {
  progress_->setRange(0, std::max(total, 1));
  progress_->setValue(finished);
  progress_->setFormat(total > 0 ? "%v/%m" : "");
}

void DownloadControl::ClearProgress() {
  progress_->setRange(0, 1);
  progress_->setValue(0);
  progress_->setFormat("");
}

}  // namespace albumora::gui
