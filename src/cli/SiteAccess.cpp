// The command line's one door to the site registry and the album-list job: the family list,
// keys, recognition and whether a family has an adapter.
#include <map>
#include <set>

#include "albumlist/AlbumListJob.h"
#include "albumlist/SiteRecognition.h"
#include "cli/CliCommon.h"
#include "model/Records.h"
#include "sites/SiteTable.h"

namespace albumora::cli {

bool SiteHasAdapters(int nSite) {
  // A family's real album-list adapter is its own; the placeholder of the families not built
  // yet is one function shared by several families.
  std::map<AlbumListFn, std::set<int>> families;
  for (const SiteRow& row : SiteRows()) {
    if (row.albumList != nullptr) families[row.albumList].insert(row.nSite);
  }
  for (const SiteRow& row : SiteRows()) {
    if (row.nSite == nSite && row.albumList != nullptr && families[row.albumList].size() == 1) {
      return true;
    }
  }
  return false;
}

std::vector<SiteEntry> SiteEntries() {
  std::vector<SiteEntry> entries;
  for (const SiteInfo& site : kSites) {
    entries.push_back({site.nSite, site.key, site.displayName, SiteHasAdapters(site.nSite)});
  }
  return entries;
}

int SiteFromText(const std::string& keyOrIndex) { return SiteFromKey(keyOrIndex); }

int RecognizeSiteOf(const std::string& address) { return RecognizeSite(address, SITE_QZONE); }

bool RunListJob(AppState& app) { return RunAlbumList(app) == ListOutcome::Ran; }

}  // namespace albumora::cli
