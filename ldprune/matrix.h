// The two matrices of tag scores.
//
// Matrix is a square single-precision matrix in one zero-filled block: the r2
// table. The block is asked for in huge pages where the system offers them,
// since a full-size matrix (2000 x 2000) would otherwise take thousands of
// page faults to fill.
//
// NewR2 is the new_r2 table: the r2 table's cells of the kept SNPs, in which
// whole rows may be silenced (all 0.0) and whole columns forced (all 0.0 but
// 1.0 on the diagonal). It keeps only which rows and columns those are and
// reads every other cell from the r2 table, so it costs no second block.
#ifndef LDPRUNE_MATRIX_H_
#define LDPRUNE_MATRIX_H_

#include <cstddef>
#include <memory>
#include <vector>

namespace ldprune {

class Matrix {
 public:
  Matrix() = default;

  // Makes the matrix n x n with every cell 0.0.
  void reset(int n);
  // Makes the matrix a copy of `cells` (n * n values, row by row); for tests.
  void assign(int n, const float* cells);

  int size() const { return n_; }
  float* data() { return cells_.get(); }
  const float* data() const { return cells_.get(); }
  float* row(int i) { return cells_.get() + static_cast<size_t>(i) * n_; }
  float& at(int i, int j) { return cells_.get()[static_cast<size_t>(i) * n_ + j]; }
  float at(int i, int j) const { return cells_.get()[static_cast<size_t>(i) * n_ + j]; }

 private:
  struct Free {
    void operator()(float* p) const;
  };
  std::unique_ptr<float[], Free> cells_;
  int n_ = 0;
};

class NewR2 {
 public:
  // The cells of `r2` in the rows and columns listed in `kept`, in that
  // order; nothing silenced or forced. `r2` must outlive this table.
  void reset(const Matrix* r2, std::vector<int> kept);

  int size() const { return static_cast<int>(kept_.size()); }
  float at(int i, int j) const {
    if (forced_[j]) return i == j ? 1.0f : 0.0f;
    if (silenced_[i]) return 0.0f;
    return r2_->at(kept_[i], kept_[j]);
  }
  // Writes row i's size() cells to out.
  void row(int i, float* out) const;

  // Row i becomes 0.0 throughout, its diagonal included.
  void silence_row(int i) { silenced_[i] = 1; }
  // Column n becomes 0.0 but for cell (n, n), which becomes 1.0.
  void force_column(int n) { forced_[n] = 1; }

 private:
  const Matrix* r2_ = nullptr;
  std::vector<int> kept_;
  std::vector<char> silenced_;
  std::vector<char> forced_;
};

}  // namespace ldprune

#endif  // LDPRUNE_MATRIX_H_
