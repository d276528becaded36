// SPDX-License-Identifier: GPL-3.0-or-later
// The shape of a site family: everything that belongs to one family lives in its own file under
// src/sites/ and is described to the rest of the program by one SiteFamily value, listed once in
// Families.def.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/Records.h"
#include "sites/Context.h"
#include "sites/Pages.h"

namespace albumora {

// An album-list adapter: the normalised address, the job's album-list side.
using AlbumListFn = void (*)(const std::string& address, ListContext& list);
// A picture-list adapter: the job's picture-list side for one album.
using PictureListFn = void (*)(PictureContext& pictures);

// One album-list adapter call of a plan, with the job texts written around it.
struct AdapterCall {
  int nListType = LT_NONE;                 // the list type written when this call is made
  std::string address;                     // the adapter's argument
  bool onlyWhenEmpty = false;              // made only while the album list is still empty
  std::optional<std::string> ownerBefore;  // strOwner written before the call
  std::optional<std::string> ownerAfter;   // strOwner written after the call
  std::optional<std::string> siteParam1;   // strSiteParam1 written before the call
  std::optional<std::string> siteParam2;   // strSiteParam2 written before the call
};

// Looks a numeric id up on a page (Renren's user names); false when the fetch failed.
using IdLookupFn = bool (*)(const std::string& url, std::string& id);

// What the album-list job does with a typed address: the normaliser's result.
struct ListPlan {
  std::vector<AdapterCall> calls;
  // Shown when the album list is still empty after the calls; empty for none.
  std::string emptyMessage;
  // When set: the page that names the numeric id of the address. The id found there, trimmed,
  // replaces the address of the first call; a failed lookup cancels every call.
  std::string idLookupUrl;
  IdLookupFn lookupId = nullptr;
};

// A normaliser: a pure function of the trimmed address (in its "http://" form).
using NormalizeFn = ListPlan (*)(std::string address);

// One address form of a family: its list type and its two adapters.
struct ListForm {
  int nListType;
  const char* name;  // for diagnostics and tests, e.g. "Qzone personal albums"
  AlbumListFn albumList;
  PictureListFn pictureList;
};

// The list type a download uses when the album-list job chose one the family has no form of;
// kNoFallback where such albums get no pictures.
constexpr int kNoFallback = -100;

struct SiteFamily {
  int nSite;
  const char* key;          // command-line key
  const char* displayName;  // the site box's text
  // Fragments of a typed address that select this family, in recognition order.
  std::span<const char* const> fragments;
  NormalizeFn normalize;
  std::span<const ListForm> forms;
  int pictureFallback;
  // The login window's start address for this family; empty for none.
  const char* loginAddress;
  // Addresses a user would type, each recognised as this family and normalised to the list
  // type beside it.
  std::span<const std::pair<const char*, int>> examples;
  // Its page kinds: what each page its adapters read must hold, and what it yields. Every
  // family has them (the registry test fails on a family without): a changed site is then
  // named by page and marker instead of ending "empty".
  std::span<const PageMarkers* const> pages;
};

// A plan of one call.
ListPlan OneCall(int nListType, std::string address, std::string emptyMessage = {});

}  // namespace albumora
