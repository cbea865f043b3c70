// The host's remote: the PIN (kept for this tab only), play/pause/stop/next, key
// and tempo, the singers' order (up, down, away, next) and the requests waiting,
// approved or declined. Names go in with textContent.
'use strict';
(function () {
  const { OFFLINE, el, songItem, showPlaying, errorText, api, live } = window.Lyrvox;
  const $ = (id) => document.getElementById(id);
  const PIN_KEY = 'lyrvox.pin';
  const session = window.sessionStorage;

  // A host's action under /api/host/ with the PIN kept for this tab.
  function call(method, path, body) {
    return api(method, '/api/host/' + path, { body, headers: { Authorization: 'Bearer ' + session.getItem(PIN_KEY) } });
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
    if (response.ok) {
      $('loginStatus').textContent = '';
      show(true);
      showRequests(await response.json());
      return true;
    }
    session.removeItem(PIN_KEY);
    show(false);
    $('loginStatus').textContent = await errorText(response);
    return false;
  }
  login.addEventListener('submit', (event) => {
    event.preventDefault();
    tryPin($('pin').value.trim()).catch(() => { $('loginStatus').textContent = OFFLINE; });
  });
  // The PIN leaves the tab and the field: a phone passed round shows nobody's remote.
  $('logout').addEventListener('click', () => {
    session.removeItem(PIN_KEY);
    $('pin').value = '';
    $('loginStatus').textContent = '';
    show(false);
  });

  // Whether the player did it; its reason, or the lost PIN, shown when not.
  async function act(method, path, body) {
    try {
      const response = await call(method, path, body);
      if (response.status === 401) { session.removeItem(PIN_KEY); show(false); $('loginStatus').textContent = 'Enter the PIN again.'; return false; }
      status.textContent = response.ok ? '' : await errorText(response);
      return response.ok;
    } catch (e) {
      status.textContent = OFFLINE;
      return false;
    }
  }
  for (const button of document.querySelectorAll('[data-command]'))
    button.addEventListener('click', () => act('POST', button.dataset.command));

  // Key (semitones) and tempo (percent) as the player last told them. A tap moves
  // the shown value at once; one request at a time goes out, and taps made while
  // it runs are sent together after it, so that quick taps add up and reach the
  // player in order. A refusal brings back the player's own value.
  const tuning = {
    key: { value: 0, low: -6, high: 6, field: 'semitones', busy: false, text: (v) => 'Key ' + (v > 0 ? '+' : '') + v },
    tempo: { value: 100, low: 50, high: 150, field: 'percent', busy: false, text: (v) => 'Tempo ' + v + '%' },
  };
  function showTuning(name, value) {
    tuning[name].value = value;
    $(name).textContent = tuning[name].text(value);
  }
  async function sendTuning(name) {
    const t = tuning[name];
    t.busy = true;
    let sent;
    let ok;
    do {
      sent = t.value;
      ok = await act('POST', name, { [t.field]: sent });
    } while (ok && t.value !== sent);
    t.busy = false;
    if (!ok) refresh();
  }
  for (const name of Object.keys(tuning)) {
    for (const button of document.querySelectorAll('[data-' + name + ']')) {
      button.addEventListener('click', () => {
        const t = tuning[name];
        showTuning(name, Math.max(t.low, Math.min(t.high, t.value + Number(button.dataset[name]))));
        if (!t.busy) sendTuning(name);
      });
    }
  }

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
      // The buttons as one group: it goes below the name when both do not fit.
      const actions = el('div', undefined, 'actions');
      actions.append(button('↑', 'up', 'Earlier:', i === 0), button('↓', 'down', 'Later:', i === singers.length - 1),
        button(s.away ? 'Back' : 'Away', 'away', s.away ? 'Back:' : 'Away:', false), button('Next', 'next', 'Sings next:', s.away));
      li.appendChild(actions);
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
      const no = el('button', 'Decline', 'quiet');
      // One answer per request: a second tap would only be told it is gone.
      const decide = (verb) => async () => {
        yes.disabled = no.disabled = true;
        if (!(await act('POST', 'requests/' + q.id + '/' + verb))) yes.disabled = no.disabled = false;
      };
      yes.addEventListener('click', decide('approve'));
      no.addEventListener('click', decide('decline'));
      const actions = el('div', undefined, 'actions');
      actions.append(yes, no);
      li.appendChild(actions);
      return li;
    }));
  }
  function showRotation(r) {
    showPlaying($('playing'), r.playing);
    $('coming').replaceChildren(...(r.coming || []).map((turn) => {
      const li = el('li');
      li.appendChild(songItem(turn.singer + ' — ' + turn.artist, turn.title));
      return li;
    }));
    showSingers(r.singers || []);
    showRequests(r.requests || []);
    for (const name of Object.keys(tuning)) {
      // While taps are on their way the page shows where they lead.
      if (typeof r[name] === 'number' && !tuning[name].busy) showTuning(name, r[name]);
    }
  }
  async function refresh() {
    try {
      const response = await api('GET', '/api/rotation');
      if (response.ok) showRotation(await response.json());
    } catch (e) { /* the live connection reports the trouble */ }
  }

  const saved = session.getItem(PIN_KEY);
  if (saved) tryPin(saved).catch(() => show(false));
  else show(false);
  live(showRotation);
})();
