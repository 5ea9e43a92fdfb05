#!/usr/bin/env bash
# A cluster scheduler for tests: "submits" a Snakemake job script by running
# it in the background on this machine, and prints a job id. When
# SUBMISSIONS names a file, each submission's properties line (the job, or
# the group of jobs, as Snakemake describes it) is appended to it.
if [ -n "${SUBMISSIONS:-}" ]; then
  sed -n 's/^# properties = //p' "$1" >> "$SUBMISSIONS"
fi
nohup bash "$1" > "$1.out" 2>&1 &
echo "local-$!"
