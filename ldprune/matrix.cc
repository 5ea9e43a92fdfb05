#include "ldprune/matrix.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace ldprune {
namespace {

constexpr size_t kHugePage = size_t{2} << 20;

}  // namespace

void Matrix::Free::operator()(float* p) const { std::free(p); }

void Matrix::reset(int n) {
  size_t bytes = static_cast<size_t>(n) * n * sizeof(float);
  if (n != n_ || !cells_) {
    cells_.reset();
    // Only a block of a huge page or more is worth aligning to one.
    size_t align = bytes >= kHugePage ? kHugePage : 64;
    size_t rounded = (bytes + align - 1) / align * align;
    if (rounded == 0) rounded = align;
    void* p = std::aligned_alloc(align, rounded);
    if (!p) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    if (align == kHugePage) madvise(p, rounded, MADV_HUGEPAGE);  // a hint: without it, ordinary pages
#endif
    cells_.reset(static_cast<float*>(p));
    n_ = n;
  }
  std::memset(cells_.get(), 0, bytes);
}

void Matrix::assign(int n, const float* cells) {
  reset(n);
  std::memcpy(cells_.get(), cells, static_cast<size_t>(n) * n * sizeof(float));
}

void NewR2::reset(const Matrix* r2, std::vector<int> kept) {
  r2_ = r2;
  kept_ = std::move(kept);
  silenced_.assign(kept_.size(), 0);
  forced_.assign(kept_.size(), 0);
}

void NewR2::row(int i, float* out) const {
  const int n = size();
  if (silenced_[i]) {
    std::fill(out, out + n, 0.0f);
  } else {
    const float* from = r2_->data() + static_cast<size_t>(kept_[i]) * r2_->size();
    for (int j = 0; j < n; ++j) out[j] = from[kept_[j]];
  }
  for (int j = 0; j < n; ++j) {
    if (forced_[j]) out[j] = i == j ? 1.0f : 0.0f;
  }
}

}  // namespace ldprune
