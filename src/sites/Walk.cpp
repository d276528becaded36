// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/Walk.h"

#include <cstdint>
#include <cstdio>
#include <unordered_set>
#include <vector>

#include "text/StringCtrl.h"

namespace albumora {

namespace {

// What a page walk knows of its pages: the previous page's first answer (by size and hash, so a
// long list never keeps a second copy of its pages), this page's first answer and items, and
// every item handed over so far.
struct PageWalk {
  bool answered = false;
  std::string address;  // of this page's first answer
  bool repeated = false;
  bool hasPrevious = false;
  size_t previousSize = 0;
  size_t previousHash = 0;
  size_t items = 0;  // handed over during this page
  size_t fresh = 0;  // of which the list held none before
  std::unordered_set<size_t> held;
};

// The innermost walk of this thread's adapter call, while its page function runs.
thread_local PageWalk* tWalk = nullptr;

// Makes a walk the thread's current one for its lifetime; the one it hides comes back after.
class WalkScope {
 public:
  explicit WalkScope(PageWalk& walk) : previous_(tWalk) { tWalk = &walk; }
  ~WalkScope() { tWalk = previous_; }
  WalkScope(const WalkScope&) = delete;
  WalkScope& operator=(const WalkScope&) = delete;

 private:
  PageWalk* previous_;
};

std::string Format(const char* pattern, int page, const std::string& address) {
  char head[128];
  std::snprintf(head, sizeof head, pattern, page);
  return head + address;
}

// "相册" for an album list, "图片" for a picture list.
const char* ItemWord(const JobContext& job) {
  return dynamic_cast<const ListContext*>(&job) != nullptr ? "相册" : "图片";
}

}  // namespace

int ForPages(JobContext& job, int first, const std::function<bool(int page)>& page) {
  PageWalk walk;
  const uint32_t cap = job.PageCap();
  int visited = 0;
  for (int n = first; !job.Halted(); ++n) {
    ++visited;
    walk.answered = false;
    walk.repeated = false;
    walk.address.clear();
    walk.items = 0;
    walk.fresh = 0;
    bool more = false;
    {
      WalkScope scope(walk);
      more = page(n);
    }
    if (job.Halted() || !more) break;
    if (walk.repeated) {
      job.user().ShowMessage(Format("第%d页与前一页相同，已停止翻页：", visited, walk.address));
      break;
    }
    if (walk.items > 0 && walk.fresh == 0) {
      const std::string pattern = std::string("第%d页没有新的") + ItemWord(job) + "，已停止翻页：";
      job.user().ShowMessage(Format(pattern.c_str(), visited, walk.address));
      break;
    }
    if (cap > 0 && static_cast<uint32_t>(visited) >= cap) {
      job.user().ShowMessage(
          Format("已翻到第%d页（页数上限），已停止翻页：", visited, walk.address));
      break;
    }
  }
  return visited;
}

void WalkNotesAnswer(const std::string& address, std::string_view text) {
  PageWalk* walk = tWalk;
  if (walk == nullptr || walk->answered) return;
  walk->answered = true;
  walk->address = address;
  const size_t hash = std::hash<std::string_view>{}(text);
  walk->repeated =
      walk->hasPrevious && walk->previousSize == text.size() && walk->previousHash == hash;
  walk->hasPrevious = true;
  walk->previousSize = text.size();
  walk->previousHash = hash;
}

bool WalkNotesItem(std::string_view key) {
  PageWalk* walk = tWalk;
  if (walk == nullptr) return true;
  if (walk->repeated) return false;
  ++walk->items;
  if (walk->held.insert(std::hash<std::string_view>{}(key)).second) ++walk->fresh;
  return true;
}

int ForPieces(JobContext& job, std::string_view text, std::string_view marker,
              const std::function<bool(std::string& piece)>& item) {
  std::vector<std::string> pieces;
  if (SplitBy(pieces, text, marker) < 1) return 0;
  // The items of a page that repeats the previous one are all in the list already.
  if (tWalk != nullptr && tWalk->repeated) return static_cast<int>(pieces.size()) - 1;
  for (size_t i = 1; i < pieces.size(); ++i) {
    if (job.Halted() || !item(pieces[i])) break;
  }
  return static_cast<int>(pieces.size()) - 1;
}

}  // namespace albumora
