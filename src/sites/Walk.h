// SPDX-License-Identifier: GPL-3.0-or-later
// The shapes every adapter's lists take: pages from 1 while a next page exists, and an answer
// split at a per-item marker whose pieces after the first are the items. Both check the job's
// halt state themselves before every page and every item, so no adapter can forget it.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "sites/Context.h"

namespace albumora {

// Calls page(n) for n = first, first + 1, ... while it returns true (a next page exists and the
// adapter wants it) and the job is not halted. A failed or empty fetch is the adapter's "false":
// the step ends and keeps what was found. Returns the number of pages visited.
//
// A site may page for ever (every page links a further one), so the walk also ends the list by
// itself when the adapter would go on, with one message to the user naming the page's address:
// - when a page's answer repeats the previous page's (ForPieces then hands over none of its
//   items, so nothing of that page is added again);
// - when a page handed over albums or pictures but none the list did not already hold;
// - when it has read the context's page cap of pages.
// An adapter that ends by itself on such a page (its own rule found nothing new) ends silently.
int ForPages(JobContext& job, int first, const std::function<bool(int page)>& page);

// Splits text at marker and calls item on every piece after the first, in order, while it
// returns true and the job is not halted. Returns the number of pieces (after the first) the
// text holds; 0 when the marker does not occur.
int ForPieces(JobContext& job, std::string_view text, std::string_view marker,
              const std::function<bool(std::string& piece)>& item);

// What the fetch recipe tells the page walk running on this thread about each answer: the first
// answer of a page is compared with the previous page's. Nothing when no walk runs.
void WalkNotesAnswer(const std::string& address, std::string_view text);

// What a job's context tells the page walk running on this thread about each album or picture
// an adapter hands over: a text that tells it from every other item (its address and name).
// False when the item is to be dropped: its page repeats the previous one. True when no walk
// runs.
[[nodiscard]] bool WalkNotesItem(std::string_view key);

}  // namespace albumora
