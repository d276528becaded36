#include "gui/LoginWindow.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "text/StringCtrl.h"

namespace albumora::gui {

LoginWindow::LoginWindow(QWidget* owner, const QString& startAddress) : QDialog(owner) {
  setWindowTitle("登录成功后手动关闭对话框");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("网址：", this));
  address_ = new QLineEdit(this);
  address_->setReadOnly(true);
  address_->setText(startAddress.isEmpty() ? QString::fromStdString(ClipboardText())
                                           : startAddress);
  address_->setMinimumWidth(420);
  layout->addWidget(address_);
  auto* hint =
      new QLabel("请在浏览器中打开此网址并登录。登录窗口将在后续版本中内嵌于本程序。", this);
  hint->setWordWrap(true);
  layout->addWidget(hint);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
}

QString LoginWindow::Address() const { return address_->text(); }

std::unique_ptr<LoginWindow> MakeLoginWindow(QWidget* owner, const QString& startAddress) {
  return std::make_unique<LoginWindow>(owner, startAddress);
}

}  // namespace albumora::gui
