// The picture naming of AddPicture and the
// side files of an album folder: the marker "pic.zrk", the picture-name file, the Thunder list.
#pragma once

#include <functional>
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
  // The pictures are handed to a program on another machine (an aria2 daemon elsewhere): the
  // local disk tells nothing of the names there, those handed over before do.
  bool remoteNames = false;
};

// One album's side of the naming: the list its pictures go to, the marker read in its folder,
// where they come from, and what the job wants told.
struct AlbumPictures {
  DownloadList& list;
  std::string& markUrl;  // read at the first picture, once the album folder is chosen
  const PictureOrigin* origin = nullptr;
  // Whether the album is the one the front end shows: only then does the count of pictures
  // listed reach the status line. None: always.
  std::function<bool()> shown;
  // Called at the first picture once the album folder is chosen, before its marker is read and
  // any name is given: the job waits there while an earlier album still works in that folder.
  std::function<void(const std::string& folder)> folderChosen;
};

// The adapters' add-picture operation, on the thread that lists the album. The names come from
// app.nameRegister, over the whole job. With an origin, a picture the archive records as
// written, whose file is still in the album folder with that size, keeps that file's name and
// is marked as already there (arrAlready). False when the skip rule met the picture of an
// earlier download ("enough"): it is not added.
bool AddPicture(AppState& app, AlbumPictures& album, int albumIndex, const std::string& address,
                const std::string& description, const std::string& header);
// The same into app.downloadList; "enough" sets app.nDownState to DOWN_ENOUGH, unless a stop
// was asked for.
void AddPicture(AppState& app, const std::string& address, const std::string& description,
                const std::string& header, int albumIndex, const PictureOrigin* origin = nullptr);

// The primary address of an address line: the text before "\r\n".
std::string PrimaryAddress(const std::string& line);

void WriteMarker(const std::string& firstAddress, const std::string& folder);
std::string ReadMarker(const std::string& folder);
void WriteThunderList(const DownloadList& list, const std::string& path);

}  // namespace albumora
