// Yupoo: an owner's albums on either host, or one album.
#include <array>
#include <string>

#include "sites/Family.h"
#include "text/StringCtrl.h"

namespace albumora {

namespace {

// The family's hosts, origins and templates.
struct Hosts {
  const char* mainHost = "www.yupoo.com";
  const char* mainOrigin = "http://www.yupoo.com";
  const char* secondHost = "v.yupoo.com";
  const char* secondOrigin = "http://v.yupoo.com";
  const char* userSuffix = ".v.yupoo.com";
  const char* domainMarker = ".yupoo.com";
};
constexpr Hosts kHosts;

ListPlan Normalize(std::string addr) {
  ReplaceAll(addr, "/collections/", "/albums/");
  if (ContainsInside(addr, kHosts.userSuffix)) {
    CutAfter(addr, "http://");
    CutAt(addr, ".v");
    addr = std::string(kHosts.secondOrigin) + "/photos/" + addr + "/albums/";
  } else if (Contains(addr, kHosts.secondOrigin) ||
             Contains(addr, std::string(kHosts.mainHost) + "/")) {
    CutAt(addr, "page");
  } else {
    CutAfter(addr, "http://");
    CutAt(addr, kHosts.domainMarker);
    addr = std::string(kHosts.mainOrigin) + "/photos/" + addr + "/albums/";
  }
  return OneCall(LT_NONE, addr);
}

constexpr std::array<const char*, 1> kFragments = {"yupoo.com/"};

// Adapters not built yet are empty: the family lists nothing.
constexpr std::array<ListForm, 1> kForms = {{
    {LT_NONE, "Yupoo albums", nullptr, nullptr},
}};

constexpr std::array<std::pair<const char*, int>, 1> kExamples = {{
    {"http://www.yupoo.com/photos/someone/albums/", LT_NONE},
}};

}  // namespace

extern const SiteFamily kYupooFamily;
const SiteFamily kYupooFamily = {
    SITE_YUPOO, "yupoo", "又拍网", kFragments,
    Normalize,  kForms,  LT_NONE,  "http://www.yupoo.com/account/login/",
    kExamples};

}  // namespace albumora
