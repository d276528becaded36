#include "gui/Prompts.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>

#include "gui/LoginWindow.h"

namespace albumora::gui {

Prompts Prompts::Desktop() {
  Prompts prompts;
  prompts.message = [](QWidget* parent, const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, parent);
    box.exec();
  };
  prompts.question = [](QWidget* parent, const QString& text, const QString& caption) {
    return QMessageBox::question(parent, caption, text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
  };
  prompts.login = [](QWidget* parent, const QString& address) {
    MakeLoginWindow(parent, address)->exec();
  };
  prompts.openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
  prompts.pickFolder = [](QWidget* parent, const QString& title) {
    return QFileDialog::getExistingDirectory(parent, title);
  };
  return prompts;
}

}  // namespace albumora::gui
