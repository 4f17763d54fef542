'use strict';
// The list of starts the review page saves, in the form lumbrisk-cli --starts reads back:
// RFC 4180 rows of file,start,duration under a header line, each song named relative to the
// page's folder (the CSV is saved beside the page, and --starts reads names relative to the
// CSV's own folder). Plain functions of their arguments, so that a test can call them.

// The name of the song at path as seen from folder (both absolute, with "/"); null when it
// cannot be made relative: either is no absolute path, or they share no folder but the root,
// so that a relative name would not move with the page.
function relativeName(path, folder) {
  if (!path.startsWith('/') || !folder.startsWith('/')) return null;
  const from = folder.split('/').filter(Boolean);
  const to = path.split('/').filter(Boolean);
  let shared = 0;
  while (shared < from.length && shared < to.length - 1 && from[shared] === to[shared]) shared++;
  if (shared === 0) return null;
  const name = [...Array(from.length - shared).fill('..'), ...to.slice(shared)].join('/');
  // --starts trims blanks around a field, quoted or not, and a spreadsheet runs a field that
  // begins with = + - or @ as a formula: "./" keeps the one and stops the other.
  return /^[\s=+\-@]/.test(name) ? `./${name}` : name;
}

// A field quoted when it holds a comma, a quote or a line break.
function csvField(text) {
  return /[",\r\n]/.test(text) ? `"${text.replace(/"/g, '""')}"` : text;
}

// Seconds to the millisecond, the shortest way ("63.5"), as the run gives its starts; a
// word such as "auto" or "" as it is.
function startText(start) {
  return typeof start === 'number' ? String(Math.round(start * 1000) / 1000) : start;
}

// entries: [{source, start, duration}], start in seconds, or "auto", or "" for the command
// line's. Returns the CSV's text and the sources written with their whole path.
function startsCsv(entries, folder) {
  const whole = [];
  const lines = ['file,start,duration'];
  const written = new Set();
  for (const { source, start, duration } of entries) {
    // A song listed twice by the run keeps one row of each cut: --starts refuses a repeated one.
    const row = [source, startText(start), startText(duration)].join('\n');
    if (written.has(row)) continue;
    written.add(row);
    let name = relativeName(source, folder);
    if (name === null) {
      name = source;
      whole.push(source);
    }
    lines.push([csvField(name), startText(start), startText(duration)].join(','));
  }
  return { text: `${lines.join('\r\n')}\r\n`, whole };
}
