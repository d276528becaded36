// SPDX-License-Identifier: GPL-3.0-or-later
// The window speaks Chinese whatever the desktop's language: Qt's own texts (the message boxes'
// buttons, the folder picker with its columns and dates), the login window's browser (its
// error pages) and the system's reasons, which get the program's own Chinese words first.
#pragma once

#include <QString>
#include <system_error>

class QCoreApplication;

namespace albumora::gui {

// Before QApplication exists: Chinese as the default locale (the embedded browser takes its
// language from it), and the time locale the folder picker's dates follow, unless the
// environment already names a Chinese one.
void PrepareChineseLocale();
// After QApplication exists: Qt's Chinese texts and the few the folder picker lacks; the
// environment's character type again (the time locale above need not be installed). Once per
// application; a second call does nothing.
void InstallChineseTexts(QCoreApplication& application);

// The common system reasons in the program's own words, the system's text after them:
// "没有这个文件夹（No such file or directory）"; others as the system says them.
QString SystemReason(const std::error_code& error);

}  // namespace albumora::gui
