#include "textio/writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace textio {
namespace {

__extension__ typedef unsigned __int128 uint128;

// Two-digit pairs "00" to "99" for fast decimal printing.
struct DigitPairs {
  char d[200] = {};
  constexpr DigitPairs() {
    for (int i = 0; i < 100; ++i) {
      d[2 * i] = static_cast<char>('0' + i / 10);
      d[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
  }
};
constexpr DigitPairs kPairs;

// Three-digit groups "000" to "999", padded to four bytes for whole-word copies.
struct DigitTriples {
  char d[1000][4] = {};
  constexpr DigitTriples() {
    for (int i = 0; i < 1000; ++i) {
      d[i][0] = static_cast<char>('0' + i / 100);
      d[i][1] = static_cast<char>('0' + i / 10 % 10);
      d[i][2] = static_cast<char>('0' + i % 10);
    }
  }
};
constexpr DigitTriples kTriples;

// Writes the decimal digits of v and returns the number written.
size_t put_u64(uint64_t v, char* out) {
  char tmp[24];
  char* p = tmp + sizeof tmp;
  while (v >= 100) {
    unsigned r = static_cast<unsigned>(v % 100);
    v /= 100;
    p -= 2;
    std::memcpy(p, kPairs.d + 2 * r, 2);
  }
  if (v >= 10) {
    p -= 2;
    std::memcpy(p, kPairs.d + 2 * v, 2);
  } else {
    *--p = static_cast<char>('0' + v);
  }
  size_t n = static_cast<size_t>(tmp + sizeof tmp - p);
  std::memcpy(out, p, n);
  return n;
}

size_t put_u128(uint128 v, char* out) {
  if (v <= UINT64_MAX) return put_u64(static_cast<uint64_t>(v), out);
  // Split into a head and 19 low digits.
  constexpr uint64_t kTen19 = 10000000000000000000ull;
  size_t n = put_u128(v / kTen19, out);
  uint64_t low = static_cast<uint64_t>(v % kTen19);
  char digits[24];
  size_t k = put_u64(low, digits);
  std::memset(out + n, '0', 19 - k);
  std::memcpy(out + n + 19 - k, digits, k);
  return n + 19;
}

// The value m * 2^e, e < 0, m below 2^24, times 10^6, rounded to an integer
// with ties to even (as the C library rounds): exact in 64 bits, since m *
// 10^6 is below 2^44.
uint64_t millionths(uint64_t m, int e) {
  uint64_t scaled = m * 1000000u;
  int shift = -e;
  if (shift >= 64) return 0;
  uint64_t q = scaled >> shift;
  uint64_t rest = scaled & ((uint64_t{1} << shift) - 1);
  uint64_t half = uint64_t{1} << (shift - 1);
  return q + ((rest > half) | ((rest == half) & q & 1));  // ties to even, without a branch
}

// The eight bytes "d.dddddd" of q millionths, q below 10^7, as one word.
uint64_t short_text(uint64_t q) {
  uint32_t whole = static_cast<uint32_t>(q / 1000000);
  uint32_t f = static_cast<uint32_t>(q - uint64_t{whole} * 1000000);
  uint32_t high = f / 1000;
  uint32_t hi3, lo3;
  std::memcpy(&hi3, kTriples.d[high], 4);
  std::memcpy(&lo3, kTriples.d[f - high * 1000], 4);
  return (uint64_t{'0' + whole}) | (uint64_t{'.'} << 8) | (uint64_t{hi3 & 0xFFFFFF} << 16) |
         (uint64_t{lo3 & 0xFFFFFF} << 40);
}

// Positive floats below 10.0 have bit patterns below this one; they print
// as eight bytes.
constexpr uint32_t kTenBits = 0x41200000u;

}  // namespace

// A float is m * 2^e with m below 2^24. Its six-decimal text is the exact
// value times 10^6, rounded to an integer with ties to even (as the C
// library rounds), split into integer part and six fraction digits. Both
// fit in 128 bits, so the result is exact for every float.
size_t format_real(float value, char* out) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  uint32_t biased = (bits >> 23) & 0xff;
  uint32_t fraction = bits & 0x7fffff;
  uint64_t m = biased ? (fraction | 0x800000u) : fraction;
  int e = biased ? static_cast<int>(biased) - 150 : -149;
  if (bits < kTenBits) {
    uint64_t text = short_text(millionths(m, e));
    std::memcpy(out, &text, 8);
    return 8;
  }
  size_t n = 0;
  if (bits >> 31) out[n++] = '-';
  if (biased == 0xff) {
    std::memcpy(out + n, fraction ? "nan" : "inf", 3);
    return n + 3;
  }
  if (e >= 0) {
    n += put_u128(static_cast<uint128>(m) << e, out + n);
    std::memcpy(out + n, ".000000", 7);
    return n + 7;
  }
  uint64_t q = millionths(m, e);
  uint64_t whole = q / 1000000;
  if (whole < 10) {
    out[n++] = static_cast<char>('0' + whole);
  } else {
    n += put_u64(whole, out + n);
  }
  out[n++] = '.';
  uint32_t f = static_cast<uint32_t>(q - whole * 1000000);
  uint32_t high = f / 1000;
  std::memcpy(out + n, kTriples.d[high], 4);
  std::memcpy(out + n + 3, kTriples.d[f - high * 1000], 4);  // the fourth byte is overwritten or spare
  return n + 6;
}

// A double is m * 2^e with m below 2^53. Below 2^64 the value times 10^6,
// rounded with ties to even, and its integer part fit 128 bits, so the text
// is exact as for floats; values below 2^-75 print as zero. Larger values,
// inf and nan are left to the C library.
size_t format_double(double value, char* out) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  uint32_t biased = static_cast<uint32_t>(bits >> 52) & 0x7ff;
  if (biased >= 1023 + 64) return static_cast<size_t>(std::snprintf(out, kMaxDoubleText, "%f", value));
  uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
  uint64_t m = biased ? (fraction | (uint64_t{1} << 52)) : fraction;
  int e = biased ? static_cast<int>(biased) - 1075 : -1074;
  size_t n = 0;
  if (bits >> 63) out[n++] = '-';
  uint128 q;
  if (e >= 0) {
    q = (static_cast<uint128>(m) << e) * 1000000u;
  } else if (e < -127) {
    q = 0;
  } else {
    uint128 scaled = static_cast<uint128>(m) * 1000000u;
    int shift = -e;
    q = scaled >> shift;
    uint128 rest = scaled & ((static_cast<uint128>(1) << shift) - 1);
    uint128 half = static_cast<uint128>(1) << (shift - 1);
    if (rest > half || (rest == half && (q & 1))) ++q;
  }
  uint32_t f;
  if (q <= UINT64_MAX) {  // 64-bit division is much the cheaper
    uint64_t q64 = static_cast<uint64_t>(q);
    uint64_t whole = q64 / 1000000u;
    n += put_u64(whole, out + n);
    f = static_cast<uint32_t>(q64 - whole * 1000000u);
  } else {
    uint128 whole = q / 1000000u;
    n += put_u128(whole, out + n);
    f = static_cast<uint32_t>(q - whole * 1000000u);
  }
  out[n++] = '.';
  uint32_t high = f / 1000;
  std::memcpy(out + n, kTriples.d[high], 4);
  std::memcpy(out + n + 3, kTriples.d[f - high * 1000], 4);  // the fourth byte is overwritten or spare
  return n + 6;
}

