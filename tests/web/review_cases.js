// The plain functions of the page's script, called in the page itself on tables of cases: the
// CSV writer startsCsv(entries, folder) (names relative to the page's folder, RFC 4180
// quoting as lumbrisk-cli --starts reads it, starts to the millisecond, the names that can
// only be given whole), and the beats (their text read back, where a click and a nudge land).
'use strict';

const Header = 'file,start,duration\r\n';
const one = (source, start = 63.5, duration = 30) => [{ source, start, duration }];

// [what, entries, the page's folder, the CSV expected, the sources written whole]
const Cases = [
  ['a song below the page', one('/shop/songs/A.mp3'), '/shop', 'songs/A.mp3,63.5,30\r\n', []],
  ['a song in a folder beside the page\'s', one('/shop/songs/A.mp3', 1, 6), '/shop/out', '../songs/A.mp3,1,6\r\n', []],
  ['two folders up', one('/shop/a/A.mp3'), '/shop/b/c', '../../a/A.mp3,63.5,30\r\n', []],
  ['a comma and quotes quoted', one('/shop/Tom "T", Jr.mp3'), '/shop', '"Tom ""T"", Jr.mp3",63.5,30\r\n', []],
  ['a line break quoted', one('/shop/a\nb.mp3'), '/shop', '"a\nb.mp3",63.5,30\r\n', []],
  // --starts trims the blanks around a field, quoted or not.
  ['a leading blank behind ./', one('/shop/ Intro/A.mp3'), '/shop', './ Intro/A.mp3,63.5,30\r\n', []],
  // A spreadsheet would run these as formulas.
  ['a leading = behind ./', one('/shop/=HYPERLINK("x").mp3'), '/shop', '"./=HYPERLINK(""x"").mp3",63.5,30\r\n', []],
  ['leading + - @ behind ./', [{ source: '/shop/+1.mp3', start: 1, duration: 2 }, { source: '/shop/-3 dB/A.mp3', start: 1, duration: 2 },
    { source: '/shop/@Home.mp3', start: 1, duration: 2 }], '/shop', './+1.mp3,1,2\r\n./-3 dB/A.mp3,1,2\r\n./@Home.mp3,1,2\r\n', []],
  ['a = inside a name as it is', one('/shop/a=b.mp3'), '/shop', 'a=b.mp3,63.5,30\r\n', []],
  ['letters of any script', one('/shop/Café/Ça va.mp3'), '/shop', 'Café/Ça va.mp3,63.5,30\r\n', []],
  ['sharing only the root: whole', one('/media/A.mp3'), '/shop', '/media/A.mp3,63.5,30\r\n', ['/media/A.mp3']],
  ['a whole name quoted too', one('/media/a,b.mp3'), '/shop', '"/media/a,b.mp3",63.5,30\r\n', ['/media/a,b.mp3']],
  ['a page served from no folder: whole', one('/shop/A.mp3'), '', '/shop/A.mp3,63.5,30\r\n', ['/shop/A.mp3']],
  ['to the millisecond', one('/shop/A.mp3', 12.34567, 29.9996), '/shop', 'A.mp3,12.346,30\r\n', []],
  ['the search again, or the command line\'s start', [{ source: '/shop/A.mp3', start: 'auto', duration: 30 },
    { source: '/shop/B.mp3', start: '', duration: 15 }], '/shop', 'A.mp3,auto,30\r\nB.mp3,,15\r\n', []],
  ['a song the run listed twice: one row a cut', [{ source: '/shop/A.mp3', start: 1, duration: 2 },
    { source: '/shop/A.mp3', start: 1, duration: 2 }, { source: '/shop/A.mp3', start: 3, duration: 2 }], '/shop',
  'A.mp3,1,2\r\nA.mp3,3,2\r\n', []],
  ['no song: the header alone', [], '/shop', '', []],
];

// [what, the text, the beats expected]
const BeatTexts = [
  ['none', '', []],
  ['one beat', '12.5', [12.5]],
  ['a steady stretch', '1.000+0.50000*4', [1, 1.5, 2, 2.5]],
  ['two stretches, to the millisecond', '0.250+0.33333*3 2.000+0.49990*2', [0.25, 0.583, 0.917, 2, 2.5]],
];

const Beats = [1, 1.5, 2, 2.5, 3, 3.5, 4, 4.5, 5];
const Bars = [1, 3, 5];
// [what, start, direction, a bar, beats, downbeats, where it lands]
const Nudges = [
  ['a beat on', 2, 1, false, Beats, Bars, 2.5],
  ['a beat back from between two', 2.2, -1, false, Beats, Bars, 2],
  ['a bar on, to the next downbeat', 2, 1, true, Beats, Bars, 3],
  ['a bar back', 3, -1, true, Beats, Bars, 1],
  ['a bar of four beats where no bar is known', 2, 1, true, Beats, [], 4],
  // No bar found from 5 to 13 s, the chorus at 7: filled every 2 s, the bars' period.
  ['a bar on into a gap in the bars', 5, 1, true, Beats, [1, 3, 5, 13, 15], 7],
  ['a bar back out of a gap in the bars', 13, -1, true, Beats, [1, 3, 5, 13, 15], 11],
  ['no beat further', 5, 1, false, Beats, Bars, null],
  ['half a second without beats', 10, 1, false, [], [], 10.5],
  ['two seconds a bar without beats', 10, -1, true, [], [], 8],
];

async function checkCsvWriter(page, expect) {
  for (const [what, entries, folder, rows, whole] of Cases) {
    const written = await page.evaluate(([e, f]) => startsCsv(e, f), [entries, folder]);
    expect(written.text === Header + rows, `CSV of ${what}: ${JSON.stringify(written.text)}`);
    expect(JSON.stringify(written.whole) === JSON.stringify(whole), `whole names of ${what}: ${JSON.stringify(written.whole)}`);
  }
}

async function checkBeats(page, expect) {
  for (const [what, text, beats] of BeatTexts) {
    const read = await page.evaluate((t) => beatsOf(t), text);
    expect(JSON.stringify(read) === JSON.stringify(beats), `beats of ${what}: ${JSON.stringify(read)}`);
  }
  for (const [what, start, direction, bar, beats, downbeats, lands] of Nudges) {
    const at = await page.evaluate((a) => nudged(...a), [start, direction, bar, beats, downbeats]);
    expect(at === lands, `a nudge ${what} lands at ${at}`);
  }
  const nearest = await page.evaluate((b) => [nearestMark(b, 2.2), nearestMark(b, 2.3), nearestMark([], 2)], Beats);
  expect(JSON.stringify(nearest) === '[2,2.5,null]', `the nearest beats are ${JSON.stringify(nearest)}`);
}

module.exports = { checkCsvWriter, checkBeats };
