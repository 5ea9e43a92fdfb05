#include "textio/name_index.h"

namespace textio {

uint64_t NameIndex::hash(std::string_view s) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
  return h ^ (h >> 29);
}

void NameIndex::build(std::vector<std::string_view> names) {
  size_t size = 16;
  while (size < 2 * names.size()) size *= 2;
  slots_.assign(size, kNone);
  names_.clear();
  group_of_.assign(names.size(), kNone);
  std::vector<int> counts;
  for (size_t i = 0; i < names.size(); ++i) {
    size_t slot = hash(names[i]) & (size - 1);
    while (slots_[slot] != kNone && names_[slots_[slot]] != names[i]) slot = (slot + 1) & (size - 1);
    if (slots_[slot] == kNone) {
      slots_[slot] = static_cast<int>(names_.size());
      names_.push_back(names[i]);
      counts.push_back(0);
    }
    group_of_[i] = slots_[slot];
    ++counts[slots_[slot]];
  }
  start_.assign(names_.size() + 1, 0);
  for (size_t g = 0; g < names_.size(); ++g) start_[g + 1] = start_[g] + counts[g];
  order_.assign(names.size(), 0);
  std::vector<int> fill(start_.begin(), start_.end() - 1);
  for (size_t i = 0; i < names.size(); ++i) order_[fill[group_of_[i]]++] = static_cast<int>(i);
}

int NameIndex::find(std::string_view name) const {
  if (slots_.empty()) return kNone;
  size_t mask = slots_.size() - 1;
  for (size_t slot = hash(name) & mask;; slot = (slot + 1) & mask) {
    int g = slots_[slot];
    if (g == kNone || names_[g] == name) return g;
  }
}

}  // namespace textio
