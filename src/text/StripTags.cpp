// SPDX-License-Identifier: GPL-3.0-or-later
// StripTags in O(n log n) time and O(n) memory, with the result of the plain tag loop:
//
//   result = text; repeat: tag = next text between "<" and ">" of a working copy consumed front
//   to back; stop at an empty tag; remove every occurrence of "<" tag ">" from result.
//
// How it stays fast. A tag holds no ">", so every occurrence of "<" tag ">" in the result ends
// at a ">" and lies inside the run of text since the ">" before it (a "segment"). Occurrences
// of one tag never overlap, so a removal pass deletes them all at once; each deletion joins the
// rest of its segment to the next segment, and no ">" is ever created, so at most one deletion
// per ">" of the input happens in the whole loop.
//
// Every tag "<t" (with its "<") is a '<'-suffix of an input segment: the text from one of its
// "<" to its end. Those suffixes form a tree (the parent of a suffix is the next shorter one
// starting at a "<"), and a result segment ends in "<t" exactly when the tree node of "<t" is an
// ancestor of the segment's deepest '<'-suffix that is a node. So each ">" of the result sits in
// the bucket of its deepest node, the buckets are ordered by the tree's Euler tour, and a removal
// pass takes the buckets of one subtree: a range. Texts are compared by polynomial hashes modulo
// 2^61 - 1 with a base drawn per call, so no input can be prepared to make two tags collide.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "text/StringCtrl.h"

namespace albumora {

namespace {

__extension__ typedef unsigned __int128 Wide;

constexpr uint64_t kMod = (uint64_t{1} << 61) - 1;

uint64_t MulMod(uint64_t a, uint64_t b) {
  const Wide product = static_cast<Wide>(a) * b;
  uint64_t r = static_cast<uint64_t>(product & kMod) + static_cast<uint64_t>(product >> 61);
  r = (r & kMod) + (r >> 61);
  return r >= kMod ? r - kMod : r;
}

uint64_t AddMod(uint64_t a, uint64_t b) {
  const uint64_t r = a + b;
  return r >= kMod ? r - kMod : r;
}

// The hash of a byte (one more than its value, so zero bytes count).
uint64_t ByteValue(char c) { return static_cast<uint64_t>(static_cast<unsigned char>(c)) + 1; }

// The live characters of the text, in blocks of 16 with a bit per character, under a tree that
// holds per node the hash, character count and "<" count of its live characters.
class LiveText {
 public:
  static constexpr size_t kBlock = 16;

  struct Sum {
    uint64_t hash = 0;
    uint32_t count = 0;
    uint32_t opens = 0;
  };

  LiveText(const std::string& text, const std::vector<uint64_t>& power)
      : text_(text), power_(power) {
    const size_t blocks = (text.size() + kBlock - 1) / kBlock;
    live_.assign(blocks, 0);
    opens_.assign(blocks, 0);
    dirtyMark_.assign(blocks, 0);
    for (size_t i = 0; i < text.size(); ++i) {
      live_[i / kBlock] |= static_cast<uint16_t>(1u << (i % kBlock));
      if (text[i] == '<') opens_[i / kBlock] |= static_cast<uint16_t>(1u << (i % kBlock));
    }
    while (size_ < blocks) size_ <<= 1;
    nodes_.assign(2 * size_, Sum{});
    for (size_t b = 0; b < blocks; ++b) nodes_[size_ + b] = Leaf(b, live_[b]);
    for (size_t i = size_ - 1; i >= 1; --i) Pull(i);
  }

  bool Live(size_t pos) const { return (live_[pos / kBlock] >> (pos % kBlock)) & 1u; }
  const Sum& Total() const { return nodes_[1]; }

  // Marks a character deleted; Flush brings the tree up to date.
  void Kill(size_t pos) {
    const size_t b = pos / kBlock;
    live_[b] = static_cast<uint16_t>(live_[b] & ~(1u << (pos % kBlock)));
    if (!dirtyMark_[b]) {
      dirtyMark_[b] = 1;
      dirty_.push_back(static_cast<uint32_t>(b));
    }
  }

