#include "gui/FailedDlg.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "download/Naming.h"

namespace albumora {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

CFailedDlg::CFailedDlg(const std::vector<FailedPicture>& failures, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle("失败的图片");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(
      new QLabel(QString("%1 张图片没有写入。再次点“下载”只重新获取这些图片和缺少的图片。")
                     .arg(failures.size()),
                 this));
  table_ = new QTableWidget(static_cast<int>(failures.size()), 3, this);
  table_->setHorizontalHeaderLabels({"地址", "文件", "原因"});
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->verticalHeader()->setVisible(false);
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  table_->horizontalHeader()->setStretchLastSection(true);
  for (size_t row = 0; row < failures.size(); ++row) {
    const FailedPicture& failure = failures[row];
    const int r = static_cast<int>(row);
    table_->setItem(r, 0, new QTableWidgetItem(Q(PrimaryAddress(failure.address))));
    table_->setItem(r, 1, new QTableWidgetItem(Q(failure.file)));
    table_->setItem(r, 2, new QTableWidgetItem(Q(failure.reason)));
  }
  table_->resizeColumnsToContents();
  layout->addWidget(table_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  QPushButton* copy = buttons->addButton("复制地址", QDialogButtonBox::ActionRole);
  connect(copy, &QPushButton::clicked, this, [failures, copy] {
    QString text;
    for (const FailedPicture& failure : failures) text += Q(PrimaryAddress(failure.address)) + "\n";
    QApplication::clipboard()->setText(text);
    // The sign that it was done.
    copy->setText("已复制");
    QTimer::singleShot(2000, copy, [copy] { copy->setText("复制地址"); });
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  resize(820, 420);
}

}  // namespace albumora
