// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/StatusLines.h"

#include <QBoxLayout>
#include <QLabel>
#include <QTimer>

#ifndef ALBUMORA_VERSION
#error "ALBUMORA_VERSION comes from the project version in CMakeLists.txt"
#endif

namespace albumora::gui {

StatusLines::StatusLines(QWidget* parent) {
  main_ = new QLabel(mainText_, parent);
  waitTimer_ = new QTimer(this);
  waitTimer_->setInterval(200);
  connect(waitTimer_, &QTimer::timeout, this, [this] { Tick(); });
  progress_ = new QLabel(parent);
  // One line's height as a Chinese text needs it (its glyphs may come from a taller font than
  // the label's own), whether the line is empty, Latin or Chinese.
  QLabel probe("下载完毕：写入 Ag", parent);
  const int height = std::max(probe.sizeHint().height(), probe.fontMetrics().height());
  for (QLabel* status : {main_, progress_}) {
    status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    status->setFixedHeight(height);
  }
  notice_ = new QLabel(parent);
  // The notice keeps its place when it hides, so the version stays at the right.
  QSizePolicy noticePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  noticePolicy.setRetainSizeWhenHidden(true);
  notice_->setSizePolicy(noticePolicy);
  version_ = new QLabel(QString("版本 ") + ALBUMORA_VERSION, parent);
  updateLink_ = new QLabel("<a href=\"#update\">程序有更新</a>", parent);
  updateLink_->hide();
}

void StatusLines::AddTo(QBoxLayout* column) {
  column->addWidget(main_);
  column->addWidget(progress_);
  auto* notes = new QHBoxLayout;
  notes->addWidget(notice_, 1);
  notes->addWidget(updateLink_);
  notes->addWidget(version_);
  column->addLayout(notes);
}

void StatusLines::SetMain(const QString& text) {
  mainText_ = text;
  if (!Waiting()) main_->setText(text);
}

void StatusLines::ShowWait(const QString& host, int seconds, long status) {
  if (seconds <= 0) return;
  waitEnd_ = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  waitHost_ = host;
  waitStatus_ = status;
  waitShown_ = -1;
  waitTimer_->start();
  Tick();
}

void StatusLines::EndWait() {
  if (!Waiting()) return;
  waitTimer_->stop();
  main_->setText(mainText_);
}

bool StatusLines::Waiting() const { return waitTimer_->isActive(); }

void StatusLines::Tick() {
  using namespace std::chrono;
  const auto left = duration_cast<milliseconds>(waitEnd_ - steady_clock::now()).count();
  if (left <= 0) {
    EndWait();
    return;
  }
  const int seconds = static_cast<int>((left + 999) / 1000);
  if (seconds == waitShown_) return;
  waitShown_ = seconds;
  main_->setText(
      QString("等待 %1 秒：%2 要求放慢（%3）").arg(seconds).arg(waitHost_).arg(waitStatus_));
}

void StatusLines::SetProgress(const QString& text) { progress_->setText(text); }

void StatusLines::SetNotice(const QString& text) { notice_->setText(text); }

void StatusLines::HideNotice() { notice_->hide(); }

}  // namespace albumora::gui