  void Flush() {
    if (dirty_.empty()) return;
    size_t levels = 0;
    for (size_t s = size_; s > 1; s >>= 1) ++levels;
    for (const uint32_t b : dirty_) {
      nodes_[size_ + b] = Leaf(b, live_[b]);
      dirtyMark_[b] = 0;
    }
    if (dirty_.size() * levels >= size_) {
      for (size_t i = size_ - 1; i >= 1; --i) Pull(i);
    } else {
      std::sort(dirty_.begin(), dirty_.end());
      for (uint32_t& b : dirty_) b = static_cast<uint32_t>(size_ + b);
      while (dirty_.front() > 1) {
        size_t out = 0;
        for (const uint32_t i : dirty_) {
          const uint32_t up = i >> 1;
          if (out == 0 || dirty_[out - 1] != up) dirty_[out++] = up;
        }
        dirty_.resize(out);
        for (const uint32_t i : dirty_) Pull(i);
      }
    }
    dirty_.clear();
  }

  // Hash, count and "<" count of the live characters in [from, to).
  Sum Range(size_t from, size_t to) const {
    if (from >= to) return Sum{};
    const size_t first = from / kBlock;
    const size_t last = (to - 1) / kBlock;
    if (first == last) return Leaf(first, Mask(first, from, to));
    Sum left = Leaf(first, Mask(first, from, (first + 1) * kBlock));
    Sum right{};
    for (size_t l = size_ + first + 1, r = size_ + last; l < r; l >>= 1, r >>= 1) {
      if (l & 1) left = Join(left, nodes_[l++]);
      if (r & 1) right = Join(nodes_[--r], right);
    }
    return Join(Join(left, right), Leaf(last, Mask(last, last * kBlock, to)));
  }

  // Number of live "<" in [0, to).
  uint32_t OpensBefore(size_t to) const {
    if (to == 0) return 0;
    const size_t last = (to - 1) / kBlock;
    uint32_t opens = static_cast<uint32_t>(
        __builtin_popcount(static_cast<unsigned>(Mask(last, last * kBlock, to) & opens_[last])));
    for (size_t r = size_ + last, l = size_; l < r; l >>= 1, r >>= 1) {
      if (l & 1) opens += nodes_[l++].opens;
      if (r & 1) opens += nodes_[--r].opens;
    }
    return opens;
  }

  // Position of the live "<" of the given rank (0 = the first).
  size_t SelectOpen(uint32_t rank) const {
    size_t i = 1;
    while (i < size_) {
      if (nodes_[2 * i].opens > rank) {
        i = 2 * i;
      } else {
        rank -= nodes_[2 * i].opens;
        i = 2 * i + 1;
      }
    }
    const size_t b = i - size_;
    unsigned bits = static_cast<unsigned>(live_[b] & opens_[b]);
    for (; rank > 0; --rank) bits &= bits - 1;
    return b * kBlock + static_cast<size_t>(__builtin_ctz(bits));
  }

  // The last live character before pos (pos > 0 and one exists).
  size_t PrevLive(size_t pos) const {
    size_t b = pos / kBlock;
    unsigned bits = static_cast<unsigned>(Mask(b, b * kBlock, pos));
    if (bits == 0) {
      // The nearest block to the left with a live character: up while nothing lies to the left
      // of the path, then down its rightmost filled side.
      size_t i = size_ + b;
      while ((i & 1) == 0 || nodes_[i - 1].count == 0) i >>= 1;
      --i;
      while (i < size_) i = nodes_[2 * i + 1].count > 0 ? 2 * i + 1 : 2 * i;
      b = i - size_;
      bits = live_[b];
    }
    return b * kBlock + 31 - static_cast<size_t>(__builtin_clz(bits));
  }

