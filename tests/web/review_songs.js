// Songs for the review page's check, made by SoX: bars of sine chords over a low thump, in
// parts as a pop song has them (the chorus three times), and under each part a quiet pilot
// tone of its own above the chords. The chorus's pilots lie octaves apart: the chorus search
// hears one pitch class, while the pilot's pitch in a preview tells which part it was cut from.
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const { execFileSync, spawnSync } = require('child_process');

const sox = (...args) => execFileSync('sox', args, { stdio: ['ignore', 'ignore', 'pipe'] });
const hertz = (semitones) => 261.63 * 2 ** (semitones / 12); // from middle C

// [bars of two seconds, chords (root above middle C, 'm' for minor), pilot in semitones]
const Chorus = ['0', '7', '9m', '5'];
const Parts = [[4, ['0'], 26], [8, ['9m', '4m', '2m', '4'], 28], [12, Chorus, 24], [8, ['2m', '10', '5', '0'], 31],
  [12, Chorus, 36], [4, ['10', '3'], 33], [12, Chorus, 48], [2, ['0'], 29]];

// A bar: the root an octave below, then the triad, each a sine swelling and fading, over
// four thumps; averaged by SoX, so that nothing clips into overtones.
function makeBar(folder, chord, transpose) {
  const file = path.join(folder, `bar ${chord}.wav`);
  if (fs.existsSync(file)) return file;
  const root = parseInt(chord, 10) + transpose;
  const notes = [root - 12, root, root + (chord.endsWith('m') ? 3 : 4), root + 7];
  const sines = notes.flatMap((note) => ['sine', String(hertz(note))]);
  const thump = path.join(folder, 'thump.wav');
  if (!fs.existsSync(thump)) sox('-n', '-r', '44100', '-c', '1', thump, 'synth', '0.5', 'sine', '55', 'fade', 'l', '0', '0.5', '0.45', 'repeat', '3');
  sox('-V1', '-m', thump, `|sox -r 44100 -c 4 -n -p synth 2 ${sines.join(' ')} fade q 0.05 2 0.8 channels 1`, file);
  return file;
}

// The tone a part's pilot plays, in the song transposed by `transpose`.
const pilotOf = (part, transpose) => hertz(part[2] + transpose);

function makeSong(song, transpose, title) {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'review-song-'));
  try {
    const bars = [];
    const pilots = [];
    for (const part of Parts) {
      const [count, chords] = part;
      for (let bar = 0; bar < count; bar++) bars.push(makeBar(folder, chords[bar % chords.length], transpose));
      pilots.push('synth', String(count * 2), 'sine', String(pilotOf(part, transpose)), ':');
    }
    const music = path.join(folder, 'music.wav');
    const pilot = path.join(folder, 'pilot.wav');
    sox(...bars, music);
    sox('-n', '-r', '44100', '-c', '1', pilot, ...pilots.slice(0, -1));
    sox('-m', '-v', '1', music, '-v', '0.15', pilot, '-c', '2', '-C', '128', '--comment', `Title=${title}`, song);
  } finally {
    fs.rmSync(folder, { recursive: true, force: true });
  }
}

function makeNoise(song) {
  sox('-n', '-r', '44100', '-c', '2', '-C', '128', song, 'synth', '60', 'pinknoise', 'gain', '-10');
}

// The pilot under that second of the song.
function toneAt(transpose, second) {
  let end = 0;
  for (const part of Parts) {
    end += part[0] * 2;
    if (second < end) return pilotOf(part, transpose);
  }
  return null;
}

// SoX's rough frequency of the file's stretch from `from` on, `seconds` long, of what passes
// a filter that leaves the chords out.
function roughFrequency(file, from, seconds) {
  const stat = spawnSync('sox', [file, '-n', 'trim', String(from), String(seconds), 'sinc', '1000', 'stat']).stderr.toString();
  const found = /Rough\s+frequency:\s+(\d+)/.exec(stat);
  return found ? Number(found[1]) : NaN;
}

// SoX's rough frequency reads a stereo sine low by a steady factor: it is measured once on a
// tone of 1000 Hz made as the previews are.
let scale = null;
function pitchOf(file, from, seconds) {
  if (scale === null) {
    const tone = path.join(os.tmpdir(), `review-tone-${process.pid}.mp3`);
    sox('-n', '-r', '48000', '-c', '2', '-C', '128', tone, 'synth', '4', 'sine', '1000', 'vol', '0.3');
    scale = roughFrequency(tone, 1, 2) / 1000;
    fs.rmSync(tone);
  }
  return roughFrequency(file, from, seconds) / scale;
}

module.exports = { makeSong, makeNoise, toneAt, pitchOf };