size_t Writer::real_text(float value, char* out) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  if (bits >= kTenBits) return format_real(value, out);
  // The common case, remembered: the text is built and kept as one word,
  // never read back from memory just written a byte at a time.
  Recent& r = recent_[(bits ^ (bits >> 13)) % kRecent];
  if (r.bits != bits) {
    uint32_t biased = bits >> 23;
    uint32_t fraction = bits & 0x7fffff;
    uint64_t m = biased ? (fraction | 0x800000u) : fraction;
    r.text = short_text(millionths(m, biased ? static_cast<int>(biased) - 150 : -149));
    r.bits = bits;
  }
  std::memcpy(out, &r.text, 8);
  return 8;
}

// The buffer takes its full size when a file is opened; until then, and for
// strings, a small one will do.
Writer::Writer(size_t buffer_size)
    : requested_(buffer_size < 64 ? 64 : buffer_size), size_(64), buf_(std::make_unique_for_overwrite<char[]>(size_)) {}

void Writer::resize_buffer(size_t size) {
  if (size == size_) return;
  size_ = size;
  buf_ = std::make_unique_for_overwrite<char[]>(size_);
}

Writer::~Writer() { close(); }

bool Writer::open(const char* path, Emptying emptying) {
  close();
  error_ = 0;
  int fd = ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC | (emptying == Emptying::kNow ? O_TRUNC : 0), 0666);
  if (fd < 0) return false;
  resize_buffer(requested_);
  fd_ = fd;
  owns_fd_ = true;
  return true;
}

void Writer::empty() {
  struct stat st;
  // Only a regular file has contents to drop; opening with O_TRUNC would
  // leave anything else, such as a device, as it is too.
  if (fd_ < 0 || fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) return;
  int r;
  do {
    r = ::ftruncate(fd_, 0);
  } while (r < 0 && errno == EINTR);
  if (r < 0 && error_ == 0) error_ = errno;
}

void Writer::attach(int fd) {
  close();
  error_ = 0;
  resize_buffer(requested_);
  fd_ = fd;
  owns_fd_ = false;
}

void Writer::open_string(std::string* sink) {
  close();
  error_ = 0;
  sink_ = sink;
  resize_buffer(std::min<size_t>(requested_, 1 << 12));  // appending to a string needs no large block
}

void Writer::put_integer(int64_t value) {
  if (room() < 24) flush();
  auto r = std::to_chars(buf_.get() + len_, buf_.get() + len_ + 24, value);
  len_ = static_cast<size_t>(r.ptr - buf_.get());
}

void Writer::put_large(std::string_view text) {
  while (!text.empty()) {
    if (room() == 0) flush();
    size_t n = text.size() < room() ? text.size() : room();
    std::memcpy(buf_.get() + len_, text.data(), n);
    len_ += n;
    text.remove_prefix(n);
  }
}

void Writer::make_room(size_t n) {
  flush();
  if (n > size_) resize_buffer(n);
}

bool Writer::flush() {
  const char* p = buf_.get();
  size_t left = len_;
  len_ = 0;
  if (error_) return false;
  if (sink_) {
    sink_->append(p, left);
    return true;
  }
  if (fd_ < 0) {
    if (left) error_ = EBADF;
    return !error_;
  }
  while (left > 0) {
    ssize_t w = ::write(fd_, p, left);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      error_ = w < 0 ? errno : EIO;
      return false;
    }
    p += w;
    left -= static_cast<size_t>(w);
  }
  return true;
}

bool Writer::close() {
  bool ok = flush();
  if (fd_ >= 0 && owns_fd_ && ::close(fd_) != 0 && ok) {
    error_ = errno;
    ok = false;
  }
  fd_ = -1;
  owns_fd_ = false;
  sink_ = nullptr;
  return ok && !error_;
}

}  // namespace textio
