// SPDX-License-Identifier: GPL-3.0-or-later
// The command line's one door to the site registry and the album-list job: the family list,
// keys, recognition and whether a family has an adapter.
#include "albumlist/AlbumListJob.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "cli/CliCommon.h"
#include "model/Records.h"
#include "sites/Registry.h"
#include "text/StringCtrl.h"

namespace albumora::cli {

bool SiteHasAdapters(int nSite) { return HasAdapters(nSite); }

std::string SiteLoginAddress(int nSite) {
  const SiteFamily* family = FamilyOf(nSite);
  return family != nullptr && family->loginAddress != nullptr ? family->loginAddress : "";
}

std::vector<SiteEntry> SiteEntries() {
  std::vector<SiteEntry> entries;
  for (const SiteFamily* site : Families()) {
    SiteEntry entry{site->nSite, site->key, site->displayName, HasAdapters(site->nSite), {}};
    for (const auto& [example, listType] : site->examples) entry.examples.emplace_back(example);
    entries.push_back(std::move(entry));
  }
  return entries;
}

int SiteFromText(const std::string& keyOrIndex) { return SiteFromKey(keyOrIndex); }

int RecognizeSiteOf(const std::string& address) { return RecognizeSite(address, SITE_QZONE); }

namespace {

bool AllDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

bool HostCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == ':';
}

}  // namespace

bool CheckAddressForm(const std::string& typed, int site, std::string& address,
                      std::string& error) {
  address = Trim(typed);
  // An empty address is the site's to answer (its own message, no request).
  if (address.empty()) return true;
  if (AllDigits(address)) {
    // A QQ number is 5 to 10 digits without a leading 0; another family's account number (with
    // --site) at most 20.
    const bool qq = site < 0 || site == SITE_QZONE;
    if (address.front() != '0' && address.size() <= (qq ? 10u : 20u) &&
        (!qq || address.size() >= 5)) {
      return true;
    }
    error = "not an account number: \"" + EscapeControls(address) + "\"; " +
            (qq ? "a QQ number has 5 to 10 digits and does not start with 0"
                : "an account number has at most 20 digits and does not start with 0");
    return false;
  }
  const std::string refused =
      "not an album address: \"" + EscapeControls(typed) +
      "\"; give an account number (a QQ number such as 10001) or an owner's album page "
      "beginning with http:// or https:// ('albumora sites' lists examples)";
  static constexpr std::string_view kPlain = "http://";
  std::string form = HttpForm(address);
  if (form.size() <= kPlain.size() || !EqualsNoCase(form.substr(0, kPlain.size()), kPlain)) {
    error = refused;
    return false;
  }
  // The scheme and the host in lower case; the host must look like a host name.
  const size_t hostEnd = std::min(form.find_first_of("/?#", kPlain.size()), form.size());
  std::string host = form.substr(kPlain.size(), hostEnd - kPlain.size());
  for (char& c : host) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (host.empty() || host.find('.') == std::string::npos || host.front() == '.' ||
      host.back() == '.' || !std::all_of(host.begin(), host.end(), HostCharacter)) {
    error = refused;
    return false;
  }
  form = std::string(kPlain) + host + form.substr(hostEnd);
  // With --site, an address no family claims is that family's (some are never recognised by
  // themselves); one another family claims is a mistake.
  int recognized = RecognizeSite(form, -1);
  if (site >= 0 && recognized < 0) recognized = site;
  if (recognized < 0 || (site >= 0 && recognized != site)) {
    error = "no site family takes the address \"" + EscapeControls(typed) + "\"" +
            (site >= 0 ? " (--site names another family)" : "") +
            "; 'albumora sites' lists the families and an example address of each";
    return false;
  }
  // A trailing slash, as browsers show the address, where the family's own addresses have none.
  if (form.back() == '/' && form.find_first_of("?#") == std::string::npos &&
      hostEnd < form.size() - 1) {
    bool slashForm = false;
    for (const auto& [example, listType] : FamilyOf(recognized)->examples) {
      slashForm = slashForm || std::string_view(example).ends_with('/');
    }
    if (!slashForm) {
      while (form.size() > kPlain.size() + host.size() + 1 && form.back() == '/') form.pop_back();
    }
  }
  address = form;
  return true;
}

bool RunListJob(AppState& app, ListPages* pages) {
  return RunAlbumList(app, SiteAdapters(), pages) == ListOutcome::Ran;
}

}  // namespace albumora::cli
