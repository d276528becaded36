// SPDX-License-Identifier: GPL-3.0-or-later
// What a saved page keeps and what it loses, what a page log diagnoses, and the diagnosis texts.
#include "sites/Pages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace albumora {
namespace {

TEST(Pages, CredentialsAreBlankedWhereverTheyStand) {
  struct Case {
    std::string text;
    std::vector<std::string> secrets;
    std::string saved;
  };
  const std::vector<Case> cases = {
      {"GET http://h/x?uin=10001&skey=@abc12&g_tk=5381",
       {},
       "GET http://h/x?uin=REMOVED&skey=REMOVED&g_tk=REMOVED"},
      {"{\"token\":\"t0ken\",\"name\":\"x\"}", {}, "{\"token\":\"REMOVED\",\"name\":\"x\"}"},
      {"P_SKEY=abc; path=/", {}, "P_SKEY=REMOVED; path=/"},
      // A name inside a longer one is another name; a value already empty stays.
      {"hostUin=10001&myskey=1&sid=", {}, "hostUin=10001&myskey=1&sid="},
      // The values of the cookies sent, anywhere.
      {"<a href=\"/p?x=secret99\">", {"secret99"}, "<a href=\"/p?x=REMOVED\">"},
  };
  for (const Case& c : cases) EXPECT_EQ(BlankCredentials(c.text, c.secrets), c.saved) << c.text;
}

TEST(Pages, AMarkerMayNameAlternatives) {
  EXPECT_TRUE(HoldsMarker("<div class=\"SetCase\">", "class=\"set-case\"> | class=\"SetCase"));
  EXPECT_TRUE(HoldsMarker("<div class=\"set-case\">", "class=\"set-case\"> | class=\"SetCase"));
  EXPECT_FALSE(HoldsMarker("<div class=\"case\">", "class=\"set-case\"> | class=\"SetCase"));
  EXPECT_FALSE(HoldsMarker("", "id=\"pic_"));
}

PageStep Answered(long status, uint64_t bytes, std::vector<const char*> missing,
                  uint8_t yields = kYieldsPictures) {
  PageStep step;
  step.kind = PageKind::PictureListPage;
  step.checked = true;
  step.yields = yields;
  step.address = "http://h/p" + std::to_string(status);
  step.status = status;
  step.bytes = bytes;
  step.missing = std::move(missing);
  return step;
}

TEST(Pages, ALogDiagnosesOnlyACallThatTookNothingFromAnAnsweredPage) {
  {
    PageLog log(kYieldsPictures);
    log.Read(Answered(404, 10, {"x"}));  // a failed page is a failure, not a change
    log.Read(Answered(200, 0, {"x"}));   // nor is an empty answer
    log.Read(Answered(200, 500, {"id=\"pic_"}));
    const std::optional<PageDiagnosis> found = log.Diagnose(-1);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->address, "http://h/p200");
    EXPECT_EQ(DiagnosisText(*found),
              "the page http://h/p200 (picture-list page, 500 bytes) no longer holds `id=\"pic_`: "
              "the site may have changed");
    EXPECT_EQ(DiagnosisTextZh(*found),
              "网页 http://h/p200（图片列表页，500 字节）中找不到 id=\"pic_，网站可能已改版");
    EXPECT_FALSE(log.Diagnose(0));  // the site says the album is empty
  }
  {
    PageLog log(kYieldsPictures);
    log.Read(Answered(200, 12345, {}));
    EXPECT_FALSE(log.Diagnose(-1));  // the markers are there; no count to miss
    const std::optional<PageDiagnosis> counted = log.Diagnose(12);
    ASSERT_TRUE(counted);
    EXPECT_EQ(DiagnosisText(*counted),
              "the page http://h/p200 (picture-list page, 12,345 bytes) gave no picture though "
              "the site counts 12: the site may have changed");
    log.Took();
    EXPECT_FALSE(log.Diagnose(12));
    EXPECT_EQ(log.Steps().front().items, 1u);
  }
  {
    PageLog log(kYieldsAlbums);
    log.Read(Answered(200, 500, {"x"}, kYieldsAlbums));
    log.Spoke();  // a login page the family recognised: its own message stands
    EXPECT_FALSE(log.Diagnose());
  }
}

}  // namespace
}  // namespace albumora
