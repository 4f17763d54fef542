# Sourced by the benchmark scripts: the source files they share, 192 kbps constant bit rate,
# made once and kept in $cache. Fills the array `sources` with $files tracks of $seconds.
make_sources() {
  local i source sox
  sox=$(command -v sox)
  mkdir -p "$cache"
  sources=()
  for ((i = 1; i <= files; i++)); do
    source=$(printf '%s/Track %02d.mp3' "$cache" "$i")
    if [[ ! -s "$source" ]]; then
      echo "making $source" >&2
      nice "$sox" -n -r 44100 -c 2 -C 192 "$source.part.mp3" synth "$seconds" sine $((200 + 20 * i))
      mv "$source.part.mp3" "$source"
    fi
    sources+=("$source")
  done
}
