// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "model/Records.h"
#include "sites/Registry.h"

namespace albumora {
namespace {

TEST(RecognizeSite, EveryFragmentSelectsItsSite) {
  const struct {
    const char* address;
    int site;
  } rows[] = {
      {"http://user.qzone.qq.com/10001", SITE_QZONE},
      {"http://t.qq.com/someone", SITE_QZONE},
      {"http://qun.qzone.qq.com/group", SITE_QZONE},
      {"http://xiangce.baidu.com/someone", SITE_BAIDU},
      {"http://tieba.baidu.com/f?kw=x", SITE_BAIDU},
      {"http://photo.163.com/someone", SITE_NETEASE},
      {"http://www.renren.com/123", SITE_RENREN},
      {"http://blog.sina.com.cn/u/1", SITE_SINA},
      {"http://weibo.com/u/1", SITE_SINA},
      {"http://photo.56.com/album/x", SITE_56},
      {"http://my.poco.cn/album", SITE_POCO},
      {"http://www.yupoo.com/photos/x/", SITE_YUPOO},
      {"http://photo.51.com/x", SITE_51},
      {"http://album.zol.com.cn/x", SITE_ZOL},
      {"http://photo.pchome.com.tw/x", SITE_PCHOME},
      {"http://shop1.taobao.com/", SITE_TAOBAO},
      {"http://detail.tmall.com/item.htm", SITE_TAOBAO},
      {"http://www.moko.cc/x", SITE_MOKO},
      {"http://home.babytree.com/u1", SITE_BABYTREE},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(RecognizeSite(row.address, SITE_PCONLINE), row.site) << row.address;
  }
}

TEST(RecognizeSite, TextsThatSelectNothing) {
  EXPECT_EQ(RecognizeSite("10001", SITE_BAIDU), SITE_BAIDU);     // a bare account number
  EXPECT_EQ(RecognizeSite("qq.com/x", SITE_BAIDU), SITE_BAIDU);  // no address
  EXPECT_EQ(RecognizeSite("http://photo.pconline.com.cn/x/", SITE_RENREN), SITE_RENREN);
  EXPECT_EQ(RecognizeSite("http://example.org/", SITE_MOKO), SITE_MOKO);
  // A fragment at the very start does not count.
  EXPECT_EQ(RecognizeSite("qq.com/http://", SITE_MOKO), SITE_MOKO);
}

TEST(RecognizeSite, TableOrderAndSecureAddresses) {
  // A Sina address whose query names a QQ address: the earlier row wins.
  EXPECT_EQ(RecognizeSite("http://blog.sina.com.cn/?from=qq.com/", SITE_MOKO), SITE_QZONE);
  // "sina.com" needs no slash after it.
  EXPECT_EQ(RecognizeSite("http://sina.com", SITE_MOKO), SITE_SINA);
  EXPECT_EQ(RecognizeSite("https://weibo.com/u/1", SITE_QZONE), SITE_SINA);
}

}  // namespace
}  // namespace albumora
