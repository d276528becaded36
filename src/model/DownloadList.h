// SPDX-License-Identifier: GPL-3.0-or-later
// The download list of an album: its pictures as the naming collected them; and the job-wide
// register of the folders and picture names given so far.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace albumora {

// The picture names taken in one folder during a job, as the unique-name rule compares them
// (folded case), and per stem the next number worth trying: a name once taken stays taken for
// the whole job, so the numbers below it need no second look and naming stays constant-time
// however many pictures share a description.
struct TakenNames {
  std::unordered_set<std::u32string> taken;
  std::unordered_map<std::string, unsigned> nextNumber;
  // Per stem, the names passed over for a file on disk that no picture of the job has: a
  // picture's bytes may turn out to be one of them.
  std::unordered_map<std::string, std::vector<std::string>> onDisk;
};

// What a download job has given out so far, over all its albums (the job clears it at its
// start).
struct NameRegister {
  // The album folders as they landed on disk, each with the folder text it was made for: two
  // texts that differ never share a folder.
  std::map<std::string, std::string> folders;
  // Per folder, the picture names given so far: albums that share a folder never share a file
  // name.
  std::unordered_map<std::string, TakenNames> names;

  void Clear() {
    folders.clear();
    names.clear();
  }
};

struct DownloadList {
  std::vector<std::string> arrUrl;     // address lines; "full\r\nfallback" holds a fallback
  std::vector<std::string> arrName;    // file names relative to strSaveDir
  std::vector<std::string> arrHeader;  // extra request header text per picture
  std::string strSaveDir;              // album folder, always ending in the separator
  // Parallel to arrUrl: 1 when an earlier run wrote this picture and its file is still there
  // with that size, so it is not fetched again.
  std::vector<uint8_t> arrAlready;
  // Parallel to arrUrl: the names the picture would have had but for a file found there that no
  // record tells as this picture's (its first choice and the numbered forms passed over, one a
  // line; empty when none). When one of those files turns out to hold the very bytes fetched,
  // it is the picture's own (a run killed before it could record it, or a run without an
  // archive) and the new copy goes.
  std::vector<std::string> arrFoundFile;

  size_t size() const { return arrUrl.size(); }
  bool empty() const { return arrUrl.empty(); }
  void Clear() {
    arrUrl.clear();
    arrName.clear();
    arrHeader.clear();
    arrAlready.clear();
    arrFoundFile.clear();
  }
};

}  // namespace albumora
