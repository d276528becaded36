// SPDX-License-Identifier: GPL-3.0-or-later
// The picture naming of AddPicture and the
// side files of an album folder: the marker "pic.zrk", the picture-name file, the Thunder list.
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "model/DownloadList.h"
#include "model/Records.h"

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
  // A dry run: the names are decided as for a download, but no folder is made and no file in it
  // is written or removed.
  bool dryRun = false;
  // The pictures are handed to a program on another machine (an aria2 daemon elsewhere): the
  // local disk tells nothing of the names there, those handed over before do.
  bool remoteNames = false;
};

// One album's own state from the start of its picture list to its outcome: copies of its entry
// and of the job texts the album list left, the list its pictures go to, the marker read in its
// folder, where its pictures come from and the skip rule's "enough". It belongs to the album's
// run alone: albums read side by side never see each other's. Whatever albums share (the
// settings, the names given so far) is reached through the job.
struct AlbumState {
  // The album at albumIndex of app.albumList (none when out of range: it names nothing), its
  // pictures to land under the job folder.
  AlbumState(const AppState& app, int albumIndex, std::string jobFolder);
  AlbumState(const AlbumState&) = delete;
  AlbumState& operator=(const AlbumState&) = delete;

  int albumIndex = -1;
  // The album's entry: an adapter may rename it before the first picture (the album folder is
  // named at the first picture).
  ST_PERLISTRECORD album;
  // The job texts as the album list left them: the picture list reads and writes its own copy.
  JobTexts texts;
  DownloadList list;
  std::string markUrl;  // read at the first picture, once the album folder is chosen
  PictureOrigin origin;
  std::atomic<bool> enough{false};  // the skip rule met the picture of an earlier download
};

// One album's side of the naming: its own state, and what the job wants told.
struct AlbumPictures {
  AlbumState& state;
  // Whether the album is the one the front end shows: only then does the count of pictures
  // listed reach the status line. None: always.
  std::function<bool()> shown;
  // Called at the first picture once the album folder is chosen, before its marker is read and
  // any name is given: the job waits there while an earlier album still works in that folder.
  std::function<void(const std::string& folder)> folderChosen;
};

// The adapters' add-picture operation, on the thread that lists the album. The names come from
// app.nameRegister, over the whole job (albums name one at a time, in album order). With an
// archive in the origin, a picture the archive records as written, whose file is still in the
// album folder with that size, keeps that file's name and is marked as already there
// (arrAlready). False when the skip rule met the picture of an earlier download ("enough"): it
// is not added.
bool AddPicture(AppState& app, AlbumPictures& album, const std::string& address,
                const std::string& description, const std::string& header);
// The same for an album listed on its own: "enough" sets the album's flag and app.nDownState
// to DOWN_ENOUGH, unless a stop was asked for.
void AddPicture(AppState& app, AlbumState& album, const std::string& address,
                const std::string& description, const std::string& header);

// The primary address of an address line: the text before "\r\n".
std::string PrimaryAddress(const std::string& line);

void WriteMarker(const std::string& firstAddress, const std::string& folder);
std::string ReadMarker(const std::string& folder);
void WriteThunderList(const DownloadList& list, const std::string& path);

}  // namespace albumora
