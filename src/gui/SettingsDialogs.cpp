// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/SettingsDialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCursor>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolTip>
#include <QVBoxLayout>

#include "text/StringCtrl.h"

namespace albumora::gui {

namespace {

// A signed decimal number as typed; text that is no number reads as 0.
long long ReadField(const QLineEdit* edit) { return ReadDecimal(edit->text().toStdString()); }

constexpr const char* kAffixHelp =
    "文件名的前缀、后缀可含占位符：\n"
    "?1 相册名　?2 图片序号　?3 相册在列表中的序号\n"
    "?4、?5 站点给出的相册数字　?6 本次勾选的相册数\n"
    "?7 列表中的相册数　?8 相册主人\n"
    "相册路径的前缀、后缀可含 ?1 相册名、?2 相册序号。\n"
    "替换：“替换”与“替换为”各用 | 分成段，段数相同时逐段替换，\n"
    "否则把整段“替换”换成整段“替换为”。";

QString FieldString(const NameField& field) { return QString::fromStdString(FieldText(field)); }

// At most kMaxUnits UTF-16 units, never half a surrogate pair.
std::string Limited(const QLineEdit* edit) {
  QString text = edit->text().left(CDlgSaveSet::kMaxUnits);
  if (!text.isEmpty() && text.back().isHighSurrogate()) text.chop(1);
  return text.toStdString();
}

// An albumora.toml value typed in an edit, with the setting's own check.
bool SetNamed(Config& config, std::string_view name, const QLineEdit* edit) {
  std::string error;
  for (const ConfigSetting& setting : ConfigSettings()) {
    if (setting.name == name) {
      return setting.set(config, edit->text().trimmed().toStdString(), error);
    }
  }
  return false;
}

}  // namespace

CDlgDownSet::CDlgDownSet(DownParam& slot, MessageFn message, QWidget* parent, Config* config)
    : QDialog(parent), slot_(slot), message_(std::move(message)), config_(config) {
  setWindowTitle("设置");
  auto* group = new QGroupBox("下载参数设置", this);
  auto* form = new QFormLayout(group);
  threads_ = new QLineEdit(QString::number(slot.wThreads), group);
  timeout_ = new QLineEdit(QString::number(slot.wTimeout), group);
  minKB_ = new QLineEdit(QString::number(slot.wMinKB), group);
  maxKB_ = new QLineEdit(QString::number(slot.wMaxKB), group);
  form->addRow("线程数(1~15)：", threads_);
  form->addRow("超时(S, >=10)：", timeout_);
  form->addRow("图片最小值(K)：", minKB_);
  form->addRow("图片最大值(K)：", maxKB_);
  auto* ok = new QPushButton("确 定", this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, [this] { Confirm(); });
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  if (config_ != nullptr) layout->addWidget(TransferGroup());
  layout->addWidget(ok, 0, Qt::AlignRight);
}

// albumora.toml's values, for every site.
QGroupBox* CDlgDownSet::TransferGroup() {
  auto* group = new QGroupBox("传输设置（所有网站）", this);
  auto* form = new QFormLayout(group);
  lowSpeedBytes_ = new QLineEdit(QString::number(config_->lowSpeedBytes), group);
  lowSpeedSeconds_ = new QLineEdit(QString::number(config_->lowSpeedSeconds), group);
  resume_ = new QCheckBox("断点续传（跳过已下载的图片）", group);
  resume_->setChecked(config_->resume);
  lowSpeedBytes_->setToolTip("0：不限制");
  form->addRow("低速限制（字节/秒）：", lowSpeedBytes_);
  form->addRow("持续（秒）：", lowSpeedSeconds_);
  userAgent_ = new QLineEdit(QString::fromStdString(config_->userAgent), group);
  userAgent_->setPlaceholderText("默认");
  userAgent_->setToolTip("每个请求的 User-Agent；空：程序自带的");
  form->addRow("User-Agent：", userAgent_);
  form->addRow(resume_);
  lookAhead_ = new QLineEdit(QString::number(config_->lookAhead), group);
  lookAhead_->setToolTip(
      "当前图集下载时，提前读取后面几个图集的图片列表并开始下载；0：逐个图集下载");
  form->addRow("提前读取图集数(0~8)：", lookAhead_);
  // Politeness: the site's refusals, the pace per host and the speed of the whole download.
  retries_ = new QLineEdit(QString::number(config_->retries), group);
  waitMs_ = new QLineEdit(QString::number(config_->waitMs), group);
  randomWait_ = new QCheckBox("间隔随机（0.5~1.5 倍）", group);
  randomWait_->setChecked(config_->randomWait);
  hostConnections_ = new QLineEdit(QString::number(config_->perHostConnections), group);
  limitRate_ = new QLineEdit(QString::number(config_->limitRate), group);
  retries_->setToolTip("网站拒绝（429、503）后等待并重试的次数");
  hostConnections_->setToolTip("0：不限制");
  limitRate_->setToolTip("所有线程合计；0：不限制");
  form->addRow("拒绝后重试次数(0~100)：", retries_);
  form->addRow("同一网站请求间隔（毫秒）：", waitMs_);
  form->addRow(randomWait_);
  form->addRow("同一网站并发请求(0~64)：", hostConnections_);
  form->addRow("总速度上限（字节/秒）：", limitRate_);
  return group;
}

bool CDlgDownSet::StoreConfig() {
  if (config_ == nullptr) return true;
  Config typed = *config_;
  typed.resume = resume_->isChecked();
  if (!SetNamed(typed, "transfer.low_speed_bytes", lowSpeedBytes_)) {
    message_("参数错误：低速限制应为 0~1000000000 字节/秒");
    return false;
  }
  if (!SetNamed(typed, "transfer.low_speed_seconds", lowSpeedSeconds_)) {
    message_("参数错误：持续时间应为 1~3600 秒");
    return false;
  }
  if (!SetNamed(typed, "transfer.user_agent", userAgent_)) {
    message_("参数错误：User-Agent 应为可打印的英文字符，最多 512 个");
    return false;
  }
  typed.randomWait = randomWait_->isChecked();
  struct Named {
    const char* name;
    const QLineEdit* edit;
    const char* message;
  };
  for (const Named& field :
       {Named{"download.look_ahead", lookAhead_, "参数错误：提前读取图集数应为 0~8"},
        Named{"polite.retries", retries_, "参数错误：重试次数应为 0~100"},
        Named{"polite.wait_ms", waitMs_, "参数错误：请求间隔应为 0~600000 毫秒"},
        Named{"polite.per_host_connections", hostConnections_, "参数错误：并发请求应为 0~64"},
        Named{"polite.limit_rate", limitRate_, "参数错误：速度上限应为 0~4000000000 字节/秒"}}) {
    if (!SetNamed(typed, field.name, field.edit)) {
      message_(field.message);
      return false;
    }
  }
  *config_ = typed;
  return true;
}

// The values reach the slot only when they pass: a refused "确 定" followed by closing the
// dialog leaves the slot as it was, so no thread count of 0 waits in memory for the next
// download. They are checked as typed, before the 16-bit fields could cut 65537 to 1, by the
// rule `albumora config` keeps too.
void CDlgDownSet::Confirm() {
  const long long threads = ReadField(threads_);
  const long long timeout = ReadField(timeout_);
  const long long minKB = ReadField(minKB_);
  const long long maxKB = ReadField(maxKB_);
  // Each fault names its field and the values it takes.
  switch (CheckDownParam(threads, timeout, minKB, maxKB)) {
    case DownParamFault::None:
      break;
    case DownParamFault::Threads:
      message_("参数错误：线程数应为 1~15");
      return;
    case DownParamFault::Timeout:
      message_("参数错误：超时应为 10~65535 秒");
      return;
    case DownParamFault::MinKB:
      message_("参数错误：图片最小值应为 0~65535 K");
      return;
    case DownParamFault::MaxKB:
      message_("参数错误：图片最大值应为 0~65535 K（0：不限制）");
      return;
    case DownParamFault::MinAboveMax:
      message_("参数错误：图片最小值不能大于最大值");
      return;
  }
  if (!StoreConfig()) return;
  slot_.wThreads = static_cast<uint16_t>(threads);
  slot_.wTimeout = static_cast<uint16_t>(timeout);
  slot_.wMinKB = static_cast<uint16_t>(minKB);
  slot_.wMaxKB = static_cast<uint16_t>(maxKB);
  accept();
}

CDlgSaveSet::CDlgSaveSet(NameRule& slot, QWidget* parent) : QDialog(parent), slot_(slot) {
  setWindowTitle("设置");
  auto* names = new QGroupBox("文件名", this);
  auto* nameGrid = new QGridLayout(names);
  prefix_ = new QLineEdit(FieldString(slot.szPrefix), names);
  suffix_ = new QLineEdit(FieldString(slot.szSuffix), names);
  from_ = new QLineEdit(FieldString(slot.szFrom), names);
  to_ = new QLineEdit(FieldString(slot.szTo), names);
  nameMode_ = new QButtonGroup(this);
  auto* radios = new QHBoxLayout;
  const char* nameCaptions[] = {"描述", "序号", "网址"};
  for (int i = 0; i < 3; ++i) {
    auto* radio = new QRadioButton(nameCaptions[i], names);
    nameMode_->addButton(radio, i);
    radios->addWidget(radio);
  }
  nameGrid->addWidget(new QLabel("前缀", names), 0, 0);
  nameGrid->addWidget(prefix_, 0, 1);
  nameGrid->addLayout(radios, 0, 2);
  nameGrid->addWidget(new QLabel("后缀", names), 0, 3);
  nameGrid->addWidget(suffix_, 0, 4);
  nameGrid->addWidget(new QLabel("替换", names), 1, 0);
  nameGrid->addWidget(from_, 1, 1, 1, 2);
  nameGrid->addWidget(new QLabel("替换为", names), 1, 3);
  nameGrid->addWidget(to_, 1, 4);

  auto* dirs = new QGroupBox("相册路径(相册名)", this);
  auto* dirGrid = new QGridLayout(dirs);
  dirPrefix_ = new QLineEdit(FieldString(slot.szDirPrefix), dirs);
  dirSuffix_ = new QLineEdit(FieldString(slot.szDirSuffix), dirs);
  dirMode_ = new QButtonGroup(this);
  auto* dirRadios = new QHBoxLayout;
  const char* dirCaptions[] = {"相册名", "无"};
  for (int i = 0; i < 2; ++i) {
    auto* radio = new QRadioButton(dirCaptions[i], dirs);
    dirMode_->addButton(radio, i);
    dirRadios->addWidget(radio);
  }
  dirGrid->addWidget(new QLabel("前缀", dirs), 0, 0);
  dirGrid->addWidget(dirPrefix_, 0, 1);
  dirGrid->addLayout(dirRadios, 0, 2);
  dirGrid->addWidget(new QLabel("后缀", dirs), 0, 3);
  dirGrid->addWidget(dirSuffix_, 0, 4);
  // The explanation: a tool tip, and the same text at the pointer when the link is clicked.
  auto* help = new QLabel("<a href=\"#\">前后缀说明</a>", dirs);
  help->setToolTip(kAffixHelp);
  connect(help, &QLabel::linkActivated, help,
          [help] { QToolTip::showText(QCursor::pos(), kAffixHelp, help); });
  dirGrid->addWidget(help, 1, 0, 1, 2);
  // An edit takes no more than a field keeps.
  for (QLineEdit* edit : {prefix_, suffix_, from_, to_, dirPrefix_, dirSuffix_}) {
    edit->setMaxLength(kMaxUnits);
  }

  if (QAbstractButton* radio = nameMode_->button(slot.byNameMode)) radio->setChecked(true);
  if (QAbstractButton* radio = dirMode_->button(slot.byDirMode)) radio->setChecked(true);

  auto* ok = new QPushButton("确 定", this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, [this] { Confirm(); });
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(names);
  layout->addWidget(dirs);
  layout->addWidget(ok, 0, Qt::AlignRight);
}

QLineEdit* CDlgSaveSet::Edit(int id) const {
  switch (id) {
    case 1000:
      return prefix_;
    case 1001:
      return suffix_;
    case 1002:
      return dirPrefix_;
    case 1003:
      return dirSuffix_;
    case 1021:
      return from_;
    case 1022:
      return to_;
    default:
      return nullptr;
  }
}

QRadioButton* CDlgSaveSet::Radio(int id) const {
  if (id >= 1016 && id <= 1018) return static_cast<QRadioButton*>(nameMode_->button(id - 1016));
  if (id >= 1019 && id <= 1020) return static_cast<QRadioButton*>(dirMode_->button(id - 1019));
  return nullptr;
}

void CDlgSaveSet::Confirm() {
  SetField(slot_.szPrefix, Limited(prefix_));
  SetField(slot_.szSuffix, Limited(suffix_));
  SetField(slot_.szFrom, Limited(from_));
  SetField(slot_.szTo, Limited(to_));
  SetField(slot_.szDirPrefix, Limited(dirPrefix_));
  SetField(slot_.szDirSuffix, Limited(dirSuffix_));
  slot_.byNameMode = static_cast<uint8_t>(std::max(0, nameMode_->checkedId()));
  slot_.byDirMode = static_cast<uint8_t>(std::max(0, dirMode_->checkedId()));
  accept();
}

}  // namespace albumora::gui
