// Qzone personal albums: the album list (route lookup, album list, the two refusals) and the
// picture list (two list services, album passwords).
#pragma once

#include <string>

namespace albumora {

struct AppState;

// The Qzone personal-space hosts, kept in one place.
struct QzoneHostTable {
  const char* personalFragment;  // found in a personal-space address
  const char* personalOrigin;    // Referer and cookie origin, login address
  const char* routeHost;         // answers which hosts serve an account
};
extern const QzoneHostTable kQzoneHosts;

// The album list of one account number (site 0, list type 0). Leaves the picture-list host in
// strSiteParam1 and the album-view host in strSiteParam2.
void QzoneAlbumList(const std::string& account, AppState& app);
// The pictures of one album, handed to AddPicture as "full\r\npreview".
void QzonePictureList(AppState& app, int albumIndex);

}  // namespace albumora
