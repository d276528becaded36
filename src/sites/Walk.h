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
int ForPages(JobContext& job, int first, const std::function<bool(int page)>& page);

// Splits text at marker and calls item on every piece after the first, in order, while it
// returns true and the job is not halted. Returns the number of pieces (after the first) the
// text holds; 0 when the marker does not occur.
int ForPieces(JobContext& job, std::string_view text, std::string_view marker,
              const std::function<bool(std::string& piece)>& item);

}  // namespace albumora
