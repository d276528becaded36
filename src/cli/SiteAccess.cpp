// The command line's one door to the site registry and the album-list job: the family list,
// keys, recognition and whether a family has an adapter.
#include "albumlist/AlbumListJob.h"
#include "cli/CliCommon.h"
#include "model/Records.h"
#include "sites/Registry.h"

namespace albumora::cli {

bool SiteHasAdapters(int nSite) { return HasAdapters(nSite); }

std::string SiteLoginAddress(int nSite) {
  const SiteFamily* family = FamilyOf(nSite);
  return family != nullptr && family->loginAddress != nullptr ? family->loginAddress : "";
}

std::vector<SiteEntry> SiteEntries() {
  std::vector<SiteEntry> entries;
  for (const SiteFamily* site : Families()) {
    entries.push_back({site->nSite, site->key, site->displayName, HasAdapters(site->nSite)});
  }
  return entries;
}

int SiteFromText(const std::string& keyOrIndex) { return SiteFromKey(keyOrIndex); }

int RecognizeSiteOf(const std::string& address) { return RecognizeSite(address, SITE_QZONE); }

bool RunListJob(AppState& app) { return RunAlbumList(app, SiteAdapters()) == ListOutcome::Ran; }

}  // namespace albumora::cli
