// ZOL: a member's photo albums.
#include <array>
#include <string>

#include "sites/Family.h"
#include "text/StringCtrl.h"

namespace albumora {

namespace {

// The family's hosts, origins and templates.
struct Hosts {
  const char* photoOrigin = "http://album.zol.com.cn";
};
constexpr Hosts kHosts;

ListPlan Normalize(std::string addr) {
  if (Contains(addr, "http://")) {
    CutAfter(addr, "cn/");
    CutAt(addr, "/");
  }
  return OneCall(LT_NONE, addr);
}

constexpr std::array<const char*, 1> kFragments = {"zol.com.cn/"};

// Adapters not built yet are empty: the family lists nothing.
constexpr std::array<ListForm, 1> kForms = {{
    {LT_NONE, "ZOL albums", nullptr, nullptr},
}};

constexpr std::array<std::pair<const char*, int>, 1> kExamples = {{
    {"http://album.zol.com.cn/someone/", LT_NONE},
}};

}  // namespace

extern const SiteFamily kZolFamily;
const SiteFamily kZolFamily = {SITE_ZOL, "zol",   "ZOL相册", kFragments, Normalize,
                               kForms,   LT_NONE, "",        kExamples};

}  // namespace albumora
