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
  const char* c_str() const { return bytes_; }

  // Two tokens are equal when both fit the capacity and their C-string
  // values are equal.
  bool operator==(const Token& o) const {
    if (overlong() || o.overlong() || cstr_length_ != o.cstr_length_) return false;
    // Word by word: both byte arrays hold kCapacity + 1 bytes, and the last
    // word is masked to the value's length.
    for (size_t i = 0; i < cstr_length_; i += 8) {
      uint64_t a, b;
      std::memcpy(&a, bytes_ + i, 8);
      std::memcpy(&b, o.bytes_ + i, 8);
      size_t left = cstr_length_ - i;
      uint64_t mask = left >= 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * left)) - 1;
      if ((a ^ b) & mask) return false;
    }
    return true;
  }

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
