#include "textio/reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace textio {
namespace {

// White space of the C locale: blank, tab, line feed, vertical tab, form
// feed, carriage return.
constexpr bool is_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
constexpr bool is_digit(int c) { return c >= '0' && c <= '9'; }
constexpr bool is_xdigit(int c) { return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
constexpr int lower(int c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }

// Byte classes: kBytes.space[c] is true for white space; kBytes.stop[c] for
// the bytes at which a token's copy loop pauses (white space and NUL).
struct ByteTable {
  bool space[256] = {};
  bool stop[256] = {};
  constexpr ByteTable() {
    for (int c = 0; c < 256; ++c) space[c] = stop[c] = is_space(c);
    stop[0] = true;
  }
};
constexpr ByteTable kBytes;

// Offset of the first byte in [p, end) that may stop a token (a byte of
// value 0x20 or less: white space, NUL and other control bytes), or end - p.
// Eight bytes at a time; the caller checks the byte it stops at.
inline size_t find_low_byte(const char* p, const char* end) {
  const char* start = p;
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kHigh = 0x8080808080808080ull;
  for (; end - p >= 8; p += 8) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    // A byte below 0x21 (with bit 7 clear) sets its high bit here; the
    // lowest set bit marks the first one.
    uint64_t low = (w - kOnes * 0x21) & ~w & kHigh;
    if (low) return static_cast<size_t>(p - start) + static_cast<size_t>(__builtin_ctzll(low) / 8);
  }
  while (p < end && (static_cast<unsigned char>(*p) > 0x20)) ++p;
  return static_cast<size_t>(p - start);
}

// Bit i set when p[i], i < 32, is 0x20 or below: white space, NUL or another
// control byte. Exact for every byte (no borrow crosses a byte); reads 32
// bytes.
inline uint32_t low_bytes32(const char* p) {
  constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
  constexpr uint64_t kHigh = 0x8080808080808080ull;
  uint32_t mask = 0;
  for (int k = 0; k < 4; ++k) {
    uint64_t w;
    std::memcpy(&w, p + 8 * k, 8);
    // Bit 7 of a byte stays clear in the sum only below 0x21 (0x21 + 0x5F =
    // 0x80), and ~w keeps the bytes below 0x80.
    uint64_t low = ~((w & kLow7) + 0x5F5F5F5F5F5F5F5Full) & ~w & kHigh;
    // One bit per byte, gathered into the top byte by one multiplication.
    mask |= static_cast<uint32_t>(((low >> 7) * 0x0102040810204080ull) >> 56) << (8 * k);
  }
  return mask;
}

// Eight bytes from p with '0' taken from each, so that a digit byte holds its
// value.
inline uint64_t load_digits(const char* p) {
  uint64_t w;
  std::memcpy(&w, p, 8);
  return w ^ 0x3030303030303030ull;
}

// Number of leading bytes of w (from load_digits) that were digits, 0 to 8.
inline int digit_run(uint64_t w) {
  // A byte is a digit when its high nibble is now 0 and its low nibble is at
  // most 9, i.e. adding 6 to the low nibble does not carry into the high one.
  constexpr uint64_t kHighNibbles = 0xF0F0F0F0F0F0F0F0ull;
  uint64_t not_digit = (w & kHighNibbles) | (((w & ~kHighNibbles) + 0x0606060606060606ull) & kHighNibbles);
  return not_digit ? __builtin_ctzll(not_digit) / 8 : 8;
}

// Value of the first n (0 to 8) digits of w, from load_digits.
inline uint64_t digits_value(uint64_t w, int n) {
  if (n == 0) return 0;
  w <<= 8 * (8 - n);      // the digits last, behind leading zeros
  w = w * 10 + (w >> 8);  // pairs of digits
  constexpr uint64_t kPairs = 0x000000FF000000FFull;
  return (((w & kPairs) * (100 + (1000000ull << 32))) + (((w >> 16) & kPairs) * (1 + (10000ull << 32)))) >> 32;
}

// The fast path of "%f" is for the common shape of a number: at most seven
// digits with an optional point, ending before `end` at a character that
// ends the number in every state. Its digits without the point then make an
// integer below 2^24, and its value is exact by one single-precision
// division. The digits are read eight bytes at a time, so up to 17 bytes
// from the number's start must be readable (the buffer's spare bytes see to
// that).
//
// Returns the end of such a number starting at p, past any sign, or nullptr
// to leave it to the full scanner.
const char* plain_real_end(const char* p, const char* end) {
  int whole = digit_run(load_digits(p));
  const char* q = p + whole;
  if (whole == 8 || q >= end) return nullptr;
  int fraction = 0;
  if (*q == '.') {
    fraction = digit_run(load_digits(q + 1));
    q += 1 + fraction;
    if (q >= end) return nullptr;
  }
  if (whole + fraction == 0 || whole + fraction > 7) return nullptr;
  int c = lower(static_cast<unsigned char>(*q));
  if (c == '.' || c == 'e' || c == 'x') return nullptr;
  return q;
}

// Whether the `len` bytes at p, none of them 0x20 or below and the next one
// white space, are a number plain_real_end() accepts, ending there: one to
// seven digits with at most one point among them. Reads 8 bytes from p.
inline bool plain_number(const char* p, size_t len) {
  if (len == 0 || len > 8) return false;
  const uint64_t w = load_digits(p);
  const size_t whole = static_cast<size_t>(digit_run(w));
  if (whole >= len) return len <= 7;
  if (p[whole] != '.') return false;
  const size_t fraction = len - whole - 1;  // whole + 1 < 8 when there is any
  if (fraction > 0 && static_cast<size_t>(digit_run(w >> (8 * (whole + 1)))) < fraction) return false;
  return whole + fraction >= 1 && whole + fraction <= 7;
}

// The value of a number whose digits start at p and that plain_real_end()
// accepted.
float plain_real_value(const char* p, bool negative) {
  static constexpr float kPow10[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f};
  static constexpr uint64_t kScale[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};
  uint64_t w = load_digits(p);
  int whole = digit_run(w);
  uint64_t value = digits_value(w, whole);
  int fraction = 0;
  if (p[whole] == '.') {
    w = load_digits(p + whole + 1);
    fraction = digit_run(w);
    value = value * kScale[fraction] + digits_value(w, fraction);
  }
  float v = static_cast<float>(value) / kPow10[fraction];
  return negative ? -v : v;
}

constexpr int64_t kIntegerLimit = int64_t{1} << 62;
constexpr int64_t kExponentLimit = int64_t{1} << 50;
constexpr int kMaxSignificant = 200;  // decides every single-precision rounding

}  // namespace

