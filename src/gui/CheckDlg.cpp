// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/CheckDlg.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMetaObject>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cstdio>
#include <memory>

#include "sites/Pages.h"

namespace albumora {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

std::string SideTextZh(const CheckStep& step) {
  return step.album == 0 ? std::string("相册列表") : "第" + std::to_string(step.album) + "个相册";
}

std::string SecondsText(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f秒", seconds);
  return text;
}

}  // namespace

std::string CheckResultTextZh(const SiteCheckReport& report) {
  if (report.stopped) return "检查已停止";
  if (report.refused) return "网址无法识别";
  if (report.listDiagnosis) return DiagnosisTextZh(*report.listDiagnosis);
  if (report.albums == 0) return "没有取到相册（可能需要登录，或网址有误）";
  for (const SiteCheckReport::Album& album : report.checked) {
    if (album.diagnosis) return DiagnosisTextZh(*album.diagnosis);
  }
  for (size_t index = 0; index < report.steps.size(); ++index) {
    if (!StepFailed(report, index)) continue;
    const CheckStep& step = report.steps[index];
    PageDiagnosis diagnosis;
    diagnosis.kind = step.page.kind;
    diagnosis.address = step.page.address;
    diagnosis.status = step.page.status;
    diagnosis.bytes = step.page.bytes;
    for (const char* marker : step.page.missing) diagnosis.missing.emplace_back(marker);
    return DiagnosisTextZh(diagnosis);
  }
  if (!report.Ok()) return "有相册没有取到图片（可能是私密相册或需要登录）";
  return "网站正常：相册列表和图片列表都取到了内容";
}

CCheckDlg::CCheckDlg(int site, std::string address, const SettingsRecord& settings,
                     const Config& config, QWidget* parent)
    : QDialog(parent),
      site_(site),
      address_(std::move(address)),
      settings_(settings),
      config_(config) {
  setWindowTitle("检查网站");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("检查 " + Q(address_), this));
  table_ = new QTableWidget(0, 10, this);
  table_->setHorizontalHeaderLabels({"步骤", "范围", "网页类型", "状态", "字节", "用时", "取到",
                                     "找到的标记", "缺少的标记", "地址"});
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->verticalHeader()->setVisible(false);
  table_->horizontalHeader()->setStretchLastSection(true);
  layout->addWidget(table_);
  result_ = new QLabel(this);
  result_->setWordWrap(true);
  result_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(result_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  again_ = buttons->addButton("重新检查", QDialogButtonBox::ActionRole);
  save_ = buttons->addButton("保存网页", QDialogButtonBox::ActionRole);
  connect(again_, &QPushButton::clicked, this, [this] { Start(); });
  connect(save_, &QPushButton::clicked, this, [this] {
    const QString folder = QFileDialog::getExistingDirectory(this, "保存网页到文件夹");
    if (!folder.isEmpty()) Start(folder.toStdString());
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  resize(980, 460);
}

CCheckDlg::~CCheckDlg() {
  stop_ = true;
  Join();
}

void CCheckDlg::Join() {
  if (worker_.joinable()) worker_.join();
}

void CCheckDlg::Start(const std::string& pagesFolder) {
  if (running_.load()) return;
  Join();
  std::shared_ptr<PageFolderRecorder> recorder;
  if (!pagesFolder.empty()) {
    std::string problem;
    recorder = PageFolderRecorder::Open(pagesFolder, problem);
    if (!recorder) {
      result_->setText(Q("无法保存网页：" + problem));
      return;
    }
  }
  stop_ = false;
  running_ = true;
  again_->setEnabled(false);
  save_->setEnabled(false);
  result_->setText("正在检查，请稍等...");
  table_->setRowCount(0);
  worker_ = std::thread([this, recorder, pagesFolder] {
    // The pages of this check go to the folder while it runs.
    if (recorder) SetPageRecorder(recorder);
    SiteCheckReport report =
        RunSiteCheck(site_, address_, settings_, config_, {}, [this] { return stop_.load(); });
    if (recorder) SetPageRecorder(nullptr);
    QMetaObject::invokeMethod(
        this, [this, report = std::move(report), pagesFolder] { Show(report, pagesFolder); },
        Qt::QueuedConnection);
  });
}

void CCheckDlg::Show(const SiteCheckReport& report, const std::string& pagesFolder) {
  Join();
  running_ = false;
  again_->setEnabled(true);
  save_->setEnabled(true);
  table_->setRowCount(static_cast<int>(report.steps.size()));
  for (size_t i = 0; i < report.steps.size(); ++i) {
    const CheckStep& step = report.steps[i];
    const PageStep& page = step.page;
    const int row = static_cast<int>(i);
    const std::string cells[] = {
        std::to_string(i + 1),      SideTextZh(step),
        PageKindNameZh(page.kind),  page.status != 0 ? std::to_string(page.status) : page.error,
        GroupedNumber(page.bytes),  SecondsText(page.seconds),
        std::to_string(page.items), FoundMarkersText(page),
        MissingMarkersText(page),   page.address};
    for (int column = 0; column < 10; ++column) {
      auto* item = new QTableWidgetItem(Q(cells[column]));
      if (StepFailed(report, i)) item->setForeground(Qt::red);
      table_->setItem(row, column, item);
    }
  }
  table_->resizeColumnsToContents();
  std::string text = CheckResultTextZh(report);
  if (!pagesFolder.empty()) text += "\n网页已保存到 " + pagesFolder + "（可附在问题报告中）";
  result_->setText(Q(text));
}

void OpenCheckDialog(QWidget* parent, int site, const std::string& address,
                     const SettingsRecord& settings, const Config& config) {
  CCheckDlg dialog(site, address, settings, config, parent);
  dialog.Start();
  dialog.exec();
}

}  // namespace albumora
