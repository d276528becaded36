// The download list of the album being collected, the picture naming of AddPicture, and the
// side files of an album folder: the marker "pic.zrk", the picture-name file, the Thunder list.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace albumora {

struct AppState;

struct DownloadList {
  std::vector<std::string> arrUrl;     // address lines; "full\r\nfallback" holds a fallback
  std::vector<std::string> arrName;    // file names relative to strSaveDir
  std::vector<std::string> arrHeader;  // extra request header text per picture
  std::string strSaveDir;              // album folder, always ending in the separator

  size_t size() const { return arrUrl.size(); }
  bool empty() const { return arrUrl.empty(); }
  void Clear();
};

// The adapters' add-picture operation (download job thread).
void AddPicture(AppState& app, const std::string& address, const std::string& description,
                const std::string& header, int albumIndex);

// The primary address of an address line: the text before "\r\n".
std::string PrimaryAddress(const std::string& line);

void WriteMarker(const std::string& firstAddress, const std::string& folder);
std::string ReadMarker(const std::string& folder);
void WriteThunderList(const DownloadList& list, const std::string& path);

}  // namespace albumora
