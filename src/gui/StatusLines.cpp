#include "gui/StatusLines.h"

#include <QBoxLayout>
#include <QLabel>

#ifndef ALBUMORA_VERSION
#error "ALBUMORA_VERSION comes from the project version in CMakeLists.txt"
#endif

namespace albumora::gui {

StatusLines::StatusLines(QWidget* parent) {
  main_ = new QLabel("就绪", parent);
  progress_ = new QLabel(parent);
  for (QLabel* status : {main_, progress_}) {
    status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    status->setMinimumHeight(status->fontMetrics().height());
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

void StatusLines::SetMain(const QString& text) { main_->setText(text); }

void StatusLines::SetProgress(const QString& text) { progress_->setText(text); }

void StatusLines::SetNotice(const QString& text) { notice_->setText(text); }

void StatusLines::HideNotice() { notice_->hide(); }

}  // namespace albumora::gui
