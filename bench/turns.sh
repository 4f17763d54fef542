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

# The settings of the encoder benchmarks (waveform_cost.sh, format_cost.sh) from their
# environment, their songs (rich_songs), and a work folder that goes at the end.
rich_bench() {
  build=${BUILD_DIR:-build}
  jobs=${BENCH_JOBS:-$(nproc)}
  files=${BENCH_FILES:-12}
  seconds=${BENCH_SECONDS:-150}
  repeats=${BENCH_REPEATS:-3}
  cache=${BENCH_CACHE:-/tmp/lumbrisk-bench}/rich-s${seconds}
  cli="$build/lumbrisk-cli"
  [[ -x "$cli" ]] || { echo "Build first: $cli is missing" >&2; exit 1; }
  [[ -x /usr/bin/time ]] || { echo "GNU time is missing: apt install time" >&2; exit 1; }
  rich_songs
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
}

# The songs of the encoder benchmarks: noise and plucked chords, which cost an encoder about
# what music does (a pure tone costs it less); $files MP3s of $seconds s, kept in $cache.
# Sets `sources`.
rich_songs() {
  local i source
  mkdir -p "$cache"
  sources=()
  for ((i = 1; i <= files; i++)); do
    source=$(printf '%s/Song %02d.mp3' "$cache" "$i")
    if [[ ! -s "$source" ]]; then
      echo "making $source" >&2
      nice sox -n -r 44100 -c 2 -C 192 "$source.part.mp3" synth "$seconds" pinknoise synth pluck $((100 + 10 * i)) \
        synth pluck $((150 + 10 * i)) tremolo 2 50 gain -3
      mv "$source.part.mp3" "$source"
    fi
    sources+=("$source")
  done
}

# measure_ways NAME OPTIONS...: lumbrisk-cli making the previews of $sources into $work/out
# with the options of each of $ways (in the associative array `extra`) in turns, $repeats
# rounds; then the median wall time and processor time (the program's and its tools') of
# each, and their ratios to the first way's.
measure_ways() {
  local name=$1 r k way e u s w c base_wall base_cpu
  shift
  declare -A wall=() cpu=()
  for ((r = 0; r < repeats; r++)); do
    for ((k = 0; k < ${#ways[@]}; k++)); do
      way=${ways[(r + k) % ${#ways[@]}]}
      rm -rf "$work/out" && mkdir -p "$work/out"
      # shellcheck disable=SC2086
      read -r e u s < <(/usr/bin/time -f "%e %U %S" "$cli" -q -j "$jobs" "$@" ${extra[$way]} \
        -o "$work/out" "${sources[@]}" 2>&1 >/dev/null | tail -1)
      [[ $(find "$work/out" -name '*_Preview.*' ! -name '*.json' ! -name '*.dat' | wc -l) -eq $files ]] ||
        { echo "$way made fewer than $files previews" >&2; exit 1; }
      wall[$way]+="$e "
      cpu[$way]+="$(awk -v u="$u" -v s="$s" 'BEGIN { print u + s }') "
    done
  done
  echo "$name ($*):"
  base_wall=$(tr ' ' '\n' <<< "${wall[${ways[0]}]}" | grep . | median)
  base_cpu=$(tr ' ' '\n' <<< "${cpu[${ways[0]}]}" | grep . | median)
  for way in "${ways[@]}"; do
    w=$(tr ' ' '\n' <<< "${wall[$way]}" | grep . | median)
    c=$(tr ' ' '\n' <<< "${cpu[$way]}" | grep . | median)
    awk -v n="$way" -v w="$w" -v c="$c" -v bw="$base_wall" -v bc="$base_cpu" -v ws="${wall[$way]}" 'BEGIN {
      printf "  %-6s wall %7.3f s (ratio %.3f)   processor %7.3f s (ratio %.3f)   rounds: %s\n", n, w, w / bw, c, c / bc, ws }'
  done
}
