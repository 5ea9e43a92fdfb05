#!/usr/bin/env bash
# Snakemake's cluster-status command for SLURM: prints running, success or
# failed for a job id that sbatch --parsable gave.
#
# The job's state comes from sacct where SLURM keeps accounts, and else from
# scontrol show job, which knows jobs until MinJobAge seconds after their
# end. A job that ended as TIMEOUT, OUT_OF_MEMORY, CANCELLED, NODE_FAIL,
# PREEMPTED, FAILED, BOOT_FAIL or DEADLINE failed, and its name (which holds
# the region), its state and scontrol's reason go to standard error, which
# Snakemake shows next to the failed job's rule and region. A job SLURM no
# longer knows at all counts as failed; one that cannot be asked about now
# (the controller does not answer) counts as running, and is asked about
# again.
jobid=${1%%;*}  # sbatch --parsable may add ";cluster"

state= name= reason=
if command -v sacct > /dev/null; then
  IFS='|' read -r state name < <(sacct -j "$jobid" -X -n -P -o State,JobName 2> /dev/null | head -n 1)
  state=${state%% *}  # "CANCELLED by 1000"
fi
if [ -z "$state" ]; then
  info=$(scontrol -o show job "$jobid" 2>&1)
  status=$?
  if [ $status -ne 0 ]; then
    case $info in
      *"Invalid job id"*) state=UNKNOWN reason="SLURM does not know the job" ;;
      *) echo running; exit 0 ;;  # the controller does not answer now
    esac
  else
    state=$(sed -n 's/.* JobState=\([A-Z_]*\).*/\1/p' <<< "$info")
    name=$(sed -n 's/.* JobName=\([^ ]*\).*/\1/p' <<< "$info")
    reason=$(sed -n 's/.* Reason=\([^ ]*\).*/\1/p' <<< "$info")
    [ "$reason" = None ] && reason=
  fi
fi

case $state in
  COMPLETED) echo success ;;
  PENDING | CONFIGURING | RUNNING | COMPLETING | SUSPENDED | REQUEUED | REQUEUE_HOLD | REQUEUE_FED | \
    RESIZING | SIGNALING | STAGE_OUT | SPECIAL_EXIT | STOPPED | "") echo running ;;
  *)
    echo "ldtag: SLURM job $jobid${name:+ ($name)} ended $state${reason:+ ($reason)}" >&2
    echo failed ;;
esac