// The number text accepted by "%f", reduced to what decides its value:
// significant digits (leading zeros dropped, digits past kMaxSignificant
// folded into a sticky digit), the power of the base they are scaled by, and
// the exponent part. The value is that of the longest prefix the C library's
// strtof() accepts, which is what its scanner stores.
struct RealText {
  bool negative = false;
  bool hex = false;
  bool got_digit = false;  // a mantissa digit was read
  size_t chars = 0;        // characters accepted, sign included
  bool got_sign = false;
  char sig[kMaxSignificant + 2];
  int nsig = 0;
  bool sticky = false;  // a non-zero digit was dropped
  uint64_t small = 0;   // value of sig while nsig <= 18
  int64_t scale = 0;    // power of the base applied to sig
  bool exp_digits = false;
  bool exp_negative = false;
  int64_t exponent = 0;

  void mantissa_digit(int c, bool fraction) {
    got_digit = true;
    if (nsig == 0 && c == '0') {
      if (fraction) --scale;
      return;
    }
    if (nsig < kMaxSignificant) {
      sig[nsig++] = static_cast<char>(c);
      int d = is_digit(c) ? c - '0' : lower(c) - 'a' + 10;
      small = small * (hex ? 16 : 10) + static_cast<uint64_t>(d);
      if (fraction) --scale;
    } else {
      if (c != '0') sticky = true;
      if (!fraction) ++scale;
    }
  }
  void exponent_digit(int c) {
    exp_digits = true;
    if (exponent < kExponentLimit) exponent = exponent * 10 + (c - '0');
  }

  float value() const {
    float magnitude = 0.0f;
    if (nsig > 0) {
      int64_t e = scale * (hex ? 4 : 1);
      if (exp_digits) e += exp_negative ? -exponent : exponent;
      magnitude = hex ? convert_slow(e) : convert_decimal(e);
    }
    return negative ? -magnitude : magnitude;
  }

