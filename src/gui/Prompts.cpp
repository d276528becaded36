// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/Prompts.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGridLayout>
#include <QMessageBox>

#include "gui/LoginWindow.h"

namespace albumora::gui {

namespace {

// Wide enough that the title bar shows the title and a short text does not make a sliver.
constexpr int kBoxMinWidth = 320;

int Run(QMessageBox& box) {
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
    grid->addItem(new QSpacerItem(kBoxMinWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
  }
  return box.exec();
}

QString Title(const QString& caption) {
  return caption.isEmpty() ? QCoreApplication::applicationName() : caption;
}

}  // namespace

Prompts Prompts::Desktop() {
  Prompts prompts;
  prompts.message = [](QWidget* parent, const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::NoIcon, Title(caption), text, QMessageBox::Ok, parent);
    Run(box);
  };
  prompts.note = [](QWidget* parent, const QString& text) {
    auto* box = new QMessageBox(QMessageBox::Information, Title({}), text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
  };
  prompts.question = [](QWidget* parent, const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Question, Title(caption), text, QMessageBox::Yes | QMessageBox::No,
                    parent);
    return Run(box) == QMessageBox::Yes;
  };
  prompts.login = [](QWidget* parent, const QString& address) {
    MakeLoginWindow(parent, address)->exec();
  };
  prompts.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
  prompts.pickFolder = [](QWidget* parent, const QString& title, const QString& start) {
    return QFileDialog::getExistingDirectory(parent, title, start);
  };
  return prompts;
}

}  // namespace albumora::gui
