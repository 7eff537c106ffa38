#!/usr/bin/env bash
# A single-node Slurm cluster for the farm tests and benchmark: munged, slurmctld and slurmd
# from Debian's slurm-wlm and munge, with a minimal slurm.conf, all kept in one folder of the
# build tree (its own munge key and socket, ports and state), so it touches no system-wide
# Slurm or munge set-up. Needs root (slurmd starts jobs as their users).
#
#   scripts/slurm_cluster.sh start [DIR]   start it (DIR default build/slurm); waits until the
#                                          node takes jobs; prints the SLURM_CONF to export
#   scripts/slurm_cluster.sh stop [DIR]    stop the daemons it started (by their pid files)
#   scripts/slurm_cluster.sh status [DIR]  exit 0 when the node takes jobs
#   scripts/slurm_cluster.sh try-start [DIR]  start, but exit 0 when it cannot (the test set-up:
#                                          the farm tests then skip, saying why)
#
# When the cluster cannot start, DIR/unavailable says why (the tests print it when they skip)
# and start exits 1. Ports: KV_SLURM_PORT (default 16817) and the one after it.
set -uo pipefail
cd "$(dirname "$0")/.."
ACTION=${1:-}
DIR=${2:-build/slurm}
mkdir -p "$DIR"
DIR=$(cd "$DIR" && pwd)
PORT=${KV_SLURM_PORT:-16817}
CONF=$DIR/slurm.conf
export SLURM_CONF=$CONF

unavailable() {
  echo "$*" >"$DIR/unavailable"
  echo "slurm_cluster: $*" >&2
  exit 1
}

stop_pid() {  # stop_pid FILE: ends the daemon whose id the file holds, and waits for it
  local f=$1 pid
  [ -f "$f" ] || return 0
  pid=$(cat "$f" 2>/dev/null)
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    kill "$pid" 2>/dev/null
    for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$pid" 2>/dev/null && kill -9 "$pid" 2>/dev/null
  fi
  rm -f "$f"
}

daemon_alive() {  # daemon_alive PIDFILE
  [ -f "$1" ] && kill -0 "$(cat "$1" 2>/dev/null)" 2>/dev/null
}

node_ready() {
  local state
  # Without a controller sinfo would retry for a minute.
  daemon_alive "$DIR/slurmctld.pid" || return 1
  state=$(timeout 10 sinfo -h -N -o '%T' 2>/dev/null | head -1)
  case "$state" in idle*|mixed*|allocated*) return 0 ;; *) return 1 ;; esac
}

case "$ACTION" in
  try-start)
    "$0" start "$DIR" || echo "slurm_cluster: the farm tests will skip: $(cat "$DIR/unavailable" 2>/dev/null)"
    exit 0
    ;;
  start)
    rm -f "$DIR/unavailable"
    [ "$(id -u)" -eq 0 ] || unavailable "not root: slurmd must start jobs as their users"
    for p in munged slurmctld slurmd sbatch squeue sinfo scontrol; do
      command -v "$p" >/dev/null 2>&1 || [ -x "/usr/sbin/$p" ] ||
        unavailable "$p is missing (Debian packages slurm-wlm and munge)"
    done
    PATH=$PATH:/usr/sbin
    if node_ready; then echo "export SLURM_CONF=$CONF"; exit 0; fi
    "$0" stop "$DIR" >/dev/null 2>&1
    HOST=$(hostname -s)
    mkdir -p "$DIR/munge" "$DIR/state" "$DIR/spool" "$DIR/log"
    chmod 711 "$DIR/munge"
    [ -s "$DIR/munge/munge.key" ] || dd if=/dev/urandom of="$DIR/munge/munge.key" bs=1024 count=1 2>/dev/null
    chmod 400 "$DIR/munge/munge.key"
    cat >"$CONF" <<CONF
# Written by scripts/slurm_cluster.sh: one node, this machine, for the farm tests.
ClusterName=kinevista
SlurmctldHost=$HOST(127.0.0.1)
SlurmUser=root
SlurmdUser=root
SlurmctldPort=$PORT
SlurmdPort=$((PORT + 1))
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$DIR/munge/munge.socket
StateSaveLocation=$DIR/state
SlurmdSpoolDir=$DIR/spool
SlurmctldPidFile=$DIR/slurmctld.pid
SlurmdPidFile=$DIR/slurmd.pid
SlurmctldLogFile=$DIR/log/slurmctld.log
SlurmdLogFile=$DIR/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
SchedulerType=sched/builtin
# Start the next task as soon as one ends (the defaults wait about three seconds).
SchedulerParameters=sched_min_interval=0,batch_sched_delay=0
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
MpiDefault=none
SwitchType=switch/none
ReturnToService=2
MinJobAge=600
SlurmdTimeout=60
InactiveLimit=0
KillWait=5
NodeName=$HOST NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=kv Nodes=$HOST Default=YES MaxTime=INFINITE State=UP OverSubscribe=NO
CONF
    munged --force --socket="$DIR/munge/munge.socket" --key-file="$DIR/munge/munge.key" \
           --pid-file="$DIR/munge/munged.pid" --log-file="$DIR/log/munged.log" \
           --seed-file="$DIR/munge/munge.seed" ||
      unavailable "munged did not start (see $DIR/log/munged.log)"
    slurmctld -f "$CONF" -i ||
      unavailable "slurmctld did not start (see $DIR/log/slurmctld.log)"
    slurmd -f "$CONF" ||
      unavailable "slurmd did not start (see $DIR/log/slurmd.log)"
    for _ in $(seq 1 120); do
      if node_ready; then echo "export SLURM_CONF=$CONF"; exit 0; fi
      scontrol update NodeName="$HOST" State=RESUME >/dev/null 2>&1
      sleep 0.5
    done
    tail -5 "$DIR/log/slurmctld.log" "$DIR/log/slurmd.log" >&2 2>/dev/null
    "$0" stop "$DIR" >/dev/null 2>&1
    unavailable "the node did not become ready within a minute (logs in $DIR/log)"
    ;;
  stop)
    stop_pid "$DIR/slurmd.pid"
    stop_pid "$DIR/slurmctld.pid"
    stop_pid "$DIR/munge/munged.pid"
    ;;
  status)
    node_ready
    ;;
  *)
    echo "usage: $0 start|stop|status [DIR]" >&2
    exit 2
    ;;
esac
