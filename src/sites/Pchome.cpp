// PChome: a member's photo albums (Big5 pages).
#include <array>
#include <string>

#include "sites/Family.h"
#include "text/StringCtrl.h"

namespace albumora {

namespace {

// The family's hosts, origins and templates.
struct Hosts {
  const char* photoOrigin = "http://photo.pchome.com.tw";
  const char* domainSuffix = "com.tw";
};
constexpr Hosts kHosts;

ListPlan Normalize(std::string addr) {
  CutAfter(addr, std::string(kHosts.domainSuffix) + "/");
  for (const char* marker : {"/", "&", "*", "?"}) CutAt(addr, marker);
  ListPlan plan = OneCall(LT_NONE, addr);
  plan.calls[0].ownerBefore = addr;
  return plan;
}

constexpr std::array<const char*, 1> kFragments = {"pchome.com.tw/"};

// Adapters not built yet are empty: the family lists nothing.
constexpr std::array<ListForm, 1> kForms = {{
    {LT_NONE, "PChome albums", nullptr, nullptr},
}};

constexpr std::array<std::pair<const char*, int>, 1> kExamples = {{
    {"http://photo.pchome.com.tw/someone/", LT_NONE},
}};

}  // namespace

extern const SiteFamily kPchomeFamily;
const SiteFamily kPchomeFamily = {SITE_PCHOME, "pchome", "PChome相簿", kFragments, Normalize,
                                  kForms,      LT_NONE,  "",           kExamples};

}  // namespace albumora
