// Errors and warnings of a command-line program, on standard error.
//
// A step that meets input it cannot handle throws Failure; the entry routine
// prints "<program>: <message>" and exits with its status. Warnings are
// printed as they come, "<program>: <message>"; of each kind only the first
// kShown are printed, and finish() then prints one line per kind with the
// number left out, so a bad file gives a screenful, not a flood.
#ifndef TEXTIO_DIAGNOSTICS_H_
#define TEXTIO_DIAGNOSTICS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "textio/token.h"

namespace textio {

// Exit statuses of all programs.
constexpr int kExitOk = 0;
constexpr int kExitInputError = 1;
constexpr int kExitWriteError = 255;

struct Failure {
  int status;
  std::string message;
};

class Diagnostics {
 public:
  static constexpr int kShown = 5;

  // Lines go to standard error, or are appended to *capture when given.
  explicit Diagnostics(std::string program, std::string* capture = nullptr)
      : program_(std::move(program)), capture_(capture) {}

  // The id of a kind of warning, registered on first use. `more` names the
  // warnings of this kind in the summary line, as in "... and 12 more <more>".
  int kind(const std::string& more);
  // Counts one warning of a kind; true when it is among the first kShown,
  // which are printed.
  bool note(int kind);
  // Counts `count` more warnings of a kind without printing them; for
  // warnings found elsewhere whose first ones were already passed to warn().
  void note_unshown(int kind, long count) { kinds_[kind].count += count; }
  // Counts a warning and prints make_message() if it is to be shown; the
  // message is only built when it is printed.
  template <class MakeMessage>
  void warn(int kind, MakeMessage&& make_message) {
    if (note(kind)) print(make_message());
  }
  // Prints "<program>: <message>".
  void print(const std::string& message);
  // Prints the summary lines of warnings left out, in order of kinds.
  void finish();

 private:
  struct Kind {
    std::string more;
    long count = 0;
  };
  std::string program_;
  std::string* capture_;
  std::vector<Kind> kinds_;
};

// "strerror(err)" for messages.
std::string describe_errno(int err);

// "<file>: record <n>: ", the start of a message about one record; records
// count from 1.
std::string at_record(const std::string& file, long record);

// Throws Failure with exit status 1.
[[noreturn]] void fail_input(const std::string& message);

// Fails unless a token to be stored fits `limit` bytes; `what` names it.
void check_length(const Token& token, size_t limit, const std::string& file, long record, const char* what);

// Fails unless an integer fits 32 signed bits; `what` names it.
void check_int32(int64_t value, const std::string& file, long record, const char* what);

class Reader;
class Writer;
// Opens an input, or fails with "cannot open <file>: <reason>".
void open_input(Reader& in, const std::string& file);
// Fails with "cannot read <file>: <reason>" after a read error.
void check_read(const Reader& in, const std::string& file);

}  // namespace textio

#endif  // TEXTIO_DIAGNOSTICS_H_
