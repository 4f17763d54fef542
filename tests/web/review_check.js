// The review page as a person uses it, in headless Chromium: a run of songs with a known
// chorus writes it; a candidate is taken in one row, a place clicked on a second's waveform
// and nudged, a third approved; the filters hide what they should from the screen; a reload
// keeps the choices; "Save starts" downloads the CSV, and the command the page shows remakes
// exactly the two changed previews, at the chosen starts (heard by their pitch), leaving every
// other preview byte for byte. The page of that second run shows the pinned starts, the kept
// previews, and a song moved away as one it cannot play.
// A page of made-up rows (bench/reviewpagebench.cpp) checks what these songs lack: beats and
// bars to land on, candidates of three sections. Runs in AAC and Opus give pages that play those.
// Arguments: lumbrisk-cli, review_page_bench, the folder with node_modules/playwright-core, a
// work folder, a folder sharing no top folder with it, where to save a screenshot of the editor.
'use strict';
const fs = require('fs');
const path = require('path');
const { spawnSync } = require('child_process');
const { pathToFileURL, fileURLToPath } = require('url');
const { makeSong, makeNoise, toneAt, pitchOf } = require('./review_songs');
const { openBrowser, visibleSources } = require('./review_browser');
const { checkCsvWriter, checkBeats } = require('./review_cases');

const [cli, madeUp, modules, work, outside, screenshot] = process.argv.slice(2);
const problems = [];
const expect = (ok, problem) => ok || problems.push(problem);
const Length = 6;

const songs = path.join(work, 'songs', 'Album');
const out = path.join(work, 'out');
const page1 = path.join(out, 'review.html');
const previews = path.join(out, 'previews');
// Each song's transposition tells its tones; the pitch of a preview tells where it was cut.
const Songs = {
  alpha: { path: path.join(songs, 'Alpha, "One".mp3'), semitones: 0 },
  bravo: { path: path.join(songs, 'Bravo.mp3'), semitones: 1 },
  delta: { path: path.join(songs, 'Delta.mp3'), semitones: 2 },
  charlie: { path: path.join(outside, 'Charlie.mp3'), semitones: 3 },
};
const noise = path.join(songs, 'Noise.mp3');
const broken = path.join(songs, 'Broken.mp3');
const previewOf = (song) => path.join(previews, `${path.basename(song, '.mp3')}_Preview.mp3`);

function run(args) {
  const ran = spawnSync(args[0], args.slice(1), { cwd: work, encoding: 'utf8' });
  return { status: ran.status, report: ran.stdout ? JSON.parse(ran.stdout) : null, err: ran.stderr };
}

const rowOf = (page, song) => page.locator(`section.row[data-source="${song.replace(/"/g, '\\"')}"]`);
const startOf = async (row) => Number(await row.locator('[data-role="start"]').getAttribute('data-start'));
const approvedShown = (row) => row.locator('[data-role="approve"]').getAttribute('aria-pressed');
const counts = (page) => page.$$eval('[data-count]', (all) => all.map((b) => `${b.textContent} ${b.dataset.count}`).join(', '));

// Each row against the run's report: its names, its player's file, its window where the start puts it.
async function checkRows(page, report) {
  const rows = await page.$$eval('section.row', (all) => all.map((row) => ({
    source: row.dataset.source,
    title: row.querySelector('.names').firstChild.textContent.trim(),
    audio: row.querySelector('audio') && row.querySelector('audio').src,
    preload: row.querySelector('audio') && row.querySelector('audio').getAttribute('preload'),
    seconds: row.querySelector('[data-role="song-wave"]') && Number(row.querySelector('[data-role="song-wave"]').dataset.seconds),
    left: row.querySelector('.window') && parseFloat(row.querySelector('.window').style.left),
    failed: row.classList.contains('failed'),
  })));
  expect(rows.length === report.previews.length, `${rows.length} rows for ${report.previews.length} songs`);
  for (const preview of report.previews) {
    const row = rows.find((r) => r.source === preview.source) || {};
    const name = preview.source === noise || preview.source === broken ? path.basename(preview.source)
      : Object.keys(Songs).find((n) => Songs[n].path === preview.source);
    expect(row.title === name, `${preview.source} is named "${row.title}"`);
    if (preview.made)
      expect(row.audio && fs.existsSync(fileURLToPath(row.audio)) && row.preload === 'none', `${preview.source}: its player's file ${row.audio}`);
    else expect(row.failed, `${preview.source} failed, but its row does not say so`);
    if (preview.start !== undefined)
      expect(Math.abs(row.left - (preview.start / row.seconds) * 100) < 0.01, `${preview.source}: the window at ${row.left}%`);
  }
}