 private:
  float convert_decimal(int64_t e) const {
    // Exact fast path: the digits and the power of ten are both exact in
    // single precision, so one rounded operation gives the nearest value.
    static constexpr float kPow10[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
    if (nsig <= 7 && !sticky && e >= -10 && e <= 10) {
      float w = static_cast<float>(small);
      return e < 0 ? w / kPow10[-e] : w * kPow10[e];
    }
    return convert_slow(e);
  }
  float convert_slow(int64_t e) const {
    constexpr int64_t kClamp = 1000000000;
    if (e > kClamp) e = kClamp;
    if (e < -kClamp) e = -kClamp;
    char text[kMaxSignificant + 40];
    int n = 0;
    if (hex) {
      text[n++] = '0';
      text[n++] = 'x';
    }
    for (int i = 0; i < nsig; ++i) text[n++] = sig[i];
    if (sticky) text[n++] = '1', e -= hex ? 4 : 1;
    std::snprintf(text + n, sizeof text - static_cast<size_t>(n), "%c%lld", hex ? 'p' : 'e', static_cast<long long>(e));
    return std::strtof(text, nullptr);
  }
};

Pattern::Pattern(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (is_space(c)) {
      if (ops_.empty() || ops_.back() != Op::kSpace) ops_.push_back(Op::kSpace);
      continue;
    }
    std::string_view rest = text.substr(i);
    if (rest.substr(0, 2) == "%s") {
      ops_.push_back(Op::kToken);
      i += 1;
    } else if (rest.substr(0, 2) == "%d") {
      ops_.push_back(Op::kInteger);
      i += 1;
    } else if (rest.substr(0, 3) == "%ld") {
      ops_.push_back(Op::kInteger);
      i += 2;
    } else if (rest.substr(0, 2) == "%f") {
      ops_.push_back(Op::kReal);
      i += 1;
    } else {
      std::fprintf(stderr, "textio: unsupported scan pattern\n");
      std::abort();
    }
    ++conversions_;
  }
  // White space before a conversion changes nothing, since every
  // conversion skips white space first; only a trailing run matters.
  std::vector<Op> kept;
  for (size_t i = 0; i < ops_.size(); ++i) {
    if (ops_[i] != Op::kSpace || i + 1 == ops_.size()) kept.push_back(ops_[i]);
  }
  ops_ = std::move(kept);
}

// The buffer carries Token::kCapacity + 1 spare bytes, so a short token can be
// copied with one fixed-size copy.
// The buffer is allocated when a file or string is opened.
Reader::Reader(size_t buffer_size) : requested_(buffer_size < 1 ? 1 : buffer_size), size_(requested_) {}

void Reader::allocate(size_t size) {
  size_ = size;
  if (buf_.size() != size_ + Token::kCapacity + 1) buf_.assign(size_ + Token::kCapacity + 1, 0);
}

Reader::~Reader() { close(); }

bool Reader::open(const char* path) {
  close();
  int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    errno = EISDIR;
    return false;
  }
  fd_ = fd;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) size_bytes_ = st.st_size;
  allocate(requested_);
  return true;
}

void Reader::open_string(std::string_view data) {
  close();
  memory_.assign(data);
  from_memory_ = true;
  size_bytes_ = static_cast<int64_t>(data.size());
  // A buffer larger than the data would only cost memory to clear.
  allocate(std::min(requested_, std::max<size_t>(data.size(), 1)));
}

bool Reader::open_part(const Reader& whole, int64_t offset) {
  close();
  if (whole.from_memory_) {
    open_string(whole.memory_);
    memory_pos_ = static_cast<size_t>(std::min(offset, size_bytes_));
  } else {
    if (whole.size_bytes_ < 0) {
      errno = ESPIPE;
      return false;
    }
    fd_ = ::fcntl(whole.fd_, F_DUPFD_CLOEXEC, 0);
    if (fd_ < 0) return false;
    positioned_ = true;
    size_bytes_ = whole.size_bytes_;
    allocate(requested_);
  }
  source_pos_ = offset;
  return true;
}

void Reader::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  positioned_ = false;
  source_pos_ = 0;
  size_bytes_ = -1;
  memory_.clear();
  memory_pos_ = 0;
  from_memory_ = false;
  pos_ = end_ = 0;
  eof_ = false;
  error_ = 0;
}

int Reader::refill() {
  if (eof_) return -1;
  ssize_t n = 0;
  if (from_memory_) {
    size_t left = memory_.size() - memory_pos_;
    n = static_cast<ssize_t>(left < size_ ? left : size_);
    std::copy_n(memory_.data() + memory_pos_, n, buf_.data());
    memory_pos_ += static_cast<size_t>(n);
  } else if (fd_ >= 0) {
    do {
      n = positioned_ ? ::pread(fd_, buf_.data(), size_, source_pos_) : ::read(fd_, buf_.data(), size_);
    } while (n < 0 && errno == EINTR);
    if (n < 0) error_ = errno;
  }
  if (n <= 0) {
    eof_ = true;
    pos_ = end_ = 0;
    return -1;
  }
  source_pos_ += n;
  pos_ = 0;
  end_ = static_cast<size_t>(n);
  return static_cast<unsigned char>(buf_[0]);
}

