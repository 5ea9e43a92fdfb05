"""The workflow's Python library: one module per concern.

The entry scripts beside this package (workflow/scripts/*.py, one per rule
that runs Python) are thin: they read their arguments and call a function
here. paths holds every file name pattern, files the generic readers and
writers, and the other modules one piece each (the config, the genotypes,
the populations, a region's chain, the results, the report).
"""
