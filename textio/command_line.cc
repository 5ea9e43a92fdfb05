#include "textio/command_line.h"

#include <cstdio>
#include <cstring>

namespace textio {

const char* const kVersion = LDTAG_VERSION;

int print_usage(const char* usage) {
  std::fputs(usage, stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

int print_version(const char* program) {
  std::printf("%s %s\n", program, kVersion);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

int usage_error(const char* program, const std::string& message) {
  std::fprintf(stderr, "%s: %s; try '%s --help'\n", program, message.c_str(), program);
  return kExitUsage;
}

int standard_arguments(int argc, char** argv, const char* program, const char* usage) {
  if (argc <= 1) return kRun;
  bool help = std::strcmp(argv[1], "--help") == 0;
  bool version = std::strcmp(argv[1], "--version") == 0;
  if (argc == 2 && help) return print_usage(usage);
  if (argc == 2 && version) return print_version(program);
  const char* bad = help || version ? argv[2] : argv[1];
  return usage_error(program, std::string(bad[0] == '-' && !help && !version ? "unknown option '" : "unexpected argument '") +
                                  bad + "'");
}

}  // namespace textio
