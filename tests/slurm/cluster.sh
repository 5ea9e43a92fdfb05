#!/usr/bin/env bash
# A one-node SLURM cluster on this machine, for the workflow's cluster tests.
#
#   tests/slurm/cluster.sh start DIR   # prints the SLURM_CONF to use; exit 0
#   tests/slurm/cluster.sh stop DIR
#
# start writes slurm.conf into DIR, starts munged, slurmctld and slurmd with
# their state, logs and pid files in DIR, and waits until sinfo shows the
# node idle. It needs root and Debian's slurm-wlm and munge; it exits 77,
# with the reason on standard error, when SLURM cannot start here. stop ends
# the daemons by their pid files.
set -uo pipefail
action=$1 dir=$(mkdir -p "$2" && cd "$2" && pwd)
conf=$dir/slurm.conf

cannot() {
  echo "SLURM cannot start here: $*" >&2
  exit 77
}

stop() {
  for daemon in slurmd slurmctld munged; do
    [ -f "$dir/$daemon.pid" ] && kill "$(cat "$dir/$daemon.pid")" 2> /dev/null
  done
  sleep 1
  for daemon in slurmd slurmctld munged; do
    [ -f "$dir/$daemon.pid" ] && kill -9 "$(cat "$dir/$daemon.pid")" 2> /dev/null
    rm -f "$dir/$daemon.pid"
  done
  return 0
}

case $action in
  stop) stop; exit 0 ;;
  start) ;;
  *) echo "usage: cluster.sh start|stop DIR" >&2; exit 2 ;;
esac

[ "$(id -u)" -eq 0 ] || cannot "the daemons need root, and this runs as $(id -un)"
for program in munged slurmctld slurmd sinfo sbatch scontrol; do
  command -v "$program" > /dev/null || cannot "$program is not installed (Debian packages slurm-wlm and munge)"
done

node=$(hostname -s)
cpus=$(nproc)
memory=$(awk '/MemTotal/ { print int($2 / 1024 * 0.8) }' /proc/meminfo)
mkdir -p "$dir/state" "$dir/spool" "$dir/munge"
cat > "$conf" <<CONF
# A one-node cluster for tests (tests/slurm/cluster.sh).
ClusterName=ldtag-test
SlurmctldHost=$node
SlurmUser=root
SlurmctldPort=6817
SlurmdPort=6818
AuthType=auth/munge
AuthInfo=socket=$dir/munge/munge.socket
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/slurmctld.log
SlurmdLogFile=$dir/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core_Memory
SchedulerType=sched/backfill
AccountingStorageType=accounting_storage/none
JobAcctGatherType=jobacct_gather/none
JobCompType=jobcomp/none
MinJobAge=600
ReturnToService=2
SlurmctldTimeout=30
SlurmdTimeout=30
NodeName=$node CPUs=$cpus RealMemory=$memory State=UNKNOWN
PartitionName=debug Nodes=ALL Default=YES MaxTime=INFINITE State=UP
CONF

stop
munged --force --socket="$dir/munge/munge.socket" --pid-file="$dir/munged.pid" --key-file=/etc/munge/munge.key \
  --log-file="$dir/munged.log" --seed-file="$dir/munge/seed" 2> "$dir/munged.err" ||
  cannot "munged does not start: $(cat "$dir/munged.err")"
SLURM_CONF=$conf slurmctld -f "$conf" 2> "$dir/slurmctld.err" || cannot "slurmctld does not start: $(tail -n 3 "$dir/slurmctld.err" "$dir/slurmctld.log" 2> /dev/null)"
SLURM_CONF=$conf slurmd -f "$conf" 2> "$dir/slurmd.err" || cannot "slurmd does not start: $(tail -n 3 "$dir/slurmd.err" "$dir/slurmd.log" 2> /dev/null)"
for _ in $(seq 1 60); do
  if [ "$(SLURM_CONF=$conf sinfo -h -o %t 2> /dev/null)" = idle ]; then
    echo "$conf"
    exit 0
  fi
  sleep 0.5
done
state=$(SLURM_CONF=$conf sinfo -h -o '%t %E' 2>&1)
stop
cannot "the node did not become idle within 30 s (sinfo: ${state:-nothing}; $(tail -n 2 "$dir/slurmctld.log" 2> /dev/null))"
