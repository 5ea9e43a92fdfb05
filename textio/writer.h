// Buffered writing of text by C-library print patterns.
//
// A Writer collects output in a large buffer and writes it to a file (or
// appends it to a string, for tests). The put_* calls print exactly what
// printf prints for "%s", "%d"/"%ld" and "%f" (a float widened to double, six
// decimals, including negative zero, huge values, inf and nan; put_double()
// the same for a double). A write that
// fails is remembered: later output is dropped, and close() reports it.
#ifndef TEXTIO_WRITER_H_
#define TEXTIO_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace textio {

// Formats `value` as printf("%f", (double)value) does. `out` needs room for
// kMaxRealText bytes; returns the number of bytes written.
constexpr size_t kMaxRealText = 48;
size_t format_real(float value, char* out);
// Formats `value` as printf("%f", value) does. `out` needs room for
// kMaxDoubleText bytes; returns the number of bytes written.
constexpr size_t kMaxDoubleText = 320;
size_t format_double(double value, char* out);

// Writers fill whole cache lines of their own, so that two writing on two
// threads do not slow each other.
class alignas(64) Writer {
 public:
  static constexpr size_t kDefaultBuffer = 1 << 20;

  explicit Writer(size_t buffer_size = kDefaultBuffer);
  ~Writer();

  // Creates or empties the file. Returns false, with errno set, when it
  // cannot be opened for writing. With kLater an existing file is left as it
  // is until empty() is called, which must come before any output: emptying
  // a large file may wait for the disk, and can then be left to another
  // thread.
  enum class Emptying { kNow, kLater };
  bool open(const char* path, Emptying emptying = Emptying::kNow);
  // Empties a file opened with Emptying::kLater; a failure is reported by
  // close() as a failed write.
  void empty();
  // Writes to an already open descriptor, such as standard output; close()
  // then flushes without closing it.
  void attach(int fd);
  // Appends to *sink instead of a file.
  void open_string(std::string* sink);
  // Whether the writer writes a file it opened itself with open().
  bool writes_file() const { return fd_ >= 0 && owns_fd_; }

  void put(std::string_view text) {
    if (text.size() > room()) {
      put_large(text);
      return;
    }
    std::memcpy(buf_.get() + len_, text.data(), text.size());
    len_ += text.size();
  }
  void put(char c) {
    if (room() == 0) flush();
    buf_[len_++] = c;
  }
  void put_integer(int64_t value);
  void put_real(float value) {
    if (room() < kMaxRealText) flush();
    len_ += real_text(value, buf_.get() + len_);
  }
  void put_double(double value) {
    if (room() < kMaxDoubleText) make_room(kMaxDoubleText);
    len_ += format_double(value, buf_.get() + len_);
  }

  // For text built in place: reserve(n) returns where the next n bytes go;
  // advance(k) then takes the first k <= n of them as written.
  char* reserve(size_t n) {
    if (room() < n) make_room(n);
    return buf_.get() + len_;
  }
  void advance(size_t k) { len_ += k; }
  // Writes what put_real(value) prints to out, which has room for
  // kMaxRealText bytes; returns the number of bytes.
  size_t real_text(float value, char* out);

  // Writes out the buffer. Returns false once any write has failed.
  bool flush();
  // Flushes and closes. Returns true when every write and the close itself
  // succeeded; error() then gives the errno value of the first failure.
  bool close();
  int error() const { return error_; }
  // Drops what is still buffered and closes, writing nothing more.
  void discard() {
    len_ = 0;
    close();
  }

 private:
  size_t room() const { return size_ - len_; }
  void put_large(std::string_view text);
  void make_room(size_t n);

  void resize_buffer(size_t size);

  // Texts of recently printed values from 0 up to 10, by their bits:
  // tables of tag scores repeat a few values (such as 1 - threshold for
  // unlisted pairs) many times over. No float has the bits of an empty slot.
  struct Recent {
    uint32_t bits = ~uint32_t{0};
    uint64_t text = 0;  // "d.dddddd"
  };
  static constexpr size_t kRecent = 16;
  Recent recent_[kRecent];

  size_t requested_;
  size_t size_;
  std::unique_ptr<char[]> buf_;
  size_t len_ = 0;
  int fd_ = -1;
  bool owns_fd_ = false;
  std::string* sink_ = nullptr;
  int error_ = 0;
};

}  // namespace textio

#endif  // TEXTIO_WRITER_H_
