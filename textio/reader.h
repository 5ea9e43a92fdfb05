// Buffered reading of record files by C-library scan patterns.
//
// A Pattern is a scan pattern made of "%s", "%d", "%ld", "%f" and white space
// (a blank, tab or line end each match any run of white space, possibly
// empty). Reader::scan() applies it exactly as the C library's scanner does on
// the same bytes: the same characters are consumed, a conversion that fails
// stops the scan at the character that did not fit, and the end-of-file
// indicator is set exactly when the scanner has tried to read past the end.
// "%f" gives the nearest single-precision value; "%d" and "%ld" give the
// decimal value, saturated far outside the 32-bit range so callers can reject
// it. Reading streams through a fixed buffer: memory does not grow with the
// size of the input.
#ifndef TEXTIO_READER_H_
#define TEXTIO_READER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "textio/token.h"

namespace textio {

// One conversion's target. Only the member of the conversion's kind is
// written, and only when that conversion succeeds.
struct Field {
  Token token;          // "%s"
  int64_t integer = 0;  // "%d", "%ld"
  float real = 0.0f;    // "%f"
};

class Pattern {
 public:
  enum class Op : uint8_t { kSpace, kToken, kInteger, kReal };

  // Compiles a pattern; anything but the conversions above and white space
  // is a programming error and aborts.
  explicit Pattern(std::string_view text);

  const std::vector<Op>& ops() const { return ops_; }
  // Number of conversions in the pattern.
  int conversions() const { return conversions_; }

 private:
  std::vector<Op> ops_;
  int conversions_ = 0;
};

// Readers fill whole cache lines of their own, so that two reading on two
// threads do not slow each other.
class alignas(64) Reader {
 public:
  static constexpr size_t kDefaultBuffer = 1 << 16;

  explicit Reader(size_t buffer_size = kDefaultBuffer);
  ~Reader();
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  // Opens a file. Returns false, with errno set, when it cannot be opened
  // for reading (a directory counts as unreadable).
  bool open(const char* path);
  // Reads from a copy of `data` instead of a file, through the same buffer
  // (or a smaller one for short data), so refills happen at the same places
  // as they would for a file.
  void open_string(std::string_view data);
  // Opens the same input as `whole`, an open file or string, from byte
  // `offset` on, as a reader of its own: reading one does not move the
  // other. Returns false, with errno set, when a file cannot be shared that
  // way (one that is not a regular file cannot).
  bool open_part(const Reader& whole, int64_t offset);
  void close();

  // Size in bytes of the whole input, or -1 when it is not a regular file
  // or a string.
  int64_t size() const { return size_bytes_; }
  // Offset in the input of the next byte a scan would look at.
  int64_t offset() const { return source_pos_ - static_cast<int64_t>(end_ - pos_); }

  // The end-of-file indicator. A read error also sets it; error() then
  // returns the errno value of the failed read, else 0.
  bool eof() const { return eof_; }
  int error() const { return error_; }

  // Applies `pattern`, writing conversion k into out[k]. Returns the number of
  // conversions that succeeded; out[k] for later k is left untouched.
  int scan(const Pattern& pattern, Field* out);

  // A fast path for the pattern "%s %s %f\n", for callers that read many
  // such records. When the whole record and the white space after it lie in
  // the buffer, its tokens hold at most Token::kCapacity bytes and no NUL,
  // and its number has a short plain decimal form, consumes it exactly as
  // scan() would and returns true, with the tokens and the number's text as
  // views into the buffer; plain_value() gives the number's value, which is
  // left to callers that need it. The views stay valid until the next call
  // on this reader, and each token's data has Token::kCapacity + 1 readable
  // bytes. Otherwise consumes nothing and returns false; scan() must then
  // read the record.
  bool scan_names_and_real(std::string_view* first, std::string_view* second, std::string_view* number);
  // The value "%f" gives a number text from scan_names_and_real(), while it
  // is valid.
  static float plain_value(std::string_view number);

  // Reads one line as fgets(buf, size, file) does: at most size-1 bytes, up
  // to and including a line feed, then a NUL. Returns the number of bytes
  // read; 0 means nothing was left and buf is untouched.
  size_t read_line(char* buf, size_t size);

 private:
  int peek() { return pos_ < end_ ? static_cast<unsigned char>(buf_[pos_]) : refill(); }
  int refill();
  // Skips white space; false at end of input.
  bool skip_space() {
    if (pos_ < end_) {
      unsigned char c = static_cast<unsigned char>(buf_[pos_]);
      if (c != ' ' && (c < '\t' || c > '\r')) return true;
    }
    return skip_space_slow();
  }
  bool skip_space_slow();
  bool scan_token(Token* out);
  bool scan_integer(int64_t* out);
  bool scan_real(float* out);
  void scan_real_body(struct RealText* text);

  void allocate(size_t size);

  std::vector<char> buf_;
  size_t requested_;
  size_t size_;  // bytes of buf_ that reads fill
  size_t pos_ = 0;
  size_t end_ = 0;
  int fd_ = -1;
  bool positioned_ = false;  // reads with pread() at source_pos_, not read()
  int64_t source_pos_ = 0;   // offset in the input of buf_[end_]
  int64_t size_bytes_ = -1;
  std::string memory_;
  size_t memory_pos_ = 0;
  bool from_memory_ = false;
  bool eof_ = false;
  int error_ = 0;
};

}  // namespace textio

#endif  // TEXTIO_READER_H_
