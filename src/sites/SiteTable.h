// The adapters, reached through one table keyed by site index and list type: an album-list
// function and a picture-list function per row. A site is added by filling its row and writing
// its file under src/sites/.
#pragma once

#include <string>

namespace albumora {

struct AppState;

using AlbumListFn = void (*)(const std::string& address, AppState& app);
using PictureListFn = void (*)(AppState& app, int albumIndex);

// The picture-list adapter the download job uses for a site index and list type; nullptr for
// none (a list type the site does not define).
PictureListFn PictureListFor(int nSite, int nListType);

// Test hook: while an override is set (not nullptr), the download job uses it as the
// picture-list adapter of every site index 0 to 14 and every list type. Implemented in
// src/sites/SiteOverride.cpp.
void SetPictureListOverride(PictureListFn fn);
PictureListFn PictureListOverride();

}  // namespace albumora
