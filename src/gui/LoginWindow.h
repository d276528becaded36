// The login window. Until the embedded browser window exists, this is a plain dialog that
// names the address to log in at and waits for OK; everything else reaches it through
// MakeLoginWindow, so the browser window replaces it here alone.
#pragma once

#include <QDialog>
#include <QString>
#include <memory>

class QLineEdit;

namespace albumora::gui {

class LoginWindow : public QDialog {
 public:
  // An empty start address offers the clipboard's text and opens nothing.
  LoginWindow(QWidget* owner, const QString& startAddress);
  QString Address() const;

 private:
  QLineEdit* address_;
};

std::unique_ptr<LoginWindow> MakeLoginWindow(QWidget* owner, const QString& startAddress);

}  // namespace albumora::gui
