// pconline: a member's photo list, page by page.
#include <array>
#include <cstdio>
#include <string>

#include "sites/Family.h"
#include "sites/Fetch.h"
#include "text/StringCtrl.h"

namespace albumora {

namespace {

// The family's hosts, origins and templates.
struct Hosts {
  const char* photoHost = "http://photo.pconline.com.cn";
  const char* listTemplate = "http://photo.pconline.com.cn/%s/myphoto_dk1stp_n15.html";
};
constexpr Hosts kHosts;

ListPlan Normalize(std::string addr) {
  std::optional<std::string> pageMarker;
  if (ContainsInside(addr, "_p")) {
    // The page part "_p<n>_" (n below 100) becomes the first page's "_dk1stp_".
    for (int n = 1; n <= 99; ++n) {
      char marker[16];
      std::snprintf(marker, sizeof marker, "_p%d_", n);
      pageMarker = marker;
      if (ReplaceAll(addr, marker, "_dk1stp_") > 0) break;
    }
  } else if (ContainsInside(addr, "myphoto.")) {
    ReplaceAll(addr, ".html", "_dk1stp_n15.html");
  } else {
    CutAfter(addr, ".cn/");
    CutAt(addr, "/");
    pageMarker = addr;
    addr = FillTemplate(kHosts.listTemplate, addr);
  }
  ListPlan plan = OneCall(LT_NONE, addr);
  plan.calls[0].siteParam1 = pageMarker;
  return plan;
}

// No fragment selects this family: its addresses keep the selected site.
constexpr std::array<const char*, 0> kFragments = {};

// Adapters not built yet are empty: the family lists nothing.
constexpr std::array<ListForm, 1> kForms = {{
    {LT_NONE, "pconline albums", nullptr, nullptr},
}};

constexpr std::array<std::pair<const char*, int>, 1> kExamples = {{
    {"http://photo.pconline.com.cn/someone/", LT_NONE},
}};

}  // namespace

extern const SiteFamily kPconlineFamily;
const SiteFamily kPconlineFamily = {SITE_PCONLINE, "pconline", "太平洋摄影部落",
                                    kFragments,    Normalize,  kForms,
                                    LT_NONE,       "",         kExamples};

}  // namespace albumora
