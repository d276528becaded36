// Address normalisation per site family: what the album-list job makes of the typed address
// before it calls the site's album-list adapters. Each family has a pure function that returns
// a plan; the job carries the plan out. The one step that needs the network, Renren's lookup of
// a numeric id for a user name, is named in the plan and done by LookupRenrenId.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/Records.h"

namespace albumora {

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

struct ListPlan {
  std::vector<AdapterCall> calls;
  // Shown when the album list is still empty after the calls; empty for none.
  std::string emptyMessage;
  // Renren: the page that names the numeric id of a user name. When set, the id found there,
  // trimmed, replaces the address of the first call; a failed fetch cancels every call.
  std::string idLookupUrl;
};

// The texts the job shows.
extern const char* const kEmptyAddressMessage;
extern const char* const kQzoneEmptyMessage;
extern const char* const kRenrenZhanEmptyMessage;
extern const char* const kSinaEmptyMessage;

// An address typed with "https://" is taken in its "http://" form: a leading "https://" (any
// letter case) becomes "http://". Everything that tests or cuts a typed address for "http://"
// works on this form.
std::string HttpForm(const std::string& address);

ListPlan NormalizeQzone(std::string addr);
ListPlan NormalizeBaidu(std::string addr);
ListPlan NormalizeNetease(std::string addr);
ListPlan NormalizeRenren(std::string addr);
ListPlan NormalizeSina(std::string addr);
ListPlan Normalize56(std::string addr);
ListPlan NormalizePoco(std::string addr);
ListPlan NormalizeYupoo(std::string addr);
ListPlan Normalize51(std::string addr);
ListPlan NormalizeZol(std::string addr);
ListPlan NormalizePchome(std::string addr);
ListPlan NormalizeTaobao(std::string addr);
ListPlan NormalizeMoko(std::string addr);
ListPlan NormalizeBabytree(std::string addr);
ListPlan NormalizePconline(std::string addr);

// The plan of a site index for a trimmed address in its "http://" form; an index outside 0 to
// 14 gives an empty plan (no call, no message).
ListPlan NormalizeAddress(int nSite, const std::string& addr);

// Fetches the Renren page and reads the numeric id from it ("pid: '", else "profile_owner =").
// False when the fetch fails; id is then untouched. The id may be empty.
bool LookupRenrenId(const std::string& url, std::string& id);

}  // namespace albumora
