// SPDX-FileCopyrightText: 2026 The Lumivane developers
// SPDX-License-Identifier: GPL-3.0-or-later
'use strict';

const $ = (id) => document.getElementById(id);
const unreachable = 'Lumivane cannot be reached';

// Private browsing may refuse storage; the page then only forgets sooner.
function recall(key) {
  try { return sessionStorage.getItem(key); } catch (e) { return null; }
}
function remember(key, value) {
  try { value === null ? sessionStorage.removeItem(key) : sessionStorage.setItem(key, value); } catch (e) { }
}

let names = [];
let state = {};
let page = Math.min(3, Math.max(0, Number(recall('lumivane.page')) || 0));
let events = null; // the live stream, while there is one
let streamDown = false;
let reply = ''; // the last answer worth telling
let retry = 0;
let chain = Promise.resolve();

function drawTold() { $('told').textContent = reply || (streamDown ? 'Reconnecting…' : ''); }
function tell(text) { reply = text; drawTold(); }

// A phone that has left the network would otherwise hold a request for minutes.
async function request(path, options = {}) {
  const abort = new AbortController();
  const timer = setTimeout(() => abort.abort(), 8000);
  try { return await fetch(path, { ...options, signal: abort.signal, cache: 'no-store' }); }
  finally { clearTimeout(timer); }
}

// Lumivane refuses a change without this header: no other site's form can send it.
function post(path, body, type) {
  return request(path, { method: 'POST', body, headers: { 'Content-Type': type, 'X-Lumivane-Request': '1' } });
}

// One at a time: two requests on two connections could reach Lumivane the
// other way round, and the last brightness must be the one that stays.
function command(line) {
  chain = chain.then(async () => {
    try {
      const answer = await post('/api/command', line, 'text/plain');
      if (answer.status === 401) return showLogin();
      const text = (await answer.text()).trim();
      tell(answer.ok ? '' : text || `error: ${answer.status}`);
      return answer.ok;
    } catch (e) {
      tell(unreachable);
      return false;
    }
  });
  return chain;
}

function showName(n) {
  const name = names[n - 1] || '';
  return name === `Show ${n}` ? '' : name;
}

function addButton(parent, id, text, onClick) {
  const button = document.createElement('button');
  button.type = 'button';
  button.id = id;
  button.textContent = text;
  button.addEventListener('click', onClick);
  parent.append(button);
}

function drawPage() {
  [...$('pages').children].forEach((button, p) => button.setAttribute('aria-pressed', String(p === page)));
  [...$('shows').children].forEach((button, i) => { button.hidden = Math.floor(i / 32) !== page; });
}

// Names are the operator's text and may hold anything: set as text, never as markup.
function drawNames() {
  [...$('shows').children].forEach((button, i) => {
    const n = i + 1;
    const name = showName(n);
    const number = document.createElement('b');
    number.textContent = name || names[i] === '' ? String(n) : `Show ${n}`;
    const text = document.createElement('span');
    text.append(number, name ? ` · ${name}` : '');
    button.replaceChildren(text);
    button.title = text.textContent;
  });
}

// The slider follows the player only while nobody is moving it, and for a
// moment after, so that the echo of an earlier value cannot pull it back.
const level = { want: null, last: null, waiting: false, held: false, touched: 0, at: 0, settle: 0 };

function drawSlider() {
  const slider = $('brightness');
  const quiet = !level.held && !level.waiting && level.want === null && Date.now() - level.touched >= 1000;
  if (quiet && state.brightness != null) {
    slider.value = state.brightness;
    level.last = null;
  }
  $('percent').textContent = quiet && state.brightness == null ? '' : `${slider.value}%`;
}

function sendLevel() {
  if (level.waiting || level.want === null)
    return;
  level.waiting = true;
  const wait = level.at + 100 - Date.now();
  if (wait > 0) {
    setTimeout(() => { level.waiting = false; sendLevel(); }, wait);
    return;
  }
  const value = level.want;
  level.want = null;
  level.last = value;
  level.at = Date.now();
  command(`brightness ${value}`).then((ok) => {
    if (!ok) level.last = null;
    level.waiting = false;
    sendLevel();
    drawSlider();
  });
}

function moved() {
  const value = Number($('brightness').value);
  level.touched = Date.now();
  clearTimeout(level.settle);
  level.settle = setTimeout(drawSlider, 1100);
  $('percent').textContent = `${value}%`;
  if (value !== level.last) {
    level.want = value;
    sendLevel();
  }
}