  // The live characters in order.
  std::string Text() const {
    std::string out;
    out.reserve(Total().count);
    for (size_t b = 0; b < live_.size(); ++b) {
      if (live_[b] == 0xFFFF) {
        out.append(text_, b * kBlock, kBlock);
        continue;
      }
      for (unsigned bits = live_[b]; bits != 0; bits &= bits - 1)
        out += text_[b * kBlock + static_cast<size_t>(__builtin_ctz(bits))];
    }
    return out;
  }

 private:
  uint16_t Mask(size_t b, size_t from, size_t to) const {
    const size_t lo = from - b * kBlock;
    const size_t hi = to - b * kBlock;
    const unsigned range = ((hi >= 16 ? 0x10000u : (1u << hi)) - (1u << lo));
    return static_cast<uint16_t>(live_[b] & range);
  }

  Sum Leaf(size_t b, uint16_t bits) const {
    Sum sum;
    for (unsigned rest = bits; rest != 0; rest &= rest - 1) {
      const size_t pos = b * kBlock + static_cast<size_t>(__builtin_ctz(rest));
      sum.hash = AddMod(MulMod(sum.hash, power_[1]), ByteValue(text_[pos]));
      ++sum.count;
    }
    sum.opens = static_cast<uint32_t>(__builtin_popcount(bits & opens_[b]));
    return sum;
  }

  Sum Join(const Sum& l, const Sum& r) const {
    return Sum{AddMod(MulMod(l.hash, power_[r.count]), r.hash), l.count + r.count,
               l.opens + r.opens};
  }

  void Pull(size_t i) { nodes_[i] = Join(nodes_[2 * i], nodes_[2 * i + 1]); }

  const std::string& text_;
  const std::vector<uint64_t>& power_;
  std::vector<uint16_t> live_;
  std::vector<uint16_t> opens_;
  size_t size_ = 1;
  std::vector<Sum> nodes_;
  std::vector<uint32_t> dirty_;
  std::vector<uint8_t> dirtyMark_;
};
// A set of small integers with a fast "next member at or after".
class IndexSet {
 public:
  explicit IndexSet(size_t n) {
    size_t words = n / 64 + 1;
    do {
      levels_.emplace_back(words, 0);
      words = words / 64 + 1;
    } while (levels_.back().size() > 1);
  }

  void Insert(size_t i) {
    for (auto& level : levels_) {
      level[i / 64] |= uint64_t{1} << (i % 64);
      i /= 64;
    }
  }

  void Erase(size_t i) {
    for (auto& level : levels_) {
      level[i / 64] &= ~(uint64_t{1} << (i % 64));
      if (level[i / 64] != 0) return;
      i /= 64;
    }
  }

  // The smallest member >= i, or -1.
  long Next(size_t i) const { return Find(0, i); }

 private:
  long Find(size_t depth, size_t i) const {
    if (depth == levels_.size()) return -1;
    const auto& level = levels_[depth];
    size_t word = i / 64;
    if (word >= level.size()) return -1;
    const uint64_t bits = (i % 64 == 0) ? level[word] : level[word] & (~uint64_t{0} << (i % 64));
    if (bits != 0) return static_cast<long>(word * 64 + static_cast<size_t>(__builtin_ctzll(bits)));
    // The next non-empty word, found one level up.
    const long up = Find(depth + 1, word + 1);
    if (up < 0) return -1;
    const size_t w = static_cast<size_t>(up);
    return static_cast<long>(w * 64 + static_cast<size_t>(__builtin_ctzll(level[w])));
  }

  std::vector<std::vector<uint64_t>> levels_;
};

// Open-addressing table from a tag hash to its tree node: 8 bytes a slot (a check word and the
// node), the full hash and length read from the node's own records on a match.
class NodeTable {
 public:
  NodeTable(size_t expected, const std::vector<uint64_t>& hashes,
            const std::vector<uint32_t>& lengths)
      : hashes_(hashes), lengths_(lengths) {
    size_t capacity = 16;
    while (capacity < expected + expected / 2 + 2) capacity <<= 1;
    slots_.assign(capacity, Slot{});
  }

