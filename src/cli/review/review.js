'use strict';
// The review page as an editor of starts. A click on a song's waveform or on a candidate
// moves its start, keys nudge it and approve it, a button plays the song from there, and
// "Save starts" writes the CSV that lumbrisk-cli --starts reads. What a person chose lives in
// the browser's storage, keyed by the page's path and run, so a reload keeps it and the next
// run's page starts afresh. Events are handled once for all rows, and a change redraws its
// own row only, so a page of thousands stays quick.
(() => {
  const main = document.querySelector('main');
  const rows = [...main.querySelectorAll('section.row')];
  const folder = main.dataset.folder;
  const wholeList = 'wholeList' in main.dataset;
  const storageKey = `lumbrisk-review ${location.pathname} ${main.dataset.run}`;
  // By source: {start} where it differs from the run's, {approved} once approved.
  const chosen = loadChosen();
  const notes = new WeakMap(); // the row's note until its start changes again
  const facts = new WeakMap(); // each row's numbers, read when first needed
  const filterBoxes = [...document.querySelectorAll('[data-filter]')];

  function loadChosen() {
    try {
      return JSON.parse(localStorage.getItem(storageKey)) || {};
    } catch {
      return {};
    }
  }

  function storeChosen() {
    try {
      localStorage.setItem(storageKey, JSON.stringify(chosen));
    } catch {
      say(null, 'The browser keeps no storage for this page: your choices last until it is closed.');
    }
  }

  const round = (seconds) => Math.round(seconds * 1000) / 1000;

  function factsOf(row) {
    if (!facts.has(row)) {
      const wave = row.querySelector('[data-role="song-wave"]');
      facts.set(row, {
        wave,
        seconds: wave ? Number(wave.dataset.seconds) : 0,
        length: Number(row.dataset.length),
        runStart: row.dataset.runStart === undefined ? null : Number(row.dataset.runStart),
        beats: beatsOf(row.dataset.beats),
        downbeats: beatsOf(row.dataset.downbeats),
      });
    }
    return facts.get(row);
  }

  const entryOf = (row) => chosen[row.dataset.source] || {};
  const isChanged = (row) => entryOf(row).start !== undefined;
  const isApproved = (row) => entryOf(row).approved === true;

  function startOf(row) {
    const entry = entryOf(row);
    return entry.start !== undefined ? entry.start : factsOf(row).runStart;
  }

  function clock(seconds) {
    const whole = Math.floor(Math.max(seconds, 0));
    return `${Math.floor(whole / 60)}:${String(whole % 60).padStart(2, '0')}`;
  }

  function update(row, change) {
    const source = row.dataset.source;
    const entry = { ...entryOf(row), ...change };
    for (const key of Object.keys(entry)) if (entry[key] === undefined || entry[key] === false) delete entry[key];
    if (Object.keys(entry).length) chosen[source] = entry;
    else delete chosen[source];
    storeChosen();
    draw(row);
    drawCounts();
  }

  // The start is kept within the song, and moved back where the preview would run past its end.
  function setStart(row, wanted) {
    const { wave, seconds, length, runStart } = factsOf(row);
    if (!wave) return; // without the song's length there is nowhere to put it
    const latest = Math.max(0, seconds - length);
    const start = round(Math.min(Math.max(wanted, 0), latest));
    notes.set(row, wanted > latest + 0.0005
      ? `Moved back to ${clock(start)}, so that the ${length} s preview ends with the song.` : '');
    update(row, { start: runStart !== null && Math.abs(start - runStart) < 0.0005 ? undefined : start });
  }

  function place(row, event) {
    const { wave, seconds, beats } = factsOf(row);
    const box = wave.getBoundingClientRect();
    const at = ((event.clientX - box.left) / box.width) * seconds;
    setStart(row, beats.length ? nearestMark(beats, at) : at);
  }

  function nudge(row, direction, bar) {
    const { beats, downbeats } = factsOf(row);
    const start = nudged(startOf(row) ?? 0, direction, bar, beats, downbeats);
    if (start !== null) setStart(row, start);
  }

  function draw(row) {
    const { wave, seconds, length } = factsOf(row);
    const start = startOf(row);
    // A row the run never gave a start has none again once Home takes back the one placed.
    const shown = row.querySelector('[data-role="start"]');
    if (shown) {
      if (start === null) delete shown.dataset.start;
      else shown.dataset.start = start;
      shown.textContent = start === null ? '—' : clock(start);
    }
    if (wave) {
      const frame = wave.querySelector('.window');
      frame.style.display = start === null ? 'none' : '';
      if (start !== null) {
        frame.style.left = `${(start / seconds) * 100}%`;
        frame.style.width = `${(Math.min(length, seconds - start) / seconds) * 100}%`;
      }
    }
    const origin = row.querySelector('[data-role="origin"]');
    if (origin) {
      origin.dataset.run ??= origin.textContent;
      origin.textContent = isChanged(row) ? 'this page' : origin.dataset.run;
    }
    row.classList.toggle('changed', isChanged(row));
    row.classList.toggle('approved', isApproved(row));
    row.querySelector('[data-role="approve"]').setAttribute('aria-pressed', String(isApproved(row)));
    row.querySelector('.note').textContent = notes.get(row) || '';
    filterRow(row, activeFilters());
  }

  function drawCounts() {
    let changed = 0;
    let reviewed = 0;
    for (const entry of Object.values(chosen)) {
      if (entry.start !== undefined) changed++;
      else if (entry.approved) reviewed++;
    }
    const counts = { reviewed, changed, left: rows.length - reviewed - changed };
    for (const [kind, count] of Object.entries(counts)) document.querySelector(`[data-count="${kind}"]`).textContent = count;
  }

  // The kinds ticked show the rows of any of them; "not yet reviewed" narrows that further.
  function activeFilters() {
    const ticked = filterBoxes.filter((box) => box.checked).map((box) => box.dataset.filter);
    return { kinds: ticked.filter((kind) => kind !== 'unreviewed'), unreviewed: ticked.includes('unreviewed') };
  }

  function filterRow(row, { kinds, unreviewed }) {
    const ofKind = !kinds.length || kinds.some((kind) => row.classList.contains(kind));
    row.hidden = !ofKind || (unreviewed && (isChanged(row) || isApproved(row)));
  }

  function say(row, text) {
    if (row) row.querySelector('.note').textContent = text;
    else document.querySelector('[data-role="save-note"]').textContent = text;
  }

  // Focus moves among the rows on screen: from the row given (hidden or not) or an end.
  function move(row, direction) {
    let index = row ? rows.indexOf(row) : direction > 0 ? -1 : rows.length;
    do index += direction;
    while (rows[index] && rows[index].hidden);
    const next = rows[index];
    if (!next) return;
    next.focus({ preventScroll: true });
    next.scrollIntoView({ block: 'nearest' });
  }

  function restore(row) {
    notes.delete(row);
    update(row, { start: undefined });
  }

  function approve(row, approved) {
    update(row, { approved });
    if (row.hidden) move(row, 1);
  }

  // The song itself, from the chosen start for the preview's length: one player for the page.
  const player = new Audio();
  let listening = null; // the row whose song plays
  let listeningFrom = 0; // and the start it plays from
  let until = 0;
  const formats = { mp3: 'audio/mpeg', flac: 'audio/flac', wav: 'audio/wav', ogg: 'audio/ogg', oga: 'audio/ogg',
    opus: 'audio/ogg; codecs=opus', m4a: 'audio/mp4', mp4: 'audio/mp4', aac: 'audio/aac', aif: 'audio/aiff',
    aiff: 'audio/aiff', wma: 'audio/x-ms-wma', webm: 'audio/webm' };

  function unplayable(song) {
    const extension = decodeURIComponent(song).split('.').pop().toLowerCase();
    const type = formats[extension];
    return type && !player.canPlayType(type) ? `This browser cannot play .${extension} songs; the preview below can be heard.` : '';
  }

  function stopListening() {
    if (!listening) return;
    player.pause();
    listening.querySelector('[data-role="listen"]').textContent = '▶ Song from the start';
    listening = null;
  }

  // ▶ stops the song, but plays it again from a start moved while it played.
  function listen(row) {
    const start = startOf(row) ?? 0;
    const stopping = listening === row && start === listeningFrom;
    stopListening();
    if (stopping) return;
    const problem = unplayable(row.dataset.song);
    if (problem) return say(row, problem);
    until = start + factsOf(row).length;
    listening = row;
    listeningFrom = start;
    row.querySelector('[data-role="listen"]').textContent = '■ Stop';
    player.src = `${row.dataset.song}#t=${start},${until}`;
    player.play().catch(() => {}); // a failure comes as an error event
  }

  player.addEventListener('timeupdate', () => {
    if (player.currentTime >= until) stopListening();
  });
  player.addEventListener('ended', stopListening);
  player.addEventListener('error', () => {
    if (!listening) return;
    const path = decodeURIComponent(new URL(listening.dataset.song, location.href).pathname);
    say(listening, `The song cannot be played: it is not at ${path} any more, or cannot be read.`);
    stopListening();
  });

  // One row of the saved list per song whose start was changed, approved or pinned by the
  // list already; where the run's list was the --starts file alone, every song keeps its row.
  function savedEntry(row) {
    const start = startOf(row);
    const duration = factsOf(row).length;
    const source = row.dataset.source;
    if (start !== null && (isChanged(row) || isApproved(row) || row.dataset.startFrom === 'list'))
      return { source, start, duration };
    if (!wholeList) return null;
    return { source, start: row.dataset.startFrom === 'chorus' ? 'auto' : '', duration };
  }

  function saveStarts() {
    const entries = rows.map(savedEntry).filter(Boolean);
    const { text, whole } = startsCsv(entries, folder);
    const link = document.createElement('a');
    link.href = URL.createObjectURL(new Blob([text], { type: 'text/csv' }));
    link.download = 'starts.csv';
    link.click();
    setTimeout(() => URL.revokeObjectURL(link.href), 60000);
    let note = `starts.csv names ${entries.length} songs.`;
    if (whole.length)
      note += ` ${whole.length} of them share no folder with this page, so it names them by their whole path: ${whole.join(', ')}`;
    say(null, note);
  }

  main.addEventListener('click', (event) => {
    const row = event.target.closest('section.row');
    const role = event.target.closest('[data-role]');
    if (!row || !role) return;
    switch (role.dataset.role) {
      case 'candidate': return setStart(row, Number(role.dataset.start));
      case 'song-wave': return place(row, event);
      case 'listen': return listen(row);
      case 'approve': return approve(row, !isApproved(row));
    }
  });

  document.addEventListener('keydown', (event) => {
    if (event.ctrlKey || event.metaKey || event.altKey || event.target.closest('input, audio, textarea')) return;
    const row = event.target.closest('section.row');
    const key = event.key.toLowerCase();
    if (key === 'j' || key === 'k') move(row, key === 'j' ? 1 : -1);
    else if (!row) return;
    else if (key === 'arrowright' || key === 'arrowleft') nudge(row, key === 'arrowright' ? 1 : -1, event.shiftKey);
    else if (key === 'home') restore(row);
    else if (key === 'enter') approve(row, true); // not the focused button's press
    else return;
    event.preventDefault();
  });

  for (const box of filterBoxes) {
    box.addEventListener('change', () => {
      const filters = activeFilters();
      for (const row of rows) filterRow(row, filters);
    });
  }
  document.querySelector('[data-role="save-starts"]').addEventListener('click', saveStarts);

  // What was chosen before a reload.
  const bySource = new Map(rows.map((row) => [row.dataset.source, row]));
  for (const source of Object.keys(chosen)) if (bySource.has(source)) draw(bySource.get(source));
  drawCounts();
})();
