// Look-up of names in a fixed list.
//
// NameIndex is built once from a list of names and answers, in constant time,
// which entries carry a given name: the first, the last, or all of them in
// list order. Names compare by their C-string value, byte for byte; an
// overlong token names no entry.
#ifndef TEXTIO_NAME_INDEX_H_
#define TEXTIO_NAME_INDEX_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "textio/token.h"

namespace textio {

class NameIndex {
 public:
  static constexpr int kNone = -1;

  // Indexes names[0..size); the index keeps its own copy of the names.
  void build(std::vector<std::string_view> names);

  // The group of entries that carry `name`, or kNone.
  int find(std::string_view name) const { return find(name, nullptr); }
  int find(const Token& name) const { return name.overlong() ? kNone : find(name.str(), name.c_str()); }
  // The same for a name readable up to the next multiple of 8 bytes past
  // its end, and for at least 8 bytes, which makes it quicker to hash and
  // compare (see same_padded()).
  int find_padded(std::string_view name) const { return find(name, name.data()); }

  // Entries of a group, in list order; the group is never empty.
  std::span<const int> entries(int group) const {
    return {order_.data() + start_[group], order_.data() + start_[group + 1]};
  }
  // The name of a group, readable as find_padded() needs.
  std::string_view name(int group) const { return names_[group]; }
  int first(int group) const { return entries(group).front(); }
  int last(int group) const { return entries(group).back(); }
  // Number of distinct names.
  int groups() const { return static_cast<int>(start_.size()) - 1; }
  // The group of entry i.
  int group_of(int i) const { return group_of_[i]; }

 private:
  // `padded`, when given, is name.data(), readable as find_padded() needs.
  int find(std::string_view name, const char* padded) const;
  static uint64_t hash(std::string_view s, const char* padded = nullptr);
  static bool same(std::string_view a, std::string_view b, bool padded);

  std::vector<std::string_view> names_;  // one per group, in arena_
  std::string arena_;                    // the names, each with 8 spare bytes
  // Open addressing, at most a quarter full, so that looking up a name that
  // is not there usually ends at the first slot. A slot keeps 32 bits of its
  // name's hash, so names are compared only when those bits agree.
  struct Slot {
    uint32_t tag = 0;
    int group = kNone;
  };
  std::vector<Slot> slots_;
  // A byte per slot: 0 for an empty slot, else 0x80 and 7 more bits of the
  // hash. Small enough to stay in the fastest cache, it settles most look-ups
  // of names that are not there without touching slots_.
  std::vector<uint8_t> marks_;
  std::vector<int> start_;  // group g's entries: order_[start_[g]..start_[g+1])
  std::vector<int> order_;
  std::vector<int> group_of_;
};

}  // namespace textio

#endif  // TEXTIO_NAME_INDEX_H_
