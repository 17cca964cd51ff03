// kymhost's live view: reads kymhost's event stream and shows the recording as it comes (the
// canvases are draw.js's). Every history is bounded (10 s of trace, 30 s of weight, the last
// messages), so an hour's run costs what a minute's does.
'use strict';

const TRACE_SECONDS = 10;
const WEIGHT_SECONDS = 30;
const MOST_MESSAGES = 500;
const MOST_MARKERS = 1000;
// Until the run's start says otherwise: the board's outline and where its sensors sit (mm).
const DEFAULT_BOARD_MM = [511, 316];
const DEFAULT_SENSOR_SPAN_MM = [433, 238];
const CORNER_NAMES = ['top left', 'bottom left', 'top right', 'bottom right'];
// Where each corner's bar sits in the 2 x 2 grid, as seen standing on the board.
const CORNER_ORDER = [0, 2, 1, 3];

const view = {
  phase: 'connecting',
  periodSeconds: 0.01,
  boardMm: DEFAULT_BOARD_MM,
  boardCentresMm: [0],
  sensorSpanMm: DEFAULT_SENSOR_SPAN_MM,
  boards: [],
  latest: null,       // the last frame
  trace: [],          // [t, x, y] of the last 10 s, null x and y where nobody stood
  weight: [],         // [t, kg] of the last 30 s
  markers: [],        // {number, t}
  ellipse: null,
  framesReceived: 0,
  drawn: null,        // what the last drawing showed, for whoever checks the page
};

const showState = new URLSearchParams(location.search).has('state');
const token = document.querySelector('meta[name="kymhost-marker-token"]').content;
const $ = (id) => document.getElementById(id);

function fixed(value, decimals) {
  return value === null || value === undefined ? '–' : Number(value).toFixed(decimals);
}

function setPhase(phase, text) {
  view.phase = phase;
  const element = $('phase');
  element.textContent = text;
  element.classList.toggle('ended', phase === 'ended' || phase === 'lost');
  $('marker').disabled = phase !== 'recording';
  schedule();  // the drawn state tells the phase too
}

// Keeps the entries of a history whose time is within seconds of the newest.
function trim(history, seconds) {
  if (history.length === 0) return;
  const oldest = history[history.length - 1][0] - seconds;
  let drop = 0;
  while (drop < history.length && history[drop][0] < oldest) drop++;
  if (drop > 0) history.splice(0, drop);
}

// --- the stream ----------------------------------------------------------------------------

function onStart(start) {
  view.periodSeconds = start.period_s || view.periodSeconds;
  view.boardMm = start.board_mm || DEFAULT_BOARD_MM;
  view.sensorSpanMm = start.sensor_span_mm || DEFAULT_SENSOR_SPAN_MM;
  // Where each board's centre stands, from the middle of the row (one board: at 0).
  view.boardCentresMm = start.centre_x_mm && start.centre_x_mm.length ? start.centre_x_mm : [0];
  view.boards = start.boards || [];
  view.trace = [];
  view.weight = [];
  view.markers = [];
  view.ellipse = null;
  view.latest = null;
  view.framesReceived = 0;
  buildBoardCards();
  setPhase('starting', start.label ? `Starting: ${start.label}` : 'Starting the recording…');
  schedule();
}

function onFrame(frame) {
  if (view.phase !== 'recording' && view.phase !== 'ended') {
    setPhase('recording', 'Recording');
  }
  view.latest = frame;
  view.framesReceived++;
  const stands = frame.total_kg !== null && frame.total_kg >= 1;
  view.trace.push([frame.t, stands ? frame.cop_x_mm : null, stands ? frame.cop_y_mm : null]);
  view.weight.push([frame.t, frame.total_kg]);
  trim(view.trace, TRACE_SECONDS);
  trim(view.weight, WEIGHT_SECONDS);
  schedule();
}

function onMessage(text) {
  const list = $('messages');
  const item = document.createElement('li');
  const time = document.createElement('time');
  time.textContent = new Date().toLocaleTimeString();
  item.append(time, text);
  list.append(item);
  while (list.children.length > MOST_MESSAGES) list.firstElementChild.remove();
  list.scrollTop = list.scrollHeight;
}

function onMarker(marker) {
  view.markers.push(marker);
  if (view.markers.length > MOST_MARKERS) view.markers.shift();
  schedule();
}

function onSummary(summary) {
  const table = $('summary');
  table.replaceChildren();
  for (const [key, value] of Object.entries(summary)) {
    const row = table.insertRow();
    row.insertCell().textContent = describeKey(key);
    row.insertCell().textContent = Array.isArray(value) ? value.join(', ') : value === null ? '–' : String(value);
  }
  $('summary-section').hidden = false;
  setPhase('ended', 'The recording ended');
}

// "cop_velocity_mm_s" as "cop velocity (mm/s)".
function describeKey(key) {
  const units = [['_mm2', 'mm²'], ['_mm_s', 'mm/s'], ['_mm', 'mm'], ['_kg', 'kg'], ['_hz', 'Hz'], ['_s', 's'],
                 ['_pct', '%']];
  for (const [suffix, unit] of units) {
    if (key.endsWith(suffix)) return `${key.slice(0, -suffix.length).replaceAll('_', ' ')} (${unit})`;
  }
  return key.replaceAll('_', ' ');
}

