#include "ldprune/steps.h"
#include "textio/command_line.h"

namespace {

const char kUsage[] =
    "Usage: ldprune [--help | --version]\n"
    "\n"
    "Prepares the input tables of the clustering program for one region.\n"
    "Reads, in the current directory: SNP_names.data, ld.txt, maf.txt,\n"
    "weight.txt, done.txt and undesirable.txt.\n"
    "Writes there: ld_processed.txt (tag scores of every ordered pair of kept\n"
    "SNPs), maf_processed.txt (position and MAF of each kept SNP) and the run\n"
    "log ld_processed_temp.txt. Errors and warnings go to standard error.\n"
    "\n"
    "Exit status: 0 on success; 1 when an input cannot be read or breaks a\n"
    "limit; 2 for a wrong argument; 255 when an output cannot be written.\n"
    "See ldprune(1).\n";

}  // namespace

int main(int argc, char** argv) {
  int status = textio::standard_arguments(argc, argv, "ldprune", kUsage);
  if (status != textio::kRun) return status;
  return ldprune::run();
}
