// A white-space-free token as the "%s" conversion reads it.
//
// A token keeps its first kCapacity bytes and its full length, so memory does
// not depend on the input, yet an overlong token is never mistaken for a
// shorter one. Its value as a string is the C string the C library would hold:
// the bytes up to the first NUL. Callers that store a token as a name check
// length() against their own limit; tokens that are only compared may be of
// any length, and one longer than kCapacity equals no stored name.
#ifndef TEXTIO_TOKEN_H_
#define TEXTIO_TOKEN_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace textio {

// True when a and b hold the same bytes. Both must be readable up to the
// next multiple of 8 bytes past their end, as a Token's value is and a view
// that Reader::scan_names_and_real() returns.
inline bool same_padded(std::string_view a, std::string_view b) {
  const size_t n = a.size();
  if (n != b.size()) return false;
  for (size_t i = 0; i < n; i += 8) {
    uint64_t x, y;
    std::memcpy(&x, a.data() + i, 8);
    std::memcpy(&y, b.data() + i, 8);
    size_t left = n - i;
    uint64_t mask = left >= 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * left)) - 1;
    if ((x ^ y) & mask) return false;
  }
  return true;
}

class Token {
 public:
  static constexpr size_t kCapacity = 63;

  Token() = default;
  explicit Token(std::string_view s) { assign(s.data(), s.size()); }

  // Full length of the token as read, in bytes.
  size_t length() const { return length_; }
  bool overlong() const { return length_ > kCapacity; }
  // The C-string value: bytes up to the first NUL.
  std::string_view str() const { return {bytes_, cstr_length_}; }
  // The value as a C string, with kCapacity + 1 readable bytes.
  const char* c_str() const { return bytes_; }

  // Two tokens are equal when both fit the capacity and their C-string
  // values are equal.
  bool operator==(const Token& o) const { return !overlong() && !o.overlong() && same_padded(str(), o.str()); }

  void assign(const char* s, size_t n) {
    length_ = n;
    size_t kept = n < kCapacity ? n : kCapacity;
    std::memcpy(bytes_, s, kept);
    bytes_[kept] = '\0';
    cstr_length_ = std::strlen(bytes_);
  }

  // Takes n <= kCapacity bytes without NUL; `s` must have kCapacity + 1
  // readable bytes.
  void assign_short(const char* s, size_t n) {
    std::memcpy(bytes_, s, kCapacity + 1);
    bytes_[n] = '\0';
    length_ = cstr_length_ = n;
  }

  // Used by the scanner, which fills the token piece by piece.
  void begin() { length_ = 0; }
  void append(const char* s, size_t n) {
    if (length_ < kCapacity) {
      size_t room = kCapacity - length_;
      std::memcpy(bytes_ + length_, s, n < room ? n : room);
    }
    length_ += n;
  }
  // `first_nul` is the offset of the token's first NUL byte, if it has one
  // (the scanner notices them as it goes), else any value >= length().
  void finish(size_t first_nul) {
    size_t kept = length_ < kCapacity ? length_ : kCapacity;
    bytes_[kept] = '\0';
    cstr_length_ = first_nul < kept ? first_nul : kept;
  }

 private:
  size_t length_ = 0;
  size_t cstr_length_ = 0;
  char bytes_[kCapacity + 1] = {};
};

}  // namespace textio

#endif  // TEXTIO_TOKEN_H_
