#!/usr/bin/env bash
# A cluster scheduler for tests: "submits" a Snakemake job script by running
# it in the background on this machine, and prints a job id.
nohup bash "$1" > "$1.out" 2>&1 &
echo "local-$!"
