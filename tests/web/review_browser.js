// Headless Chromium for the review page's checks, driven by playwright-core through the
// DevTools protocol: Debian's /usr/bin/chromium with a fresh profile, which playwright makes
// and removes. The page may read its own files and nothing else: any other request, script
// error or console error is a problem.
'use strict';
const path = require('path');

const Flags = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
  '--disable-component-update', '--disable-sync', '--no-first-run'];

async function openBrowser(modules, problems) {
  const { chromium } = require(path.join(modules, 'node_modules', 'playwright-core'));
  const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: Flags });
  const context = await browser.newContext({ acceptDownloads: true, viewport: { width: 1280, height: 900 } });
  context.on('request', (request) => {
    if (!request.url().startsWith('file:') && !request.url().startsWith('blob:') && !request.url().startsWith('data:'))
      problems.push(`the page asks the network for ${request.url()}`);
  });
  context.on('page', (page) => watch(page, problems));
  return { browser, context };
}

function watch(page, problems) {
  page.on('pageerror', (error) => problems.push(`script error: ${error.message}`));
  page.on('console', (message) => {
    if (message.type() === 'error' && !/net::ERR_FILE_NOT_FOUND|Failed to load resource/.test(message.text()))
      problems.push(`console error: ${message.text()}`);
  });
}

// The rows a person sees: laid out with a size, not only present in the DOM.
async function visibleSources(page) {
  const sources = [];
  for (const row of await page.locator('section.row').all()) {
    const box = await row.boundingBox();
    if (box && box.height > 0 && (await row.isVisible())) sources.push(await row.getAttribute('data-source'));
  }
  return sources;
}

module.exports = { openBrowser, visibleSources };
