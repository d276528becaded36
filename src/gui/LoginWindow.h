// SPDX-License-Identifier: GPL-3.0-or-later
// The login window: an embedded browser (Qt WebEngine) in which the person logs in to a site.
// The browser and the engine keep one cookie store: the window's browser profile starts with
// the engine's cookies, and every cookie the browser sets or deletes reaches the engine's store
// at once and is saved to cookies.txt. The browser goes through the engine's proxy.
// MakeLoginWindow is the one place the window is made.
#pragma once

#include <QDialog>
#include <QString>
#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;
class QWebEngineProfile;
class QWebEngineView;

namespace albumora::gui {

class CDlgWebOpen : public QDialog {
  Q_OBJECT

 public:
  // Without a start address the edit offers the clipboard's text and nothing is opened.
  CDlgWebOpen(QWidget* owner, const QString& startAddress);
  ~CDlgWebOpen() override;

  QString Address() const;
  QLineEdit* AddressEdit() const { return address_; }
  QPushButton* OpenButton() const { return open_; }
  QWebEngineView* Browser() const { return browser_; }

  // The "打开" command: the browser opens the edit's address.
  void OpenAddress();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void LayOut(int width, int height);

  std::unique_ptr<QWebEngineProfile> profile_;
  QLabel* label_ = nullptr;
  QLineEdit* address_ = nullptr;
  QPushButton* open_ = nullptr;
  QWebEngineView* browser_ = nullptr;
  bool centred_ = false;
};

// The name the rest of the window uses.
using LoginWindow = CDlgWebOpen;

std::unique_ptr<CDlgWebOpen> MakeLoginWindow(QWidget* owner, const QString& startAddress);

// The browser's proxy from the engine's (EngineProxy()): the same proxy, or, when the engine
// has none, the environment's as the engine does. Called before each window is made.
void ApplyEngineProxyToBrowser();

// Before QApplication exists: the settings the embedded browser needs in this process (shared
// OpenGL contexts; as root, where Chromium's sandbox cannot run, the sandbox is switched off;
// Chinese as its language).
void PrepareBrowserProcess();

}  // namespace albumora::gui
