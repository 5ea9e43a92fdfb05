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
  return usage_error(
      program,
      std::string(bad[0] == '-' && !help && !version ? "unknown option '" : "unexpected argument '") + bad + "'");
}

int parse_options(int argc, char** argv, const char* program, const char* usage, const std::vector<std::string>& names,
                  const std::function<std::string(const std::string& name, const std::string& value)>& take,
                  const std::vector<std::string>& flags) {
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) return print_usage(usage);
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) return print_version(program);
  for (int k = 1; k < argc; ++k) {
    std::string arg = argv[k], value;
    bool has_value = false;
    if (size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg.resize(eq);
      has_value = true;
    }
    bool flag = false;
    for (const std::string& name : flags) flag = flag || arg == name;
    if (flag) {
      if (has_value) return usage_error(program, "option '" + arg + "' takes no value");
      if (std::string problem = take(arg, ""); !problem.empty()) return usage_error(program, problem);
      continue;
    }
    bool known = false;
    for (const std::string& name : names) known = known || arg == name;
    if (!known) {
      return usage_error(program, (arg.rfind("-", 0) == 0 ? "unknown option '" : "unexpected argument '") + arg + "'");
    }
    if (!has_value) {
      if (k + 1 == argc) return usage_error(program, "option '" + arg + "' needs a value");
      value = argv[++k];
    }
    if (value.empty()) return usage_error(program, "option '" + arg + "' needs a value");
    if (std::string problem = take(arg, value); !problem.empty()) return usage_error(program, problem);
  }
  return kRun;
}

}  // namespace textio
