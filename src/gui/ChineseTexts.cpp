// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/ChineseTexts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cerrno>
#include <clocale>
#include <string_view>

namespace albumora::gui {

namespace {

const QLocale kChinese(QLocale::Chinese, QLocale::China);

// The folder picker's texts that Qt's Chinese catalogue lacks.
class SupplementTexts : public QTranslator {
 public:
  using QTranslator::QTranslator;

  QString translate(const char* context, const char* source, const char*, int) const override {
    struct Text {
      std::string_view context;
      std::string_view source;
      const char* chinese;
    };
    static constexpr Text kTexts[] = {
        {"QAbstractFileIconProvider", "Folder", "文件夹"},
        {"QAbstractFileIconProvider", "File", "文件"},
        {"QAbstractFileIconProvider", "%1 File", "%1 文件"},
        {"QAbstractFileIconProvider", "Drive", "驱动器"},
        {"QAbstractFileIconProvider", "Computer", "计算机"},
    };
    if (context == nullptr || source == nullptr) return {};
    for (const Text& text : kTexts) {
      if (text.context == context && text.source == source) return QString(text.chinese);
    }
    return {};
  }
  bool isEmpty() const override { return false; }
};

bool Chinese(const QByteArray& name) { return name.startsWith("zh"); }

}  // namespace

void PrepareChineseLocale() {
  QLocale::setDefault(kChinese);
  // The time locale as Qt reads it: LC_ALL, else LC_TIME, else LANG.
  const QByteArray all = qgetenv("LC_ALL");
  const QByteArray time = qgetenv("LC_TIME");
  const QByteArray lang = qgetenv("LANG");
  const QByteArray effective = !all.isEmpty() ? all : !time.isEmpty() ? time : lang;
  if (all.isEmpty() && !Chinese(effective)) qputenv("LC_TIME", "zh_CN.UTF-8");
}

void InstallChineseTexts(QCoreApplication& application) {
  if (application.findChild<SupplementTexts*>() != nullptr) return;
  // A time locale the C library does not have leaves every category at "C": the character
  // type is the environment's again.
  std::setlocale(LC_CTYPE, "");
  auto* qt = new QTranslator(&application);
  if (qt->load(kChinese, "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(qt);
  }
  QCoreApplication::installTranslator(new SupplementTexts(&application));
}

QString SystemReason(const std::error_code& error) {
  const QString system = QString::fromLocal8Bit(error.message());
  const char* words = nullptr;
  if (error.category() == std::generic_category() || error.category() == std::system_category()) {
    switch (error.value()) {
      case ENOENT:
        words = "没有这个文件夹";
        break;
      case ENOTDIR:
        words = "路径中有同名的文件，不是文件夹";
        break;
      case EACCES:
      case EPERM:
        words = "没有权限";
        break;
      case ENOSPC:
      case EDQUOT:
        words = "磁盘空间不足";
        break;
      case EROFS:
        words = "只读的文件系统";
        break;
      case ENAMETOOLONG:
        words = "路径太长";
        break;
      default:
        break;
    }
  }
  if (words == nullptr) return system;
  return QString(words) + "（" + system + "）";
}

}  // namespace albumora::gui
