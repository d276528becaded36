// SPDX-License-Identifier: GPL-3.0-or-later
// What an adapter sees of the job that runs it. An adapter includes nothing of the jobs or the
// window: the album-list job hands it a ListContext, the download job a PictureContext, and
// tests hand it recording ones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "model/Config.h"
#include "model/Records.h"
#include "model/Settings.h"
#include "model/User.h"

namespace albumora {

class PageLog;

// What both sides share: the person, and whether the job wants the adapter to return now.
class JobContext {
 public:
  virtual ~JobContext() = default;
  // The album list: a stop was requested. The picture list: a stop was requested, or the skip
  // rule met a picture of an earlier download ("enough").
  virtual bool Halted() const = 0;
  virtual User& user() = 0;
  // The fetch recipe reports each page fetch that failed (no answer, an HTTP error status, a
  // cut answer); the adapter's own flow goes on as before. The job keeps them for the outcome.
  virtual void PageFailed(const std::string& /*address*/, const std::string& /*reason*/) const {}
  // Where the fetch recipe notes each page it read for this call (sites/Pages.h); none: nowhere.
  virtual PageLog* Pages() const { return nullptr; }
  // The most pages one page walk of this job reads (ForPages ends the list there); 0: no cap.
  virtual uint32_t PageCap() const = 0;
};

// The album-list side.
class ListContext : public JobContext {
 public:
  // The job texts: the album list leaves here what the download job and the picture lists of
  // its albums read (the owner's folder, the site's parameters).
  virtual JobTexts& Texts() = 0;
  // The add-entry operation: the album is copied, cleaned, made unique and shown. False when
  // the job was asked to stop: the adapter returns at once.
  [[nodiscard]] virtual bool Publish(const ST_PERLISTRECORD& album) = 0;
  // Albums in the list so far.
  virtual size_t AlbumCount() const = 0;
  uint32_t PageCap() const override { return Config{}.albumListPageCap; }
};

// The picture-list side, for one album. Albums are read side by side: everything this side
// hands out belongs to the album alone, so that a picture list never writes what another
// album's list reads.
class PictureContext : public JobContext {
 public:
  // The album's own copy of the job texts as the album list left them: a picture list may keep
  // its paging state here; no other album sees it.
  virtual JobTexts& Texts() = 0;
  // The album's own copy of its entry. An adapter may rewrite its name before the first picture
  // (the album folder is named at the first picture).
  virtual ST_PERLISTRECORD& Album() = 0;
  // The add-picture operation: address line ("full\r\nfallback" holds a fallback), description
  // and extra header text. False when the adapter must return at once (enough, or stop).
  [[nodiscard]] virtual bool AddPicture(const std::string& address, const std::string& description,
                                        const std::string& header) = 0;
  // Pictures in the download list of this album so far.
  virtual size_t PictureCount() const = 0;
  // The naming rules of the current site's settings slot.
  virtual const NameRule& Naming() const = 0;
  uint32_t PageCap() const override { return Config{}.pictureListPageCap; }
};

}  // namespace albumora
