#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "common/limits.h"
#include "ldprep/converter.h"
#include "textio/command_line.h"

namespace {

const std::string kUsage =
    "Usage: ldprep --bim FILE --freq FILE --ld FILE [--threshold T]\n"
    "              [--thresholds FILE] [--done FILE] [--undesirable FILE]\n"
    "       ldprep --help | --version\n"
    "\n"
    "Writes the six ldprune inputs of one region into the current directory:\n"
    "SNP_names.data, ld.txt, maf.txt, weight.txt, done.txt and undesirable.txt.\n"
    "\n"
    "  --bim FILE          the region's SNPs, in order (PLINK .bim, one chromosome,\n"
    "                      at most " +
    std::to_string(common::kMaxSnps) +
    " SNPs)\n"
    "  --freq FILE         their allele frequencies (PLINK --freq, same order)\n"
    "  --ld FILE           the r² of every pair (PLINK --r2 square bin)\n"
    "  --threshold T       the r² another SNP must reach to tag a SNP, above 0\n"
    "                      and at most 1 (default 0.8)\n"
    "  --thresholds FILE   records of a SNP name and its own threshold\n"
    "  --done FILE         SNPs already chosen as tags, a name per record\n"
    "  --undesirable FILE  SNPs that must not serve as tags, a name per record\n"
    "\n"
    "The lists may name SNPs of the whole genome; those outside the region are\n"
    "skipped. A pair without an r² is written as 0 with a warning.\n"
    "\n"
    "Exit status: 0 on success; 1 when an input cannot be read or is wrong;\n"
    "2 for wrong arguments; 255 when an output cannot be written.\n"
    "See ldprep(1).\n";

constexpr const char* kProgram = "ldprep";

// Parses the options into *o; returns kRun, or the exit status.
int parse(int argc, char** argv, ldprep::Options* o) {
  const std::map<std::string, std::string*> options = {{"--bim", &o->bim},
                                                       {"--freq", &o->freq},
                                                       {"--ld", &o->ld},
                                                       {"--threshold", &o->threshold},
                                                       {"--thresholds", &o->thresholds},
                                                       {"--done", &o->done},
                                                       {"--undesirable", &o->undesirable}};
  std::vector<std::string> names;
  for (const auto& option : options) names.push_back(option.first);
  int status = textio::parse_options(argc, argv, kProgram, kUsage.c_str(), names,
                                     [&](const std::string& name, const std::string& value) {
                                       *options.at(name) = value;
                                       return std::string();
                                     });
  if (status != textio::kRun) return status;
  for (const char* required : {"--bim", "--freq", "--ld"}) {
    if (options.at(required)->empty()) {
      return textio::usage_error(kProgram, std::string("missing option '") + required + "'");
    }
  }
  if (!ldprep::is_threshold(o->threshold)) {
    return textio::usage_error(kProgram, "--threshold '" + o->threshold + "' is not a number above 0 and at most 1");
  }
  return textio::kRun;
}

}  // namespace

int main(int argc, char** argv) {
  ldprep::Converter c;
  int status = parse(argc, argv, &c.options);
  if (status != textio::kRun) return status;
  return ldprep::run(c);
}
