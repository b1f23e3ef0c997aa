'use strict';
// Plays one input off the page's main thread, so that a pack being
// converted does not hold up playback. Each answer carries the moment's pixels as
// 8-bit RGBA for the page's canvas. "Save this moment" writes the first N
// bytes to a file and converts it as the command line would.
importScripts('tarvex.js');

const WIDTH = 640;
const HEIGHT = 400;
// Bytes walked between looks at the clock when playing as fast as possible.
const RUN_STEP = 4096;

let tarvex = null;
let player = 0;
let lines = [];
let input = null;
let playable = 0;
const ready = createTarvex({
  print: text => lines.push({ text, error: false }),
  printErr: text => lines.push({ text, error: true }),
}).then(module => {
  tarvex = module;
  player = tarvex._tarvex_player_new();
  tarvex.FS.mkdir('/player');
  tarvex.FS.chdir('/player');
});

function frame(n, extra = {}) {
  const at = tarvex._tarvex_player_paint(player);
  const pixels = tarvex.HEAPU8.slice(at, at + WIDTH * HEIGHT * 4).buffer;
  postMessage({ type: 'frame', n, ...extra, pixels }, [pixels]);
}

const handlers = {
  async load({ blob, font }) {
    const FS = tarvex.FS;
    if (font) FS.writeFile('cp437.fnt', font);
    else if (FS.analyzePath('cp437.fnt').exists) FS.unlink('cp437.fnt');
    input = new Uint8Array(await blob.arrayBuffer());
    const at = tarvex._tarvex_player_open(player, input.length);
    tarvex.HEAPU8.set(input, at); // after the call: making room may have moved the heap
    lines = [];
    playable = tarvex._tarvex_player_start(player);
    postMessage({ type: 'loaded', playable, size: input.length });
  },
  seek({ n, seq }) {
    tarvex._tarvex_player_seek(player, n);
    frame(n, { seq });
  },
  line({ n, forward, seq }) {
    frame(tarvex._tarvex_player_line(player, n, forward ? 1 : 0), { seq });
  },
  // As many bytes as fit in the frame's time, from n on.
  run({ n, budget, seq }) {
    const started = performance.now();
    do {
      n = Math.min(playable, n + RUN_STEP);
      tarvex._tarvex_player_seek(player, n);
    } while (n < playable && performance.now() - started < budget);
    frame(n, { seq });
  },
  save({ n }) {
    const FS = tarvex.FS;
    FS.writeFile('moment.ans', input.subarray(0, n));
    lines = [];
    const status = tarvex.ccall('tarvex_convert', 'number', ['string'], ['moment.ans']);
    const png = status === 0 ? FS.readFile('moment.png') : null;
    FS.unlink('moment.ans');
    if (png) FS.unlink('moment.png');
    postMessage({ type: 'saved', n, status, lines, png: png && png.buffer }, png ? [png.buffer] : []);
  },
};

let queue = ready;
onmessage = event => {
  // One job at a time, in order: loading reads the file asynchronously.
  queue = queue.then(() => handlers[event.data.type](event.data))
    .catch(error => postMessage({ type: 'error', message: String(error && error.message || error) }));
};
