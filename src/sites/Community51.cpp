// The 51 community site's member albums.
#include <array>
#include <string>

#include "sites/Family.h"
#include "text/StringCtrl.h"

namespace albumora {

namespace {

// The family's hosts, origins and templates.
struct Hosts {
  const char* memberOrigin = "http://photo.51.com";
};
constexpr Hosts kHosts;

ListPlan Normalize(std::string addr) {
  if (Contains(addr, "http://")) {
    CutAfter(addr, "com/");
    CutAt(addr, "/");
  }
  ListPlan plan = OneCall(LT_NONE, addr);
  plan.calls[0].ownerBefore = addr;
  return plan;
}

constexpr std::array<const char*, 1> kFragments = {"51.com/"};

// Adapters not built yet are empty: the family lists nothing.
constexpr std::array<ListForm, 1> kForms = {{
    {LT_NONE, "51 albums", nullptr, nullptr},
}};

constexpr std::array<std::pair<const char*, int>, 1> kExamples = {{
    {"http://photo.51.com/someone/", LT_NONE},
}};

}  // namespace

extern const SiteFamily kCommunity51Family;
const SiteFamily kCommunity51Family = {SITE_51, "51",    "51相册", kFragments, Normalize,
                                       kForms,  LT_NONE, "",       kExamples};

}  // namespace albumora
