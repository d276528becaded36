// SPDX-License-Identifier: GPL-3.0-or-later
// Whether a site family still reads its pages: the album list of an address and the first
// picture-list pages of its first albums, every page checked against what the family expects.
// Both front ends run it (`albumora check`, the window's check dialog) and show its steps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/Config.h"
#include "model/Settings.h"
#include "sites/Pages.h"

namespace albumora {

// How far a check reads: politely, a few pages only.
struct SiteCheckLimits {
  uint32_t listPages = 2;   // album-list pages of a page walk
  size_t albums = 2;        // albums whose picture list is read
  size_t picturePages = 3;  // pages read for one album's pictures (list and photo pages)
  size_t pictures = 100;    // pictures taken from one album at most
};

// One page of the check.
struct CheckStep {
  int album = 0;  // 0: the album list; else the album's row (1-based)
  PageStep page;
};

struct SiteCheckReport {
  int site = -1;
  std::string address;
  std::vector<CheckStep> steps;  // in fetch order
  size_t albums = 0;             // albums listed
  // The albums whose pictures were read: row (1-based), name, pictures taken, diagnosis.
  struct Album {
    int row = 0;
    std::string name;
    size_t pictures = 0;
    std::optional<PageDiagnosis> diagnosis;
  };
  std::vector<Album> checked;
  std::optional<PageDiagnosis> listDiagnosis;
  std::vector<std::string> messages;  // what the family told the person (questions: answered No)
  bool refused = false;               // the address was refused before any request
  bool stopped = false;

  // Every step that should take items took some: albums were listed, every album read took
  // pictures, and no page that should have yielded items gave none while lacking its markers.
  bool Ok() const;
  // The album list took no album, or one of its pages failed as StepFailed says.
  bool ListFailed() const;
};

// Step `index` of the report: a page that answered 200 with a body, should have yielded albums
// or pictures, took none and lacks a marker of its kind. A page by which the site says the list
// is empty, and a further page of a list whose earlier page of that kind took items (the end of
// the list), are no failure.
bool StepFailed(const SiteCheckReport& report, size_t index);

// Runs the check on the calling thread with records of its own (no front end's album list is
// touched); the process's cookies, proxy and engine settings apply. settings: the front end's
// loaded record (the address is remembered as a list remembers it). stop is polled.
SiteCheckReport RunSiteCheck(int site, const std::string& address, const SettingsRecord& settings,
                             const Config& config, const SiteCheckLimits& limits = {},
                             const std::function<bool()>& stop = nullptr);

// "albums", "album 2".
std::string CheckSideText(const CheckStep& step);
// The markers of a step: "`a`, `b`", or "-" for a page not checked.
std::string FoundMarkersText(const PageStep& step);
std::string MissingMarkersText(const PageStep& step);

}  // namespace albumora