async function checkFilters(page) {
  for (const [filter, shouldShow] of [['failed', [broken]], ['doubtful', [noise]]]) {
    const box = page.locator(`[data-filter="${filter}"]`);
    await box.check();
    const shown = await visibleSources(page);
    const ofKind = await page.$$eval(`section.row.${filter}`, (rows) => rows.map((row) => row.dataset.source));
    expect(shown.length === ofKind.length && shouldShow.every((s) => shown.includes(s)),
      `the ${filter} filter leaves on screen ${JSON.stringify(shown)}`);
    await box.uncheck();
  }
  expect((await visibleSources(page)).length === 6, 'with no filter ticked, not every row is on screen');
}

// A candidate other than the start taken: the preview moves there.
async function takeCandidate(page) {
  const row = rowOf(page, Songs.alpha.path);
  const start = await startOf(row);
  const candidates = await row.locator('[data-role="candidate"]').evaluateAll((all) => all.map((c) => Number(c.dataset.start)));
  const other = candidates.find((seconds) => Math.abs(seconds - start) > 10);
  expect(other !== undefined, `Alpha offers no candidate but its start: ${candidates}`);
  await row.locator(`[data-role="candidate"][data-start="${other}"]`).click();
  expect((await startOf(row)) === other, `a click on the candidate at ${other} s gave ${await startOf(row)} s`);
  // Enter, the candidate still focused, approves the row and presses the candidate no more.
  await page.keyboard.press('ArrowRight');
  const nudged = await startOf(row);
  await page.keyboard.press('Enter');
  expect((await startOf(row)) === nudged && nudged !== other, `Enter on the candidate moved the start to ${await startOf(row)} s`);
  expect((await approvedShown(row)) === 'true', 'Enter on the candidate did not approve the row');
  return nudged;
}

// A click at 52 s on Bravo's waveform (its second verse), then one beat (half a second without beats) on.
async function placeAndNudge(page) {
  const row = rowOf(page, Songs.bravo.path);
  const wave = row.locator('[data-role="song-wave"]');
  const seconds = Number(await wave.getAttribute('data-seconds'));
  const box = await wave.boundingBox();
  await page.mouse.click(box.x + (box.width * 52) / seconds, box.y + 10);
  const placed = await startOf(row);
  const beats = (await row.getAttribute('data-beats')) || '';
  const reach = beats ? 1 : seconds / box.width + 0.01;
  expect(Math.abs(placed - 52) <= reach, `a click at 52 s placed the start at ${placed} s`);
  await page.keyboard.press('ArrowRight');
  const nudged = await startOf(row);
  expect(nudged > placed && nudged - placed <= (beats ? 1 : 0.5001), `→ moved ${placed} s to ${nudged} s`);
  const origin = await row.locator('[data-role="origin"]').textContent();
  expect(origin === 'this page', `a start placed on the page reads as from ${origin}`);
  const frame = await row.locator('.window').evaluate((w) => parseFloat(w.style.left));
  expect(Math.abs(frame - (nudged / seconds) * 100) < 0.01, `the window stayed at ${frame}% after the nudge`);
  return nudged;
}

// Too late a start is moved back so that the preview ends with the song; Home undoes it.
async function placeTooLate(page) {
  const row = rowOf(page, Songs.delta.path);
  const runStart = await startOf(row);
  const wave = row.locator('[data-role="song-wave"]');
  const seconds = Number(await wave.getAttribute('data-seconds'));
  const box = await wave.boundingBox();
  await page.mouse.click(box.x + box.width - 2, box.y + 10);
  expect(Math.abs((await startOf(row)) - (seconds - Length)) < 0.01, `a start at the end became ${await startOf(row)} s`);
  expect(/Moved back/.test(await row.locator('.note').textContent()), 'the row does not say its start was moved back');
  await page.keyboard.press('Home');
  expect((await startOf(row)) === runStart, 'Home did not put back the run\'s start');
}

