// The picture naming of AddPicture and the
// side files of an album folder: the marker "pic.zrk", the picture-name file, the Thunder list.
#pragma once

#include <string>

#include "model/DownloadList.h"

namespace albumora {

struct AppState;

// The adapters' add-picture operation (download job thread).
void AddPicture(AppState& app, const std::string& address, const std::string& description,
                const std::string& header, int albumIndex);

// The primary address of an address line: the text before "\r\n".
std::string PrimaryAddress(const std::string& line);

void WriteMarker(const std::string& firstAddress, const std::string& folder);
std::string ReadMarker(const std::string& folder);
void WriteThunderList(const DownloadList& list, const std::string& path);

}  // namespace albumora
