#!/usr/bin/env bash
# Makes the sample MP3 files in assets/Samples from sox's own synthesiser and espeak-ng
# speech, so that every sample is of the project's own making. Running it again gives the
# same sounds. Needs sox with MP3 support (libsox-fmt-mp3) and espeak-ng.
set -euo pipefail
cd "$(dirname "$0")/.."

out=assets/Samples
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

# Notes are semitones from A4 (440 Hz): -9 is C4, 3 is C5, -21 is C3.
# Chords of the progressions, low to high, and their bass notes.
declare -A CHORD=([C]="-9 -5 -2 3" [G]="-14 -10 -7 -2" [Am]="-12 -9 -5 0" [F]="-16 -12 -9 -4")
declare -A BASS=([C]=-21 [G]=-26 [Am]=-24 [F]=-28)

# sox in repeatable mode, mono, 44.1 kHz, from nothing.
generate() { sox -R -n -r 44100 -c 1 "$@"; }

# sequence FILE SECONDS VOICE NOTE...: the notes one after another, each shaped by a short fade.
sequence() {
    local file=$1 seconds=$2 voice=$3 note
    shift 3
    local chain=()
    for note in "$@"; do
        chain+=(synth "$seconds" "$voice" "%$note" fade q 0.005 "$seconds" 0.06 :)
    done
    unset 'chain[${#chain[@]}-1]'
    generate "$file" "${chain[@]}"
}

# chord FILE SECONDS NOTE...: a soft pad of sines that swells in and out.
chord() {
    local file=$1 seconds=$2
    shift 2
    local voices=() note
    for note in "$@"; do voices+=(sine "%$note"); done
    sox -R -n -r 44100 -c $# "$work/voices.wav" synth "$seconds" "${voices[@]}"
    sox -R "$work/voices.wav" "$file" remix 1-$# fade h 0.8 "$seconds" 1.2 tremolo 4 12
}

# pads FILE SECONDS CHORD...: the chords as pads, one after another.
pads() {
    local file=$1 seconds=$2 name parts=()
    shift 2
    for name in "$@"; do
        parts+=("$work/pad-${#parts[@]}.wav")
        # The chord with the octave below its lowest note, for warmth.
        local notes=(${CHORD[$name]})
        chord "${parts[-1]}" "$seconds" $((notes[0] - 12)) "${notes[@]}"
    done
    sox -R "${parts[@]}" "$file"
}

# encode WAV NAME: faded in and out, peaks at -1 dB, stereo MP3 at 128 kbps.
encode() {
    sox -R "$1" -r 44100 -c 2 -C 128 --comment "Lumbrisk sample" "$out/$2.mp3" \
        fade t 0.3 "$(soxi -D "$1")" 3 gain -n -1
}

morning_arpeggio() {
    local arpeggio=() bass=() round name notes
    for round in 1 2 3 4 5; do
        for name in C G Am F; do
            notes=(${CHORD[$name]})
            arpeggio+=("${notes[0]}" "${notes[1]}" "${notes[2]}" "${notes[3]}"
                       "${notes[2]}" "${notes[1]}" "${notes[2]}" "${notes[3]}")
            bass+=("${BASS[$name]}")
        done
    done
    arpeggio+=(-9 -5 -2 3)
    bass+=(-21)
    sequence "$work/arpeggio.wav" 0.25 pluck "${arpeggio[@]}"
    sequence "$work/bass.wav" 2 sine "${bass[@]}"
    sox -R -m -v 0.5 "$work/arpeggio.wav" -v 0.25 "$work/bass.wav" "$work/morning.wav" \
        reverb 45 pad 0 3
    encode "$work/morning.wav" "Morning Arpeggio"
}

evening_chords() {
    pads "$work/pads.wav" 4 Am F C G Am F G C C
    sequence "$work/melody.wav" 1 triangle \
        0 -2 -4 -5  -4 -5 -9 -7  -5 -2 0 -2  -4 -5 -7 -9 \
        0 3 2 0  -4 -2 0 -2  -5 -7 -5 -2  -9 -9 -9 -9 \
        -9 -9 -9 -9
    sox -R -m -v 0.4 "$work/pads.wav" -v 0.125 "$work/melody.wav" "$work/evening.wav" \
        reverb 60 pad 0 3
    encode "$work/evening.wav" "Evening Chords"
}

rain_bells() {
    # A C-major pentatonic figure, high up, echoed like drops on glass.
    local figure=(15 12 10 7 10 12 15 19  17 15 12 10 12 7 5 3)
    local bells=() round
    for round in 1 2 3 4; do bells+=("${figure[@]}"); done
    sequence "$work/bells.wav" 0.5 pluck "${bells[@]}"
    pads "$work/drone.wav" 8 C F C G
    sox -R -m -v 0.45 "$work/bells.wav" -v 0.15 "$work/drone.wav" "$work/rain.wav" \
        echos 0.8 0.7 375 0.35 750 0.2 reverb 50 pad 0 3
    encode "$work/rain.wav" "Rain Bells"
}

spoken_welcome() {
    espeak-ng -v en-gb -s 135 -w "$work/speech.wav" \
        "Welcome to Lumbrisk. This is a sample file, made for trying the program. \
Put a few M P 3 files into the list, choose the second at which every preview starts, \
and how many seconds it lasts. Pick a bit rate, and a folder for the results. \
Then press Start Creating, and Lumbrisk cuts a short preview of every file for you. \
Thank you for listening."
    sox -R "$work/speech.wav" -r 44100 -c 1 "$work/voice.wav" pad 2 4
    pads "$work/bed.wav" 6 C Am F G C F C
    sox -R -m -v 0.5 "$work/voice.wav" -v 0.09 "$work/bed.wav" "$work/spoken.wav" \
        reverb 20
    encode "$work/spoken.wav" "Spoken Welcome"
}

morning_arpeggio
evening_chords
rain_bells
spoken_welcome

for file in "$out"/*.mp3; do
    printf '%s\t%s s\n' "$(basename "$file")" "$(soxi -D "$file")"
done
