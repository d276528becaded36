// The one download list: the pictures of the album being collected, refilled for every album.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace albumora {

struct DownloadList {
  std::vector<std::string> arrUrl;     // address lines; "full\r\nfallback" holds a fallback
  std::vector<std::string> arrName;    // file names relative to strSaveDir
  std::vector<std::string> arrHeader;  // extra request header text per picture
  std::string strSaveDir;              // album folder, always ending in the separator
  // The album folders of the running job as they landed on disk, each with the folder text it
  // was made for: two texts that differ never share a folder (the job clears it at its start).
  std::map<std::string, std::string> folders;

  size_t size() const { return arrUrl.size(); }
  bool empty() const { return arrUrl.empty(); }
  void Clear() {
    arrUrl.clear();
    arrName.clear();
    arrHeader.clear();
  }
};

}  // namespace albumora
