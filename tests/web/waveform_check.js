// Loads each waveform file with waveform-data.js and compares every pixel's min and max
// with those of FFmpeg's decoding of the preview beside it, within one step of the file's
// resolution. Arguments: the waveform files, each beside its preview (stereo, 48000 Hz).
'use strict';
const fs = require('fs');
const { execFileSync } = require('child_process');
const WaveformData = require('waveform-data');

function load(file) {
  const bytes = fs.readFileSync(file);
  if (file.endsWith('.json'))
    return WaveformData.create(JSON.parse(bytes.toString('utf8')));
  return WaveformData.create(bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.length));
}

// The preview as FFmpeg decodes it: interleaved 32-bit floats.
function decode(preview, channels) {
  const raw = execFileSync('ffmpeg', ['-v', 'error', '-i', preview, '-f', 'f32le', '-ac', String(channels), '-'],
                           { maxBuffer: 1 << 28 });
  return new Float32Array(raw.buffer, raw.byteOffset, raw.length / 4);
}

const sixteen = (x) => Math.max(-32768, Math.min(32767, Math.round(x * 32768)));

// Each output channel's 16-bit values, the two mixed into one when the file has one.
function channelValues(samples, inputChannels, outputChannels) {
  const frames = samples.length / inputChannels;
  const out = [];
  for (let c = 0; c < outputChannels; c++) out.push(new Int32Array(frames));
  for (let f = 0; f < frames; f++) {
    if (outputChannels === 1 && inputChannels === 2)
      out[0][f] = Math.trunc((sixteen(samples[2 * f]) + sixteen(samples[2 * f + 1])) / 2);
    else
      for (let c = 0; c < outputChannels; c++) out[c][f] = sixteen(samples[f * inputChannels + c]);
  }
  return out;
}

let failures = 0;
function fail(message) {
  console.error(message);
  failures++;
}

function check(file, previewChannels) {
  const waveform = load(file);
  const preview = file.replace(/\.(json|dat)$/, '.mp3');
  const samples = decode(preview, previewChannels);
  const frames = samples.length / previewChannels;
  const step = waveform.bits === 8 ? 256 : 1;
  const expectedChannels = Math.min(previewChannels, file.endsWith('.dat') ? 2 : 1);
  if (waveform.channels !== expectedChannels) fail(`${file}: ${waveform.channels} channels, expected ${expectedChannels}`);
  if (waveform.scale !== 256) fail(`${file}: ${waveform.scale} samples per pixel`);
  if (waveform.sample_rate !== 48000) fail(`${file}: rate ${waveform.sample_rate}`);
  if (waveform.length !== Math.ceil(frames / 256)) fail(`${file}: ${waveform.length} pixels for ${frames} samples`);
  const values = channelValues(samples, previewChannels, waveform.channels);
  let worst = 0;
  for (let c = 0; c < waveform.channels; c++) {
    const channel = waveform.channel(c);
    for (let p = 0; p < Math.min(waveform.length, Math.ceil(frames / 256)); p++) {
      const pixel = values[c].subarray(p * 256, Math.min(frames, (p + 1) * 256));
      const low = Math.trunc(Math.min(...pixel) / step);
      const high = Math.trunc(Math.max(...pixel) / step);
      worst = Math.max(worst, Math.abs(channel.min_sample(p) - low), Math.abs(channel.max_sample(p) - high));
    }
  }
  if (worst > 1) fail(`${file}: a pixel differs by ${worst} steps from FFmpeg's decoding`);
  console.log(`${file}: ${waveform.length} pixels x ${waveform.channels}, at most ${worst} step off`);
}

for (const file of process.argv.slice(2)) check(file, 2);
process.exit(failures ? 1 : 0);
