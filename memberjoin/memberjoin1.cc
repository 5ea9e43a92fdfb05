#include "memberjoin/joiner.h"

int main() { return memberjoin::run(memberjoin::kGreedy); }
