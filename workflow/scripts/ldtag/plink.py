"""PLINK 1.9, run so that its outputs appear only when they are whole.

PLINK writes under PREFIX.partial; when it succeeds, each output is renamed
to PREFIX.<extension> and its log is added to the rule's log. An output
PLINK may leave out (a table of LD pairs when there are none, or a list of
the SNPs that pass a filter when the filters remove every SNP, which PLINK
reports as an error) is then an empty file. When PLINK fails otherwise, its
error lines are shown and the partial files go.
"""
import glob
import os
import subprocess
import sys

# How PLINK says that its filters removed every SNP.
NONE_LEFT = ("Error: All variants removed", "Error: All variants excluded", "Error: No variants remaining")


class Failed(Exception):
    """PLINK failed; the message names the files and shows its errors."""


def _remove(prefix):
    for path in glob.glob(glob.escape(prefix) + ".*"):
        os.remove(path)


def _error_lines(text):
    lines = text.splitlines()
    shown = []
    for k, line in enumerate(lines):
        if line.startswith("Error"):
            shown += lines[k : k + 4]
    return shown or lines[-5:]


def run(command, prefix, outputs, arguments, log, optional=()):
    """Runs `command` ARGUMENTS --out PREFIX.partial and renames each of
    `outputs` (extensions) into place; each of `optional` that PLINK leaves
    out becomes empty. PLINK's log is appended to `log`. Raises Failed."""
    partial = prefix + ".partial"
    status = subprocess.run(
        [command, *map(str, arguments), "--out", partial], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL
    ).returncode
    text = ""
    if os.path.exists(partial + ".log"):
        with open(partial + ".log", errors="replace") as f:
            text = f.read()
    with open(log, "a") as f:
        f.write(text)
    if status != 0 and optional and any(line.startswith(NONE_LEFT) for line in text.splitlines()):
        _remove(partial)
        status = 0
    if status < 0:
        _remove(partial)
        raise Failed("ldtag: PLINK was stopped by signal %d writing %s (an interrupt, or a kill)" % (-status, prefix))
    if status != 0:
        _remove(partial)
        raise Failed(
            "ldtag: PLINK failed with exit status %d writing %s.{%s}; from its log (%s):\n%s"
            % (status, prefix, ",".join(outputs), log, "\n".join("  " + line for line in _error_lines(text)))
        )
    for ext in outputs:
        if ext in optional and not os.path.exists(partial + "." + ext):
            open(partial + "." + ext, "w").close()
        os.replace(partial + "." + ext, prefix + "." + ext)
    _remove(partial)


def main(run_plink):
    """Runs an entry script's PLINK step, turning a failure into its message
    and exit status 1."""
    try:
        run_plink()
    except Failed as e:
        sys.exit(str(e))
