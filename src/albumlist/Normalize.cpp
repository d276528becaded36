#include "albumlist/Normalize.h"

#include <cstdio>

#include "net/HttpEngine.h"
#include "sites/Qzone.h"
#include "text/StringCtrl.h"

namespace albumora {

const char* const kEmptyAddressMessage = "请输入正确的相册网址（QQ空间可直接输入QQ号）";
const char* const kQzoneEmptyMessage =
    "1、没有获取到相册，可能是因为空间不是公开的，可以先在登录菜单里登录你有访问权限的QQ号后重试\n"
    "\n"
    "2、下载QQ空间相册请直接输入QQ号进行下载\n\n"
    "3、下载群相册请输入群空间网址或者群相册网址进行下载\n\n"
    "4、下载腾讯微博相册，请输入那个人的主页网址进行下载";
const char* const kRenrenZhanEmptyMessage =
    "1、没有获取到相册，需要你在登录菜单里登录一个人人帐号(登录时勾上下次自动登录)后重新获取";
const char* const kSinaEmptyMessage =
    "没有获取到相册，请在登录菜单里登录新浪(微博)帐号后重试,登录时勾上下次自动登录";

namespace {

// The hosts, origins and templates the address forms are told apart by, per family.
struct AddressForms {
  const char* qzoneGroupFragment = "qun.qzone.qq.com";
  const char* tencentWeiboOrigin = "http://t.qq.com";
  const char* tiebaHost = "tieba.baidu.com";
  const char* neteasePpFragment = "pp.1";
  const char* renrenZhanFragment = "zhan.renren.com";
  const char* renrenPageFragment = "page.renren.com";
  const char* renrenPageTemplate = "http://page.renren.com/%s";
  const char* renrenMainTemplate = "http://www.renren.com/%s";
  const char* sinaWeiboHost = "weibo.com";
  const char* album56Template = "http://photo.56.com/album/index.php?user=%s";
  const char* yupooUserSuffix = ".v.yupoo.com";
  const char* yupooSecondOrigin = "http://v.yupoo.com";
  const char* yupooMainHost = "www.yupoo.com";
  const char* yupooMainOrigin = "http://www.yupoo.com";
  const char* yupooDomainMarker = ".yupoo.com";
  const char* pchomeDomainSuffix = "com.tw";
  const char* taobaoItemPrefix = "item.";
  const char* mokoHost = "moko.cc";
  const char* mokoOrigin = "http://www.moko.cc";
  const char* pconlineListTemplate = "http://photo.pconline.com.cn/%s/myphoto_dk1stp_n15.html";
};
constexpr AddressForms kForms;

// A template with one "%s", filled.
std::string Fill(const char* pattern, const std::string& value) {
  std::string out = pattern;
  const size_t at = out.find("%s");
  if (at != std::string::npos) out.replace(at, 2, value);
  return out;
}

AdapterCall Call(int listType, std::string address) {
  AdapterCall call;
  call.nListType = listType;
  call.address = std::move(address);
  return call;
}

ListPlan OneCall(int listType, std::string address, std::string emptyMessage = {}) {
  ListPlan plan;
  plan.calls.push_back(Call(listType, std::move(address)));
  plan.emptyMessage = std::move(emptyMessage);
  return plan;
}

bool DigitsOnly(const std::string& text) {
  return text.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

std::string HttpForm(const std::string& address) {
  static constexpr std::string_view kSecure = "https://";
  if (address.size() >= kSecure.size() &&
      EqualsNoCase(address.substr(0, kSecure.size()), kSecure)) {
    return "http://" + address.substr(kSecure.size());
  }
  return address;
}

ListPlan NormalizeQzone(std::string addr) {
  ListPlan plan;
  plan.emptyMessage = kQzoneEmptyMessage;
  const bool typedAddress = Contains(addr, "http://");
  const bool personal = !typedAddress || ContainsInside(addr, kQzoneHosts.personalFragment);
  if (personal) {
    CutAfter(addr, "com/");
    CutAt(addr, "?");
    CutAt(addr, "#");
    AdapterCall call = Call(LT_QZONE_PERSONAL, addr);
    call.ownerAfter = addr;
    plan.calls.push_back(std::move(call));
  } else if (Contains(addr, std::string(kForms.tencentWeiboOrigin) + "/")) {
    CutAfter(addr, ".com/");
    CutAfter(addr, "hoto/");
    CutAt(addr, "/");
    CutAt(addr, "?");
    AdapterCall call = Call(LT_TENCENT_WEIBO, addr);
    call.siteParam2 = addr;
    call.ownerBefore = addr;
    plan.calls.push_back(std::move(call));
  }
  // The group albums: for a group-space address, and for any Qzone input that gave nothing.
  const bool groupAddress = ContainsInside(addr, kForms.qzoneGroupFragment);
  CutAfter(addr, "!/");
  CutAt(addr, "/");
  CutAt(addr, "?");
  CutAt(addr, "#");
  AdapterCall group = Call(LT_QZONE_GROUP, addr);
  group.onlyWhenEmpty = !groupAddress;
  group.ownerBefore = addr;
  plan.calls.push_back(std::move(group));
  return plan;
}

ListPlan NormalizeBaidu(std::string addr) {
  if (!Contains(addr, std::string(kForms.tiebaHost) + "/")) return OneCall(LT_BAIDU_ALBUM, addr);
  CutAfter(addr, "kw=");
  for (const char* marker : {"/", "?", "#", "&"}) CutAt(addr, marker);
  ListPlan plan = OneCall(LT_BAIDU_TIEBA, addr);
  plan.calls[0].siteParam1 = addr;
  plan.calls[0].ownerAfter = UrlDecode(addr, false);
  return plan;
}

ListPlan NormalizeNetease(std::string addr) {
  if (ContainsInside(addr, kForms.neteasePpFragment)) return OneCall(LT_NETEASE_PP, addr);
  return OneCall(LT_NONE, addr);
}

ListPlan NormalizeRenren(std::string addr) {
  if (ContainsInside(addr, "/album-")) {
    CutAt(addr, "?");
    return OneCall(LT_RENREN, addr);
  }
  if (Contains(addr, kForms.renrenZhanFragment)) {
    return OneCall(LT_RENREN_ZHAN, addr, kRenrenZhanEmptyMessage);
  }
  const bool page = Contains(addr, kForms.renrenPageFragment);
  CutAfter(addr, "id=");
  for (const char* marker : {"?", "/album", "/profile", "/channel-"}) CutAt(addr, marker);
  const size_t slash = addr.rfind('/');
  if (slash != std::string::npos && slash > 0) addr.erase(0, slash + 1);
  ListPlan plan = OneCall(LT_RENREN, Trim(addr));
  if (!DigitsOnly(addr)) {
    plan.idLookupUrl = Fill(page ? kForms.renrenPageTemplate : kForms.renrenMainTemplate, addr);
  }
  return plan;
}

ListPlan NormalizeSina(std::string addr) {
  if (ContainsInside(addr, "/s/")) {
    const size_t underscore = addr.rfind('_');
    addr = underscore == std::string::npos ? std::string() : addr.substr(0, underscore);
    return OneCall(LT_SINA_ARTICLE, addr, kSinaEmptyMessage);
  }
  if (ContainsInside(addr, std::string(kForms.sinaWeiboHost) + "/")) {
    return OneCall(LT_SINA_WEIBO, addr, kSinaEmptyMessage);
  }
  return OneCall(LT_SINA_BLOG, addr, kSinaEmptyMessage);
}

ListPlan Normalize56(std::string addr) {
  std::string owner = addr;
  CutAfter(owner, "album/");
  for (const char* marker : {"&", "/", "?"}) CutAt(owner, marker);
  ListPlan plan = OneCall(LT_NONE, Fill(kForms.album56Template, owner));
  plan.calls[0].ownerBefore = owner;
  return plan;
}

ListPlan NormalizePoco(std::string addr) {
  if (ContainsInside(addr, "/album") || ContainsInside(addr, "/theme")) {
    CutAfter(addr, "user_id-");
    CutAfter(addr, "user_id=");
    CutAt(addr, "&");
    CutAt(addr, ".");
    return OneCall(LT_POCO_ALBUM, addr);
  }
  ReplaceAll(addr, "p=", "zrk=");
  return OneCall(LT_POCO_POSTS, addr);
}

ListPlan NormalizeYupoo(std::string addr) {
  ReplaceAll(addr, "/collections/", "/albums/");
  if (ContainsInside(addr, kForms.yupooUserSuffix)) {
    CutAfter(addr, "http://");
    CutAt(addr, ".v");
    addr = std::string(kForms.yupooSecondOrigin) + "/photos/" + addr + "/albums/";
  } else if (Contains(addr, kForms.yupooSecondOrigin) ||
             Contains(addr, std::string(kForms.yupooMainHost) + "/")) {
    CutAt(addr, "page");
  } else {
    CutAfter(addr, "http://");
    CutAt(addr, kForms.yupooDomainMarker);
    addr = std::string(kForms.yupooMainOrigin) + "/photos/" + addr + "/albums/";
  }
  return OneCall(LT_NONE, addr);
}

ListPlan Normalize51(std::string addr) {
  if (Contains(addr, "http://")) {
    CutAfter(addr, "com/");
    CutAt(addr, "/");
  }
  ListPlan plan = OneCall(LT_NONE, addr);
  plan.calls[0].ownerBefore = addr;
  return plan;
}

ListPlan NormalizeZol(std::string addr) {
  if (Contains(addr, "http://")) {
    CutAfter(addr, "cn/");
    CutAt(addr, "/");
  }
  return OneCall(LT_NONE, addr);
}

ListPlan NormalizePchome(std::string addr) {
  CutAfter(addr, std::string(kForms.pchomeDomainSuffix) + "/");
  for (const char* marker : {"/", "&", "*", "?"}) CutAt(addr, marker);
  ListPlan plan = OneCall(LT_NONE, addr);
  plan.calls[0].ownerBefore = addr;
  return plan;
}

ListPlan NormalizeTaobao(std::string addr) {
  if (ContainsInside(addr, "search") || ContainsInside(addr, kForms.taobaoItemPrefix)) {
    ReplaceAll(addr, "pageNum=", "Zrk1=");
    ReplaceAll(addr, "viewType=", "Zrk2=");
  } else {
    CutAt(addr, "com");
    addr += "com/?search=y";
  }
  return OneCall(LT_NONE, addr);
}

ListPlan NormalizeMoko(std::string addr) {
  if (!Contains(addr, "/post")) {
    CutAfter(addr, std::string(kForms.mokoHost) + "/");
    CutAt(addr, "/");
    addr = std::string(kForms.mokoOrigin) + "/post/" + addr + "/list.html";
  }
  return OneCall(LT_NONE, addr);
}

ListPlan NormalizeBabytree(std::string addr) {
  CutAfter(addr, "om/u");
  CutAt(addr, "&");
  CutAt(addr, "/");
  ListPlan plan = OneCall(LT_BABYTREE_FIRST, addr);
  AdapterCall second = Call(LT_BABYTREE_SECOND, addr);
  second.onlyWhenEmpty = true;
  plan.calls.push_back(std::move(second));
  return plan;
}

ListPlan NormalizePconline(std::string addr) {
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
    addr = Fill(kForms.pconlineListTemplate, addr);
  }
  ListPlan plan = OneCall(LT_NONE, addr);
  plan.calls[0].siteParam1 = pageMarker;
  return plan;
}

ListPlan NormalizeAddress(int nSite, const std::string& addr) {
  using Normalizer = ListPlan (*)(std::string);
  static constexpr Normalizer kBySite[kSiteCount] = {
      NormalizeQzone,  NormalizeBaidu,  NormalizeNetease, NormalizeRenren,   NormalizeSina,
      Normalize56,     NormalizePoco,   NormalizeYupoo,   Normalize51,       NormalizeZol,
      NormalizePchome, NormalizeTaobao, NormalizeMoko,    NormalizeBabytree, NormalizePconline,
  };
  if (nSite < 0 || nSite >= kSiteCount) return {};
  return kBySite[nSite](addr);
}

bool LookupRenrenId(const std::string& url, std::string& id) {
  HttpRequest request;
  InitRequest(request, std::string(), std::string(), 20000);
  request.strUrl = url;
  request.strHeaders = "Accept-Encoding: gzip, deflate";
  HttpResponse response;
  if (!HttpFetch(request, response, 0)) return false;
  std::string text;
  GetResponseText(response, text, TEXT_GUNZIP | TEXT_UTF8);
  id = GetBetween(text, "pid: '", "'", BT_CONSUME);
  if (id.empty()) id = GetBetween(text, "profile_owner =", ";", BT_CONSUME);
  return true;
}

}  // namespace albumora
