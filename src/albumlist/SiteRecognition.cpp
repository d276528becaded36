// Site recognition: the first known domain fragment in a typed address selects its site.
#include <array>

#include "albumlist/SiteRecognition.h"
#include "model/Records.h"
#include "text/StringCtrl.h"

namespace albumora {

namespace {

struct SiteFragment {
  const char* fragment;
  int nSite;
};

// Tested in this order; plain case-sensitive substrings. No fragment selects pconline.
constexpr std::array<SiteFragment, 16> kFragments = {{
    {"qq.com/", SITE_QZONE},
    {"baidu.com/", SITE_BAIDU},
    {"163.com/", SITE_NETEASE},
    {"renren.com/", SITE_RENREN},
    {"sina.com", SITE_SINA},
    {"weibo.com/", SITE_SINA},
    {"56.com/", SITE_56},
    {"poco.cn/", SITE_POCO},
    {"yupoo.com/", SITE_YUPOO},
    {"51.com/", SITE_51},
    {"zol.com.cn/", SITE_ZOL},
    {"pchome.com.tw/", SITE_PCHOME},
    {"taobao.com/", SITE_TAOBAO},
    {"tmall.com/", SITE_TAOBAO},
    {"moko.cc/", SITE_MOKO},
    {"babytree.com/", SITE_BABYTREE},
}};

}  // namespace

int RecognizeSite(const std::string& text, int current) {
  // A text that is no address (a bare account number) leaves the selection alone; "https://"
  // counts as an address like "http://".
  if (!Contains(text, "http://") && !Contains(text, "https://")) return current;
  for (const SiteFragment& entry : kFragments) {
    if (ContainsInside(text, entry.fragment)) return entry.nSite;
  }
  return current;
}

}  // namespace albumora
