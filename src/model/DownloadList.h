// The one download list: the pictures of the album being collected, refilled for every album.
#pragma once

#include <string>
#include <vector>

namespace albumora {

struct DownloadList {
  std::vector<std::string> arrUrl;     // address lines; "full\r\nfallback" holds a fallback
  std::vector<std::string> arrName;    // file names relative to strSaveDir
  std::vector<std::string> arrHeader;  // extra request header text per picture
  std::string strSaveDir;              // album folder, always ending in the separator

  size_t size() const { return arrUrl.size(); }
  bool empty() const { return arrUrl.empty(); }
  void Clear() {
    arrUrl.clear();
    arrName.clear();
    arrHeader.clear();
  }
};

}  // namespace albumora
