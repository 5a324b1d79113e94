// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later
'use strict';

let page = 0;
let names = [];
let state = {};

function told(text) { document.getElementById('told').textContent = text; }

// Every change goes with the header no other site's form can send.
async function command(line) {
  try {
    const reply = await fetch('/api/command', {
      method: 'POST', body: line,
      headers: { 'Content-Type': 'text/plain', 'X-Lumivane-Request': '1' },
    });
    const text = (await reply.text()).trim();
    told(reply.ok ? '' : text);
  } catch (e) {
    told('Lumivane cannot be reached');
  }
}

function drawPages() {
  const nav = document.getElementById('pages');
  nav.replaceChildren();
  for (let p = 0; p < 4; ++p) {
    const b = document.createElement('button');
    b.type = 'button';
    b.textContent = `${p * 32 + 1}–${p * 32 + 32}`;
    b.setAttribute('aria-pressed', String(p === page));
    b.onclick = () => { page = p; drawPages(); drawShows(); };
    nav.append(b);
  }
}

// A name is text: set as text, never as markup.
function drawShows() {
  const main = document.getElementById('shows');
  main.replaceChildren();
  for (let n = page * 32 + 1; n <= page * 32 + 32; ++n) {
    const b = document.createElement('button');
    b.type = 'button';
    const name = names[n - 1] || `Show ${n}`;
    b.textContent = name === `Show ${n}` ? name : `${n} · ${name}`;
    b.setAttribute('aria-pressed', String(state.show === n));
    b.onclick = () => command(`show ${n}`);
    main.append(b);
  }
}

function drawState() {
  const s = state;
  document.getElementById('state').textContent =
    s.show ? `Show ${s.show}` + (s.brightness != null ? ` · Brightness ${s.brightness}%` : '')
    : s.off ? 'Off' : 'Nothing sent yet';
  document.getElementById('link').textContent = s.link || '';
  document.getElementById('next').textContent = s.next || '';
  document.getElementById('locked').hidden = !s.locked;
  const slider = document.getElementById('brightness');
  if (s.brightness != null && document.activeElement !== slider) slider.value = s.brightness;
  document.getElementById('percent').textContent = s.brightness != null ? `${s.brightness}%` : '';
  drawShows();
}

async function start() {
  names = await (await fetch('/api/names')).json();
  drawPages();
  drawShows();
  document.getElementById('off').onclick = () => command('off');
  document.getElementById('brightness').onchange = (e) => command(`brightness ${e.target.value}`);
  // The browser reconnects the stream by itself.
  const events = new EventSource('/api/events');
  events.onmessage = (e) => { state = JSON.parse(e.data); drawState(); };
  events.onerror = () => told('Reconnecting…');
  events.onopen = () => told('');
}

start();
