#include "ldprune/steps.h"

int main() { return ldprune::run(); }