  // The node of (hash, length), or -1.
  int32_t Find(uint64_t hash, uint32_t length) const {
    const auto check = static_cast<uint32_t>(hash);
    for (size_t i = Start(hash);; i = (i + 1) & (slots_.size() - 1)) {
      const Slot& slot = slots_[i];
      if (slot.node < 0) return -1;
      if (slot.check == check && Same(slot.node, hash, length)) return slot.node;
    }
  }

  // Adds (hash, length) as node when absent (the node's records already hold them); returns the
  // node that holds it.
  int32_t Insert(uint64_t hash, uint32_t length, int32_t node) {
    const auto check = static_cast<uint32_t>(hash);
    for (size_t i = Start(hash);; i = (i + 1) & (slots_.size() - 1)) {
      Slot& slot = slots_[i];
      if (slot.node < 0) {
        slot = Slot{check, node};
        return node;
      }
      if (slot.check == check && Same(slot.node, hash, length)) return slot.node;
    }
  }

 private:
  struct Slot {
    uint32_t check = 0;
    int32_t node = -1;
  };
  bool Same(int32_t node, uint64_t hash, uint32_t length) const {
    const auto v = static_cast<size_t>(node);
    return hashes_[v] == hash && lengths_[v] == length;
  }
  size_t Start(uint64_t hash) const {
    return static_cast<size_t>((hash * 0x9E3779B97F4A7C15ull) >> 24) & (slots_.size() - 1);
  }
  const std::vector<uint64_t>& hashes_;
  const std::vector<uint32_t>& lengths_;
  std::vector<Slot> slots_;
};

uint64_t DrawBase() {
  std::random_device device;
  const uint64_t base = (static_cast<uint64_t>(device()) << 32) ^ device();
  return base % (kMod - 1024) + 512;
}

// Union-find over ordinals that only ever leave the set: Find(k) is the nearest member at or
// after k (or at or before it, walking down), the end marker when there is none.
class NearestMember {
 public:
  explicit NearestMember(size_t count) : up_(count + 1) {
    for (size_t k = 0; k <= count; ++k) up_[k] = static_cast<uint32_t>(k);
  }
  // Members are kept at k; the end marker is the last slot.
  void Remove(size_t k, size_t towards) { up_[k] = static_cast<uint32_t>(towards); }
  size_t Find(size_t k) {
    size_t root = k;
    while (up_[root] != root) root = up_[root];
    while (up_[k] != root) {
      const size_t next = up_[k];
      up_[k] = static_cast<uint32_t>(root);
      k = next;
    }
    return root;
  }

 private:
  std::vector<uint32_t> up_;
};

class TagStripper {
 public:
  explicit TagStripper(const std::string& text) : text_(text), n_(text.size()) {}

  std::string Run();

 private:
  static constexpr int32_t kNone = -1;

  void BuildNodes();
  void Query(int32_t node);
  void Recompute(uint32_t close);
  bool IsNode(size_t open, size_t closePos, int32_t& node) const;
  void Bucket(uint32_t close, int32_t node, uint32_t openPos);
  void Unbucket(uint32_t close);

