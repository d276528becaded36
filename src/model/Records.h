// SPDX-License-Identifier: GPL-3.0-or-later
// The records the two jobs share: album entries, the album list, the site and list-type
// vocabulary. The job state bytes and context texts live on AppState (src/app/AppState.h).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace albumora {

// One album entry, one row of the album grid.
struct ST_PERLISTRECORD {
  std::string strName;   // album name as shown; cleaned and made unique when added
  std::string strAddr;   // what the picture-list adapter needs (address, id or query fragment)
  std::string strCover;  // cover picture address (thumbnail view)
  std::string strKey;    // secondary key some adapters keep
  std::string strDesc;   // album description some adapters keep
  int32_t nCount = 0;    // pictures the site reports; -1 = unknown
  int32_t nFlags = 0;    // 1 encrypted, 2 private, 4 friends only; negative = numeric remark
  int32_t nNum1 = 0;     // "?4" of the file-name patterns
  int32_t nNum2 = 0;     // "?5" of the file-name patterns
  int32_t nIndex = 0;    // position in the AlbumList, set by the list
  int32_t nImage = -1;   // thumbnail index, -1 until loaded
};

// The albums of the current list. Owns its entries; entry i has nIndex == i; names are unique.
class AlbumList {
 public:
  size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  ST_PERLISTRECORD& operator[](size_t i) { return *entries_[i]; }
  const ST_PERLISTRECORD& operator[](size_t i) const { return *entries_[i]; }
  // Appends an entry whose name is already unique; sets its nIndex.
  void Append(std::unique_ptr<ST_PERLISTRECORD> entry);
  // Whether an entry was appended with exactly this name (case counts), in constant time.
  bool HasName(std::string_view name) const;
  // The unique-name rule's memory for one cleaned name: the first of its candidates (0 the name
  // itself, n its form numbered n) not yet known to be taken. A name appended stays taken until
  // Clear, so the candidates below it never need a second look.
  unsigned& NextCandidate(const std::string& cleaned) { return nextCandidate_[cleaned]; }
  void Clear();

  int32_t nTicked = 0;  // albums the download job selected when it last started

 private:
  struct NameHash {
    using is_transparent = void;
    size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
  };
  std::vector<std::unique_ptr<ST_PERLISTRECORD>> entries_;
  // The names the entries were appended with.
  std::unordered_set<std::string, NameHash, std::equal_to<>> names_;
  std::unordered_map<std::string, unsigned> nextCandidate_;
};

// Site indices (the site box's selection, 0 to 14).
enum SiteIndex : int {
  SITE_QZONE = 0,
  SITE_BAIDU = 1,
  SITE_NETEASE = 2,
  SITE_RENREN = 3,
  SITE_SINA = 4,
  SITE_56 = 5,
  SITE_POCO = 6,
  SITE_YUPOO = 7,
  SITE_51 = 8,
  SITE_ZOL = 9,
  SITE_PCHOME = 10,
  SITE_TAOBAO = 11,
  SITE_MOKO = 12,
  SITE_BABYTREE = 13,
  SITE_PCONLINE = 14,
};
constexpr int kSiteCount = 15;

// The job context texts: written by the album-list job and its adapters, read by the download
// job and the picture-list adapters of the same site.
struct JobTexts {
  std::string strOwner;       // first folder level under the save path
  std::string strOwnerTitle;  // optional second folder level
  std::string strSiteParam1;  // values a site's album list leaves for its picture list
  std::string strSiteParam2;
  std::string strSiteParam3;
};

// List-type codes: which of a site's address forms the album-list job recognised.
constexpr int LT_NONE = -1;
constexpr int LT_QZONE_PERSONAL = 0;
constexpr int LT_QZONE_GROUP = 1;
constexpr int LT_TENCENT_WEIBO = 2;
constexpr int LT_BAIDU_ALBUM = 0;
constexpr int LT_BAIDU_TIEBA = 1;
constexpr int LT_NETEASE_PP = 1;
constexpr int LT_RENREN = 0;
constexpr int LT_RENREN_ZHAN = 10;
constexpr int LT_SINA_BLOG = 0;
constexpr int LT_SINA_ARTICLE = 1;
constexpr int LT_SINA_WEIBO = 2;
constexpr int LT_POCO_ALBUM = 0;
constexpr int LT_POCO_POSTS = 1;
constexpr int LT_BABYTREE_FIRST = 0;
constexpr int LT_BABYTREE_SECOND = 1;

// Access bits of nFlags.
constexpr int32_t FLAG_ENCRYPTED = 1;
constexpr int32_t FLAG_PRIVATE = 2;
constexpr int32_t FLAG_FRIENDS = 4;

}  // namespace albumora
