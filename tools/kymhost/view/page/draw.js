// kymhost's live view, its pictures: the centre of pressure over the board and enlarged, and the
// total weight over time, drawn on canvases from the view's bounded histories (view.js). The
// page's own canvas code rather than a plotting library: the main picture is a map of the board
// on one millimetre scale both ways with an ellipse on it, which chart libraries do not draw, and
// the weight strip is one polyline; nothing then needs bundling at build time.
'use strict';

// The enlarged picture shows at least this much about the board's centre, each way.
const LEAST_TRACE_EXTENT_MM = 10;

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
      // The lowest line's y label would sit on the x labels of the corner.
      if (v > -extentMm + 1e-9) {
        context.fillText(`${Math.round(v * 10) / 10}`, picture.X(-extentMm) + 2, picture.Y(v) - 2);
      }
    }
  }
  context.fillText('mm', picture.X(extentMm) - 22, picture.Y(-extentMm) - 3);
}

// Filled in the whole board's picture; only its edge where the picture is enlarged. Several
// boards stand side by side, each at its centre.
function drawBoardOutline(picture, filled) {
  const { context } = picture;
  const [width, depth] = view.boardMm;
  const [spanX, spanY] = view.sensorSpanMm;
  for (const cx of view.boardCentresMm) {
    context.strokeStyle = '#6d7781';
    context.lineWidth = 1.5;
    context.fillStyle = '#f2f4f6';
    context.beginPath();
    context.roundRect(picture.X(cx - width / 2), picture.Y(depth / 2), width * picture.scale, depth * picture.scale,
                      12 * picture.scale);
    if (filled) context.fill();
    context.stroke();
    context.fillStyle = '#9aa3ab';
    for (const [sx, sy] of [[-1, 1], [1, 1], [-1, -1], [1, -1]]) {
      context.beginPath();
      context.arc(picture.X(cx + sx * spanX / 2), picture.Y(sy * spanY / 2), Math.max(2, 10 * picture.scale), 0,
                  2 * Math.PI);
      context.fill();
    }
    context.fillStyle = '#6d7781';
    context.font = '11px system-ui, sans-serif';
    context.fillText('front', picture.X(cx) - 14, picture.Y(depth / 2) - 4);
  }
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

  const [width, depth] = view.boardMm;
  const widest = Math.max(...view.boardCentresMm.map((cx) => Math.abs(cx))) + width / 2;
  const boardExtent = Math.max(widest, depth / 2) * 1.06;
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
