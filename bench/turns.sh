# Sourced by the benchmark scripts that time several ways of making the same $files
# previews. A way is a function run_<way> that writes them into the folder it is given.
# The ways take turns, in a different order each round, so that load from elsewhere on the
# machine falls on all of them.

# Runs one way into the empty folder $work/<way>, where its previews stay until its next
# turn; prints its time in seconds.
timed() {
  local out="$work/$1" made begin end
  rm -rf "$out"
  mkdir -p "$out"
  begin=$EPOCHREALTIME
  "run_$1" "$out"
  end=$EPOCHREALTIME
  made=$(find "$out" -name '*_Preview.mp3' | wc -l)
  [[ $made -eq $files ]] || { echo "$1 made $made of $files previews" >&2; exit 1; }
  awk -v a="$begin" -v b="$end" 'BEGIN { printf "%.3f\n", b - a }'
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# take_turns WAY...: $repeats rounds, the first way of each round one later than the last's;
# each round's times go into the associative array `times`, one entry per way.
take_turns() {
  local ways=("$@") r k way
  declare -gA times=()
  for ((r = 0; r < repeats; r++)); do
    for ((k = 0; k < ${#ways[@]}; k++)); do
      way=${ways[(r + k) % ${#ways[@]}]}
      times[$way]+="$(timed "$way") "
    done
  done
}

# The median of one way's times.
median_of() { tr ' ' '\n' <<< "${times[$1]}" | grep . | median; }
