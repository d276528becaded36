// SPDX-License-Identifier: GPL-3.0-or-later
// File and folder names: cleaning a text into a usable name, folder chains, picture extensions,
// wide-text diagnostic files, and the file-system limit on a name's length.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace albumora {

// The platform's path separator as the pipelines append it to folders.
constexpr char kPathSep = '/';

// Besides the characters the file system or the shell would take for something else, every
// control character (C0, DEL, C1, and the bidirectional controls U+202A-U+202E and
// U+2066-U+2069) is removed and invalid UTF-8 becomes U+FFFD: a name never carries a terminal
// escape, a zero byte or a right-to-left override that disguises its extension.
void CleanFileName(std::string& text, unsigned pattern, bool fallback);
// Reports the folder that could not be made through the message callback (installed by the
// front end; the host's ShowMessage by default in the jobs).
bool EnsureDirPath(std::string& path);
using FolderMessage = std::function<void(const std::string&)>;
void SetFolderMessage(FolderMessage callback);
bool HasPictureExt(const std::string& name);
// UTF-16LE with byte-order mark; "1.txt" when name is empty; a relative name lies in the
// program folder. data is UTF-16LE bytes.
void WriteUnicodeFile(const std::string& name, const char* data, size_t count);
// The same for a UTF-8 text (converted to UTF-16LE).
void WriteUnicodeText(const std::string& name, const std::string& text);

// Replaces the file at path with bytes: they go to a fresh file beside it that is then renamed
// over it, so no reader ever finds a cut file and a failed write keeps the old content. False
// when the file was not replaced (errno tells why).
bool ReplaceFileWith(const std::string& path, std::string_view bytes);

// A file name (the last path component) too long for the file system (255 bytes) is cut at a
// character boundary, keeping its extension. The layer that writes files applies it. The name
// it leaves is never empty, "." or ".." (such a name becomes "_").
constexpr size_t kMaxNameBytes = 255;
std::string FitFileName(const std::string& path);
// The longest start of name within maxBytes that ends at a character boundary: a whole UTF-8
// sequence or, in invalid UTF-8, a single byte. Empty only for an empty name or maxBytes 0.
std::string CutName(std::string_view name, size_t maxBytes);
// An album name leaves room for the extension of its side files (".txt", ".lst").
constexpr size_t kMaxAlbumNameBytes = kMaxNameBytes - 4;

}  // namespace albumora