bool Reader::skip_space_slow() {
  for (;;) {
    while (pos_ < end_) {
      if (!kBytes.space[static_cast<unsigned char>(buf_[pos_])]) return true;
      ++pos_;
    }
    if (refill() < 0) return false;
  }
}

bool Reader::scan_token(Token* out) {
  if (!skip_space()) return false;
  // Once a first character is there the conversion cannot fail, so the
  // target is filled in place.
  Token& t = *out;
  // Fast path: a short token that ends inside the buffer at white space.
  size_t stop = pos_ + find_low_byte(buf_.data() + pos_, buf_.data() + end_);
  if (stop < end_ && kBytes.space[static_cast<unsigned char>(buf_[stop])] && stop - pos_ <= Token::kCapacity) {
    t.assign_short(buf_.data() + pos_, stop - pos_);
    pos_ = stop;
    return true;
  }
  t.begin();
  size_t first_nul = SIZE_MAX;
  for (;;) {
    size_t start = pos_;
    while (pos_ < end_ && !kBytes.stop[static_cast<unsigned char>(buf_[pos_])]) ++pos_;
    if (pos_ < end_ && buf_[pos_] == '\0') {
      if (first_nul == SIZE_MAX) first_nul = t.length() + (pos_ - start);
      ++pos_;
      t.append(buf_.data() + start, pos_ - start);
      continue;
    }
    t.append(buf_.data() + start, pos_ - start);
    if (pos_ < end_ || refill() < 0) break;
  }
  t.finish(first_nul);
  return true;
}

bool Reader::scan_integer(int64_t* out) {
  if (!skip_space()) return false;
  int c = peek();
  bool negative = false;
  if (c == '-' || c == '+') {
    negative = c == '-';
    ++pos_;
    c = peek();
  }
  if (!is_digit(c)) return false;  // a sign alone stays consumed
  int64_t v = 0;
  do {
    v = v < kIntegerLimit / 10 ? v * 10 + (c - '0') : kIntegerLimit;
    ++pos_;
    c = peek();
  } while (is_digit(c));
  *out = negative ? -v : v;
  return true;
}

// Accepts the characters the C library's "%f" scanner accepts, in the same
// states; see RealText for how the value is then formed.
void Reader::scan_real_body(RealText* t) {
  int c = peek();
  int exp_char = 'e';
  if (c == '0') {
    ++pos_;
    ++t->chars;
    c = peek();
    if (lower(c) == 'x') {
      t->hex = true;
      exp_char = 'p';
      ++pos_;
      ++t->chars;
    } else {
      t->mantissa_digit('0', false);
    }
  }
  bool got_dot = false, got_e = false, last_was_e = false;
  for (;;) {
    c = peek();
    if (got_e) {
      if (is_digit(c)) {
        t->exponent_digit(c);
      } else if (last_was_e && (c == '-' || c == '+')) {
        t->exp_negative = c == '-';
      } else {
        return;
      }
      last_was_e = false;
    } else if (is_digit(c) || (t->hex && is_xdigit(c))) {
      t->mantissa_digit(c, got_dot);
    } else if (t->got_digit && lower(c) == exp_char) {
      got_e = got_dot = last_was_e = true;
    } else if (!got_dot && c == '.') {
      got_dot = true;
    } else {
      return;
    }
    ++pos_;
    ++t->chars;
  }
}

bool Reader::scan_real(float* out) {
  if (!skip_space()) return false;
  RealText t;
  int c = peek();
  if (c == '-' || c == '+') {
    t.negative = c == '-';
    t.got_sign = true;
    ++t.chars;
    ++pos_;
    c = peek();
    if (c < 0) return false;
  }
  // "nan", "inf" and "infinity", in any case: a character that breaks the
  // word is consumed with it.
  auto word = [this](const char* rest) {
    for (; *rest; ++rest) {
      int ch = peek();
      if (ch < 0) return false;
      ++pos_;
      if (lower(ch) != *rest) return false;
    }
    return true;
  };
  if (lower(c) == 'n') {
    ++pos_;
    if (!word("an")) return false;
    float nan = std::numeric_limits<float>::quiet_NaN();
    *out = t.negative ? -nan : nan;
    return true;
  }
  if (lower(c) == 'i') {
    ++pos_;
    if (!word("nf")) return false;
    if (lower(peek()) == 'i') {
      ++pos_;
      if (!word("nity")) return false;
    }
    float inf = std::numeric_limits<float>::infinity();
    *out = t.negative ? -inf : inf;
    return true;
  }
  if (const char* q = plain_real_end(buf_.data() + pos_, buf_.data() + end_)) {
    *out = plain_real_value(buf_.data() + pos_, t.negative);
    pos_ = static_cast<size_t>(q - buf_.data());
    return true;
  }
  scan_real_body(&t);
  size_t prefix = (t.got_sign ? 1 : 0) + (t.hex ? 2 : 0);
  if (t.chars == prefix) return false;       // nothing, or a bare "0x"
  if (!t.got_digit && !t.hex) return false;  // only a sign and a point
  *out = t.value();
  return true;
}

