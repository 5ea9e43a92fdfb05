// The steps of an ldprune run, in the order run() calls them.
//
// Each step works on the Preprocessor's tables; a step that meets input it
// cannot handle throws textio::Failure with exit status 1. Log lines go to
// p.log, warnings to p.diag.
#ifndef LDPRUNE_STEPS_H_
#define LDPRUNE_STEPS_H_

#include <string>

#include "ldprune/preprocessor.h"

namespace ldprune {

// Opens the six inputs, then creates or empties the three outputs (inputs.cc).
void open_files(Preprocessor& p);
// Reads the SNP list, positions and MAFs, thresholds, done and undesirable
// lists, and writes the two count lines of the run log (inputs.cc).
void read_inputs(Preprocessor& p);
// Builds the r2 table of tag scores from ld.txt (r2_table.cc).
void build_r2_table(Preprocessor& p);
// Counts each undesirable SNP's desirable taggers and marks the untagged ones
// to be dropped (screening.cc).
void screen_undesirable(Preprocessor& p);
// Builds the new table and new_r2 table without the dropped SNPs (new_table.cc).
void build_new_table(Preprocessor& p);
// Finds the tagged undesirable SNPs in the new table and zeroes their rows,
// so they tag nothing (screening.cc).
void locate_and_silence(Preprocessor& p);
// Lists the needed SNPs: the done SNPs, then greedy picks until every tagged
// undesirable SNP is tagged by one (needed.cc).
void select_needed(Preprocessor& p);
// Makes each needed SNP tagged by itself only (needed.cc).
void force_needed(Preprocessor& p);
// Writes the matrix dumps, ld_processed.txt and maf_processed.txt and closes
// all outputs. Returns 0, or 255 when an output could not be written
// (outputs.cc).
int write_outputs(Preprocessor& p);

// A number as a single-precision field holds it, for messages: "1.00000024"
// for 1.0000002, "0" for 1e-50 (inputs.cc).
std::string as_read(float value);

// Runs every step after open_files() and reports a failure; returns the exit
// status (run.cc).
int run_steps(Preprocessor& p);
// The whole run in the working directory; returns the exit status (run.cc).
int run();

}  // namespace ldprune

#endif  // LDPRUNE_STEPS_H_
