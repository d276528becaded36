// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/Registry.h"

#include <gtest/gtest.h>

namespace albumora {
namespace {

// The single call of a one-call plan.
AdapterCall Only(const ListPlan& plan) {
  EXPECT_EQ(plan.calls.size(), 1u);
  return plan.calls.front();
}

TEST(HttpForm, SecureSchemeBecomesPlainAtTheStartOnly) {
  EXPECT_EQ(HttpForm("https://user.qzone.qq.com/10001"), "http://user.qzone.qq.com/10001");
  EXPECT_EQ(HttpForm("HTTPS://weibo.com/x"), "http://weibo.com/x");
  EXPECT_EQ(HttpForm("10001"), "10001");
  EXPECT_EQ(HttpForm("see https://x"), "see https://x");
}

TEST(NormalizeQzone, BareNumberTriesPersonalThenGroupWhenEmpty) {
  const ListPlan plan = NormalizeAddress(SITE_QZONE, "10001");
  ASSERT_EQ(plan.calls.size(), 2u);
  EXPECT_EQ(plan.calls[0].nListType, LT_QZONE_PERSONAL);
  EXPECT_EQ(plan.calls[0].address, "10001");
  EXPECT_FALSE(plan.calls[0].onlyWhenEmpty);
  EXPECT_EQ(plan.calls[0].ownerAfter, "10001");
  EXPECT_EQ(plan.calls[1].nListType, LT_QZONE_GROUP);
  EXPECT_EQ(plan.calls[1].address, "10001");
  EXPECT_TRUE(plan.calls[1].onlyWhenEmpty);
  EXPECT_EQ(plan.calls[1].ownerBefore, "10001");
  EXPECT_EQ(plan.emptyMessage.rfind("1、没有获取到相册，可能是因为空间不是公开的", 0), 0u);
  EXPECT_NE(plan.emptyMessage.find("4、下载腾讯微博相册，请输入那个人的主页网址进行下载"),
            std::string::npos);
}

TEST(NormalizeQzone, PersonalAddressKeepsTextBetweenComAndQueryOrHash) {
  EXPECT_EQ(NormalizeAddress(SITE_QZONE, "http://user.qzone.qq.com/10001#!/app=4").calls[0].address,
            "10001");
  EXPECT_EQ(
      NormalizeAddress(SITE_QZONE, "http://user.qzone.qq.com/10001?ptlang=2052").calls[0].address,
      "10001");
  // The https form is taken as http before the plan is made.
  EXPECT_EQ(
      NormalizeAddress(SITE_QZONE, HttpForm("https://user.qzone.qq.com/10001")).calls[0].address,
      "10001");
}

TEST(NormalizeQzone, TencentWeiboAddress) {
  const ListPlan plan = NormalizeAddress(SITE_QZONE, "http://t.qq.com/p/photo/someone/2?pgv_ref=1");
  ASSERT_EQ(plan.calls.size(), 2u);
  const AdapterCall& weibo = plan.calls[0];
  EXPECT_EQ(weibo.nListType, LT_TENCENT_WEIBO);
  EXPECT_EQ(weibo.address, "someone");
  EXPECT_EQ(weibo.siteParam2, "someone");
  EXPECT_EQ(weibo.ownerBefore, "someone");
  EXPECT_EQ(NormalizeAddress(SITE_QZONE, "http://t.qq.com/someone?preview").calls[0].address,
            "someone");
  EXPECT_TRUE(plan.calls[1].onlyWhenEmpty);
}

TEST(NormalizeQzone, GroupAddressCallsOnlyTheGroupList) {
  const ListPlan plan =
      NormalizeAddress(SITE_QZONE, "http://qun.qzone.qq.com/group#!/12345/photo?x=1");
  const AdapterCall group = Only(plan);
  EXPECT_EQ(group.nListType, LT_QZONE_GROUP);
  EXPECT_EQ(group.address, "12345");
  EXPECT_FALSE(group.onlyWhenEmpty);
  EXPECT_EQ(group.ownerBefore, "12345");
}

TEST(NormalizeBaidu, TiebaKeywordStaysEncodedOwnerDecoded) {
  // 美女 in GBK percent form.
  const ListPlan plan =
      NormalizeAddress(SITE_BAIDU, "http://tieba.baidu.com/f?kw=%C3%C0%C5%AE&fr=index#top");
  const AdapterCall call = Only(plan);
  EXPECT_EQ(call.nListType, LT_BAIDU_TIEBA);
  EXPECT_EQ(call.address, "%C3%C0%C5%AE");
  EXPECT_EQ(call.siteParam1, "%C3%C0%C5%AE");
  EXPECT_EQ(call.ownerAfter, "美女");
  EXPECT_EQ(Only(NormalizeAddress(SITE_BAIDU, "http://tieba.baidu.com/f?kw=abc/x")).address, "abc");
}

TEST(NormalizeBaidu, AlbumAddressUnchanged) {
  const AdapterCall call =
      Only(NormalizeAddress(SITE_BAIDU, "http://xiangce.baidu.com/someone?x=1"));
  EXPECT_EQ(call.nListType, LT_BAIDU_ALBUM);
  EXPECT_EQ(call.address, "http://xiangce.baidu.com/someone?x=1");
  EXPECT_FALSE(call.ownerAfter);
}

TEST(NormalizeNetease, PpSubDomainOrPhotoAlbums) {
  EXPECT_EQ(Only(NormalizeAddress(SITE_NETEASE, "http://pp.163.com/someone/")).nListType,
            LT_NETEASE_PP);
  const AdapterCall call = Only(NormalizeAddress(SITE_NETEASE, "http://photo.163.com/someone"));
  EXPECT_EQ(call.nListType, LT_NONE);
  EXPECT_EQ(call.address, "http://photo.163.com/someone");
}

TEST(NormalizeRenren, AlbumAndZhanAddresses) {
  const AdapterCall album = Only(
      NormalizeAddress(SITE_RENREN, "http://photo.renren.com/photo/123/album-456?frommyphoto"));
  EXPECT_EQ(album.nListType, LT_RENREN);
  EXPECT_EQ(album.address, "http://photo.renren.com/photo/123/album-456");
  const ListPlan zhan = NormalizeAddress(SITE_RENREN, "http://zhan.renren.com/somezhan?from=x");
  EXPECT_EQ(Only(zhan).nListType, LT_RENREN_ZHAN);
  EXPECT_EQ(Only(zhan).address, "http://zhan.renren.com/somezhan?from=x");
  EXPECT_EQ(
      zhan.emptyMessage,
      "1、没有获取到相册，需要你在登录菜单里登录一个人人帐号(登录时勾上下次自动登录)后重新获取");
}

TEST(NormalizeRenren, DigitsNeedNoLookup) {
  const ListPlan byId = NormalizeAddress(SITE_RENREN, "http://www.renren.com/profile.do?id=123456");
  EXPECT_EQ(Only(byId).address, "123456");
  EXPECT_TRUE(byId.idLookupUrl.empty());
  const ListPlan byPath =
      NormalizeAddress(SITE_RENREN, "http://www.renren.com/123456/profile?v=info");
  EXPECT_EQ(Only(byPath).address, "123456");
  EXPECT_TRUE(byPath.idLookupUrl.empty());
  EXPECT_TRUE(NormalizeAddress(SITE_RENREN, "http://www.renren.com/").idLookupUrl.empty());
}

TEST(NormalizeRenren, UserNameIsLookedUpOnItsHost) {
  const ListPlan user = NormalizeAddress(SITE_RENREN, "http://www.renren.com/someuser/album");
  EXPECT_EQ(user.idLookupUrl, "http://www.renren.com/someuser");
  EXPECT_EQ(Only(user).nListType, LT_RENREN);
  EXPECT_EQ(
      NormalizeAddress(SITE_RENREN, "http://page.renren.com/somepage/channel-photo").idLookupUrl,
      "http://page.renren.com/somepage");
  EXPECT_TRUE(NormalizeAddress(SITE_RENREN, "http://www.renren.com/someuser").emptyMessage.empty());
}

TEST(NormalizeSina, ArticleWeiboAndBlog) {
  const ListPlan article =
      NormalizeAddress(SITE_SINA, "http://blog.sina.com.cn/s/blog_4701280b0102e0p3.html");
  EXPECT_EQ(Only(article).nListType, LT_SINA_ARTICLE);
  EXPECT_EQ(Only(article).address, "http://blog.sina.com.cn/s/blog");
  EXPECT_EQ(Only(NormalizeAddress(SITE_SINA, "http://blog.sina.com.cn/s/articlelist.html")).address,
            "");
  const ListPlan weibo = NormalizeAddress(SITE_SINA, "http://weibo.com/u/12345");
  EXPECT_EQ(Only(weibo).nListType, LT_SINA_WEIBO);
  EXPECT_EQ(Only(weibo).address, "http://weibo.com/u/12345");
  const ListPlan blog = NormalizeAddress(SITE_SINA, "http://blog.sina.com.cn/u/1234");
  EXPECT_EQ(Only(blog).nListType, LT_SINA_BLOG);
  for (const ListPlan* plan : {&article, &weibo, &blog}) {
    EXPECT_EQ(plan->emptyMessage,
              "没有获取到相册，请在登录菜单里登录新浪(微博)帐号后重试,登录时勾上下次自动登录");
  }
}

TEST(Normalize56, OwnerAndAlbumIndexAddress) {
  const AdapterCall call =
      Only(NormalizeAddress(SITE_56, "http://photo.56.com/album/someone/?p=2"));
  EXPECT_EQ(call.ownerBefore, "someone");
  EXPECT_EQ(call.address, "http://photo.56.com/album/index.php?user=someone");
  EXPECT_EQ(Only(NormalizeAddress(SITE_56, "http://photo.56.com/album/abc&x=1")).ownerBefore,
            "abc");
}

TEST(NormalizePoco, AlbumFormAndPostForm) {
  const AdapterCall album = Only(
      NormalizeAddress(SITE_POCO, "http://my.poco.cn/album/album_list.php?user_id=123456&p=2"));
  EXPECT_EQ(album.nListType, LT_POCO_ALBUM);
  EXPECT_EQ(album.address, "123456");
  EXPECT_EQ(Only(NormalizeAddress(SITE_POCO, "http://my.poco.cn/theme/user_id-778.html")).address,
            "778");
  const AdapterCall posts =
      Only(NormalizeAddress(SITE_POCO, "http://my.poco.cn/blog/list.php?user_id=1&p=2"));
  EXPECT_EQ(posts.nListType, LT_POCO_POSTS);
  EXPECT_EQ(posts.address, "http://my.poco.cn/blog/list.php?user_id=1&zrk=2");
}

TEST(NormalizeYupoo, EveryAddressForm) {
  EXPECT_EQ(Only(NormalizeAddress(SITE_YUPOO, "http://someone.v.yupoo.com/collections/")).address,
            "http://v.yupoo.com/photos/someone/albums/");
  EXPECT_EQ(Only(NormalizeAddress(SITE_YUPOO, "http://www.yupoo.com/photos/someone/albums/page2/"))
                .address,
            "http://www.yupoo.com/photos/someone/albums/");
  EXPECT_EQ(
      Only(NormalizeAddress(SITE_YUPOO, "http://v.yupoo.com/photos/x/collections/page3")).address,
      "http://v.yupoo.com/photos/x/albums/");
  EXPECT_EQ(Only(NormalizeAddress(SITE_YUPOO, "http://someone.yupoo.com/")).address,
            "http://www.yupoo.com/photos/someone/albums/");
}

TEST(NormalizeSmallSites, FiftyOneZolPchome) {
  const AdapterCall fiftyOne =
      Only(NormalizeAddress(SITE_51, "http://photo.51.com/someone/album/1"));
  EXPECT_EQ(fiftyOne.address, "someone");
  EXPECT_EQ(fiftyOne.ownerBefore, "someone");
  EXPECT_EQ(Only(NormalizeAddress(SITE_ZOL, "http://album.zol.com.cn/someone/x")).address,
            "someone");
  const AdapterCall pchome =
      Only(NormalizeAddress(SITE_PCHOME, "http://photo.pchome.com.tw/someone*x?y"));
  EXPECT_EQ(pchome.address, "someone");
  EXPECT_EQ(pchome.ownerBefore, "someone");
  EXPECT_EQ(Only(NormalizeAddress(SITE_PCHOME, "http://photo.pchome.com.tw/a&b/c")).address, "a");
}

TEST(NormalizeTaobao, SearchItemAndShopAddresses) {
  EXPECT_EQ(Only(NormalizeAddress(SITE_TAOBAO,
                                  "http://shop1.taobao.com/search.htm?pageNum=2&viewType=grid"))
                .address,
            "http://shop1.taobao.com/search.htm?Zrk1=2&Zrk2=grid");
  EXPECT_EQ(Only(NormalizeAddress(SITE_TAOBAO, "http://item.taobao.com/item.htm?id=1")).address,
            "http://item.taobao.com/item.htm?id=1");
  EXPECT_EQ(Only(NormalizeAddress(SITE_TAOBAO, "http://shop1.taobao.com/shop/view.htm")).address,
            "http://shop1.taobao.com/?search=y");
}

TEST(NormalizeMoko, PostAddressStaysOthersBecomeItsList) {
  EXPECT_EQ(Only(NormalizeAddress(SITE_MOKO, "http://www.moko.cc/post/123.html")).address,
            "http://www.moko.cc/post/123.html");
  EXPECT_EQ(Only(NormalizeAddress(SITE_MOKO, "http://www.moko.cc/someone/indexpage.html")).address,
            "http://www.moko.cc/post/someone/list.html");
}

TEST(NormalizeBabytree, SecondReaderOnlyWhenFirstFindsNothing) {
  const ListPlan plan =
      NormalizeAddress(SITE_BABYTREE, "http://home.babytree.com/u123456/journal&x");
  ASSERT_EQ(plan.calls.size(), 2u);
  EXPECT_EQ(plan.calls[0].nListType, LT_BABYTREE_FIRST);
  EXPECT_EQ(plan.calls[0].address, "123456");
  EXPECT_FALSE(plan.calls[0].onlyWhenEmpty);
  EXPECT_EQ(plan.calls[1].nListType, LT_BABYTREE_SECOND);
  EXPECT_EQ(plan.calls[1].address, "123456");
  EXPECT_TRUE(plan.calls[1].onlyWhenEmpty);
}

TEST(NormalizePconline, PageMarkerBelowHundredBecomesFirstPage) {
  const AdapterCall seven = Only(
      NormalizeAddress(SITE_PCONLINE, "http://photo.pconline.com.cn/someone/myphoto_p7_n15.html"));
  EXPECT_EQ(seven.address, "http://photo.pconline.com.cn/someone/myphoto_dk1stp_n15.html");
  EXPECT_EQ(seven.siteParam1, "_p7_");
  const std::string hundred = "http://photo.pconline.com.cn/someone/myphoto_p100_n15.html";
  EXPECT_EQ(Only(NormalizeAddress(SITE_PCONLINE, hundred)).address, hundred);
}

TEST(NormalizePconline, MyphotoPageAndOwnerAddress) {
  EXPECT_EQ(
      Only(NormalizeAddress(SITE_PCONLINE, "http://photo.pconline.com.cn/someone/myphoto.html"))
          .address,
      "http://photo.pconline.com.cn/someone/myphoto_dk1stp_n15.html");
  const AdapterCall owner =
      Only(NormalizeAddress(SITE_PCONLINE, "http://photo.pconline.com.cn/someone/"));
  EXPECT_EQ(owner.address, "http://photo.pconline.com.cn/someone/myphoto_dk1stp_n15.html");
  EXPECT_EQ(owner.siteParam1, "someone");
}

TEST(NormalizeAddress, SiteOutsideTheTableGivesNoCall) {
  EXPECT_TRUE(NormalizeAddress(15, "http://x/").calls.empty());
  EXPECT_TRUE(NormalizeAddress(-1, "http://x/").calls.empty());
  EXPECT_EQ(NormalizeAddress(SITE_PCONLINE, "http://photo.pconline.com.cn/a/").calls.size(), 1u);
}

}  // namespace
}  // namespace albumora
