#include "sites/Walk.h"

#include <vector>

#include "text/StringCtrl.h"

namespace albumora {

int ForPages(JobContext& job, int first, const std::function<bool(int page)>& page) {
  int visited = 0;
  for (int n = first; !job.Halted(); ++n) {
    ++visited;
    if (!page(n)) break;
  }
  return visited;
}

int ForPieces(JobContext& job, std::string_view text, std::string_view marker,
              const std::function<bool(std::string& piece)>& item) {
  std::vector<std::string> pieces;
  if (SplitBy(pieces, text, marker) < 1) return 0;
  for (size_t i = 1; i < pieces.size(); ++i) {
    if (job.Halted() || !item(pieces[i])) break;
  }
  return static_cast<int>(pieces.size()) - 1;
}

}  // namespace albumora
