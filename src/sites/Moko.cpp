// moko: an owner's posts, one album per post.
#include <array>
#include <string>

#include "sites/Family.h"
#include "text/StringCtrl.h"

namespace albumora {

namespace {

// The family's hosts, origins and templates.
struct Hosts {
  const char* hostName = "moko.cc";
  const char* origin = "http://www.moko.cc";
};
constexpr Hosts kHosts;

ListPlan Normalize(std::string addr) {
  if (!Contains(addr, "/post")) {
    CutAfter(addr, std::string(kHosts.hostName) + "/");
    CutAt(addr, "/");
    addr = std::string(kHosts.origin) + "/post/" + addr + "/list.html";
  }
  return OneCall(LT_NONE, addr);
}

constexpr std::array<const char*, 1> kFragments = {"moko.cc/"};

// Adapters not built yet are empty: the family lists nothing.
constexpr std::array<ListForm, 1> kForms = {{
    {LT_NONE, "moko albums", nullptr, nullptr},
}};

constexpr std::array<std::pair<const char*, int>, 1> kExamples = {{
    {"http://www.moko.cc/someone/", LT_NONE},
}};

}  // namespace

extern const SiteFamily kMokoFamily;
const SiteFamily kMokoFamily = {
    SITE_MOKO, "moko",
    "美空网",  kFragments,
    Normalize, kForms,
    LT_NONE,   "http://www.moko.cc/jsps/common/login.jsp?tourl=http%3A//www.moko.cc/",
    kExamples};

}  // namespace albumora
