// The album-list job: from the typed address to a filled album list.
#pragma once

#include <cstdint>
#include <string>

namespace albumora {

struct AppState;
struct ST_PERLISTRECORD;

// The job body, on the calling thread (the command line runs it directly).
void GetAlbumList(AppState& app);
// The same, telling whether the address was refused (empty, or no "http://" for a site other
// than Qzone: the message was shown and no adapter ran).
enum class ListOutcome { Refused, Ran };
ListOutcome RunAlbumList(AppState& app);

}  // namespace albumora