  const std::string& text_;
  const size_t n_;
  std::vector<uint64_t> power_;
  // Per ">" of the input, by its ordinal ("closes"): position, deepest node, the "<" that node
  // starts at, and its place in the node's bucket.
  std::vector<uint32_t> closePos_;
  std::vector<int32_t> deepest_;
  std::vector<uint32_t> deepestOpen_;
  std::vector<uint32_t> bucketNext_;
  std::vector<uint32_t> bucketPrev_;
  std::vector<uint32_t> stamp_;
  // Per "<" of the input, by its ordinal: the node of the '<'-suffix starting there.
  std::vector<int32_t> nodeOfOpen_;
  // Per node.
  std::vector<int32_t> parent_;
  std::vector<uint32_t> length_;
  std::vector<uint32_t> enter_;
  std::vector<uint32_t> leave_;
  std::vector<int32_t> nodeAt_;  // node by Euler position
  std::vector<uint32_t> bucketHead_;
  std::vector<uint64_t> hash_;
  std::unique_ptr<NodeTable> table_;
  std::unique_ptr<LiveText> live_;
  std::unique_ptr<IndexSet> filled_;          // Euler positions of non-empty buckets
  std::unique_ptr<NearestMember> nextClose_;  // live ">" ordinals, looking right
  std::unique_ptr<NearestMember> prevClose_;  // live ">" ordinals + 1, looking left (0: none)
  std::vector<uint32_t> matched_;
  std::vector<uint32_t> touched_;
  uint32_t round_ = 0;
  size_t liveCloses_ = 0;
  uint32_t end_ = 0;  // "no close" in the bucket lists
};

void TagStripper::BuildNodes() {
  size_t opens = 0;
  size_t closes = 0;
  for (const char c : text_) {
    opens += c == '<';
    closes += c == '>';
  }
  closePos_.resize(closes);
  nodeOfOpen_.assign(opens, kNone);
  table_ = std::make_unique<NodeTable>(opens, hash_, length_);
  hash_.reserve(opens);
  // Walk each segment from its ">" back, hashing its suffixes: the next shorter '<'-suffix is
  // the parent of a node.
  size_t segmentEnd = n_;
  int32_t child = kNone;
  uint64_t hash = 0;
  uint32_t length = 0;
  size_t open = opens;
  size_t close = closes;
  for (size_t i = n_; i-- > 0;) {
    const char c = text_[i];
    if (c == '>') {
      closePos_[--close] = static_cast<uint32_t>(i);
      segmentEnd = i;
      child = kNone;
      hash = 0;
      length = 0;
      continue;
    }
    hash = AddMod(MulMod(ByteValue(c), power_[length]), hash);
    ++length;
    if (c != '<') continue;
    --open;
    if (segmentEnd == n_) continue;
    const auto fresh = static_cast<int32_t>(parent_.size());
    hash_.push_back(hash);  // the candidate's records, dropped again when it exists already
    length_.push_back(length);
    const int32_t node = table_->Insert(hash, length, fresh);
    if (node == fresh) {
      parent_.push_back(child);
    } else {
      hash_.pop_back();
      length_.pop_back();
    }
    nodeOfOpen_[open] = node;
    child = node;
  }
  // Euler tour over the forest.
  const size_t count = parent_.size();
  std::vector<uint32_t> offset(count + 2, 0);
  for (size_t v = 0; v < count; ++v)
    ++offset[(parent_[v] == kNone ? count : static_cast<size_t>(parent_[v])) + 1];
  for (size_t v = 0; v <= count; ++v) offset[v + 1] += offset[v];
  std::vector<uint32_t> fill(offset.begin(), offset.end() - 1);
  std::vector<int32_t> children(count);
  for (size_t v = 0; v < count; ++v) {
    const size_t p = parent_[v] == kNone ? count : static_cast<size_t>(parent_[v]);
    children[fill[p]++] = static_cast<int32_t>(v);
  }
  enter_.assign(count, 0);
  leave_.assign(count, 0);
  nodeAt_.assign(count, kNone);
  uint32_t clock = 0;
  std::vector<std::pair<int32_t, uint32_t>> stack;  // node, next child index
  for (uint32_t r = offset[count]; r < offset[count + 1]; ++r) {
    stack.emplace_back(children[r], 0);
    enter_[static_cast<size_t>(children[r])] = clock;
    nodeAt_[clock++] = children[r];
    while (!stack.empty()) {
      auto& [v, k] = stack.back();
      const auto vi = static_cast<size_t>(v);
      if (offset[vi] + k < offset[vi + 1]) {
        const int32_t c = children[offset[vi] + k++];
        enter_[static_cast<size_t>(c)] = clock;
        nodeAt_[clock++] = c;
        stack.emplace_back(c, 0);
      } else {
        leave_[vi] = clock - 1;
        stack.pop_back();
      }
    }
  }
}

void TagStripper::Bucket(uint32_t close, int32_t node, uint32_t openPos) {
  deepest_[close] = node;
  deepestOpen_[close] = openPos;
  if (node == kNone) return;
  const auto v = static_cast<size_t>(node);
  const uint32_t head = bucketHead_[v];
  bucketPrev_[close] = end_;
  bucketNext_[close] = head;
  if (head != end_) bucketPrev_[head] = close;
  bucketHead_[v] = close;
  if (head == end_) filled_->Insert(enter_[v]);
}

void TagStripper::Unbucket(uint32_t close) {
  const int32_t node = deepest_[close];
  if (node == kNone) return;
  const auto v = static_cast<size_t>(node);
  const uint32_t before = bucketPrev_[close];
  const uint32_t after = bucketNext_[close];
  if (before != end_)
    bucketNext_[before] = after;
  else
    bucketHead_[v] = after;
  if (after != end_) bucketPrev_[after] = before;
  if (bucketHead_[v] == end_) filled_->Erase(enter_[v]);
  deepest_[close] = kNone;
}

// Whether the live text from the "<" at open up to the ">" at closePos is a node.
bool TagStripper::IsNode(size_t open, size_t closePos, int32_t& node) const {
  const LiveText::Sum range = live_->Range(open, closePos);
  node = table_->Find(range.hash, range.count);
  return node != kNone;
}

// The segment ending at a ">" has changed at its front: find its deepest node again. The nodes
// among its '<'-suffixes are those from some "<" on (a suffix of a node is a node), so the
// search gallops leftwards from the last one known, then halves.
void TagStripper::Recompute(uint32_t close) {
  const size_t closePos = closePos_[close];
  const size_t before = prevClose_->Find(close);  // ordinal + 1 of the previous live ">"
  const size_t start = before == 0 ? 0 : closePos_[before - 1] + 1;
  int32_t node = kNone;
  int32_t candidate = kNone;
  uint32_t good = 0;  // rank of the leftmost "<" known to start a node
  if (deepest_[close] != kNone) {
    node = deepest_[close];
    good = live_->OpensBefore(deepestOpen_[close]);
  } else {
    const uint32_t last = live_->OpensBefore(closePos);
    if (last == 0) return;
    const size_t open = live_->SelectOpen(last - 1);
    if (open < start || !IsNode(open, closePos, node)) return;  // no "<" starts a node
    good = last - 1;
  }
  // The "<" just before: most often outside the segment or no node, and nothing changes.
  const size_t left = good == 0 ? 0 : live_->SelectOpen(good - 1);
  if (good == 0 || left < start || !IsNode(left, closePos, candidate)) {
    if (node == deepest_[close]) return;
  } else {
    // Gallop leftwards over ranks, then halve between the last failure and the last success.
    const uint32_t lo = live_->OpensBefore(start);
    good -= 1;
    node = candidate;
    uint32_t step = 2;
    uint32_t bad = 0;
    bool badKnown = false;
    while (good > lo) {
      const uint32_t probe = good - std::min(step, good - lo);
      if (IsNode(live_->SelectOpen(probe), closePos, candidate)) {
        good = probe;
        node = candidate;
        step *= 2;
      } else {
        bad = probe;
        badKnown = true;
        break;
      }
    }
    while (badKnown && good - bad > 1) {
      const uint32_t mid = bad + (good - bad) / 2;
      if (IsNode(live_->SelectOpen(mid), closePos, candidate)) {
        good = mid;
        node = candidate;
      } else {
        bad = mid;
      }
    }
  }
  Unbucket(close);
  Bucket(close, node, static_cast<uint32_t>(live_->SelectOpen(good)));
}

void TagStripper::Query(int32_t node) {
  const auto v = static_cast<size_t>(node);
  const uint32_t length = length_[v];  // "<" and the tag
  matched_.clear();
  for (long at = filled_->Next(enter_[v]); at >= 0 && static_cast<uint32_t>(at) <= leave_[v];
       at = filled_->Next(static_cast<size_t>(at) + 1)) {
    const auto w = static_cast<size_t>(nodeAt_[static_cast<size_t>(at)]);
    for (uint32_t close = bucketHead_[w]; close != end_; close = bucketNext_[close]) {
      matched_.push_back(close);
      deepest_[close] = kNone;
    }
    bucketHead_[w] = end_;
    filled_->Erase(static_cast<size_t>(at));
  }
  if (matched_.empty()) return;
  ++round_;
  // All occurrences go at once (they never overlap): the ">" and the "<" + tag before it.
  for (const uint32_t close : matched_) {
    size_t pos = closePos_[close];
    live_->Kill(pos);
    nextClose_->Remove(close, close + 1);
    prevClose_->Remove(close + 1, close);
    --liveCloses_;
    for (uint32_t k = 0; k < length; ++k) {
      pos = live_->PrevLive(pos);
      live_->Kill(pos);
    }
  }
  live_->Flush();
  touched_.clear();
  for (const uint32_t close : matched_) {
    const size_t after = nextClose_->Find(close);
    if (after >= closePos_.size() || stamp_[after] == round_) continue;
    stamp_[after] = round_;
    touched_.push_back(static_cast<uint32_t>(after));
  }
  for (const uint32_t close : touched_) Recompute(close);
}

std::string TagStripper::Run() {
  const uint64_t base = DrawBase();
  power_.assign(n_ + 1, 1);
  for (size_t i = 0; i < n_; ++i) power_[i + 1] = MulMod(power_[i], base);
  BuildNodes();

  const size_t closes = closePos_.size();
  end_ = static_cast<uint32_t>(closes);
  liveCloses_ = closes;
  live_ = std::make_unique<LiveText>(text_, power_);
  filled_ = std::make_unique<IndexSet>(parent_.size() + 1);
  nextClose_ = std::make_unique<NearestMember>(closes);
  prevClose_ = std::make_unique<NearestMember>(closes);
  deepest_.assign(closes, kNone);
  deepestOpen_.assign(closes, 0);
  bucketNext_.assign(closes, end_);
  bucketPrev_.assign(closes, end_);
  bucketHead_.assign(parent_.size(), end_);
  stamp_.assign(closes, 0);

  // Each input segment's deepest node is the suffix from its first "<".
  {
    size_t open = 0;
    size_t close = 0;
    int32_t first = kNone;
    size_t firstPos = 0;
    for (size_t i = 0; i < n_; ++i) {
      if (text_[i] == '<') {
        if (first == kNone) {
          first = nodeOfOpen_[open];
          firstPos = i;
        }
        ++open;
      } else if (text_[i] == '>') {
        if (first != kNone)
          Bucket(static_cast<uint32_t>(close), first, static_cast<uint32_t>(firstPos));
        first = kNone;
        ++close;
      }
    }
  }

  // The tag loop: one removal pass per "<" of the input, up to the first "<>" or the first "<"
  // without a later ">".
  size_t open = 0;
  size_t close = 0;
  for (size_t p = 0; p < n_; ++p) {
    if (text_[p] != '<') continue;
    while (close < closes && closePos_[close] < p) ++close;
    if (close >= closes || closePos_[close] == p + 1) break;
    if (liveCloses_ == 0 || live_->Total().opens == 0) break;  // nothing left to remove
    Query(nodeOfOpen_[open++]);
  }
  return live_->Text();
}

}  // namespace

std::string StripTags(const std::string& text) {
  if (text.find('<') == std::string::npos || text.find('>') == std::string::npos) return text;
  if (text.size() >= UINT32_MAX) return text;  // beyond what any answer can hold
  return TagStripper(text).Run();
}

}  // namespace albumora