function drawState() {
  const s = state;
  const name = s.show ? showName(s.show) : '';
  $('state').textContent = s.show ? `Show ${s.show}` + (name ? ` · ${name}` : '') : s.off ? 'Off' : 'Nothing sent yet';
  $('level').textContent = s.brightness != null ? `Brightness ${s.brightness}%` : '';
  $('level').hidden = s.brightness == null;
  $('link').textContent = s.link || '';
  $('next').textContent = s.next || '';
  $('next').hidden = s.next == null;
  $('locked').hidden = !s.locked;
  $('viewonly').hidden = !s.viewOnly;
  $('brightness').disabled = !!s.viewOnly;
  $('off').disabled = !!s.viewOnly;
  for (const button of $('shows').children) {
    button.setAttribute('aria-pressed', String(button.id === `show-${s.show}`));
    button.disabled = !!s.viewOnly;
  }
  drawSlider();
}

function showPanel(shown) {
  $('panel').hidden = !shown;
  $('controls').hidden = !shown;
  $('login').hidden = shown;
  $('logout').hidden = recall('lumivane.password') === null;
}

function tryAgain() {
  clearTimeout(retry);
  retry = setTimeout(load, 2000);
}

function showLogin() {
  if (events) events.close();
  events = null;
  streamDown = false;
  clearTimeout(retry);
  showPanel(false);
  drawTold();
  $('password').focus();
  return false;
}

function openStream() {
  const source = new EventSource('/api/events');
  events = source;
  source.addEventListener('open', () => {
    if (!streamDown) return;
    streamDown = false;
    if (reply === unreachable) reply = '';
    drawTold();
    load();
  });
  source.addEventListener('message', (e) => { state = JSON.parse(e.data); drawState(); });
  source.addEventListener('names', (e) => { names = JSON.parse(e.data); drawNames(); drawState(); });
  source.addEventListener('error', () => {
    streamDown = true;
    drawTold();
    // Refused rather than lost (a 401, or too many streams): the browser
    // gives up on it, so ask again, which also finds a changed password.
    if (source.readyState === EventSource.CLOSED && events === source) {
      events = null;
      tryAgain();
    }
  });
}

async function load() {
  try {
    const [n, s] = await Promise.all([request('/api/names'), request('/api/state')]);
    if (n.status === 401 || s.status === 401) return showLogin();
    if (!n.ok || !s.ok) throw new Error(`${n.status} ${s.status}`);
    names = await n.json();
    state = await s.json();
  } catch (e) {
    tell(unreachable);
    return tryAgain();
  }
  if (reply === unreachable) tell('');
  showPanel(true);
  drawNames();
  drawState();
  if (!events) openStream();
}

async function logIn(e) {
  e.preventDefault();
  try {
    const answer = await post('/api/login', `password=${encodeURIComponent($('password').value)}`,
      'application/x-www-form-urlencoded');
    if (answer.ok) {
      $('password').value = '';
      remember('lumivane.password', '1');
      tell('');
      load();
    } else {
      tell(answer.status === 401 ? 'Wrong password'
        : answer.status === 429 ? 'Too many wrong passwords: wait a minute' : (await answer.text()).trim());
    }
  } catch (err) {
    tell(unreachable);
  }
}

async function logOut() {
  try {
    await post('/api/logout', '', 'text/plain');
  } catch (e) {
    return tell(unreachable);
  }
  remember('lumivane.password', null);
  tell('');
  showLogin();
}

const slider = $('brightness');
slider.addEventListener('pointerdown', () => { level.held = true; });
for (const end of ['pointerup', 'pointercancel'])
  window.addEventListener(end, () => { if (level.held) { level.held = false; moved(); } });
slider.addEventListener('input', moved);
slider.addEventListener('change', moved);
$('off').addEventListener('click', () => command('off'));
$('login').addEventListener('submit', logIn);
$('logout').addEventListener('click', logOut);
for (let p = 0; p < 4; ++p) {
  addButton($('pages'), `page-${p + 1}`, `${p * 32 + 1}–${p * 32 + 32}`, () => {
    page = p;
    remember('lumivane.page', String(p));
    drawPage();
  });
}
for (let n = 1; n <= 128; ++n)
  addButton($('shows'), `show-${n}`, `Show ${n}`, () => command(`show ${n}`));
drawPage();
load();