const source = new EventSource('/events');
const parsed = (handler) => (event) => handler(JSON.parse(event.data));
source.addEventListener('start', parsed(onStart));
source.addEventListener('frame', parsed(onFrame));
source.addEventListener('marker', parsed(onMarker));
source.addEventListener('ellipse', parsed((ellipse) => { view.ellipse = ellipse; schedule(); }));
source.addEventListener('summary', parsed(onSummary));
source.addEventListener('message', (event) => onMessage(event.data));
source.addEventListener('end', () => {
  source.close();
  if (view.phase !== 'ended') setPhase('ended', 'kymhost has ended');
  else $('phase').textContent = 'The recording ended; kymhost has ended';
});
// Each connection begins with the whole session so far: what an earlier one brought goes.
source.addEventListener('open', () => {
  $('messages').replaceChildren();
  view.trace = [];
  view.weight = [];
  view.markers = [];
  view.framesReceived = 0;
  setPhase('waiting', 'Waiting for the recording…');
});
source.addEventListener('error', () => {
  if (source.readyState !== EventSource.CLOSED && view.phase !== 'ended') {
    setPhase('lost', 'Not connected to kymhost: trying again…');
  }
});

$('marker').addEventListener('click', async () => {
  const button = $('marker');
  button.disabled = true;
  try {
    const answer = await fetch('/marker', { method: 'POST', headers: { 'X-Kymhost-Token': token } });
    if (!answer.ok) onMessage(`The marker was not set: ${(await answer.text()).trim()}`);
  } catch (error) {
    onMessage(`The marker was not set: ${error}`);
  }
  button.disabled = view.phase !== 'recording';
});

// --- the boards' cards ---------------------------------------------------------------------

function buildBoardCards() {
  const holder = $('boards');
  holder.replaceChildren();
  view.boards.forEach((board, index) => {
    const card = document.createElement('div');
    card.className = 'board-card';
    const name = board.label || `Board ${index + 1}`;
    card.innerHTML = `<div class="board-name"></div><div class="board-identity"></div>
      <div class="corners">${CORNER_ORDER.map((c) => `<div class="corner" data-corner="${c}">
        <span class="corner-words">${CORNER_NAMES[c]}</span><div class="bar"><div></div></div></div>`).join('')}</div>
      <div class="split"><div class="left"></div><div class="right"></div></div>
      <div class="split-words"></div>`;
    card.querySelector('.board-name').textContent = name;
    const identity = card.querySelector('.board-identity');
    identity.textContent = `${board.type || 'board'} ${board.version || ''} · serial ${board.serial} · `;
    const battery = document.createElement('span');
    battery.textContent = `batteries ${board.battery}`;
    if (board.battery === 'weak') battery.className = 'battery-weak';
    identity.append(battery);
    holder.append(card);
  });
}

function boardsOf(frame) {
  return frame.boards || [frame];
}

function updateBoardCards(frame) {
  const cards = $('boards').children;
  boardsOf(frame).forEach((board, index) => {
    const card = cards[index];
    if (!card) return;
    const corners = board ? board.corners_kg : null;
    const most = corners ? Math.max(1, ...corners) : 1;
    for (const cell of card.querySelectorAll('.corner')) {
      const c = Number(cell.dataset.corner);
      const kg = corners ? corners[c] : null;
      cell.querySelector('.corner-words').textContent = `${CORNER_NAMES[c]} ${fixed(kg, 1)} kg`;
      cell.querySelector('.bar > div').style.width = kg === null ? '0' : `${Math.max(0, 100 * kg / most)}%`;
    }
    const left = corners ? corners[0] + corners[1] : 0;
    const right = corners ? corners[2] + corners[3] : 0;
    const both = left + right;
    const leftShare = both >= 1 ? 100 * left / both : null;
    card.querySelector('.split .left').style.width = leftShare === null ? '50%' : `${leftShare}%`;
    card.querySelector('.split .right').style.width = leftShare === null ? '50%' : `${100 - leftShare}%`;
    card.querySelector('.split .left').textContent = leftShare === null ? '' : `${fixed(leftShare, 0)} %`;
    card.querySelector('.split .right').textContent = leftShare === null ? '' : `${fixed(100 - leftShare, 0)} %`;
    card.querySelector('.split-words').textContent = leftShare === null
      ? 'Left / right: nobody on the board'
      : `Left ${fixed(left, 1)} kg (${fixed(leftShare, 1)} %) · right ${fixed(right, 1)} kg (${fixed(100 - leftShare, 1)} %)`;
  });
}

function drawCounts() {
  const frame = view.latest;
  if (!frame) return;
  const frames = Math.round(frame.t / view.periodSeconds) + 1;
  $('clock').textContent = `${fixed(frames * view.periodSeconds, 2)} s`;
  $('frames').textContent = `${frames} frames · ${fixed(frame.total_kg, 1)} kg`;
}

let pending = false;
function schedule() {
  if (pending) return;
  pending = true;
  requestAnimationFrame(draw);
}

function draw() {
  pending = false;
  const cop = drawCop();
  const weightPoints = drawWeight();
  if (view.latest) updateBoardCards(view.latest);
  drawCounts();
  view.drawn = {
    phase: view.phase,
    frames_received: view.framesReceived,
    trace: cop.points.map((p) => p.slice()),
    current: cop.current,
    trace_extent_mm: cop.extent,
    ellipse: view.ellipse,
    weight_points: weightPoints,
    markers: view.markers.length,
    messages: $('messages').children.length,
  };
  if (showState) $('drawn-state').textContent = JSON.stringify(view.drawn);
}

window.kymhostView = view;
window.addEventListener('resize', schedule);
schedule();
