// Union-find over the indexes 0..n-1: the groups that joined pairs link.
//
// A group's root is its lowest index, whatever order the pairs come in, so
// that groups can be listed in the order of their first members.
#ifndef COMMON_UNION_FIND_H_
#define COMMON_UNION_FIND_H_

#include <numeric>
#include <vector>

namespace common {

class UnionFind {
 public:
  explicit UnionFind(int n) : parent_(n) { std::iota(parent_.begin(), parent_.end(), 0); }

  // The lowest index of x's group.
  int root(int x) {
    while (parent_[x] != x) x = parent_[x] = parent_[parent_[x]];
    return x;
  }
  // Puts x and y, and their groups, into one group.
  void join(int x, int y) {
    x = root(x);
    y = root(y);
    if (x < y) {
      parent_[y] = x;
    } else {
      parent_[x] = y;
    }
  }

 private:
  std::vector<int> parent_;
};

}  // namespace common

#endif  // COMMON_UNION_FIND_H_
