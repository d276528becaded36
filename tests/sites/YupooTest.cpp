// SPDX-License-Identifier: GPL-3.0-or-later
// Yupoo flows the case scripts cannot show: what the picture list leaves in the job texts, and
// a list or a picture list that the job stops in the middle.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeHost.h"
#include "TestWeb.h"
#include "net/HttpEngine.h"
#include "sites/Registry.h"

namespace albumora {
namespace {

using testweb::Reply;
using testweb::TestWeb;

// A picture side that takes a fixed number of pictures, then asks the adapter to return.
class Pictures : public PictureContext {
 public:
  explicit Pictures(size_t room) : room_(room) {}
  bool Halted() const override { return addresses.size() >= room_; }
  JobTexts& Texts() override { return texts; }
  User& user() override { return host; }
  ST_PERLISTRECORD& Album() override { return album; }
  bool AddPicture(const std::string& address, const std::string&, const std::string&) override {
    addresses.push_back(address);
    return addresses.size() < room_;
  }
  size_t PictureCount() const override { return addresses.size(); }
  const NameRule& Naming() const override { return rule_; }

  ST_PERLISTRECORD album;
  JobTexts texts;
  testweb::FakeHost host;
  std::vector<std::string> addresses;

 private:
  size_t room_;
  NameRule rule_{};
};

// A list side whose stop is requested after a number of albums.
class Albums : public ListContext {
 public:
  explicit Albums(size_t room) : room_(room) {}
  bool Halted() const override { return names.size() >= room_; }
  JobTexts& Texts() override { return texts; }
  User& user() override { return host; }
  bool Publish(const ST_PERLISTRECORD& entry) override {
    names.push_back(entry.strName);
    return names.size() < room_;
  }
  size_t AlbumCount() const override { return names.size(); }

  JobTexts texts;
  testweb::FakeHost host;
  std::vector<std::string> names;

 private:
  size_t room_;
};

class YupooFlows : public ::testing::Test {
 protected:
  void SetUp() override { SetEngineProxy(web_.ProxyUrl()); }
  void TearDown() override { SetEngineProxy(""); }

  std::string Page(const std::string& body) {
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>小王的相册</title></head>"
           "<body>" +
           body + "</body></html>";
  }

  TestWeb web_;
};

TEST_F(YupooFlows, PictureListLeavesThePhotoRootAndStopsWhenTold) {
  std::string photos;
  for (const char* id : {"p1", "p2", "p3"}) {
    photos += std::string("<script>photos['") + id + "'] = {title:'" + id +
              "'};</script><img src=\"http://pic.yupoo.com/someone/" + id + "/medium.jpg\" />";
  }
  web_.Route("www.yupoo.com", "/photos/someone/albums/1001/page1/", Reply::Text(Page(photos)));
  web_.RoutePattern("www.yupoo.com", "/zoom/original/$", [this](const testweb::Request&) {
    return Reply::Text(Page("<img src=\"http://pic.yupoo.com/original.jpg\" />"));
  });

  Pictures pictures(2);
  pictures.album.strName = "春天";
  pictures.album.strAddr = "http://www.yupoo.com/photos/someone/albums/1001/";
  const ListForm* form = FormOf(SITE_YUPOO, LT_NONE);
  ASSERT_NE(form, nullptr);
  form->pictureList(pictures);

  EXPECT_EQ(pictures.texts.strSiteParam1, "http://www.yupoo.com/photos/someone/");
  EXPECT_EQ(pictures.addresses.size(), 2u);
  // The third photo's zoom page and the second list page are never asked for.
  EXPECT_EQ(web_.RequestsTo("/zoom/original/").size(), 2u);
  EXPECT_TRUE(web_.RequestsTo("/page2/").empty());
}

TEST_F(YupooFlows, AStoppedListReadsNoFurtherPage) {
  std::string items;
  for (const char* name : {"一", "二"}) {
    items += std::string("<div class=\"set-case\"><a href=\"/photos/someone/albums/1/\">") +
             "<img src=\"http://pic.yupoo.com/c.jpg\" alt=\"" + name + "\" /></a><b>1</b></div>";
  }
  items += "<a class=\"nextprev\" href=\"/photos/someone/albums/page2/\">下一页</a>";
  const std::string page = Page(items);
  web_.RoutePrefix("www.yupoo.com", "/photos/someone/albums/page",
                   [page](const testweb::Request&) { return Reply::Text(page); });

  Albums albums(1);
  FormOf(SITE_YUPOO, LT_NONE)->albumList("http://www.yupoo.com/photos/someone/albums/", albums);

  EXPECT_EQ(albums.names, std::vector<std::string>{"一"});
  EXPECT_EQ(albums.texts.strOwner, "小王");
  EXPECT_TRUE(web_.RequestsTo("/page2/").empty());
}

}  // namespace
}  // namespace albumora
