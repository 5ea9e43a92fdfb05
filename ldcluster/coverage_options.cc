// The command-line options of the coverage order and the budget.
#include <strings.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "ldcluster/budget.h"
#include "ldcluster/clusterer.h"

namespace ldcluster {

const std::vector<std::string> kCoverageOptions = {"--needed", "--max-tags", "--budget-method", "--scores",
                                                   "--tagging-pairs"};
const std::vector<std::string> kCoverageFlags = {"--curve"};

namespace {

// Selects the budget methods of a comma-separated list; false for an
// unknown name.
bool add_budget_methods(const std::string& list, bool* methods, std::string* bad) {
  static const char* const kNames[kBudgetMethods] = {"greedy", "maximum"};
  for (size_t start = 0;;) {
    const size_t comma = list.find(',', start);
    const std::string name = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    int found = -1;
    for (int m = 0; m < kBudgetMethods; ++m) {
      if (strcasecmp(name.c_str(), kNames[m]) == 0) found = m;
    }
    if (found < 0) {
      *bad = name;
      return false;
    }
    methods[found] = true;
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

}  // namespace

std::string take_coverage_option(const std::string& name, const std::string& value, CoverageOptions* o) {
  if (name == "--needed" || name == "--scores" || name == "--tagging-pairs") {
    if (value.empty() || value.find('/') != std::string::npos) return name + " '" + value + "' is not a file name";
    (name == "--needed" ? o->needed : name == "--scores" ? o->scores : o->tagging_pairs) = value;
  } else if (name == "--curve") {
    o->curve = true;
  } else if (name == "--max-tags") {
    errno = 0;
    const long k = std::strtol(value.c_str(), nullptr, 10);
    if (value.find_first_not_of("0123456789") != std::string::npos || errno != 0 || k < 0 || k > INT_MAX) {
      return "--max-tags '" + value + "' is not a whole number of tags";
    }
    o->max_tags = static_cast<int>(k);
  } else {
    // The first --budget-method replaces the default; more add to it.
    if (!o->budget_method_given) {
      for (bool& m : o->budget_methods) m = false;
    }
    o->budget_method_given = true;
    std::string bad;
    if (!add_budget_methods(value, o->budget_methods, &bad)) {
      return "unknown budget method '" + bad + "' (the budget methods are greedy and maximum)";
    }
  }
  return "";
}

std::string check_coverage_options(const CoverageOptions& o, bool methods) {
  if (!methods && !o.any()) return "--method none leaves nothing to do without --curve or --max-tags";
  if (o.budget_method_given && o.max_tags < 0) return "--budget-method needs --max-tags";
  if (!o.needed.empty() && !o.any()) return "--needed needs --curve or --max-tags";
  if (!o.tagging_pairs.empty() && !o.any()) return "--tagging-pairs needs --curve or --max-tags";
  if (!o.tagging_pairs.empty()) {
    // It is written in each table's folder, as the inputs and the other
    // outputs are: one of their names would be written over.
    std::vector<std::string> own = {kSnpFile,           kScoreFile, kOrderFile, kRankFile,
                                    kBudgetSummaryFile, o.needed,   o.scores};
    for (int m = 0; m < kBudgetMethods; ++m) own.push_back(budget_file(static_cast<BudgetMethod>(m)));
    for (int m = 0; m < kMethods; ++m) {
      own.push_back(members_file(static_cast<Method>(m)));
      own.push_back(summary_file(static_cast<Method>(m)));
    }
    for (const std::string& file : own) {
      if (!file.empty() && o.tagging_pairs == file) {
        return "--tagging-pairs '" + o.tagging_pairs +
               "' is a file ldcluster reads or writes itself: give another name";
      }
    }
  }
  if (!o.scores.empty() && methods) {
    return "--scores lists only the pairs that tag, which serves --curve and --max-tags alone: give --method none";
  }
  return "";
}

}  // namespace ldcluster
