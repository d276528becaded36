// Taobao and Tmall: the pictures of a shop's items, one album per item.
#include <array>
#include <string>

#include "sites/Family.h"
#include "text/StringCtrl.h"

namespace albumora {

namespace {

// The family's hosts, origins and templates.
struct Hosts {
  const char* itemPrefix = "item.";
  const char* rateOrigin = "http://rate.taobao.com";
  const char* descriptionPrefix = "http://dsc.";
};
constexpr Hosts kHosts;

ListPlan Normalize(std::string addr) {
  if (ContainsInside(addr, "search") || ContainsInside(addr, kHosts.itemPrefix)) {
    ReplaceAll(addr, "pageNum=", "Zrk1=");
    ReplaceAll(addr, "viewType=", "Zrk2=");
  } else {
    CutAt(addr, "com");
    addr += "com/?search=y";
  }
  return OneCall(LT_NONE, addr);
}

constexpr std::array<const char*, 2> kFragments = {"taobao.com/", "tmall.com/"};

// Adapters not built yet are empty: the family lists nothing.
constexpr std::array<ListForm, 1> kForms = {{
    {LT_NONE, "Taobao and Tmall items", nullptr, nullptr},
}};

constexpr std::array<std::pair<const char*, int>, 2> kExamples = {{
    {"http://someshop.taobao.com/", LT_NONE},
    {"http://item.taobao.com/item.htm?id=40004", LT_NONE},
}};

}  // namespace

extern const SiteFamily kTaobaoFamily;
const SiteFamily kTaobaoFamily = {SITE_TAOBAO, "taobao", "淘宝/天猫", kFragments, Normalize,
                                  kForms,      LT_NONE,  "",          kExamples};

}  // namespace albumora