async function edit(page) {
  const chosen = { alpha: await takeCandidate(page), bravo: await placeAndNudge(page) };
  await rowOf(page, Songs.charlie.path).focus();
  await page.keyboard.press('Enter');
  expect((await approvedShown(rowOf(page, Songs.charlie.path))) === 'true', 'Enter did not approve the row');
  // Enter on ✓ approves, as on the row: it does not press ✓ again.
  await rowOf(page, Songs.charlie.path).locator('[data-role="approve"]').focus();
  await page.keyboard.press('Enter');
  expect((await approvedShown(rowOf(page, Songs.charlie.path))) === 'true', 'Enter on ✓ took the approval back');
  await placeTooLate(page);
  expect((await counts(page)) === '1 reviewed, 2 changed, 3 left', `the header counts ${await counts(page)}`);
  await page.locator('[data-filter="unreviewed"]').check();
  const left = await visibleSources(page);
  expect(left.length === 3 && !left.includes(Songs.alpha.path), `not yet reviewed: ${JSON.stringify(left)}`);
  await page.locator('[data-filter="unreviewed"]').uncheck();
  // J goes to the next row on screen.
  await rowOf(page, Songs.alpha.path).focus();
  await page.keyboard.press('j');
  const focused = await page.evaluate(() => document.activeElement.dataset.source);
  const order = await page.$$eval('section.row', (rows) => rows.map((row) => row.dataset.source));
  expect(focused === order[order.indexOf(Songs.alpha.path) + 1], `J moved to ${focused}`);
  return chosen;
}

async function survivesReload(page, chosen) {
  await page.reload();
  expect((await startOf(rowOf(page, Songs.alpha.path))) === chosen.alpha, 'a reload lost the candidate taken');
  expect((await startOf(rowOf(page, Songs.bravo.path))) === chosen.bravo, 'a reload lost the start placed');
  expect((await counts(page)) === '1 reviewed, 2 changed, 3 left', `after a reload the header counts ${await counts(page)}`);
}

async function saveStarts(page, chosen) {
  const [download] = await Promise.all([page.waitForEvent('download'), page.locator('[data-role="save-starts"]').click()]);
  const csv = path.join(out, 'starts.csv');
  await download.saveAs(csv);
  const charlie = await startOf(rowOf(page, Songs.charlie.path));
  const expected = ['file,start,duration', `"../songs/Album/Alpha, ""One"".mp3",${chosen.alpha},${Length}`,
    `../songs/Album/Bravo.mp3,${chosen.bravo},${Length}`, `${Songs.charlie.path},${charlie},${Length}`];
  const text = fs.readFileSync(csv, 'utf8');
  expect(text === `${expected.join('\r\n')}\r\n`, `starts.csv holds ${JSON.stringify(text)}`);
  const note = await page.locator('[data-role="save-note"]').textContent();
  expect(note.includes('whole path') && note.includes(Songs.charlie.path), `the page says of the names: ${note}`);
  return page.locator('[data-role="command"]').textContent();
}

// Where the run's list was the --starts file alone, the saved list keeps every song: those
// left as the run chose them go back to the search (auto).
async function checkWholeList(page) {
  const whole = path.join(out, 'whole.html');
  fs.writeFileSync(whole, fs.readFileSync(page1, 'utf8').replace('<main ', '<main data-whole-list '));
  await page.goto(pathToFileURL(whole).href);
  const [download] = await Promise.all([page.waitForEvent('download'), page.locator('[data-role="save-starts"]').click()]);
  const rows = fs.readFileSync(await download.path(), 'utf8').trim().split('\r\n').slice(1);
  expect(rows.length === 6 && rows.every((row) => row.endsWith(`,auto,${Length}`)), `the whole list saved ${JSON.stringify(rows)}`);
}

// The command the page shows: the two changed previews made again where chosen, the others as they were.
function remake(command, chosen, before) {
  const again = spawnSync('bash', ['-c', command], { encoding: 'utf8' });
  expect(again.status === 1 && /Broken/.test(again.stderr), `the command ended with ${again.status}: ${again.stderr}`);
  for (const [name, song] of Object.entries(Songs)) {
    const bytes = fs.readFileSync(previewOf(song.path));
    const changed = name in chosen;
    expect(changed !== bytes.equals(before[name]), `${name}'s preview was ${changed ? 'not ' : ''}made again`);
    if (!changed) continue;
    const heard = pitchOf(previewOf(song.path), 2, 2);
    const tone = toneAt(song.semitones, chosen[name] + Length / 2);
    expect(Math.abs(heard - tone) < tone * 0.03, `${name}'s preview sounds at ${heard} Hz, its song at ${chosen[name]} s at ${tone} Hz`);
  }
  expect(fs.readFileSync(previewOf(noise)).equals(before.noise), 'the noise\'s preview was made again');
  return JSON.parse(again.stdout);
}

