#include "model/Records.h"

#include <charconv>

namespace albumora {

const std::array<SiteInfo, kSiteCount> kSites = {{
    {SITE_QZONE, "qzone", "QQ空间/腾讯微博"},
    {SITE_BAIDU, "baidu", "百度相册/贴吧"},
    {SITE_NETEASE, "netease", "网易相册"},
    {SITE_RENREN, "renren", "人人网"},
    {SITE_SINA, "sina", "新浪博客/微博"},
    {SITE_56, "56", "56网相册"},
    {SITE_POCO, "poco", "POCO摄影"},
    {SITE_YUPOO, "yupoo", "又拍网"},
    {SITE_51, "51", "51相册"},
    {SITE_ZOL, "zol", "ZOL相册"},
    {SITE_PCHOME, "pchome", "PChome相簿"},
    {SITE_TAOBAO, "taobao", "淘宝/天猫"},
    {SITE_MOKO, "moko", "美空网"},
    {SITE_BABYTREE, "babytree", "宝宝树"},
    {SITE_PCONLINE, "pconline", "太平洋摄影部落"},
}};

int SiteFromKey(std::string_view keyOrIndex) {
  for (const SiteInfo& site : kSites) {
    if (keyOrIndex == site.key) return site.nSite;
  }
  int value = -1;
  auto [end, ec] = std::from_chars(keyOrIndex.data(), keyOrIndex.data() + keyOrIndex.size(), value);
  if (ec == std::errc() && end == keyOrIndex.data() + keyOrIndex.size() && value >= 0 &&
      value < kSiteCount) {
    return value;
  }
  return -1;
}

void AlbumList::Append(std::unique_ptr<ST_PERLISTRECORD> entry) {
  entry->nIndex = static_cast<int32_t>(entries_.size());
  entries_.push_back(std::move(entry));
}

bool AlbumList::HasName(std::string_view name) const {
  for (const auto& entry : entries_) {
    if (entry->strName == name) return true;
  }
  return false;
}

void AlbumList::Clear() { entries_.clear(); }

}  // namespace albumora
