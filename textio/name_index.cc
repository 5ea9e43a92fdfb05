#include "textio/name_index.h"

#include <algorithm>
#include <cstring>

namespace textio {

namespace {

uint64_t load8(const char* p) {
  uint64_t w;
  std::memcpy(&w, p, 8);
  return w;
}

// The slot mark of a hash: bits the slot index and tag do not use.
uint8_t mark_of(uint64_t h) { return static_cast<uint8_t>(0x80 | ((h >> 24) & 0x7f)); }

}  // namespace

// Mixes eight bytes at a time; the last word overlaps the one before it, so
// names of 8 bytes or more need no byte loop.
uint64_t NameIndex::hash(std::string_view s, const char* padded) {
  const size_t n = s.size();
  uint64_t h = 0x9e3779b97f4a7c15ull ^ n;
  if (n >= 8) {
    for (size_t i = 0; i + 8 < n; i += 8) h = (h ^ load8(s.data() + i)) * 0xff51afd7ed558ccdull;
    h ^= load8(s.data() + n - 8);
  } else if (padded) {
    h ^= load8(padded) & ((uint64_t{1} << (8 * n)) - 1);
  } else {
    uint64_t w = 0;
    for (size_t i = 0; i < n; ++i) w |= uint64_t{static_cast<unsigned char>(s[i])} << (8 * i);
    h ^= w;
  }
  h = (h ^ (h >> 33)) * 0xff51afd7ed558ccdull;
  h = (h ^ (h >> 33)) * 0xc4ceb9fe1a85ec53ull;
  return h ^ (h >> 33);
}

// `a` is a name of the index, padded; `b` is padded when `padded` is set.
bool NameIndex::same(std::string_view a, std::string_view b, bool padded) {
  return padded ? same_padded(a, b) : a == b;
}

void NameIndex::build(std::vector<std::string_view> names) {
  size_t size = 16;
  while (size < 4 * names.size()) size *= 2;
  slots_.assign(size, Slot{});
  marks_.assign(size, 0);
  names_.clear();
  group_of_.assign(names.size(), kNone);
  std::vector<int> counts;
  for (size_t i = 0; i < names.size(); ++i) {
    uint64_t h = hash(names[i]);
    size_t slot = h & (size - 1);
    while (slots_[slot].group != kNone && names_[slots_[slot].group] != names[i]) slot = (slot + 1) & (size - 1);
    if (slots_[slot].group == kNone) {
      slots_[slot] = Slot{static_cast<uint32_t>(h >> 32), static_cast<int>(names_.size())};
      marks_[slot] = mark_of(h);
      names_.push_back(names[i]);  // moved into the arena below
      counts.push_back(0);
    }
    group_of_[i] = slots_[slot].group;
    ++counts[slots_[slot].group];
  }
  // Each name at a multiple of 8 bytes, followed by at least 8 zero bytes,
  // so that names compare a word at a time.
  size_t bytes = 0;
  for (std::string_view s : names_) bytes += (s.size() / 8 + 2) * 8;
  arena_.assign(bytes, '\0');
  size_t at = 0;
  for (std::string_view& s : names_) {
    std::copy(s.begin(), s.end(), arena_.begin() + static_cast<std::ptrdiff_t>(at));
    s = std::string_view(arena_.data() + at, s.size());
    at += (s.size() / 8 + 2) * 8;
  }
  start_.assign(names_.size() + 1, 0);
  for (size_t g = 0; g < names_.size(); ++g) start_[g + 1] = start_[g] + counts[g];
  order_.assign(names.size(), 0);
  std::vector<int> fill(start_.begin(), start_.end() - 1);
  for (size_t i = 0; i < names.size(); ++i) order_[fill[group_of_[i]]++] = static_cast<int>(i);
}

int NameIndex::find(std::string_view name, const char* padded) const {
  if (slots_.empty()) return kNone;
  size_t mask = slots_.size() - 1;
  uint64_t h = hash(name, padded);
  uint32_t tag = static_cast<uint32_t>(h >> 32);
  uint8_t mark = mark_of(h);
  for (size_t slot = h & mask;; slot = (slot + 1) & mask) {
    uint8_t m = marks_[slot];
    if (m == 0) return kNone;
    if (m != mark) continue;
    const Slot& s = slots_[slot];
    if (s.tag == tag && same(names_[s.group], name, padded != nullptr)) return s.group;
  }
}

}  // namespace textio