// The next run's page: the saved starts pinned and shown, the other previews kept.
async function checkSecondPage(page, chosen, report) {
  await page.goto(pathToFileURL(page1).href);
  for (const name of ['alpha', 'bravo', 'charlie']) {
    const row = rowOf(page, Songs[name].path);
    expect((await row.getAttribute('data-start-from')) === 'list', `${name}'s row is not pinned by the list`);
    if (chosen[name] !== undefined) expect((await startOf(row)) === chosen[name], `${name}'s pinned start is not shown`);
    const entry = report.previews.find((p) => p.source === Songs[name].path);
    expect(entry && entry.start_from === 'list', `the report gives ${name}'s start as from ${entry && entry.start_from}`);
  }
  const header = await page.locator('#counts').textContent();
  expect(/2 made.*3 kept.*1 failed/.test(header), `the second page counts ${header}`);
  // What this night made again: the two starts changed on the first page.
  await page.locator('[data-filter="made"]').check();
  const made = await visibleSources(page);
  expect(made.length === 2 && made.includes(Songs.alpha.path) && made.includes(Songs.bravo.path),
    `new or changed since the last run: ${JSON.stringify(made)}`);
  await page.locator('[data-filter="made"]').uncheck();
  // The song plays from the start for the preview's length, and stops there by itself.
  const delta = rowOf(page, Songs.delta.path);
  const listen = delta.locator('[data-role="listen"]');
  await listen.click();
  expect(/Stop/.test(await listen.textContent()), 'the play button does not offer to stop');
  // With ▶ focused, the row's keys act on the row: → moves the start, Enter approves; ▶ then
  // plays from the start moved, and does not stop.
  await page.keyboard.press('ArrowRight');
  await page.keyboard.press('Enter');
  expect(/Stop/.test(await listen.textContent()) && (await approvedShown(delta)) === 'true',
    `Enter on ▶ while playing: ${await listen.textContent()}, approved ${await approvedShown(delta)}`);
  await listen.click();
  expect(/Stop/.test(await listen.textContent()), '▶ after the start moved stopped the song instead of playing it from there');
  const stopped = await page.waitForFunction((button) => !/Stop/.test(button.textContent), await listen.elementHandle(),
    { timeout: (Length + 5) * 1000 }).then(() => true, () => false);
  expect(stopped && !(await delta.locator('.note').textContent()), `the song did not stop by itself: ${await delta.locator('.note').textContent()}`);
  // A song moved away since the run cannot be played, and its row says so.
  fs.renameSync(Songs.delta.path, `${Songs.delta.path}.moved`);
  await listen.click();
  await page.waitForFunction((source) => document.querySelector(`section.row[data-source="${source}"] .note`).textContent,
    Songs.delta.path, { timeout: 10000 }).catch(() => {});
  expect(/cannot be played/.test(await delta.locator('.note').textContent()), 'a moved song\'s row does not say it cannot be played');
}

