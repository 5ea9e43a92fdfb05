#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/limits.h"
#include "ldcluster/clusterer.h"
#include "textio/command_line.h"

namespace {

const char kUsage[] =
    "Usage: ldcluster [--method NAME[,NAME...]] [--time-limit SECONDS]\n"
    "                 [--chromosome LABEL] [--populations NAME[,NAME...]]\n"
    "                 [--needed FILE] [--curve] [--max-tags K]\n"
    "                 [--budget-method NAME[,NAME]] [--tagging-pairs FILE]\n"
    "                 [--scores FILE]\n"
    "       ldcluster --help | --version\n"
    "\n"
    "Chooses tag SNPs from ldprune's processed tables. Reads ld_processed.txt and\n"
    "maf_processed.txt in the current directory and writes, per method, its\n"
    "member list and cluster summary there:\n"
    "  Zentavor.result.Greedy.members.txt   and .out   greedy cover\n"
    "  Zentavor.result.Minimax.members.txt  and .out   minimax linkage\n"
    "  Zentavor.result.Minimum.members.txt  and .out   the fewest tags (exact)\n"
    "\n"
    "  --method NAME       greedy, minimax or minimum; may be repeated or given\n"
    "                      as a list (default: all three); none for none of them\n"
    "  --time-limit S      seconds the Minimum solver may take (default 10); when\n"
    "                      it stops the solver, the best cover found is written\n"
    "                      with a warning; budget_maximum's solver gets as long\n"
    "  --chromosome LABEL  written in the member lists (default NA)\n"
    "  --populations LIST  one set of tags for several populations: each NAME is a\n"
    "                      folder with that population's processed tables, where\n"
    "                      its result files are written\n"
    "\n"
    "For an array with a fixed number of slots (the needed SNPs count first):\n"
    "  --needed FILE       the needed SNPs, a name per record, in FILE in each\n"
    "                      table's folder; tags in every result below\n"
    "  --curve             the greedy coverage order: coverage_order.tsv here,\n"
    "                      capture_rank.tsv in each table's folder\n"
    "  --max-tags K        the K tags that capture the most SNPs (in every\n"
    "                      population): budget_greedy.tsv (the first K of the\n"
    "                      order) and budget_maximum.tsv (exact, by CBC) in each\n"
    "                      table's folder, budget_summary.tsv here\n"
    "  --budget-method M   greedy or maximum, or both as a list (default)\n"
    "  --tagging-pairs F   also write the pairs that tag (score at least 1.0) in F\n"
    "                      in each table's folder, for a later run to read\n"
    "  --scores F          read the scores from F in each table's folder instead\n"
    "                      of ld_processed.txt; a pair it does not list scores 0\n"
    "                      (with --method none only)\n"
    "\n"
    "Exit status: 0 on success; 1 when an input cannot be read or is wrong;\n"
    "2 for wrong arguments; 255 when an output cannot be written.\n"
    "See ldcluster(1).\n";

using ldcluster::kProgram;

// Adds the methods of a comma-separated list; false for an unknown name.
// "none" adds none.
bool add_methods(const std::string& list, bool* methods, std::string* bad) {
  size_t start = 0;
  for (;;) {
    size_t comma = list.find(',', start);
    std::string name = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    int found = strcasecmp(name.c_str(), "none") == 0 ? ldcluster::kMethods : -1;
    for (int m = 0; m < ldcluster::kMethods; ++m) {
      if (strcasecmp(name.c_str(), ldcluster::kMethodNames[m]) == 0) found = m;
    }
    if (found < 0) {
      *bad = name;
      return false;
    }
    if (found < ldcluster::kMethods) methods[found] = true;
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

// Takes one option's value into *o and *chosen; returns "" or the message
// of a usage error.
std::string take(const std::string& name, const std::string& value, ldcluster::Options* o, bool* chosen,
                 bool* any_method) {
  if (name == "--method") {
    std::string bad;
    if (!add_methods(value, chosen, &bad)) {
      return "unknown method '" + bad + "' (the methods are greedy, minimax and minimum)";
    }
    *any_method = true;
  } else if (name == "--time-limit") {
    char* end = nullptr;
    double seconds = std::strtod(value.c_str(), &end);
    if (*end != '\0' || !std::isfinite(seconds) || seconds <= 0) {
      return "--time-limit '" + value + "' is not a number of seconds above 0";
    }
    o->time_limit = seconds;
  } else if (name == "--populations") {
    o->populations.clear();
    for (size_t start = 0;;) {
      size_t comma = value.find(',', start);
      std::string population = value.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
      if (population.empty() || population == "." || population == ".." || population.find('/') != std::string::npos) {
        return "--populations: '" + population + "' is not the name of a folder here";
      }
      for (const std::string& earlier : o->populations) {
        if (earlier == population) return "--populations: " + population + " is given twice";
      }
      o->populations.push_back(population);
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
  } else if (name != "--chromosome") {
    return ldcluster::take_coverage_option(name, value, &o->coverage);
  } else {
    if (value.find_first_of(" \t\n\r\v\f") != std::string::npos || value.size() > common::kMaxJoinerText) {
      return "--chromosome '" + value + "' must be one word of at most " + std::to_string(common::kMaxJoinerText) +
             " characters";
    }
    o->chromosome = value;
  }
  return "";
}

// Parses the options into *o; returns kRun, or the exit status.
int parse(int argc, char** argv, ldcluster::Options* o) {
  bool chosen[ldcluster::kMethods] = {};
  bool any_method = false;
  std::vector<std::string> names = {"--method", "--time-limit", "--chromosome", "--populations"};
  names.insert(names.end(), ldcluster::kCoverageOptions.begin(), ldcluster::kCoverageOptions.end());
  int status = textio::parse_options(
      argc, argv, kProgram, kUsage, names,
      [&](const std::string& name, const std::string& value) { return take(name, value, o, chosen, &any_method); },
      ldcluster::kCoverageFlags);
  if (status != textio::kRun) return status;
  if (any_method) std::memcpy(o->methods, chosen, sizeof chosen);
  bool methods = false;
  for (bool m : o->methods) methods = methods || m;
  if (std::string problem = ldcluster::check_coverage_options(o->coverage, methods); !problem.empty()) {
    return textio::usage_error(kProgram, problem);
  }
  return textio::kRun;
}

}  // namespace

int main(int argc, char** argv) {
  ldcluster::Clusterer c;
  int status = parse(argc, argv, &c.options);
  if (status != textio::kRun) return status;
  if (c.options.populations.empty()) {
    c.add_table("");
  } else {
    for (const std::string& population : c.options.populations) c.add_table(population);
  }
  return ldcluster::run(c);
}
