// The command line every program shares.
//
// Each program prints a short usage text for "--help" and its name and the
// project's version for "--version", and rejects any other argument it does
// not know with a one-line usage error and exit status 2, before it touches
// any file. Programs that take no arguments call standard_arguments() and
// run only when it returns kRun.
#ifndef TEXTIO_COMMAND_LINE_H_
#define TEXTIO_COMMAND_LINE_H_

#include <functional>
#include <string>
#include <vector>

namespace textio {

// The project's version, as the build defines it.
extern const char* const kVersion;

// Exit status of a usage error.
constexpr int kExitUsage = 2;
// What standard_arguments() returns when the program should run.
constexpr int kRun = -1;

// For a program that takes no arguments: returns kRun for none, else
// handles "--help" or "--version" (exit status 0) or reports a usage error
// (exit status 2), and returns the exit status.
int standard_arguments(int argc, char** argv, const char* program, const char* usage);

// For a program whose options take a value, given as "--name value" or
// "--name=value", but for the `flags`, which take none: handles "--help"
// and "--version" alone, then calls take(name, value) for each option in
// order (take(name, "") for a flag). An argument that is not one of `names`
// or `flags`, an option of `names` without a value, or a flag with one is a
// usage error; so is the message take() returns when it is not empty.
// Returns kRun, or the exit status.
int parse_options(int argc, char** argv, const char* program, const char* usage, const std::vector<std::string>& names,
                  const std::function<std::string(const std::string& name, const std::string& value)>& take,
                  const std::vector<std::string>& flags = {});

// Prints `usage` to standard output; returns 0.
int print_usage(const char* usage);
// Prints "<program> <version>" to standard output; returns 0.
int print_version(const char* program);
// Prints "<program>: <message>; try '<program> --help'" to standard error;
// returns 2.
int usage_error(const char* program, const std::string& message);

}  // namespace textio

#endif  // TEXTIO_COMMAND_LINE_H_
