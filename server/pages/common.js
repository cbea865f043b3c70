// What the singers' page and the host's remote share, loaded before either:
// elements built with text only (song and singer names are whatever the library
// and the phones hold, so they never go in as HTML), calls to the player's API
// with their error text, and the live rotation over the WebSocket.
'use strict';
window.Lyrvox = (function () {
  const OFFLINE = 'No connection to the player.';

  function el(tag, text, className) {
    const node = document.createElement(tag);
    if (text !== undefined) node.textContent = text;
    if (className) node.className = className;
    return node;
  }
  // A song as a title with a smaller line below it: the artist, and `extra` when given.
  function songItem(artist, title, extra) {
    const span = el('span', title, 'song');
    span.appendChild(el('small', extra ? artist + ' · ' + extra : artist));
    return span;
  }
  // What plays now, into the element `playing` (a song of the plain queue is
  // nobody's turn: no singer before it).
  function showPlaying(playing, now) {
    if (now) {
      playing.replaceChildren(songItem((now.singer ? now.singer + ' — ' : '') + now.artist, now.title));
      playing.className = '';
    } else {
      playing.textContent = 'Nothing is playing.';
      playing.className = 'muted';
    }
  }
  // The server's reason for a refusal ({"error": "..."}), or the status' own words.
  async function errorText(response) {
    try { return (await response.json()).error || response.statusText; } catch (e) { return response.statusText; }
  }
  // fetch() of `path` on the player: `body` sent as JSON when given, `headers`
  // added, `signal` to cancel it.
  function api(method, path, options) {
    const { body, headers, signal } = options || {};
    const all = Object.assign({}, headers);
    if (body !== undefined) all['Content-Type'] = 'application/json';
    return fetch(path, { method, headers: all, signal, body: body === undefined ? undefined : JSON.stringify(body) });
  }
  // The rotation as GET /api/rotation gives it, handed to `show` at once and at
  // every change; the text of `liveId`'s element says whether the link is up. It
  // reconnects after 1, 2, 4 … 30 seconds.
  function live(show, liveId) {
    const status = document.getElementById(liveId || 'live');
    let delay = 1000;
    function connect() {
      const ws = new WebSocket((location.protocol === 'https:' ? 'wss://' : 'ws://') + location.host + '/ws');
      ws.onopen = () => { delay = 1000; status.textContent = 'Live'; };
      ws.onmessage = (event) => {
        let rotation;
        try { rotation = JSON.parse(event.data); } catch (e) { return; /* a broken message is skipped */ }
        show(rotation);
      };
      ws.onclose = () => {
        status.textContent = 'Reconnecting…';
        setTimeout(connect, delay);
        delay = Math.min(delay * 2, 30000);
      };
    }
    connect();
  }

  return Object.freeze({ OFFLINE, el, songItem, showPlaying, errorText, api, live });
})();
