// POCO: member albums and post lists.
#include <array>
#include <string>

#include "sites/Family.h"
#include "text/StringCtrl.h"

namespace albumora {

namespace {

// The family's hosts, origins and templates.
struct Hosts {
  const char* memberHost = "http://my.poco.cn";
};
constexpr Hosts kHosts;

ListPlan Normalize(std::string addr) {
  if (ContainsInside(addr, "/album") || ContainsInside(addr, "/theme")) {
    CutAfter(addr, "user_id-");
    CutAfter(addr, "user_id=");
    CutAt(addr, "&");
    CutAt(addr, ".");
    return OneCall(LT_POCO_ALBUM, addr);
  }
  ReplaceAll(addr, "p=", "zrk=");
  return OneCall(LT_POCO_POSTS, addr);
}

constexpr std::array<const char*, 1> kFragments = {"poco.cn/"};

// Adapters not built yet are empty: the family lists nothing.
constexpr std::array<ListForm, 2> kForms = {{
    {LT_POCO_ALBUM, "POCO albums", nullptr, nullptr},
    {LT_POCO_POSTS, "POCO post lists", nullptr, nullptr},
}};

constexpr std::array<std::pair<const char*, int>, 2> kExamples = {{
    {"http://my.poco.cn/album/album_list.php?user_id=30003", LT_POCO_ALBUM},
    {"http://my.poco.cn/blog_v2/?user_id=30003&p=1", LT_POCO_POSTS},
}};

}  // namespace

extern const SiteFamily kPocoFamily;
const SiteFamily kPocoFamily = {SITE_POCO, "poco",      "POCO摄影", kFragments, Normalize,
                                kForms,    kNoFallback, "",         kExamples};

}  // namespace albumora
