// Opens a review page in headless Chromium, driven through the DevTools protocol on a pipe
// (no package needed), and checks it against the run's JSON report. Arguments: the page,
// the report, where to save a screenshot.
'use strict';
const fs = require('fs');
const path = require('path');
const { spawn, execFileSync } = require('child_process');
const { pathToFileURL, fileURLToPath } = require('url');

const [page, reportFile, screenshot] = process.argv.slice(2);
const report = JSON.parse(fs.readFileSync(reportFile, 'utf8'));
const problems = [];

// Chromium reads commands from fd 3 and writes answers and events to fd 4, each message
// ended by a NUL byte.
const profile = fs.mkdtempSync(path.join(require('os').tmpdir(), 'review-profile-'));
const browser = spawn('chromium', ['--headless=new', '--no-sandbox', '--disable-gpu', '--remote-debugging-pipe',
                                   `--user-data-dir=${profile}`, '--window-size=1100,900', 'about:blank'],
                      { stdio: ['ignore', 'ignore', 'ignore', 'pipe', 'pipe'] });
const [toBrowser, fromBrowser] = [browser.stdio[3], browser.stdio[4]];
let nextId = 1;
const waiting = new Map();
const listeners = [];
let buffered = Buffer.alloc(0);
fromBrowser.on('data', (chunk) => {
  buffered = Buffer.concat([buffered, chunk]);
  let end;
  while ((end = buffered.indexOf(0)) >= 0) {
    const message = JSON.parse(buffered.subarray(0, end).toString('utf8'));
    buffered = buffered.subarray(end + 1);
    if (message.id && waiting.has(message.id)) {
      const { resolve, reject } = waiting.get(message.id);
      waiting.delete(message.id);
      message.error ? reject(new Error(JSON.stringify(message.error))) : resolve(message.result);
    } else {
      for (const listener of listeners) listener(message);
    }
  }
});

function send(method, params = {}, sessionId) {
  const id = nextId++;
  toBrowser.write(JSON.stringify({ id, method, params, sessionId }) + '\0');
  return new Promise((resolve, reject) => waiting.set(id, { resolve, reject }));
}

function nextEvent(method) {
  return new Promise((resolve) => listeners.push((message) => message.method === method && resolve(message.params)));
}

async function main() {
  const { targetId } = await send('Target.createTarget', { url: 'about:blank' });
  const { sessionId } = await send('Target.attachToTarget', { targetId, flatten: true });
  listeners.push(({ method, params }) => {
    if (method === 'Runtime.exceptionThrown') problems.push(`script error: ${params.exceptionDetails.text}`);
    if (method === 'Runtime.consoleAPICalled' && ['error', 'assert'].includes(params.type))
      problems.push(`console error: ${params.args.map((a) => a.value).join(' ')}`);
    if (method === 'Log.entryAdded' && params.entry.level === 'error') problems.push(`error: ${params.entry.text}`);
    if (method === 'Network.requestWillBeSent' && /^(https?|wss?|ftp):/.test(params.request.url))
      problems.push(`the page asks the network for ${params.request.url}`);
  });
  for (const domain of ['Page', 'Runtime', 'Log', 'Network']) await send(`${domain}.enable`, {}, sessionId);
  const loaded = nextEvent('Page.loadEventFired');
  await send('Page.navigate', { url: pathToFileURL(page).href }, sessionId);
  await loaded;

  const evaluate = async (expression) =>
    (await send('Runtime.evaluate', { expression, returnByValue: true }, sessionId)).result.value;
  const rows = await evaluate(`[...document.querySelectorAll('section.row')].map(row => ({
    path: row.querySelector('.path').textContent,
    names: row.querySelector('.names').firstChild.textContent.trim(),
    audio: row.querySelector('audio') && row.querySelector('audio').src,
    preload: row.querySelector('audio') && row.querySelector('audio').getAttribute('preload'),
    width: row.querySelector('svg') && row.querySelector('svg').viewBox.baseVal.width,
    mark: row.querySelector('rect.window') && Number(row.querySelector('rect.window').getAttribute('x')),
    failed: row.classList.contains('failed') }))`);
  checkRows(rows);

  // The filter of failed rows leaves only those.
  const shown = await evaluate(`(() => { const box = document.querySelector('#filters input[value=failed]');
    box.click(); const n = [...document.querySelectorAll('section.row')].filter(r => !r.hidden).length;
    box.click(); return n; })()`);
  const failed = report.previews.filter((p) => !p.made).length;
  if (shown !== failed) problems.push(`the failed filter shows ${shown} rows, the report has ${failed} failed`);

  const shot = await send('Page.captureScreenshot', { format: 'png' }, sessionId);
  fs.writeFileSync(screenshot, Buffer.from(shot.data, 'base64'));
}

function checkRows(rows) {
  if (rows.length !== report.previews.length)
    problems.push(`${rows.length} rows for ${report.previews.length} sources`);
  for (const preview of report.previews) {
    const row = rows.find((r) => r.path === preview.source);
    if (!row) {
      problems.push(`no row for ${preview.source}`);
      continue;
    }
    if (preview.made) {
      if (!row.audio || !fs.existsSync(fileURLToPath(row.audio))) problems.push(`${row.path}: player's file ${row.audio} is missing`);
      if (row.preload !== 'none') problems.push(`${row.path}: the player preloads`);
    } else if (!row.failed) {
      problems.push(`${row.path}: failed, but its row does not say so`);
    }
    if (preview.start === undefined) continue;
    const seconds = Number(execFileSync('soxi', ['-D', preview.source]).toString());
    const expected = (preview.start / seconds) * row.width;
    if (!(Math.abs(row.mark - expected) <= 1))
      problems.push(`${row.path}: window mark at ${row.mark} of ${row.width}, the start ${preview.start} s of ${seconds} s puts it at ${expected.toFixed(1)}`);
  }
  const tagged = rows.find((r) => r.path.endsWith('Tagged.mp3'));
  if (tagged && tagged.names !== 'Night & Day') problems.push(`the tagged song is named "${tagged.names}"`);
  const untagged = rows.find((r) => r.path.endsWith('No tags #1.mp3'));
  if (untagged && untagged.names !== 'No tags #1.mp3') problems.push(`the untagged song is named "${untagged.names}"`);
}

const timeout = setTimeout(() => { problems.push('the page did not load within 60 s'); finish(); }, 60000);
function finish() {
  clearTimeout(timeout);
  for (const problem of problems) console.error(problem);
  console.log(problems.length ? 'review page: FAILED' : 'review page: all checks passed');
  browser.on('exit', () => {
    fs.rmSync(profile, { recursive: true, force: true, maxRetries: 10, retryDelay: 100 });
    process.exit(problems.length ? 1 : 0);
  });
  // Asked to close, Chromium ends its helpers before it exits; killed, they may still be
  // writing into the profile while it is removed.
  send('Browser.close').catch(() => {});
  setTimeout(() => browser.kill(), 10000).unref();
}
main().then(finish, (error) => { problems.push(String(error)); finish(); });
