// Renren: member albums (two picture-list methods) and "zhan" sites.
#include <array>
#include <string>

#include "sites/Family.h"
#include "sites/Fetch.h"
#include "text/StringCtrl.h"

namespace albumora {

namespace {

// The family's hosts, origins and templates.
struct Hosts {
  const char* zhanFragment = "zhan.renren.com";
  const char* zhanOrigin = "http://zhan.renren.com";
  const char* pageFragment = "page.renren.com";
  const char* pageTemplate = "http://page.renren.com/%s";
  const char* mainTemplate = "http://www.renren.com/%s";
  const char* photoHost = "http://photo.renren.com";
};
constexpr Hosts kHosts;

constexpr const char* kZhanEmptyMessage =
    "1、没有获取到相册，需要你在登录菜单里登录一个人人帐号(登录时勾上下次自动登录)后重新获取";

bool DigitsOnly(const std::string& text) {
  return text.find_first_not_of("0123456789") == std::string::npos;
}

// Fetches a member's page and reads the numeric id from it ("pid: '", else "profile_owner =").
// False when the fetch fails; id is then untouched. The id may be empty.
bool LookupId(const std::string& url, std::string& id) {
  Fetcher fetcher(CodePage::Utf8);
  std::optional<std::string> text = fetcher.Get(url);
  if (!text) return false;
  id = GetBetween(*text, "pid: '", "'", BT_CONSUME);
  if (id.empty()) id = GetBetween(*text, "profile_owner =", ";", BT_CONSUME);
  return true;
}

ListPlan Normalize(std::string addr) {
  if (ContainsInside(addr, "/album-")) {
    CutAt(addr, "?");
    return OneCall(LT_RENREN, addr);
  }
  if (Contains(addr, kHosts.zhanFragment)) {
    return OneCall(LT_RENREN_ZHAN, addr, kZhanEmptyMessage);
  }
  const bool page = Contains(addr, kHosts.pageFragment);
  CutAfter(addr, "id=");
  for (const char* marker : {"?", "/album", "/profile", "/channel-"}) CutAt(addr, marker);
  const size_t slash = addr.rfind('/');
  if (slash != std::string::npos && slash > 0) addr.erase(0, slash + 1);
  ListPlan plan = OneCall(LT_RENREN, Trim(addr));
  if (!DigitsOnly(addr)) {
    plan.idLookupUrl = FillTemplate(page ? kHosts.pageTemplate : kHosts.mainTemplate, addr);
    plan.lookupId = LookupId;
  }
  return plan;
}

constexpr std::array<const char*, 1> kFragments = {"renren.com/"};

// Adapters not built yet are empty: the family lists nothing.
constexpr std::array<ListForm, 2> kForms = {{
    {LT_RENREN, "Renren albums", nullptr, nullptr},
    {LT_RENREN_ZHAN, "Renren zhan", nullptr, nullptr},
}};

constexpr std::array<std::pair<const char*, int>, 2> kExamples = {{
    {"http://www.renren.com/profile.do?id=200001", LT_RENREN},
    {"http://zhan.renren.com/somesite", LT_RENREN_ZHAN},
}};

}  // namespace

extern const SiteFamily kRenrenFamily;
const SiteFamily kRenrenFamily = {SITE_RENREN, "renren", "人人网",    kFragments,
                                  Normalize,   kForms,   kNoFallback, "http://www.renren.com/",
                                  kExamples};

}  // namespace albumora
