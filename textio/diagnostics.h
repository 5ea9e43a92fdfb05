// Errors and warnings of a command-line program, on standard error.
//
// A step that meets input it cannot handle throws Failure; the entry routine
// prints "<program>: <message>" and exits with its status. Warnings are
// printed as they come, "<program>: <message>"; of each kind only the first
// kShown are printed, and finish() then prints one line per kind with the
// number left out, so a bad file gives a screenful, not a flood.
#ifndef TEXTIO_DIAGNOSTICS_H_
#define TEXTIO_DIAGNOSTICS_H_

#include <map>
#include <string>

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

  // A warning of the given kind. `more` names the kind in the summary line,
  // as in "... and 12 more <more>".
  void warn(const std::string& kind, const std::string& message, const std::string& more);
  // Prints an error line.
  void error(const std::string& message) { print(message); }
  // Prints the summary lines of warnings left out.
  void finish();
  // Number of warnings given so far, printed or not.
  int warnings() const { return warnings_; }

 private:
  void print(const std::string& message);

  struct Kind {
    int count = 0;
    std::string more;
  };
  std::string program_;
  std::string* capture_;
  std::map<std::string, Kind> kinds_;
  int warnings_ = 0;
};

// "strerror(err)" for messages.
std::string describe_errno(int err);

}  // namespace textio

#endif  // TEXTIO_DIAGNOSTICS_H_
