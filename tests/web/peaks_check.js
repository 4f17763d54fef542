// Loads each waveform file into peaks.js (peaks_page.html) in headless Chromium, driven by
// playwright-core, from a server on 127.0.0.1 that serves the page, the npm packages and the
// files: Peaks.init must succeed, both views must draw the waveform (their pixels: the loud
// first half taller than the quiet second one, the overview across its width), and the audio
// element must load and play the preview beside the file (MP3, AAC or Opus), as long as
// ffprobe says it lasts. A
// 16-bit file must be refused, as peaks.js 4 does. Arguments: node_modules folder, the folder
// of the files, where to save a screenshot, then the files relative to that folder.
'use strict';
const fs = require('fs');
const http = require('http');
const path = require('path');
const { execFileSync } = require('child_process');
const { chromium } = require('playwright-core');

const [modules, work, screenshot, ...files] = process.argv.slice(2);
const page = path.join(__dirname, 'peaks_page.html');
const problems = [];

// Whole files, or the byte range a media element asks for.
function serve(request, response) {
  const url = decodeURIComponent(new URL(request.url, 'http://127.0.0.1').pathname);
  const file = url === '/page.html' ? page
    : url.startsWith('/modules/') ? path.join(modules, url.slice(9))
    : url.startsWith('/files/') ? path.join(work, url.slice(7)) : '';
  if (!file || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
    response.writeHead(404);
    return response.end();
  }
  const size = fs.statSync(file).size;
  const types = { '.html': 'text/html', '.js': 'text/javascript', '.json': 'application/json', '.mp3': 'audio/mpeg',
    '.m4a': 'audio/mp4', '.opus': 'audio/ogg' };
  const headers = { 'Content-Type': types[path.extname(file)] || 'application/octet-stream', 'Accept-Ranges': 'bytes' };
  const range = /^bytes=(\d+)-(\d*)$/.exec(request.headers.range || '');
  const first = range ? Number(range[1]) : 0;
  const last = range && range[2] ? Math.min(Number(range[2]), size - 1) : size - 1;
  if (range)
    headers['Content-Range'] = `bytes ${first}-${last}/${size}`;
  headers['Content-Length'] = last - first + 1;
  response.writeHead(range ? 206 : 200, headers);
  fs.createReadStream(file, { start: first, end: last }).pipe(response);
}

// The resolution the file says it has.
function bitsOf(file) {
  const bytes = fs.readFileSync(file);
  return file.endsWith('.json') ? JSON.parse(bytes.toString('utf8')).bits : (bytes.readUInt32LE(4) & 1 ? 8 : 16);
}

// Per pixel column of a view, how many of its pixels have the colour its waveform is drawn in.
function drawnColumns({ view, colour }) {
  const [red, green, blue] = colour;
  const columns = new Array(1000).fill(0);
  for (const canvas of document.querySelectorAll(`#${view} canvas`)) {
    const { data, width, height } = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height);
    for (let y = 0; y < height; y++)
      for (let x = 0; x < Math.min(width, columns.length); x++) {
        const at = 4 * (y * width + x);
        if (data[at + 3] > 0 && Math.abs(data[at] - red) < 40 && Math.abs(data[at + 1] - green) < 40 && Math.abs(data[at + 2] - blue) < 40)
          columns[x]++;
      }
  }
  return columns;
}

const mean = (values) => values.reduce((sum, value) => sum + value, 0) / Math.max(1, values.length);

async function checkDrawing(tab, name) {
  const zoomview = await tab.evaluate(drawnColumns, { view: 'zoomview', colour: [200, 0, 0] });
  const overview = await tab.evaluate(drawnColumns, { view: 'overview', colour: [0, 0, 200] });
  if (!zoomview.some((height) => height > 10)) problems.push(`${name}: the zoomable view drew no waveform`);
  // The overview shows the whole preview: its first half loud, its second quiet.
  const drawn = overview.filter((height) => height > 0).length;
  if (drawn < 0.9 * overview.length) problems.push(`${name}: the overview drew ${drawn} of ${overview.length} columns`);
  const loud = mean(overview.slice(100, 400));
  const quiet = mean(overview.slice(600, 900));
  if (!(loud > 3 * quiet)) problems.push(`${name}: the overview's loud half is ${loud} px high, its quiet half ${quiet} px`);
  return { loud, quiet };
}

async function checkAudio(tab, name, preview) {
  const seconds = Number(execFileSync('ffprobe', ['-v', 'error', '-show_entries', 'format=duration', '-of', 'csv=p=0',
    path.join(work, preview)]).toString());
  await tab.waitForFunction(() => document.getElementById('audio').readyState >= 1, null, { timeout: 20000 });
  const duration = await tab.evaluate(() => document.getElementById('audio').duration);
  if (!(Math.abs(duration - seconds) <= 0.1)) problems.push(`${name}: the player gives ${duration} s, SoX ${seconds} s`);
  await tab.evaluate(() => document.getElementById('audio').play());
  await tab.waitForFunction(() => document.getElementById('audio').currentTime > 0.3, null, { timeout: 20000 })
    .catch(() => problems.push(`${name}: the player does not play the preview`));
}

async function check(browser, origin, file, shot) {
  const tab = await browser.newPage({ viewport: { width: 1100, height: 450 } });
  tab.on('request', (request) => {
    if (!request.url().startsWith(origin)) problems.push(`${file}: the page asks the network for ${request.url()}`);
  });
  tab.on('pageerror', (error) => problems.push(`${file}: script error: ${error.message}`));
  const preview = ['.mp3', '.m4a', '.opus'].map((extension) => file.replace(/\.(json|dat)$/, extension))
    .find((name) => fs.existsSync(path.join(work, name)));
  await tab.goto(`${origin}/page.html?data=/files/${file}&audio=/files/${preview}`);
  await tab.waitForFunction(() => window.peaksOutcome !== null, null, { timeout: 30000 });
  const outcome = await tab.evaluate(() => window.peaksOutcome);
  if (bitsOf(path.join(work, file)) === 16) {
    if (!/16-bit/.test(outcome.error || '')) problems.push(`${file}: peaks.js took a 16-bit file: ${JSON.stringify(outcome)}`);
    return tab.close();
  }
  if (!outcome.ok) {
    problems.push(`${file}: Peaks.init failed: ${outcome.error}`);
    return tab.close();
  }
  const state = await tab.evaluate(() => {
    const data = window.peaksInstance.getWaveformData();
    return { channels: data.channels, length: data.length };
  });
  const heights = await checkDrawing(tab, file);
  await checkAudio(tab, file, preview);
  if (shot) await tab.screenshot({ path: shot });
  console.log(`${file}: ${state.length} pixels x ${state.channels} drawn (${heights.loud.toFixed(0)} px loud, ` +
              `${heights.quiet.toFixed(0)} px quiet), played`);
  await tab.close();
}

async function main() {
  const server = http.createServer(serve);
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const origin = `http://127.0.0.1:${server.address().port}`;
  const executablePath = execFileSync('sh', ['-c', 'command -v chromium']).toString().trim();
  const browser = await chromium.launch({ executablePath, args: ['--no-sandbox', '--autoplay-policy=no-user-gesture-required', '--mute-audio'] });
  try {
    for (const [number, file] of files.entries()) await check(browser, origin, file, number === 0 ? screenshot : null);
  } finally {
    await browser.close();
    server.close();
  }
}

main().catch((error) => problems.push(String(error))).finally(() => {
  for (const problem of problems) console.error(problem);
  console.log(problems.length ? 'peaks.js: FAILED' : 'peaks.js: all checks passed');
  process.exit(problems.length ? 1 : 0);
});
