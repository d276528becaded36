// SPDX-License-Identifier: GPL-3.0-or-later
// What the window says about the download archive (archive.db) when it could not be used as it
// was: in Chinese, built from the archive's own report, which follows in brackets. The phrases
// are one table, so a new report of the archive needs one line here.
#pragma once

#include <QString>
#include <string>

namespace albumora::gui {

// report: the archive's words (Archive::Open's error, or LastError); opened: whether the
// window has an archive all the same (a damaged file moved aside and a new one started).
QString ArchiveNote(const std::string& report, bool opened);
// The main line's remark after a download without the archive.
constexpr const char* kNoArchiveRemark = "（没有下载记录：已下载过的图片也重新获取）";

}  // namespace albumora::gui
