#!/usr/bin/env bash
# Runs the README's Slurm array script, as the README prints it with only its paths and its
# array size changed, on a one-node Slurm of the check's own (munged, slurmctld and slurmd on
# loopback ports, every file in a temporary folder), over four artists' folders one of which
# holds a damaged song. Every good song must get its preview, and every task must end as the
# README says: status 1 for the task that met the damaged song, 0 for the others.
# Usage: slurm_array.sh <folder of lumbrisk-cli> <README.md>. Exits 77 (skipped) when the
# daemons cannot start.
set -u
bin=$1
readme=$2
source "$(dirname "$0")/common.sh"

for tool in munged slurmctld slurmd sbatch squeue scontrol sinfo sox ss; do
  command -v "$tool" > /dev/null || skip "$tool is not installed (scripts/install-deps.sh installs it)"
done
[[ $(id -u) -eq 0 ]] || skip "the Slurm daemons of this check run as root"

work=$(mktemp -d)
pids=()
job=""
job_ended() { [[ -z $(squeue -h -j "$job") ]]; }
# A job left running is cancelled and every daemon stopped by its process id, however the
# check ends.
finish() {
  local status=$?
  [[ -n $job ]] && ! job_ended && scancel "$job" && wait_for 10 job_ended
  ((${#pids[@]})) && kill "${pids[@]}" 2> /dev/null
  wait
  rm -rf "$work"
  exit $status
}
trap finish EXIT

mkdir -m 700 "$work/munge"
mkdir "$work/state" "$work/spool"
head -c 1024 /dev/urandom > "$work/munge/key"
chmod 600 "$work/munge/key"
munged --foreground --force --key-file="$work/munge/key" --socket="$work/munge/socket" \
  --pid-file="$work/munge/pid" --log-file="$work/munge/log" --seed-file="$work/munge/seed" > "$work/daemons.log" 2>&1 &
pids+=($!)
wait_for 10 test -S "$work/munge/socket" || skip "munged did not start: $(tail -n 3 "$work/daemons.log")"

host=$(hostname -s)
export SLURM_CONF=$work/slurm.conf
# The node claims 24 CPUs, whatever it has, so that the script's three tasks of 8 run at once.
cat > "$SLURM_CONF" << EOF
ClusterName=lumbrisk
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$(free_port)
SlurmdPort=$(free_port)
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$work/munge/socket
SlurmUser=root
SlurmdUser=root
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
MpiDefault=none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
SlurmdParameters=config_overrides
ReturnToService=2
NodeName=$host NodeAddr=127.0.0.1 CPUs=24 State=UNKNOWN
PartitionName=local Nodes=$host Default=YES MaxTime=10 State=UP
EOF
slurmctld -D -i >> "$work/daemons.log" 2>&1 &
pids+=($!)
slurmd -D >> "$work/daemons.log" 2>&1 &
pids+=($!)
node_idle() { [[ $(sinfo -h -N -o %t) == idle ]]; }
wait_for 20 node_idle || skip "Slurm did not start: $(tail -n 5 "$work/daemons.log")"

make_catalogue
script=$(readme_block '^#SBATCH --array=')
parallel_block=$(readme_block '^find /srv/music ')
must_hold "$script" '--array=0-9'
must_hold "$script" '-v n=10 '
must_hold "$script" '/srv/previews/'
must_hold "$parallel_block" '> artists.txt'
cd "$work" || exit 1
# The artists' list as the README makes it, and the script over three tasks, here.
bash -c "$(grep '^find ' <<< "$parallel_block" | sed "s|/srv/music|$work/music|")" || exit 1
sed -e "s|/srv/previews/|$work/previews/|" -e 's|--array=0-9|--array=0-2|' -e 's|-v n=10 |-v n=3 |' \
  <<< "$script" > previews.sh
# lumbrisk-cli as the nodes have it on their PATH; the job takes the submitter's.
job=$(PATH="$bin:$PATH" sbatch --parsable previews.sh) || exit 1
if ! wait_for 60 job_ended; then
  echo "the job did not end within 60 seconds:"
  squeue -j "$job"
  exit 1
fi

status=0
check_previews || status=1
# Which task took the damaged artist follows from the order of artists.txt: line k goes to
# task (k - 1) % 3.
damaged_line=$(grep -nx "$work/music/Artist C" artists.txt | cut -d: -f1)
failing_task=$(((damaged_line - 1) % 3))
for task in 0 1 2; do
  record=$(scontrol -o show job "${job}_$task")
  state=$(grep -o 'JobState=[A-Z]*' <<< "$record")
  code=$(grep -o ' ExitCode=[0-9:]*' <<< "$record")
  expected="JobState=COMPLETED ExitCode=0:0"
  [[ $task -eq $failing_task ]] && expected="JobState=FAILED ExitCode=1:0"
  if [[ $state$code != "$expected" ]]; then
    echo "task $task ended as '$state$code', expected '$expected'"
    cat "slurm-${job}_$task.out"
    status=1
  fi
done
grep -q 'Damaged.mp3: it holds no audio' "slurm-${job}_$failing_task.out" \
  || { echo "task $failing_task did not say why the damaged song has no preview"; status=1; }
exit $status
