// The 56 video site's photo albums.
#include <array>
#include <string>

#include "sites/Family.h"
#include "sites/Fetch.h"
#include "text/StringCtrl.h"

namespace albumora {

namespace {

// The family's hosts, origins and templates.
struct Hosts {
  const char* photoHost = "http://photo.56.com";
  const char* albumIndexTemplate = "http://photo.56.com/album/index.php?user=%s";
};
constexpr Hosts kHosts;

ListPlan Normalize(std::string addr) {
  std::string owner = addr;
  CutAfter(owner, "album/");
  for (const char* marker : {"&", "/", "?"}) CutAt(owner, marker);
  ListPlan plan = OneCall(LT_NONE, FillTemplate(kHosts.albumIndexTemplate, owner));
  plan.calls[0].ownerBefore = owner;
  return plan;
}

constexpr std::array<const char*, 1> kFragments = {"56.com/"};

// Adapters not built yet are empty: the family lists nothing.
constexpr std::array<ListForm, 1> kForms = {{
    {LT_NONE, "56 albums", nullptr, nullptr},
}};

constexpr std::array<std::pair<const char*, int>, 1> kExamples = {{
    {"http://photo.56.com/album/someone/", LT_NONE},
}};

}  // namespace

extern const SiteFamily kVideo56Family;
const SiteFamily kVideo56Family = {SITE_56, "56",    "56网相册", kFragments, Normalize,
                                   kForms,  LT_NONE, "",         kExamples};

}  // namespace albumora
