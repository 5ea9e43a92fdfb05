"""The programs' limits, as the workflow must respect them.

They are the C++ programs' own (common/limits.h);
tests/workflow/test_scripts.py checks that the two agree, and the config
schema's max_snps bounds with them.
"""

MAX_SNPS = 2000  # SNPs in one region, as ldprune stores them
MAX_NAME = 29  # characters of a SNP name, as ldprune stores it
