# Sourced by the checks that run the README's recipes for large catalogues with real daemons
# of their own: its code blocks, free loopback ports, a catalogue of artists' folders, and
# the look-up of previews. Each check sets $work (its temporary folder) before calling these.

skip() {
  echo "skipped: $1"
  exit 77
}

# The ```sh block of README.md that holds a line matching the pattern (grep -E), as printed.
readme_block() {
  awk -v pattern="$1" '
    /^```sh$/ { inside = 1; block = ""; found = 0; next }
    inside && /^```$/ { inside = 0; if (found) { printf "%s", block; exit } next }
    inside { block = block $0 "\n"; if ($0 ~ pattern) found = 1 }
  ' "$readme"
}

# Fails when a recipe no longer holds what a check replaces in it: the README changed, and
# the check must follow.
must_hold() {
  grep -qF -- "$2" <<< "$1" || { echo "the README's recipe no longer holds '$2':"; echo "$1"; exit 1; }
}

# A loopback TCP port that nothing listens on now.
free_port() {
  local port
  while :; do
    port=$((20000 + RANDOM % 40000))
    [[ -z $(ss -Htln "sport = :$port") ]] && { echo "$port"; return; }
  done
}

# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
  local seconds=$1 tries
  shift
  for ((tries = seconds * 5; tries > 0; tries--)); do
    "$@" > /dev/null 2>&1 && return 0
    sleep 0.2
  done
  return 1
}

song() {
  mkdir -p "$(dirname "$1")"
  sox -n -r 44100 -c 2 -C 128 "$1" synth 5 sine "$2" 2> /dev/null
}

# Four artists' folders under $work/music, with blanks and a quote in their names so that
# the recipes' quoting is tried; "Artist C" holds a song that no tool can read beside a good
# one. Lists the good songs in $work/songs.txt, the damaged one in $work/damaged.txt.
make_catalogue() {
  local music=$work/music
  song "$music/Artist A/Album 1/Track 01.mp3" 440
  song "$music/Artist A/Album 2/Track 01.mp3" 330
  song "$music/The B's/Live/Intro.mp3" 550
  song "$music/Artist C/Demos/Good.mp3" 660
  # Bytes that are no audio at all: random ones now and then hold a few frames that an MP3
  # decoder takes, and the song is then too short rather than damaged.
  printf 'not audio\n%.0s' {1..2000} > "$music/Artist C/Demos/Damaged.mp3"
  song "$music/Artist D/Single.mp3" 770
  find "$music" -name '*.mp3' ! -name 'Damaged.mp3' | sort > "$work/songs.txt"
  echo "$music/Artist C/Demos/Damaged.mp3" > "$work/damaged.txt"
}

# The preview that the recipes make of a song: the artist's folder's tree below the output
# folder.
preview_of() {
  local song=${1#"$work/music/"}
  echo "$work/previews/${song%.mp3}_Preview.mp3"
}

# Fails, naming them, when good songs have no preview or damaged songs got one.
check_previews() {
  local song wrong=0
  while IFS= read -r song; do
    [[ -s $(preview_of "$song") ]] || { echo "no preview of $song"; wrong=1; }
  done < "$work/songs.txt"
  while IFS= read -r song; do
    [[ -e $(preview_of "$song") ]] && { echo "the damaged $song got a preview"; wrong=1; }
  done < "$work/damaged.txt"
  return $wrong
}
