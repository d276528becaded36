// NetEase: the classic photo albums, and the albums of the "pp" community.
#include <array>
#include <string>

#include "sites/Family.h"
#include "text/StringCtrl.h"

namespace albumora {

namespace {

// The family's hosts, origins and templates.
struct Hosts {
  const char* serviceOrigin = "http://photo.163.com";
  const char* ppDomain = ".pp.163.com";
  const char* ppFragment = "pp.1";
  const char* coverResourceHost = "http://img1.cache.netease.com";
  const char* firstImageHost = "http://img%d.ph.126.net";
  const char* firstImageOrigin = "http://img.ph.126.net";
  const char* secondImageHost = "http://img%d.bimg.126.net";
  const char* secondImageOrigin = "http://img.bimg.126.net";
};
constexpr Hosts kHosts;

ListPlan Normalize(std::string addr) {
  if (ContainsInside(addr, kHosts.ppFragment)) return OneCall(LT_NETEASE_PP, addr);
  return OneCall(LT_NONE, addr);
}

constexpr std::array<const char*, 1> kFragments = {"163.com/"};

// Adapters not built yet are empty: the family lists nothing.
constexpr std::array<ListForm, 2> kForms = {{
    {LT_NETEASE_PP, "NetEase pp albums", nullptr, nullptr},
    {LT_NONE, "NetEase photo albums", nullptr, nullptr},
}};

constexpr std::array<std::pair<const char*, int>, 2> kExamples = {{
    {"http://photo.163.com/someone/", LT_NONE},
    {"http://someone.pp.163.com/", LT_NETEASE_PP},
}};

}  // namespace

extern const SiteFamily kNeteaseFamily;
const SiteFamily kNeteaseFamily = {SITE_NETEASE, "netease", "网易相册", kFragments,
                                   Normalize,    kForms,    LT_NONE,    "http://photo.163.com/",
                                   kExamples};

}  // namespace albumora