// On beats: a click lands on the nearest, → on the next, Shift+→ on the next bar; a
// candidate of the third section is taken as one of the chorus.
async function checkBeatsAndSections(page) {
  const file = path.join(work, 'made-up.html');
  spawnSync(madeUp, [file, '12']);
  await page.goto(pathToFileURL(file).href);
  const row = page.locator('section.row').nth(1);
  const facts = () => row.evaluate((r) => ({ beats: beatsOf(r.dataset.beats), downbeats: beatsOf(r.dataset.downbeats) }));
  const { beats, downbeats } = await facts();
  expect(beats.length > 100 && downbeats.length > 25, `the made-up row has ${beats.length} beats, ${downbeats.length} bars`);
  const sections = await row.locator('[data-role="candidate"]').evaluateAll((all) => all.map((c) => c.className));
  expect(['s0', 's1', 's2'].every((s) => sections.some((c) => c.includes(s))), `candidates of sections ${sections}`);
  const wave = row.locator('[data-role="song-wave"]');
  const seconds = Number(await wave.getAttribute('data-seconds'));
  const box = await wave.boundingBox();
  await page.mouse.click(box.x + box.width * 0.4, box.y + 10);
  const placed = await startOf(row);
  const nearest = await page.evaluate(([b, at]) => nearestMark(b, at), [beats, seconds * 0.4]);
  expect(beats.includes(placed) && Math.abs(placed - nearest) < 0.6, `a click at ${seconds * 0.4} s landed at ${placed} s`);
  await page.keyboard.press('ArrowRight');
  expect((await startOf(row)) === beats[beats.indexOf(placed) + 1], `→ from ${placed} s went to ${await startOf(row)} s`);
  await page.keyboard.press('Shift+ArrowRight');
  const bar = downbeats.find((d) => d > beats[beats.indexOf(placed) + 1] + 0.001);
  expect((await startOf(row)) === bar, `Shift+→ went to ${await startOf(row)} s, the next bar is at ${bar} s`);
  const third = row.locator('[data-role="candidate"].s2').first();
  await third.click();
  expect((await startOf(row)) === Number(await third.getAttribute('data-start')), 'the third section\'s candidate was not taken');
}

// A run in AAC and one in Opus: each row's player has the preview of its format and plays it.
async function checkOtherFormats(page) {
  for (const [format, extension] of [['aac', '.m4a'], ['opus', '.opus']]) {
    const folder = path.join(work, format);
    const ran = run([cli, '-s', '0', '-d', '4', '--json', '--format', format, '-o', folder, '--review',
      path.join(folder, 'review.html'), Songs.alpha.path]);
    expect(ran.status === 0, `the ${format} run ended with ${ran.status}: ${ran.err}`);
    await page.goto(pathToFileURL(path.join(folder, 'review.html')).href);
    const audio = page.locator('section.row audio').first();
    const src = await audio.getAttribute('src');
    expect(src && src.endsWith(encodeURI(extension)), `the ${format} row's player has ${src}`);
    await audio.evaluate((element) => { element.muted = true; return element.play(); })
      .catch((error) => expect(false, `the ${format} preview does not play: ${error}`));
    await page.waitForFunction((element) => element.currentTime > 0.3, await audio.elementHandle(), { timeout: 20000 })
      .catch(() => expect(false, `the ${format} preview's player stays at 0 s`));
  }
}

async function main() {
  fs.mkdirSync(songs, { recursive: true });
  for (const [name, song] of Object.entries(Songs)) makeSong(song.path, song.semitones, name);
  makeNoise(noise);
  fs.writeFileSync(broken, 'not audio');
  const first = run([cli, '-s', 'auto', '-d', String(Length), '--json', '-o', previews, '--review', page1,
    path.join(work, 'songs'), Songs.charlie.path]);
  expect(first.status === 1, `the first run ended with ${first.status}: ${first.err}`);
  const before = { noise: fs.readFileSync(previewOf(noise)) };
  for (const name of Object.keys(Songs)) before[name] = fs.readFileSync(previewOf(Songs[name].path));

  const { browser, context } = await openBrowser(modules, problems);
  try {
    const page = await context.newPage();
    await page.goto(pathToFileURL(page1).href);
    await checkCsvWriter(page, expect);
    await checkBeats(page, expect);
    await checkRows(page, first.report);
    await checkFilters(page);
    const chosen = await edit(page);
    await page.screenshot({ path: screenshot });
    await survivesReload(page, chosen);
    const command = await saveStarts(page, chosen);
    await checkWholeList(page);
    const second = remake(command, chosen, before);
    await checkSecondPage(page, chosen, second);
    await checkBeatsAndSections(page);
    await checkOtherFormats(page);
  } finally {
    await browser.close();
  }
}

const timeout = setTimeout(() => finish('the checks did not end within 120 s'), 120000);
function finish(problem) {
  clearTimeout(timeout);
  if (problem) problems.push(problem);
  for (const each of problems) console.error(each);
  console.log(problems.length ? 'review page: FAILED' : 'review page: all checks passed');
  process.exit(problems.length ? 1 : 0);
}
main().then(() => finish(), (error) => finish(String(error.stack || error)));
