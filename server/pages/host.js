// The host's remote: the PIN (kept for this tab only), play/pause/stop/next, key
// and tempo, the singers' order (up, down, away, next) and the requests waiting,
// approved or declined. Names go in with textContent.
'use strict';
(function () {
  const $ = (id) => document.getElementById(id);
  const PIN_KEY = 'lyrvox.pin';
  const session = window.sessionStorage;

  function el(tag, text, className) {
    const node = document.createElement(tag);
    if (text !== undefined) node.textContent = text;
    if (className) node.className = className;
    return node;
  }
  function songItem(artist, title) {
    const span = el('span', title, 'song');
    span.appendChild(el('small', artist));
    return span;
  }
  async function errorText(response) {
    try { return (await response.json()).error || response.statusText; } catch (e) { return response.statusText; }
  }
  function call(method, path, body) {
    const headers = { Authorization: 'Bearer ' + session.getItem(PIN_KEY) };
    if (body !== undefined) headers['Content-Type'] = 'application/json';
    return fetch('/api/host/' + path, { method, headers, body: body === undefined ? undefined : JSON.stringify(body) });
  }

  const login = $('login');
  const remote = $('remote');
  const status = $('status');
  function show(open) {
    login.hidden = open;
    remote.hidden = !open;
  }
  async function tryPin(pin) {
    session.setItem(PIN_KEY, pin);
    const response = await call('GET', 'requests');
    if (response.ok) { show(true); showRequests(await response.json()); return true; }
    session.removeItem(PIN_KEY);
    show(false);
    $('loginStatus').textContent = await errorText(response);
    return false;
  }
  login.addEventListener('submit', (event) => {
    event.preventDefault();
    tryPin($('pin').value.trim()).catch(() => { $('loginStatus').textContent = 'No connection to the player.'; });
  });
  $('logout').addEventListener('click', () => { session.removeItem(PIN_KEY); show(false); });

  async function act(method, path, body) {
    try {
      const response = await call(method, path, body);
      if (response.status === 401) { session.removeItem(PIN_KEY); show(false); $('loginStatus').textContent = 'Enter the PIN again.'; return; }
      status.textContent = response.ok ? '' : await errorText(response);
    } catch (e) {
      status.textContent = 'No connection to the player.';
    }
  }
  for (const button of document.querySelectorAll('[data-command]'))
    button.addEventListener('click', () => act('POST', button.dataset.command));

  // Key (semitones) and tempo (percent) as the player has them now; the buttons step from there.
  let key = 0;
  let tempo = 100;
  for (const button of document.querySelectorAll('[data-key]'))
    button.addEventListener('click', () => act('POST', 'key', { semitones: Math.max(-6, Math.min(6, key + Number(button.dataset.key))) }));
  for (const button of document.querySelectorAll('[data-tempo]'))
    button.addEventListener('click', () => act('POST', 'tempo', { percent: Math.max(50, Math.min(150, tempo + Number(button.dataset.tempo))) }));

  function showSingers(singers) {
    const list = $('singers');
    if (!singers.length) { list.replaceChildren(el('li', 'None yet.', 'muted')); return; }
    list.replaceChildren(...singers.map((s, i) => {
      const li = el('li');
      const songs = s.songs === 1 ? '1 song' : s.songs + ' songs';
      li.appendChild(el('span', s.name, 'song')).appendChild(el('small', s.away ? 'away · ' + songs : songs));
      const button = (text, action, label, disabled) => {
        const b = el('button', text, 'quiet');
        b.setAttribute('aria-label', label + ' ' + s.name);
        b.disabled = disabled;
        b.addEventListener('click', () => act('POST', 'singers/' + s.id + '/' + action));
        return b;
      };
      li.append(button('↑', 'up', 'Earlier:', i === 0), button('↓', 'down', 'Later:', i === singers.length - 1),
        button(s.away ? 'Back' : 'Away', 'away', s.away ? 'Back:' : 'Away:', false), button('Next', 'next', 'Sings next:', s.away));
      return li;
    }));
  }
  function showRequests(requests) {
    const list = $('requests');
    if (!requests.length) { list.replaceChildren(el('li', 'None.', 'muted')); return; }
    list.replaceChildren(...requests.map((q) => {
      const li = el('li');
      li.appendChild(songItem(q.singer + ' — ' + q.song.artist, q.song.title));
      const yes = el('button', 'Approve');
      yes.addEventListener('click', () => act('POST', 'requests/' + q.id + '/approve'));
      const no = el('button', 'Decline', 'quiet');
      no.addEventListener('click', () => act('POST', 'requests/' + q.id + '/decline'));
      li.append(yes, no);
      return li;
    }));
  }
  function showRotation(r) {
    const playing = $('playing');
    if (r.playing) {
      playing.replaceChildren(songItem(r.playing.singer + ' — ' + r.playing.artist, r.playing.title));
      playing.className = '';
    } else {
      playing.textContent = 'Nothing is playing.';
      playing.className = 'muted';
    }
    $('coming').replaceChildren(...(r.coming || []).map((turn) => {
      const li = el('li');
      li.appendChild(songItem(turn.singer + ' — ' + turn.artist, turn.title));
      return li;
    }));
    showSingers(r.singers || []);
    showRequests(r.requests || []);
    if (typeof r.key === 'number') {
      key = r.key;
      $('key').textContent = 'Key ' + (key > 0 ? '+' : '') + key;
    }
    if (typeof r.tempo === 'number') {
      tempo = r.tempo;
      $('tempo').textContent = 'Tempo ' + tempo + '%';
    }
  }

  let delay = 1000;
  function connect() {
    const live = $('live');
    const ws = new WebSocket((location.protocol === 'https:' ? 'wss://' : 'ws://') + location.host + '/ws');
    ws.onopen = () => { delay = 1000; live.textContent = 'Live'; };
    ws.onmessage = (event) => {
      try { showRotation(JSON.parse(event.data)); } catch (e) { /* a broken message is skipped */ }
    };
    ws.onclose = () => {
      live.textContent = 'Reconnecting…';
      setTimeout(connect, delay);
      delay = Math.min(delay * 2, 30000);
    };
  }
  const saved = session.getItem(PIN_KEY);
  if (saved) tryPin(saved).catch(() => show(false));
  else show(false);
  connect();
})();
