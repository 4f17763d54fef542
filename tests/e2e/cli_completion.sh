#!/usr/bin/env bash
# Completes lumbrisk-cli's command line the way bash does at a prompt, with the completion
# file and the program as installed under the prefix given: options, the bit rates, and
# auto as a start.
set -u
prefix=$1
source /usr/share/bash-completion/bash_completion
source "$prefix/share/bash-completion/completions/lumbrisk-cli"
PATH="$prefix/bin:$PATH"

complete_line() {
  COMP_LINE=$1
  COMP_POINT=${#COMP_LINE}
  read -ra COMP_WORDS <<< "$COMP_LINE"
  [[ $COMP_LINE == *' ' ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _lumbrisk_cli lumbrisk-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  echo "${COMPREPLY[*]}"
}

status=0
expect() {
  local got
  got=$(complete_line "$1")
  [[ $got == "$2" ]] || { echo "'$1' completed to '$got', expected '$2'"; status=1; }
}
expect 'lumbrisk-cli --fa' '--fade-in --fade-out'
expect 'lumbrisk-cli --no' '--no-tags'
expect 'lumbrisk-cli --ke' '--keep-folders'
expect 'lumbrisk-cli --cr' '--crossfade'
expect 'lumbrisk-cli --sta' '--start --starts'
expect 'lumbrisk-cli -e o' 'ogg opus'
expect 'lumbrisk-cli -b ' 'same 320 256 224 192 160 144 128 112 96 80 64 56 48 40 32 24 16 8'
expect 'lumbrisk-cli --bitrate s' 'same'
expect 'lumbrisk-cli --format ' 'mp3 aac opus'
expect 'lumbrisk-cli --start a' 'auto'
expect 'lumbrisk-cli --loudness ' '-14 -16 -23'
expect 'lumbrisk-cli --waveform ' 'json dat'
exit $status
