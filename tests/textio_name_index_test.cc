// Name look-up against a plain map, on lists crowded enough that names
// share slots and probe runs are long.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "textio/name_index.h"
#include "textio/token.h"

namespace {

TEST(NameIndex, FindsWhatAMapFinds) {
  std::mt19937 rng(8);
  auto random_name = [&] {
    std::string s;
    for (size_t k = 1 + rng() % 20; k > 0; --k) s += static_cast<char>('a' + rng() % 3);
    return s;
  };
  for (int round = 0; round < 200; ++round) {
    std::vector<std::string> names;
    for (size_t k = rng() % 600; k > 0; --k) names.push_back(random_name());
    std::map<std::string, std::vector<int>> want;
    for (size_t i = 0; i < names.size(); ++i) want[names[i]].push_back(static_cast<int>(i));
    textio::NameIndex index;
    index.build(std::vector<std::string_view>(names.begin(), names.end()));
    ASSERT_EQ(index.groups(), static_cast<int>(want.size()));
    for (int probe = 0; probe < 300; ++probe) {
      std::string name = probe % 2 && !names.empty() ? names[rng() % names.size()] : random_name();
      textio::Token token(name);  // padded, as the scanner's names are
      int group = index.find_padded(token.str());
      ASSERT_EQ(group, index.find(name));
      auto it = want.find(name);
      if (it == want.end()) {
        ASSERT_EQ(group, textio::NameIndex::kNone) << name;
        continue;
      }
      ASSERT_NE(group, textio::NameIndex::kNone) << name;
      auto entries = index.entries(group);
      ASSERT_EQ(std::vector<int>(entries.begin(), entries.end()), it->second) << name;
      for (int e : it->second) ASSERT_EQ(index.group_of(e), group);
    }
  }
}

}  // namespace
