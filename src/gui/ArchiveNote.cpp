// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/ArchiveNote.h"

#include <QRegularExpression>

namespace albumora::gui {

QString ArchiveNote(const std::string& report, bool opened) {
  struct Phrase {
    const char* pattern;  // on the archive's words, any case
    const char* chinese;
  };
  static constexpr Phrase kPhrases[] = {
      {"moved aside|moved to|renamed", "已损坏，已把它移到一旁"},
      {"is damaged|malformed|corrupt", "已损坏"},
      {"is not a database", "不是下载记录文件（可能已损坏）"},
      {"newer", "由更新版本的 Albumora 写入，本版本不能使用"},
      {"locked", "正被另一个程序使用"},
      {"disk is full|no space", "所在磁盘已满"},
      {"opened for writing|read.only|permission", "无法写入（没有权限或是只读的）"},
  };
  const QString words = QString::fromStdString(report);
  QString what = "无法使用";
  for (const Phrase& phrase : kPhrases) {
    if (words.contains(
            QRegularExpression(phrase.pattern, QRegularExpression::CaseInsensitiveOption))) {
      what = phrase.chinese;
      break;
    }
  }
  QString text = "下载记录 archive.db " + what + "。";
  text += opened ? "已新建下载记录，从本次下载开始重新记录。"
                 : "本次运行不记录下载：下载照常进行，但已下载过的图片也会重新获取。";
  if (!words.isEmpty()) text += "\n（" + words + "）";
  return text;
}

}  // namespace albumora::gui
