// babytree: a member's albums through two readers.
#include <array>
#include <string>

#include "sites/Family.h"
#include "text/StringCtrl.h"

namespace albumora {

namespace {

// The family's hosts, origins and templates.
struct Hosts {
  const char* homeHost = "http://home.babytree.com";
  const char* mainOrigin = "http://www.babytree.com";
};
constexpr Hosts kHosts;

ListPlan Normalize(std::string addr) {
  CutAfter(addr, "om/u");
  CutAt(addr, "&");
  CutAt(addr, "/");
  ListPlan plan = OneCall(LT_BABYTREE_FIRST, addr);
  AdapterCall second = plan.calls.front();
  second.nListType = LT_BABYTREE_SECOND;
  second.onlyWhenEmpty = true;
  plan.calls.push_back(std::move(second));
  return plan;
}

constexpr std::array<const char*, 1> kFragments = {"babytree.com/"};

// Adapters not built yet are empty: the family lists nothing.
constexpr std::array<ListForm, 2> kForms = {{
    {LT_BABYTREE_FIRST, "babytree albums", nullptr, nullptr},
    {LT_BABYTREE_SECOND, "babytree albums, second reader", nullptr, nullptr},
}};

constexpr std::array<std::pair<const char*, int>, 1> kExamples = {{
    {"http://home.babytree.com/u/someone", LT_BABYTREE_FIRST},
}};

}  // namespace

extern const SiteFamily kBabytreeFamily;
const SiteFamily kBabytreeFamily = {SITE_BABYTREE,      "babytree", "宝宝树",
                                    kFragments,         Normalize,  kForms,
                                    LT_BABYTREE_SECOND, "",         kExamples};

}  // namespace albumora
