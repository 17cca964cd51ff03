// kymhost's live view: reads kymhost's event stream and draws the recording as it comes. Every
// history is bounded (10 s of trace, 30 s of weight, the last messages), so an hour's run costs
// what a minute's does.
'use strict';

const TRACE_SECONDS = 10;
const WEIGHT_SECONDS = 30;
const MOST_MESSAGES = 500;
const MOST_MARKERS = 1000;
// Until the run's start says otherwise: the board's outline and where its sensors sit (mm).
const DEFAULT_BOARD_MM = [511, 316];
const DEFAULT_SENSOR_SPAN_MM = [433, 238];
const LEAST_TRACE_EXTENT_MM = 10;
const CORNER_NAMES = ['top left', 'bottom left', 'top right', 'bottom right'];
// Where each corner's bar sits in the 2 x 2 grid, as seen standing on the board.
const CORNER_ORDER = [0, 2, 1, 3];

const view = {
  phase: 'connecting',
  periodSeconds: 0.01,
  boardMm: DEFAULT_BOARD_MM,
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

// --- drawing -------------------------------------------------------------------------------

// A canvas sized to its box in device pixels; drawing is in CSS pixels.
function prepare(canvas) {
  const ratio = window.devicePixelRatio || 1;
  const width = canvas.clientWidth, height = canvas.clientHeight;
  if (canvas.width !== Math.round(width * ratio) || canvas.height !== Math.round(height * ratio)) {
    canvas.width = Math.round(width * ratio);
    canvas.height = Math.round(height * ratio);
  }
  const context = canvas.getContext('2d');
  context.setTransform(ratio, 0, 0, ratio, 0, 0);
  context.clearRect(0, 0, width, height);
  return { context, width, height };
}

// A round step for axis ticks: 1, 2 or 5 times a power of ten, about span / count.
function tickStep(span, count) {
  const raw = span / count;
  const power = Math.pow(10, Math.floor(Math.log10(raw)));
  for (const m of [1, 2, 5, 10]) if (m * power >= raw) return m * power;
  return 10 * power;
}

// A picture of the board's surface in millimetres, one scale both ways: x to the right, y to
// the front (up), centred on the board's centre.
function copPicture(canvas, extentMm) {
  const picture = prepare(canvas);
  const size = Math.min(picture.width, picture.height);
  picture.scale = size / (2 * extentMm);
  picture.X = (x) => picture.width / 2 + x * picture.scale;
  picture.Y = (y) => picture.height / 2 - y * picture.scale;
  return picture;
}

function drawGrid(picture, extentMm) {
  const { context } = picture;
  const step = tickStep(2 * extentMm, 8);
  context.strokeStyle = '#eef1f4';
  context.fillStyle = '#8a939c';
  context.font = '11px system-ui, sans-serif';
  context.lineWidth = 1;
  for (let v = -Math.floor(extentMm / step) * step; v <= extentMm; v += step) {
    context.beginPath();
    context.moveTo(picture.X(v), picture.Y(extentMm));
    context.lineTo(picture.X(v), picture.Y(-extentMm));
    context.moveTo(picture.X(-extentMm), picture.Y(v));
    context.lineTo(picture.X(extentMm), picture.Y(v));
    context.stroke();
    if (Math.abs(v) > 1e-9) {
      context.fillText(`${Math.round(v * 10) / 10}`, picture.X(v) + 2, picture.Y(-extentMm) - 3);
      context.fillText(`${Math.round(v * 10) / 10}`, picture.X(-extentMm) + 2, picture.Y(v) - 2);
    }
  }
  context.fillText('mm', picture.X(extentMm) - 22, picture.Y(-extentMm) - 3);
}

// Filled in the whole board's picture; only its edge where the picture is enlarged.
function drawBoardOutline(picture, filled) {
  const { context } = picture;
  const [width, depth] = view.boardMm;
  const [spanX, spanY] = view.sensorSpanMm;
  context.strokeStyle = '#6d7781';
  context.lineWidth = 1.5;
  context.fillStyle = '#f2f4f6';
  context.beginPath();
  context.roundRect(picture.X(-width / 2), picture.Y(depth / 2), width * picture.scale, depth * picture.scale,
                    12 * picture.scale);
  if (filled) context.fill();
  context.stroke();
  context.fillStyle = '#9aa3ab';
  for (const [sx, sy] of [[-1, 1], [1, 1], [-1, -1], [1, -1]]) {
    context.beginPath();
    context.arc(picture.X(sx * spanX / 2), picture.Y(sy * spanY / 2), Math.max(2, 10 * picture.scale), 0, 2 * Math.PI);
    context.fill();
  }
  context.fillStyle = '#6d7781';
  context.font = '11px system-ui, sans-serif';
  context.fillText('front', picture.X(0) - 14, picture.Y(depth / 2) - 4);
}

function drawCentre(picture) {
  const { context } = picture;
  const x = picture.X(0), y = picture.Y(0);
  context.strokeStyle = '#1d232a';
  context.lineWidth = 1;
  context.beginPath();
  context.arc(x, y, 4, 0, 2 * Math.PI);
  context.moveTo(x - 8, y);
  context.lineTo(x + 8, y);
  context.moveTo(x, y - 8);
  context.lineTo(x, y + 8);
  context.stroke();
}

// The trace as plotted: one stroke for each stretch in which someone stood.
function drawTrace(picture, points) {
  const { context } = picture;
  context.strokeStyle = '#1f5fa8';
  context.lineWidth = 1.2;
  context.lineJoin = 'round';
  context.beginPath();
  let drawing = false;
  for (const [, x, y] of points) {
    if (x === null) {
      drawing = false;
      continue;
    }
    if (drawing) context.lineTo(picture.X(x), picture.Y(y));
    else context.moveTo(picture.X(x), picture.Y(y));
    drawing = true;
  }
  context.stroke();
}

function drawEllipse(picture) {
  const e = view.ellipse;
  if (!e || e.frames < 2) return;
  const { context } = picture;
  context.strokeStyle = '#1d232a';
  context.fillStyle = 'rgba(31, 95, 168, 0.08)';
  context.lineWidth = 1.5;
  context.beginPath();
  // The canvas's y runs down: the angle turns the other way.
  context.ellipse(picture.X(e.mean_x_mm), picture.Y(e.mean_y_mm), e.semi_major_mm * picture.scale,
                  e.semi_minor_mm * picture.scale, -e.angle_deg * Math.PI / 180, 0, 2 * Math.PI);
  context.fill();
  context.stroke();
}

function drawCurrent(picture, point) {
  if (!point || point[1] === null) return;
  const { context } = picture;
  context.fillStyle = '#d13c2f';
  context.strokeStyle = '#fff';
  context.lineWidth = 2;
  context.beginPath();
  context.arc(picture.X(point[1]), picture.Y(point[2]), 6, 0, 2 * Math.PI);
  context.fill();
  context.stroke();
}

// Half the side of the enlarged picture: the trace and the ellipse with room around them,
// rounded up to a tick, symmetric about the board's centre.
function traceExtent(points) {
  let extent = LEAST_TRACE_EXTENT_MM;
  for (const [, x, y] of points) if (x !== null) extent = Math.max(extent, Math.abs(x), Math.abs(y));
  const e = view.ellipse;
  if (e && e.frames >= 2) {
    extent = Math.max(extent, Math.abs(e.mean_x_mm) + e.semi_major_mm, Math.abs(e.mean_y_mm) + e.semi_major_mm);
  }
  const step = tickStep(2 * extent * 1.15, 8);
  return Math.ceil((extent * 1.15) / step) * step;
}

function drawCop() {
  const points = view.trace;
  const current = points.length > 0 ? points[points.length - 1] : null;

  const boardExtent = (Math.max(...view.boardMm) / 2) * 1.06;
  const board = copPicture($('board'), boardExtent);
  drawBoardOutline(board, true);
  drawCentre(board);
  drawTrace(board, points);
  drawCurrent(board, current);

  const extent = traceExtent(points);
  const trace = copPicture($('trace'), extent);
  drawGrid(trace, extent);
  drawBoardOutline(trace, false);
  drawCentre(trace);
  drawEllipse(trace);
  drawTrace(trace, points);
  drawCurrent(trace, current);
  return { points, current, extent };
}

function drawWeight() {
  const picture = prepare($('weight'));
  const { context, width, height } = picture;
  const points = view.weight;
  const left = 40, bottom = height - 18, top = 6, right = width - 6;
  // The first 30 s fill the picture from the left; later ones scroll.
  const newest = Math.max(WEIGHT_SECONDS, points.length > 0 ? points[points.length - 1][0] : 0);
  const oldest = newest - WEIGHT_SECONDS;
  let most = 10;
  for (const [, kg] of points) if (kg !== null) most = Math.max(most, kg);
  const step = tickStep(most * 1.1, 4);
  const high = Math.ceil((most * 1.1) / step) * step;
  const X = (t) => left + ((t - oldest) / WEIGHT_SECONDS) * (right - left);
  const Y = (kg) => bottom - (kg / high) * (bottom - top);

  context.font = '11px system-ui, sans-serif';
  context.fillStyle = '#8a939c';
  context.strokeStyle = '#eef1f4';
  context.lineWidth = 1;
  for (let kg = 0; kg <= high + 1e-9; kg += step) {
    context.beginPath();
    context.moveTo(left, Y(kg));
    context.lineTo(right, Y(kg));
    context.stroke();
    context.fillText(kg + step > high + 1e-9 ? `${kg} kg` : `${kg}`, 4, Y(kg) + 4);
  }
  for (let s = Math.ceil(oldest / 5) * 5; s <= newest; s += 5) {
    if (s < 0) continue;
    context.fillText(`${s} s`, X(s) - 8, height - 4);
  }
  context.strokeStyle = '#c0622d';
  context.fillStyle = '#c0622d';
  for (const marker of view.markers) {
    if (marker.t < oldest || marker.t > newest) continue;
    context.beginPath();
    context.moveTo(X(marker.t), top);
    context.lineTo(X(marker.t), bottom);
    context.stroke();
    context.fillText(`${marker.number}`, X(marker.t) + 3, top + 10);
  }
  context.strokeStyle = '#1d232a';
  context.lineWidth = 1.5;
  context.beginPath();
  let drawing = false;
  for (const [t, kg] of points) {
    if (kg === null) {
      drawing = false;
      continue;
    }
    if (drawing) context.lineTo(X(t), Y(kg));
    else context.moveTo(X(t), Y(kg));
    drawing = true;
  }
  context.stroke();
  return points.length;
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
