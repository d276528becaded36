// SPDX-License-Identifier: GPL-3.0-or-later
// The registry as a whole: the families in site-index order, their keys, example addresses
// recognised and normalised as their own, the download dispatch of list types, and a case folder
// for every family with adapters.
#include "sites/Registry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

namespace albumora {
namespace {

std::string PictureFamily(int site, int listType) {
  const ListForm* form = PictureFormFor(site, listType);
  return form ? form->name : "none";
}

TEST(Registry, FamiliesInSiteIndexOrderWithTheirKeys) {
  ASSERT_EQ(Families().size(), static_cast<size_t>(kSiteCount));
  std::set<std::string> keys;
  for (int i = 0; i < kSiteCount; ++i) {
    const SiteFamily* family = Families()[static_cast<size_t>(i)];
    EXPECT_EQ(family->nSite, i);
    EXPECT_EQ(FamilyOf(i), family);
    EXPECT_TRUE(keys.insert(family->key).second) << family->key;
    EXPECT_EQ(SiteFromKey(family->key), i);
    EXPECT_EQ(SiteFromKey(std::to_string(i)), i);
    EXPECT_NE(family->normalize, nullptr);
  }
  EXPECT_EQ(std::string(FamilyOf(SITE_QZONE)->displayName), "QQ空间/腾讯微博");
  EXPECT_EQ(std::string(FamilyOf(SITE_PCONLINE)->key), "pconline");
  EXPECT_EQ(SiteFromKey("15"), -1);
  EXPECT_EQ(SiteFromKey("nosuch"), -1);
  EXPECT_EQ(FamilyOf(15), nullptr);
  EXPECT_EQ(FamilyOf(-1), nullptr);
}

TEST(Registry, EveryListTypeOfTheRecordsHasAForm) {
  const std::pair<int, int> forms[] = {
      {0, 0},  {0, 1},  {0, 2},   {1, 0},   {1, 1},   {2, 1},  {2, -1}, {3, 0},
      {3, 10}, {4, 0},  {4, 1},   {4, 2},   {5, -1},  {6, 0},  {6, 1},  {7, -1},
      {8, -1}, {9, -1}, {10, -1}, {11, -1}, {12, -1}, {13, 0}, {13, 1}, {14, -1},
  };
  size_t count = 0;
  for (const SiteFamily* family : Families()) count += family->forms.size();
  EXPECT_EQ(count, std::size(forms));
  for (const auto& [site, listType] : forms) {
    const ListForm* form = FormOf(site, listType);
    ASSERT_NE(form, nullptr) << site << "/" << listType;
    // A form is built whole or not at all.
    EXPECT_EQ(form->albumList == nullptr, form->pictureList == nullptr) << form->name;
  }
  EXPECT_TRUE(HasAdapters(SITE_QZONE));
}

TEST(Registry, ExampleAddressesAreTheirFamilysOwn) {
  for (const SiteFamily* family : Families()) {
    ASSERT_FALSE(family->examples.empty()) << family->key;
    for (const auto& [address, listType] : family->examples) {
      // A family without fragments (pconline) keeps whatever site is selected.
      const int expected = family->fragments.empty() ? SITE_BAIDU : family->nSite;
      if (std::string(address).starts_with("http://")) {
        EXPECT_EQ(RecognizeSite(address, SITE_BAIDU), expected) << address;
      }
      const ListPlan plan = NormalizeAddress(family->nSite, HttpForm(address));
      ASSERT_FALSE(plan.calls.empty()) << address;
      EXPECT_EQ(plan.calls.front().nListType, listType) << address;
      EXPECT_NE(FormOf(family->nSite, listType), nullptr) << address;
    }
  }
}

TEST(Registry, DownloadDispatchForOtherListTypes) {
  EXPECT_EQ(PictureFamily(0, 5), "none");
  EXPECT_EQ(PictureFamily(0, -1), "none");
  EXPECT_EQ(PictureFamily(1, -1), "Baidu Tieba");
  EXPECT_EQ(PictureFamily(1, 7), "Baidu Tieba");
  EXPECT_EQ(PictureFamily(1, 0), "Baidu albums");
  EXPECT_EQ(PictureFamily(2, 0), "NetEase photo albums");
  EXPECT_EQ(PictureFamily(2, 1), "NetEase pp albums");
  EXPECT_EQ(PictureFamily(3, 1), "none");
  EXPECT_EQ(PictureFamily(3, 10), "Renren zhan");
  EXPECT_EQ(PictureFamily(4, -1), "none");
  EXPECT_EQ(PictureFamily(5, 3), "56 albums");
  EXPECT_EQ(PictureFamily(6, 2), "none");
  EXPECT_EQ(PictureFamily(7, 0), "Yupoo albums");
  EXPECT_EQ(PictureFamily(11, 0), "Taobao and Tmall items");
  EXPECT_EQ(PictureFamily(13, 0), "babytree albums");
  EXPECT_EQ(PictureFamily(13, -1), "babytree albums, second reader");
  EXPECT_EQ(PictureFamily(13, 1), "babytree albums, second reader");
  EXPECT_EQ(PictureFamily(14, 2), "pconline albums");
  EXPECT_EQ(PictureFamily(15, -1), "none");
  EXPECT_EQ(PictureFamily(-1, 0), "none");
  // The album lists exist only for the list types the job can choose.
  EXPECT_EQ(FormOf(1, -1), nullptr);
  EXPECT_EQ(FormOf(15, -1), nullptr);
}

TEST(Registry, EveryFamilyWithAdaptersHasCaseFolders) {
  for (const SiteFamily* family : Families()) {
    if (!HasAdapters(family->nSite)) continue;
    const std::filesystem::path folder = std::filesystem::path(ALBUMORA_SITE_CASES) / family->key;
    EXPECT_TRUE(std::filesystem::is_directory(folder)) << folder;
    // And a changed page: its main list page with its key marker renamed.
    EXPECT_TRUE(std::filesystem::is_directory(folder / "changed-page")) << folder;
  }
}

// A family is registered with its marker table: page kinds that yield albums and pictures, each
// with markers that are texts (not blanks), so that a changed page can be named.
TEST(Registry, EveryFamilyDeclaresItsPagesAndMarkers) {
  for (const SiteFamily* family : Families()) {
    SCOPED_TRACE(family->key);
    ASSERT_FALSE(family->pages.empty());
    uint8_t yields = 0;
    size_t markers = 0;
    for (const PageMarkers* page : family->pages) {
      ASSERT_NE(page, nullptr);
      EXPECT_NE(page->kind, PageKind::Unnamed);
      yields = static_cast<uint8_t>(yields | page->yields);
      for (const char* marker : page->markers) {
        ASSERT_NE(marker, nullptr);
        EXPECT_GE(std::string(marker).size(), 3u) << marker;
        ++markers;
      }
    }
    EXPECT_NE(yields & kYieldsAlbums, 0);
    EXPECT_NE(yields & kYieldsPictures, 0);
    EXPECT_GT(markers, 0u);
  }
}

}  // namespace
}  // namespace albumora
