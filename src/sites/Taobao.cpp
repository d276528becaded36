// SPDX-License-Identifier: GPL-3.0-or-later
// Taobao and Tmall: the pictures of a shop's items, one album per item.
#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fs/FileNames.h"
#include "sites/Family.h"
#include "sites/Fetch.h"
#include "sites/Walk.h"
#include "text/StringCtrl.h"

namespace albumora {

namespace {

// The family's hosts, origins and templates.
struct Hosts {
  const char* itemPrefix = "item.";
  const char* rateOrigin = "http://rate.taobao.com";
  const char* descriptionPrefix = "http://dsc.";
};
constexpr Hosts kHosts;

// Diagnostic copies of answers the adapter could not read, in the program folder.
constexpr const char* kShopPageCopy = "taobao.tmp";
constexpr const char* kErrorCopy = "log.err";

constexpr const char* kListErrorMessage =
    "获取信息出错,请将程序目录下的log.err文件发给作者,以便修改";
constexpr const char* kItemErrorMessage =
    "获取信息出错(2),请将程序目录下的log.err文件发给作者,以便修改";
constexpr const char* kPicturesDoneMessage = "宝贝图片信息获取完毕";

// The two item markers of a shop's search pages, the second for pages without the first.
constexpr const char* kItemSeparator = "<dl class=\"item";
constexpr const char* kItemSeparatorDiv = "<div class=\"item\">";
// The submit button of a form: the page-jump form below the items ends the item list.
constexpr const char* kSubmitButton = "<button type=\"submit\">确定";
constexpr const char* kThumbStrip = "id=\"J_UlThumb\"";

// What its pages must hold: a shop's search pages the item boxes (of either form), an item's
// page its thumbnail strip (a page without the description host has its own message).
constexpr const char* kSearchMarkers[] = {"class=\"item"};
constexpr PageMarkers kSearchPage = {PageKind::AlbumIndex, kSearchMarkers,
                                     kYieldsAlbums | kYieldsNextPage};
constexpr const char* kItemTitleMarkers[] = {"<title>"};
constexpr PageMarkers kItemTitlePage = {PageKind::ItemPage, kItemTitleMarkers, kYieldsAlbums};
constexpr const char* kItemMarkers[] = {kThumbStrip};
constexpr PageMarkers kItemPage = {PageKind::ItemPage, kItemMarkers, kYieldsPictures};
constexpr std::array<const PageMarkers*, 3> kPages = {&kSearchPage, &kItemTitlePage, &kItemPage};

ListPlan Normalize(std::string addr) {
  if (ContainsInside(addr, "search") || ContainsInside(addr, kHosts.itemPrefix)) {
    ReplaceAll(addr, "pageNum=", "Zrk1=");
    ReplaceAll(addr, "viewType=", "Zrk2=");
  } else {
    CutAt(addr, "com");
    addr += "com/?search=y";
  }
  return OneCall(LT_NONE, addr);
}

// The shop owner's nickname, percent-decoded and cleaned as a folder name.
std::string OwnerName(const std::string& text) {
  std::string owner = GetBetweenCopy(text, "nickName:", ",");
  if (owner.empty()) owner = GetBetweenCopy(text, "NickName\"", ",");
  ReplaceAll(owner, "'", "");
  owner = UrlDecode(Trim(owner), true);
  CleanFileName(owner, 0xFFFF, true);
  return owner;
}

// The unsigned decimal number at the start of a text (after blanks); 0 without a digit.
int32_t LeadingCount(std::string_view text) {
  size_t at = text.find_first_not_of(" \t");
  uint64_t value = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    value = value * 10 + static_cast<uint64_t>(text[at] - '0');
    if (value > INT32_MAX) return INT32_MAX;
  }
  return static_cast<int32_t>(value);
}

// One item page as the only album, named after the page title without the shop's suffix.
void ItemAlbum(const std::string& address, ListContext& list) {
  Fetcher fetcher;
  std::optional<std::string> answer = fetcher.Get(kItemTitlePage, address);
  if (!answer) return;
  std::string& text = *answer;
  ST_PERLISTRECORD local;
  local.strAddr = address;
  local.strName = GetBetween(text, "<title>", "</title>", BT_CONSUME);
  const size_t dash = local.strName.rfind('-');
  if (dash != std::string::npos && dash > 0) local.strName.resize(dash);
  local.nCount = -1;
  local.nFlags = 0;
  list.Texts().strOwner = OwnerName(text);
  (void)list.Publish(local);
}

// The part of a search page that holds the items: from the sort bar on, and up to the submit
// button of the form below the items (the page jump). A form above the items (a price filter
// with its own button) ends nothing: only a button after the first item counts.
void KeepItemPart(std::string& text) {
  CutBefore(text, "排序：", false);
  size_t firstItem = std::min(text.find(kItemSeparator), text.find(kItemSeparatorDiv));
  if (firstItem == std::string::npos) return;
  const size_t button = text.find(kSubmitButton, firstItem);
  if (button != std::string::npos && button > 0) text.resize(button);
}

// The items of a shop's search pages, page by page.
void ShopAlbumList(const std::string& address, ListContext& list) {
  JobTexts& texts = list.Texts();
  User& user = list.user();
  Fetcher fetcher;
  std::string separator = kItemSeparator;
  ST_PERLISTRECORD local;
  ForPages(list, 1, [&](int page) {
    std::optional<std::string> answer =
        fetcher.Get(kSearchPage, address + "&viewType=grid&pageNum=" + std::to_string(page));
    if (!answer || answer->empty()) return false;
    const std::string& pageText = *answer;
    if (page == 1) {
      texts.strOwner = OwnerName(pageText);
      texts.strOwnerTitle = StripTags(GetBetweenCopy(pageText, "<ol>", "</ol>"));
      std::string userId = GetBetweenCopy(pageText, "userId:\"", "\"");
      if (userId.empty()) userId = GetBetweenCopy(pageText, "userId\":\"", "\"");
      texts.strSiteParam1 =
          std::string(kHosts.rateOrigin) +
          "/detailCommon.htm?callback=jsonp_reviews_summary2&userNumId=" + userId +
          "&auctionNumId=";
    }
    const auto after10 = [&](std::string_view marker) {
      const size_t at = pageText.find(marker);
      return at != std::string::npos && at > 10;
    };
    const bool last =
        after10("没有下一页") || after10("disable\">下一页") || !Contains(pageText, ">下一页</a>");
    if (ContainsInside(pageText, "很抱歉，搜索到“<em>0</em>”个宝贝")) return false;

    std::string text = pageText;
    KeepItemPart(text);
    std::vector<std::string> pieces;
    if (SplitBy(pieces, text, separator) < 1 && separator != kItemSeparatorDiv) {
      separator = kItemSeparatorDiv;
      SplitBy(pieces, text, separator);
    }
    if (pieces.empty()) {
      WriteUnicodeText(kShopPageCopy, pageText);
      return false;
    }
    bool going = true;
    for (size_t i = 1; going && i < pieces.size() && !list.Halted(); ++i) {
      std::string& piece = pieces[i];
      local.strAddr = GetBetween(piece, "href=\"", "\"", BT_CONSUME);
      if (local.strAddr.empty()) continue;
      if (!Contains(address, "http://")) {
        WriteUnicodeText(kErrorCopy, pageText);
        user.ShowMessage(kListErrorMessage);
        return false;
      }
      local.strCover = GetBetween(piece, "lazyload=\"", "\"", BT_CONSUME);
      if (local.strCover.empty()) local.strCover = GetBetween(piece, "src=\"", "\"", BT_CONSUME);
      CutBefore(piece, "<a", true);
      CutBefore(piece, "class=\"item-name\"", true);
      local.strName = GetBetween(piece, ">", "</a>", BT_CONSUME);
      if (local.strName.empty()) continue;
      local.nNum2 = LeadingCount(ContainsInside(piece, "sale-num\">")
                                     ? GetBetweenCopy(piece, "sale-num\">", "</")
                                     : GetBetweenCopy(piece, "<em>", "</em>"));
      local.nFlags = 0;
      local.nCount = -1;
      going = list.Publish(local);
    }
    return going && !last;
  });
}

void ItemAlbumList(const std::string& address, ListContext& list) {
  if (ContainsInside(address, kHosts.itemPrefix)) {
    ItemAlbum(address, list);
  } else {
    ShopAlbumList(address, list);
  }
}

// The main pictures of one item page (its thumbnail strip, at full size), all described by the
// item's name and price.
void ItemPictureList(PictureContext& pictures) {
  const ST_PERLISTRECORD& album = pictures.Album();
  const std::string itemName = album.strName;
  User& user = pictures.user();
  JobTexts& texts = pictures.Texts();
  Fetcher fetcher;
  std::optional<std::string> answer = fetcher.Get(kItemPage, album.strAddr);
  if (!answer || answer->empty()) return;
  const std::string& page = *answer;
  if (!ContainsInside(page, kHosts.descriptionPrefix)) {
    WriteUnicodeText(kErrorCopy, page);
    user.ShowMessage(kItemErrorMessage);
    return;
  }
  texts.strSiteParam1 = GetBetweenCopy(page, "defaultItemPrice':'", "'");
  if (texts.strSiteParam1.empty()) {
    texts.strSiteParam1 = GetBetweenCopy(page, "\"tb-rmb-num\">", "<");
  }

  std::string strip = page;
  CutBefore(strip, kThumbStrip, true);
  if (TruncAt(strip, "</ul>") < 0) strip.clear();
  const char* separator = Contains(strip, "src=\"") ? "src=\"" : "image:url(";
  const std::string description = itemName + "_价格" + texts.strSiteParam1 + "元";

  bool going = true;
  ForPieces(pictures, strip, separator, [&](std::string& piece) {
    std::string address;
    if (ContainsInside(piece, "lazyload=\"")) {
      address = GetBetween(piece, "lazyload=\"", "\"", BT_CONSUME);
    } else {
      address = piece;
      TruncAt(address, "\"");
    }
    // The thumbnail's size suffix ("_60x60.jpg") goes: the full-size picture remains.
    const size_t underscore = address.rfind('_');
    if (underscore != std::string::npos) address.resize(underscore);
    if (!Contains(address, "http://")) return true;
    going = pictures.AddPicture(address, description, std::string());
    return going;
  });
  if (!going || pictures.Halted()) return;
  user.ShowMessage(kPicturesDoneMessage);
}

constexpr std::array<const char*, 2> kFragments = {"taobao.com/", "tmall.com/"};

// The picture list always takes an item's main pictures: the "main pictures only" option
// (OPT_TAOBAO_MAIN) is kept in the settings and shown in the menu, and changes nothing here.
constexpr std::array<ListForm, 1> kForms = {{
    {LT_NONE, "Taobao and Tmall items", ItemAlbumList, ItemPictureList},
}};

constexpr std::array<std::pair<const char*, int>, 2> kExamples = {{
    {"http://someshop.taobao.com/", LT_NONE},
    {"http://item.taobao.com/item.htm?id=40004", LT_NONE},
}};

}  // namespace

extern const SiteFamily kTaobaoFamily;
const SiteFamily kTaobaoFamily = {SITE_TAOBAO, "taobao", "淘宝/天猫", kFragments, Normalize,
                                  kForms,      LT_NONE,  "",          kExamples,  kPages};

}  // namespace albumora
