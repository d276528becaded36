// The picture naming of AddPicture and the
// side files of an album folder: the marker "pic.zrk", the picture-name file, the Thunder list.
#pragma once

#include <string>

#include "model/DownloadList.h"

namespace albumora {

struct AppState;
class Archive;

// Where the pictures of an album come from, for the download archive: a rerun finds there the
// pictures an earlier run wrote.
struct PictureOrigin {
  Archive* archive = nullptr;  // none: nothing is looked up
  std::string site;            // the family key
  std::string album;           // the album's address
  // Fetch again what an earlier run wrote (--force, or resume switched off): the picture keeps
  // its own file, which the new answer replaces.
  bool refetch = false;
};

// The adapters' add-picture operation (download job thread). With an origin, a picture the
// archive records as written, whose file is still in the album folder with that size, keeps
// that file's name and is marked as already there (arrAlready).
void AddPicture(AppState& app, const std::string& address, const std::string& description,
                const std::string& header, int albumIndex, const PictureOrigin* origin = nullptr);

// The primary address of an address line: the text before "\r\n".
std::string PrimaryAddress(const std::string& line);

void WriteMarker(const std::string& firstAddress, const std::string& folder);
std::string ReadMarker(const std::string& folder);
void WriteThunderList(const DownloadList& list, const std::string& path);

}  // namespace albumora
