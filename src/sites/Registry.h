// SPDX-License-Identifier: GPL-3.0-or-later
// The registry of the 15 site families (Families.def), and everything read from it: the site
// list, command-line keys, site recognition, address normalisation and the adapters the jobs
// call.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "sites/Family.h"

namespace albumora {

// Every family, in site-index order (Families()[i]->nSite == i).
std::span<const SiteFamily* const> Families();
// The family of a site index; nullptr outside 0 to 14.
const SiteFamily* FamilyOf(int nSite);
// The index of a command-line key or a decimal index text; -1 when unknown.
int SiteFromKey(std::string_view keyOrIndex);
// Whether a family has its adapters (a family not built yet lists nothing).
bool HasAdapters(int nSite);

// Site recognition: the site index the first known fragment found in the address (at a position
// after the first character) selects, in registry order; current when none matches or when the
// text is no address (no "http://" or "https://").
int RecognizeSite(const std::string& text, int current);

// An address typed with "https://" (any letter case) is taken in its "http://" form.
std::string HttpForm(const std::string& address);
// The plan of a site index for a trimmed address in its "http://" form; an index outside 0 to
// 14 gives an empty plan (no call, no message).
ListPlan NormalizeAddress(int nSite, const std::string& addr);

// The form of a site index and list type; nullptr for none.
const ListForm* FormOf(int nSite, int nListType);
// The form whose picture list a download of this site index and list type uses (a list type the
// family has no form of may fall back to one of its forms); nullptr for none.
const ListForm* PictureFormFor(int nSite, int nListType);

// What the jobs take their adapters from. The registry's own is SiteAdapters(); a test passes
// one that overrides what it needs.
class Adapters {
 public:
  virtual ~Adapters() = default;
  virtual ListPlan Plan(int nSite, const std::string& addr) const;
  // nullptr for none.
  virtual AlbumListFn AlbumList(int nSite, int nListType) const;
  virtual PictureListFn PictureList(int nSite, int nListType) const;
};
const Adapters& SiteAdapters();

}  // namespace albumora
