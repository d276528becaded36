// SPDX-License-Identifier: GPL-3.0-or-later
// The loopback test web answers proxy-form requests by the host in the address, keeps the
// address as sent, and sends answers exactly as built (no compression of its own).
#include <curl/curl.h>
#include <gtest/gtest.h>

#include <string>

#include "TestWeb.h"

namespace albumora::testweb {
namespace {

struct Fetched {
  CURLcode code = CURLE_OK;
  long status = 0;
  std::string body;
};

size_t Collect(char* data, size_t size, size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

// A plain libcurl fetch through the test web as proxy, independent of the engine.
Fetched Fetch(const TestWeb& web, const std::string& url, const char* header = nullptr) {
  Fetched out;
  CURL* curl = curl_easy_init();
  curl_slist* headers = header ? curl_slist_append(nullptr, header) : nullptr;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROXY, web.ProxyUrl().c_str());
  curl_easy_setopt(curl, CURLOPT_NOPROXY, "");
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &out.body);
  out.code = curl_easy_perform(curl);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &out.status);
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  return out;
}

TEST(TestWebTest, ProxyRequestsRouteByHost) {
  TestWeb web;
  web.Route("user.qzone.qq.com", "/x", Reply::Text("qzone"));
  web.Route("photo.163.com", "/x", Reply::Text("netease"));
  web.Route("", "/q?a=1", Reply::Text("exact query"));
  web.Route("", "/q", Reply::Text("any query"));

  EXPECT_EQ(Fetch(web, "http://user.qzone.qq.com/x").body, "qzone");
  EXPECT_EQ(Fetch(web, "http://PHOTO.163.com/x?ignored=1").body, "netease");
  EXPECT_EQ(Fetch(web, "http://any.host/q?a=1").body, "exact query");
  EXPECT_EQ(Fetch(web, "http://any.host/q?a=2").body, "any query");
  Fetched missing = Fetch(web, "http://user.qzone.qq.com/y");
  EXPECT_EQ(missing.status, 404);
  EXPECT_EQ(missing.body, "");

  auto requests = web.Requests();
  ASSERT_EQ(requests.size(), 5u);
  EXPECT_EQ(requests[0].host, "user.qzone.qq.com");
  EXPECT_EQ(requests[0].url, "http://user.qzone.qq.com/x");
  EXPECT_EQ(requests[1].host, "photo.163.com");
  EXPECT_EQ(requests[1].path, "/x");
  EXPECT_EQ(requests[1].query, "ignored=1");
  EXPECT_EQ(web.RequestsTo("/y").size(), 1u);
}

TEST(TestWebTest, KeepsEncodedAddressesAndSendsBodiesAsBuilt) {
  TestWeb web;
  web.RoutePattern("h.test", "^/a%20b", [](const Request& r) {
    return Reply::Text(r.Header("referer") + "|" + r.query);
  });
  web.Route("h.test", "/page", Reply::Text(std::string(200, 'x')));
  web.Route("h.test", "/zero", Reply::Text("not sent").With("Content-Length", "0"));

  Fetched encoded = Fetch(web, "http://h.test/a%20b?r=0.5%0A", "Referer: http://h.test/");
  EXPECT_EQ(encoded.body, "http://h.test/|r=0.5%0A");
  // A client that accepts gzip still gets the body unchanged.
  EXPECT_EQ(Fetch(web, "http://h.test/page", "Accept-Encoding: gzip, deflate").body,
            std::string(200, 'x'));
  Fetched zero = Fetch(web, "http://h.test/zero");
  EXPECT_EQ(zero.code, CURLE_OK);
  EXPECT_EQ(zero.body, "");
}

TEST(TestWebTest, LyingLengthAndEarlyCloseCutTheConnection) {
  TestWeb web;
  Reply lying = Reply::Text("short");
  lying.contentLength = 100;
  web.Route("", "/lying", lying);
  Reply cut = Reply::Text(std::string(1000, 'y'));
  cut.chunked = true;
  cut.closeAfterBytes = 10;
  web.Route("", "/cut", cut);

  Fetched a = Fetch(web, "http://h.test/lying");
  EXPECT_EQ(a.code, CURLE_PARTIAL_FILE);
  EXPECT_EQ(a.body, "short");
  Fetched b = Fetch(web, "http://h.test/cut");
  EXPECT_NE(b.code, CURLE_OK);
}

TEST(TestWebTest, ServesFixtures) {
  TestWeb web;
  web.Route("", "/sample", Reply::Text(Fixture("net/sample.html")));
  EXPECT_NE(Fetch(web, "http://h.test/sample").body.find("sample page"), std::string::npos);
  EXPECT_THROW(Fixture("net/missing.html"), std::runtime_error);
  EXPECT_EQ(ToGbk("\xe4\xb8\xad"), "\xd6\xd0");  // 中
}

}  // namespace
}  // namespace albumora::testweb
