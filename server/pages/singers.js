// The singers' page: search as you type, ask for a song under your name, see
// the rotation live. Every text from the server goes in with textContent: song
// and singer names are whatever the library and other phones hold.
'use strict';
(function () {
  const { OFFLINE, el, songItem, showPlaying, errorText, api, live } = window.Lyrvox;
  const $ = (id) => document.getElementById(id);
  const store = window.localStorage;
  const NAME_KEY = 'lyrvox.singer';
  const TOKEN_KEY = 'lyrvox.client';
  const MINE_KEY = 'lyrvox.mine';

  function clock(seconds) {
    if (!seconds) return '';
    const s = Math.round(seconds);
    return Math.floor(s / 60) + ':' + String(s % 60).padStart(2, '0');
  }
  function mine() {
    try { return JSON.parse(store.getItem(MINE_KEY) || '[]'); } catch (e) { return []; }
  }
  function setMine(ids) { store.setItem(MINE_KEY, JSON.stringify(ids.slice(-20))); }
  // The phone's token, once the server gave one: it may withdraw its own requests.
  function clientHeaders() {
    const t = store.getItem(TOKEN_KEY);
    return t ? { 'X-Lyrvox-Client': t } : {};
  }

  const singer = $('singer');
  singer.value = store.getItem(NAME_KEY) || '';
  singer.addEventListener('change', () => store.setItem(NAME_KEY, singer.value.trim()));

  // Search as you type: one request a quarter second after the last key, the one
  // before cancelled.
  const search = $('search');
  const status = $('status');
  const results = $('results');
  let timer = 0;
  let running = null;
  search.addEventListener('input', () => {
    clearTimeout(timer);
    timer = setTimeout(find, 250);
  });
  async function find() {
    const words = search.value.trim();
    if (running) running.abort();
    if (!words) { results.replaceChildren(); status.textContent = ''; return; }
    running = new AbortController();
    status.textContent = 'Searching…';
    try {
      const response = await api('GET', '/api/search?q=' + encodeURIComponent(words), { signal: running.signal });
      if (!response.ok) { status.textContent = await errorText(response); return; }
      showResults(await response.json());
    } catch (e) {
      if (e.name !== 'AbortError') status.textContent = OFFLINE;
    }
  }
  function showResults(songs) {
    status.textContent = songs.length ? songs.length + (songs.length === 1 ? ' song' : ' songs') : 'No song found.';
    results.replaceChildren(...songs.map((song) => {
      const li = el('li');
      li.appendChild(songItem(song.artist, song.title, clock(song.duration)));
      const button = el('button', 'Sing this');
      button.addEventListener('click', () => ask(song, button));
      li.appendChild(button);
      return li;
    }));
  }
  async function ask(song, button) {
    const name = singer.value.trim();
    if (!name) { status.textContent = 'Write your name first.'; singer.focus(); return; }
    store.setItem(NAME_KEY, name);
    button.disabled = true;
    try {
      const response = await api('POST', '/api/requests', { headers: clientHeaders(), body: { singer: name, song: song.id } });
      if (!response.ok) { status.textContent = await errorText(response); button.disabled = false; return; }
      const token = response.headers.get('X-Lyrvox-Client');
      if (token) store.setItem(TOKEN_KEY, token);
      const made = await response.json();
      setMine(mine().concat([made.id]));
      status.textContent = 'Asked for “' + song.title + '”. The host will call you.';
      button.textContent = 'Asked';
      refresh();
    } catch (e) {
      status.textContent = OFFLINE;
      button.disabled = false;
    }
  }
  async function withdraw(id, button) {
    button.disabled = true;
    try {
      const response = await api('DELETE', '/api/requests/' + encodeURIComponent(id), { headers: clientHeaders() });
      if (!response.ok && response.status !== 404) { status.textContent = await errorText(response); button.disabled = false; return; }
      setMine(mine().filter((m) => m !== id));
      refresh();
    } catch (e) {
      status.textContent = OFFLINE;
      button.disabled = false;
    }
  }

  function showRotation(r) {
    const me = singer.value.trim();
    showPlaying($('playing'), r.playing);
    const coming = r.coming || [];
    $('coming').replaceChildren(...coming.map((turn) => {
      const li = el('li', undefined, turn.singer === me ? 'me' : '');
      li.appendChild(songItem(turn.singer + ' — ' + turn.artist, turn.title));
      return li;
    }));
    const place = $('place');
    const at = me ? coming.findIndex((turn) => turn.singer === me) : -1;
    place.hidden = at < 0;
    place.textContent = at === 0 ? 'You are next!' : at > 0 ? 'Your turn: ' + (at + 1) + ' in line.' : '';
    const ids = mine();
    const waiting = (r.requests || []).filter((q) => ids.includes(q.id));
    const list = $('mine');
    if (!waiting.length) {
      list.replaceChildren(el('li', 'None waiting.', 'muted'));
    } else {
      list.replaceChildren(...waiting.map((q) => {
        const li = el('li');
        li.appendChild(songItem(q.singer + ' — ' + q.song.artist, q.song.title, 'waiting for the host'));
        const button = el('button', 'Withdraw', 'quiet');
        button.addEventListener('click', () => withdraw(q.id, button));
        li.appendChild(button);
        return li;
      }));
    }
    // Requests no longer waiting were approved, declined or withdrawn.
    setMine(ids.filter((id) => waiting.some((q) => q.id === id)));
  }

  async function refresh() {
    try {
      const response = await api('GET', '/api/rotation');
      if (response.ok) showRotation(await response.json());
    } catch (e) { /* the live connection reports the trouble */ }
  }

  refresh();
  live(showRotation);
})();
