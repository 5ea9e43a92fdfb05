"""When a SNP tags another, as the programs decide it, and the MAF classes
every coverage table uses.

ldprep writes PLINK's r² with six decimals; ldprune reads it and the SNP's
threshold in single precision and gives the pair the score
1 - (threshold - r²), computed in double precision and rounded once to single;
the pair tags when the score reaches 1.0. reaches_threshold() follows those
steps exactly, so that a table the workflow writes never disagrees with the
programs' choice.
"""
import struct

MAF_CLASSES = ("all", "<0.05", "0.05-0.2", ">=0.2")


def maf_class(maf):
    return "<0.05" if maf < 0.05 else "0.05-0.2" if maf < 0.2 else ">=0.2"


def single(x):
    """x rounded to single precision."""
    return struct.unpack("f", struct.pack("f", x))[0]


def reaches_threshold(r2, threshold):
    """Whether PLINK's r² of a pair tags a SNP of the given threshold."""
    return single(1.0 - (single(threshold) - single(float("%f" % r2)))) >= 1.0
