'use strict';
// The beats of a song on the review page, and where a click or a nudge puts a start among
// them. Plain functions of their arguments, so that a test can call them.

// "first+period*count ..." (as src/cli/reviewbeats.h writes them) back into the beats, in
// seconds to the millisecond; a stretch of one beat is its first alone.
function beatsOf(text) {
  const beats = [];
  for (const stretch of text ? text.split(' ') : []) {
    const [first, steady = '0*1'] = stretch.split('+');
    const [period, count] = steady.split('*').map(Number);
    for (let beat = 0; beat < count; beat++) beats.push(Math.round((Number(first) + beat * period) * 1000) / 1000);
  }
  return beats;
}

// The mark nearest to seconds; null without marks.
function nearestMark(marks, seconds) {
  let nearest = null;
  for (const mark of marks) if (nearest === null || Math.abs(mark - seconds) < Math.abs(nearest - seconds)) nearest = mark;
  return nearest;
}

// The first mark after start (direction 1) or the last before it (-1); null when none is.
function nextMark(marks, start, direction) {
  const ahead = marks.filter((mark) => (direction > 0 ? mark > start + 0.001 : mark < start - 0.001));
  if (!ahead.length) return null;
  return direction > 0 ? ahead[0] : ahead[ahead.length - 1];
}

// The downbeats, with the gaps where the analysis found no bar filled at the bars' usual
// period (the median from one to the next), so that a bar's nudge never leaps a chorus.
function filledBars(downbeats) {
  const periods = downbeats.slice(1).map((bar, index) => bar - downbeats[index]).sort((a, b) => a - b);
  const period = periods[Math.floor(periods.length / 2)];
  if (!period) return downbeats;
  const bars = [];
  downbeats.forEach((bar, index) => {
    bars.push(bar);
    const next = downbeats[index + 1];
    for (let filled = bar + period; next !== undefined && filled < next - period / 2; filled += period)
      bars.push(Math.round(filled * 1000) / 1000);
  });
  return bars;
}

// Where a nudge puts the start: one beat on or back, or one bar (to the next downbeat, or
// four beats where no bar is known); half a second, or two for a bar, where no beats are
// known. null when there is no beat that way.
function nudged(start, direction, bar, beats, downbeats) {
  if (!beats.length) return start + direction * (bar ? 2 : 0.5);
  if (bar && downbeats.length) return nextMark(filledBars(downbeats), start, direction);
  let at = start;
  for (let step = 0; step < (bar ? 4 : 1) && at !== null; step++) at = nextMark(beats, at, direction);
  return at;
}
