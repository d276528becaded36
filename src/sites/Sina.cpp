// Sina: blog photo albums, blog articles and Weibo albums.
#include <array>
#include <string>

#include "sites/Family.h"
#include "text/StringCtrl.h"

namespace albumora {

namespace {

// The family's hosts, origins and templates.
struct Hosts {
  const char* weiboHost = "weibo.com";
  const char* weiboOrigin = "http://weibo.com";
  const char* weiboPhotoHost = "http://photo.weibo.com";
  const char* blogPhotoHost = "http://photo.blog.sina.com.cn";
};
constexpr Hosts kHosts;

constexpr const char* kEmptyListMessage =
    "没有获取到相册，请在登录菜单里登录新浪(微博)帐号后重试,登录时勾上下次自动登录";

ListPlan Normalize(std::string addr) {
  if (ContainsInside(addr, "/s/")) {
    const size_t underscore = addr.rfind('_');
    addr = underscore == std::string::npos ? std::string() : addr.substr(0, underscore);
    return OneCall(LT_SINA_ARTICLE, addr, kEmptyListMessage);
  }
  if (ContainsInside(addr, std::string(kHosts.weiboHost) + "/")) {
    return OneCall(LT_SINA_WEIBO, addr, kEmptyListMessage);
  }
  return OneCall(LT_SINA_BLOG, addr, kEmptyListMessage);
}

constexpr std::array<const char*, 2> kFragments = {"sina.com", "weibo.com/"};

// Adapters not built yet are empty: the family lists nothing.
constexpr std::array<ListForm, 3> kForms = {{
    {LT_SINA_BLOG, "Sina blog albums", nullptr, nullptr},
    {LT_SINA_ARTICLE, "Sina blog articles", nullptr, nullptr},
    {LT_SINA_WEIBO, "Sina Weibo albums", nullptr, nullptr},
}};

constexpr std::array<std::pair<const char*, int>, 3> kExamples = {{
    {"http://photo.blog.sina.com.cn/someone", LT_SINA_BLOG},
    {"http://blog.sina.com.cn/s/blog_4b6c2d0b0100abcd.html", LT_SINA_ARTICLE},
    {"http://weibo.com/someone", LT_SINA_WEIBO},
}};

}  // namespace

extern const SiteFamily kSinaFamily;
const SiteFamily kSinaFamily = {SITE_SINA, "sina",      "新浪博客/微博",     kFragments, Normalize,
                                kForms,    kNoFallback, "http://weibo.com/", kExamples};

}  // namespace albumora
