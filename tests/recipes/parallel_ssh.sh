#!/usr/bin/env bash
# Runs the README's GNU parallel line, as the README prints it with only its paths and its
# machines changed, over SSH to an sshd of the check's own on a loopback port, with the
# --joblog and --resume-failed that the README adds. One artist's folder holds a damaged
# song: its run fails and the others make their previews; once the song is mended, the same
# line redoes that folder alone.
# Usage: parallel_ssh.sh <folder of lumbrisk-cli> <README.md>. Exits 77 (skipped) when the
# sshd cannot start.
set -u
bin=$1
readme=$2
source "$(dirname "$0")/common.sh"

for tool in /usr/sbin/sshd ssh ssh-keygen parallel sox ss; do
  command -v "$tool" > /dev/null || skip "$tool is not installed (scripts/install-deps.sh installs it)"
done
[[ $(id -u) -eq 0 ]] || skip "the sshd of this check runs as root"

work=$(mktemp -d)
sshd_pid=""
finish() {
  local status=$?
  [[ -n $sshd_pid ]] && kill "$sshd_pid" && wait "$sshd_pid"
  rm -rf "$work"
  exit $status
}
trap finish EXIT

# sshd will not start without the empty folder it confines its unprivileged part to; a
# machine that never ran the system's sshd lacks it. It stays, as the system's sshd leaves
# it, so that a check running beside this one keeps it.
[[ -d /run/sshd ]] || mkdir -m 755 /run/sshd || skip "/run/sshd could not be made"
port=$(free_port)
ssh-keygen -q -t ed25519 -N '' -f "$work/host_key"
ssh-keygen -q -t ed25519 -N '' -f "$work/client_key"
cp "$work/client_key.pub" "$work/authorized_keys"
echo "[127.0.0.1]:$port $(cut -d' ' -f1,2 "$work/host_key.pub")" > "$work/known_hosts"
# lumbrisk-cli lies on the node's PATH and nowhere on this side's, so a run that the node
# did not make would fail.
cat > "$work/sshd_config" << EOF
ListenAddress 127.0.0.1:$port
HostKey $work/host_key
PidFile $work/sshd.pid
AuthorizedKeysFile $work/authorized_keys
StrictModes no
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
SetEnv PATH=$bin:/usr/bin:/bin
EOF
cat > "$work/ssh_config" << EOF
Host node1
  HostName 127.0.0.1
  Port $port
  User root
  IdentityFile $work/client_key
  IdentitiesOnly yes
  UserKnownHostsFile $work/known_hosts
  StrictHostKeyChecking yes
  BatchMode yes
EOF
/usr/sbin/sshd -D -e -f "$work/sshd_config" 2> "$work/sshd.log" &
sshd_pid=$!
export PARALLEL_SSH="ssh -F $work/ssh_config"
wait_for 10 $PARALLEL_SSH node1 true || skip "sshd did not start: $(tail -n 3 "$work/sshd.log")"

make_catalogue
block=$(readme_block '^parallel ')
must_hold "$block" 'parallel --will-cite '
must_hold "$block" '--sshlogin 1/node1,1/node2,1/: '
must_hold "$block" '/srv/music '
must_hold "$block" '/srv/previews/'
cd "$work" || exit 1
line=$(sed -e "s|/srv/music|$work/music|" -e "s|/srv/previews/|$work/previews/|" \
  -e 's|--sshlogin 1/node1,1/node2,1/: |--sshlogin 1/node1 |' \
  -e 's|parallel --will-cite |parallel --will-cite --joblog runs.log --resume-failed |' <<< "$block")

status=0
bash -c "$line" > first.out 2>&1
first=$?
[[ $first -eq 1 ]] || { echo "the first run ended with $first, expected 1 (one folder failed)"; status=1; }
check_previews || status=1
grep -q 'Damaged.mp3: it holds no audio' first.out \
  || { echo "the first run did not say why the damaged song has no preview:"; cat first.out; status=1; }
# runs.log: a heading, then one row a run: ... Exitval (7th) ... Command (9th), tab-separated.
failed=$(awk -F'\t' 'NR > 1 && $7 != 0 { print $9 }' runs.log)
[[ $(wc -l < runs.log) -eq 5 && $failed == *"/music/Artist C'" ]] \
  || { echo "runs.log does not hold four runs, that of Artist C failed:"; cat runs.log; status=1; }

# Mended, and the other folders' previews marked so that a run that made them again shows.
song "$work/music/Artist C/Demos/Damaged.mp3" 880
cat damaged.txt >> songs.txt
: > damaged.txt
find "$work/previews" -type f -exec touch -d 2001-01-01 {} +
bash -c "$line" > second.out 2>&1 || { echo "the second run failed:"; cat second.out; status=1; }
check_previews || status=1
redone=$(tail -n +6 runs.log | cut -f9)
[[ $redone == *"/music/Artist C'" && $(wc -l <<< "$redone") -eq 1 ]] \
  || { echo "the second run did not redo Artist C alone:"; cat runs.log; status=1; }
newer=$(find "$work/previews" -type f -newermt '2001-01-02' ! -path '*/Artist C/*')
[[ -z $newer ]] || { echo "the second run made again: $newer"; status=1; }
grep -q 'Accepted publickey' "$work/sshd.log" || { echo "no run went through the sshd"; status=1; }
exit $status
