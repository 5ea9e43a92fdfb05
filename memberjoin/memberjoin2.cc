#include "memberjoin/joiner.h"

int main(int argc, char** argv) { return memberjoin::main(argc, argv, memberjoin::kMinimax); }
