// The adapters, reached through one table keyed by site index and list type: an album-list
// function and a picture-list function per row. A site is added by filling its row and writing
// its file under src/sites/.
#pragma once

#include <span>
#include <string>

namespace albumora {

struct AppState;

using AlbumListFn = void (*)(const std::string& address, AppState& app);
using PictureListFn = void (*)(AppState& app, int albumIndex);

// The picture-list adapter the download job uses for a site index and list type; nullptr for
// none (a list type the site does not define).
PictureListFn PictureListFor(int nSite, int nListType);

// The album-list adapter of a site index and the list type its address form chose; nullptr for
// none.
AlbumListFn AlbumListFor(int nSite, int nListType);

// Test hook: while an override is set (not nullptr), the album-list job calls it in place of
// the album-list adapter of every row of the table (the row's site and list type are in
// app.nSite and app.nListType).
void SetAlbumListOverride(AlbumListFn fn);

// One row of the table: a site's address form and its two adapters.
struct SiteRow {
  int nSite;
  int nListType;
  const char* family;  // the adapter family, for diagnostics and tests
  AlbumListFn albumList;
  PictureListFn pictureList;
};
// Every row, in site-index order.
std::span<const SiteRow> SiteRows();
// The row whose picture list a download of this site index and list type uses (a list type
// a site has no row of may fall back to one of its rows); nullptr for none.
const SiteRow* PictureRowFor(int nSite, int nListType);

// Test hook: while an override is set (not nullptr), the download job uses it as the
// picture-list adapter of every site index 0 to 14 and every list type. Implemented in
// src/sites/SiteOverride.cpp.
void SetPictureListOverride(PictureListFn fn);
PictureListFn PictureListOverride();

}  // namespace albumora
