// SPDX-License-Identifier: GPL-3.0-or-later
// What the window asks of the desktop: message boxes, questions, the login window, opening an
// address in the desktop's browser or file browser, the folder picker. One set of functions,
// so that a test can answer in place of the person and record what was asked.
#pragma once

#include <QString>
#include <QUrl>
#include <functional>

class QWidget;

namespace albumora::gui {

struct Prompts {
  // A modal message with an OK button; no title unless caption is given.
  std::function<void(QWidget* parent, const QString& text, const QString& caption)> message;
  // A note that does not wait for the person (the window and the jobs go on).
  std::function<void(QWidget* parent, const QString& text)> note;
  // A modal Yes/No question; true for Yes.
  std::function<bool(QWidget* parent, const QString& text, const QString& caption)> question;
  // The login window, modal, at the address; returns when the person has closed it.
  std::function<void(QWidget* parent, const QString& address)> login;
  // Opens an address (a web page, a folder) with the desktop; false when nothing could open it.
  std::function<bool(const QUrl& url)> openUrl;
  // The folder picker, opened at start; empty when cancelled.
  std::function<QString(QWidget* parent, const QString& title, const QString& start)> pickFolder;

  // The desktop's own.
  static Prompts Desktop();
};

}  // namespace albumora::gui