int Reader::scan(const Pattern& pattern, Field* out) {
  int done = 0;
  for (Pattern::Op op : pattern.ops()) {
    bool ok = true;
    switch (op) {
      case Pattern::Op::kSpace:
        skip_space();
        continue;
      case Pattern::Op::kToken:
        ok = scan_token(&out[done].token);
        break;
      case Pattern::Op::kInteger:
        ok = scan_integer(&out[done].integer);
        break;
      case Pattern::Op::kReal:
        ok = scan_real(&out[done].real);
        break;
    }
    if (!ok) break;
    ++done;
  }
  return done;
}

bool Reader::scan_names_and_real(std::string_view* first, std::string_view* second, std::string_view* number) {
  const char* p = buf_.data() + pos_;
  const char* const end = buf_.data() + end_;
  // The usual layout, within 32 bytes: name, one blank, name, one blank,
  // number, one line end, and the next record right after it. The blanks and
  // the line end are the first three bytes of 0x20 or below.
  if (end - p >= 32) {
    const uint32_t low = low_bytes32(p);
    uint32_t rest = low;
    int stops[3];
    for (int& s : stops) {
      s = rest ? __builtin_ctz(rest) : 32;
      rest &= rest - 1;
    }
    const int name_end = stops[0], second_end = stops[1], number_end = stops[2];
    if (name_end > 0 && second_end > name_end + 1 && number_end > second_end + 1 && number_end < 31 &&
        !((low >> (number_end + 1)) & 1) && kBytes.space[static_cast<unsigned char>(p[name_end])] &&
        kBytes.space[static_cast<unsigned char>(p[second_end])] &&
        kBytes.space[static_cast<unsigned char>(p[number_end])]) {
      const char* start = p + second_end + 1;
      const char* digits = start + (*start == '-' || *start == '+');
      if (plain_number(digits, static_cast<size_t>(p + number_end - digits))) {
        *first = std::string_view(p, static_cast<size_t>(name_end));
        *second = std::string_view(p + name_end + 1, static_cast<size_t>(second_end - name_end - 1));
        *number = std::string_view(start, static_cast<size_t>(number_end - second_end - 1));
        pos_ += static_cast<size_t>(number_end + 1);
        return true;
      }
    }
  }
  auto skip = [end](const char* q) {
    while (q < end && kBytes.space[static_cast<unsigned char>(*q)]) ++q;
    return q;
  };
  // A token ends at white space inside the buffer; a NUL or other control
  // byte on the way, or an overlong token, is left to scan().
  auto token = [end, &skip](const char*& q, std::string_view* out) {
    q = skip(q);
    size_t n = find_low_byte(q, end);
    if (q + n >= end || !kBytes.space[static_cast<unsigned char>(q[n])] || n > Token::kCapacity) return false;
    *out = std::string_view(q, n);
    q += n;
    return true;
  };
  std::string_view a, b;
  if (!token(p, &a) || !token(p, &b)) return false;
  p = skip(p);
  const char* start = p;
  if (p < end && (*p == '-' || *p == '+')) ++p;
  if (p >= end || !(p = plain_real_end(p, end))) return false;
  const char* stop = p;
  p = skip(p);
  if (p >= end) return false;
  pos_ = static_cast<size_t>(p - buf_.data());
  *first = a;
  *second = b;
  *number = std::string_view(start, static_cast<size_t>(stop - start));
  return true;
}

float Reader::plain_value(std::string_view number) {
  const char* p = number.data();
  bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  return plain_real_value(p, negative);
}

size_t Reader::read_line(char* buf, size_t size) {
  if (size == 0) return 0;
  size_t n = 0;
  while (n + 1 < size) {
    int c = peek();
    if (c < 0) break;
    ++pos_;
    buf[n++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  if (n > 0) buf[n] = '\0';
  return n;
}

}  // namespace textio
