// Baidu: albums of one owner on the photo-album service, and picture threads of a Tieba forum.
#include <array>
#include <string>

#include "sites/Family.h"
#include "text/StringCtrl.h"

namespace albumora {

namespace {

// The family's hosts, origins and templates.
struct Hosts {
  const char* albumOrigin = "http://xiangce.baidu.com";
  const char* tiebaHost = "tieba.baidu.com";
  const char* tiebaOrigin = "http://tieba.baidu.com";
  const char* forumPictureHost = "http://imgsrc.baidu.com";
};
constexpr Hosts kHosts;

ListPlan Normalize(std::string addr) {
  if (!Contains(addr, std::string(kHosts.tiebaHost) + "/")) return OneCall(LT_BAIDU_ALBUM, addr);
  CutAfter(addr, "kw=");
  for (const char* marker : {"/", "?", "#", "&"}) CutAt(addr, marker);
  ListPlan plan = OneCall(LT_BAIDU_TIEBA, addr);
  plan.calls[0].siteParam1 = addr;
  plan.calls[0].ownerAfter = UrlDecode(addr, false);
  return plan;
}

constexpr std::array<const char*, 1> kFragments = {"baidu.com/"};

// Adapters not built yet are empty: the family lists nothing.
constexpr std::array<ListForm, 2> kForms = {{
    {LT_BAIDU_ALBUM, "Baidu albums", nullptr, nullptr},
    {LT_BAIDU_TIEBA, "Baidu Tieba", nullptr, nullptr},
}};

constexpr std::array<std::pair<const char*, int>, 2> kExamples = {{
    {"http://xiangce.baidu.com/someone", LT_BAIDU_ALBUM},
    {"http://tieba.baidu.com/f?kw=%C3%C0%C5%AE&fr=ala0", LT_BAIDU_TIEBA},
}};

}  // namespace

extern const SiteFamily kBaiduFamily;
const SiteFamily kBaiduFamily = {SITE_BAIDU, "baidu", "百度相册/贴吧", kFragments,
                                 Normalize,  kForms,  LT_BAIDU_TIEBA,  "http://xiangce.baidu.com/",
                                 kExamples};

}  // namespace albumora
