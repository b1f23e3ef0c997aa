'use strict';
// Plays one input off the page's main thread. It has a converter of its
// own so that a pack converting does not stall playback. Requests are taken
// in the order they come, each from the position the one before left, and
// one frame is painted when the queue is empty: the pixels as 8-bit RGBA for
// the page's canvas. "Save this moment" converts the first N bytes as the
// command line would.
importScripts('fflate.js', 'rules.js', 'tarvex.js');
const rules = self.tarvexRules;
const { width: WIDTH, height: HEIGHT } = rules.PICTURE;
// Bytes walked between looks at the clock when playing as fast as possible.
const RUN_STEP = 4096;
// Bytes copied into the player at a time while loading, between reports.
const LOAD_STEP = 16 * rules.MiB;
// The module's memory ends at 2 GiB; the input and its saved states must fit.
const PLAY_LIMIT = 1280 * rules.MiB;

let tarvex = null;
let player = null;
let lines = [];
const ready = createTarvex({
  print: text => lines.push({ text, error: false }),
  printErr: text => lines.push({ text, error: true }),
}).then(module => {
  tarvex = module;
  tarvex.FS.mkdir('/player');
  tarvex.FS.chdir('/player');
  player = playerOf(tarvex);
});

// The converter's player, its one handle held here.
function playerOf(m) {
  const handle = m._tarvex_player_new();
  return {
    open: size => m._tarvex_player_open(handle, size),
    start: () => m._tarvex_player_start(handle),
    seek: n => m._tarvex_player_seek(handle, n),
    line: (n, forward) => m._tarvex_player_line(handle, n, forward ? 1 : 0),
    paint: () => m._tarvex_player_paint(handle),
  };
}

const channel = new MessageChannel();
const yieldToMessages = () => new Promise(resolve => {
  channel.port1.onmessage = resolve;
  channel.port2.postMessage(0);
});

let source = null; // { file, chain } of the loaded input
let inputAt = 0;
let playable = 0;
let at = 0;

async function load({ file, chain, font }) {
  const FS = tarvex.FS;
  source = null;
  if (font) FS.writeFile('cp437.fnt', font);
  else if (FS.analyzePath('cp437.fnt').exists) FS.unlink('cp437.fnt');
  if (chain) {
    postMessage({ type: 'loading', done: 0, total: chain[chain.length - 1].originalSize });
    const inflate = (data, size) => fflate.inflateSync(data, { out: new Uint8Array(size) });
    // The entry is unpacked straight into the player's memory: no wasm code
    // runs meanwhile, so the heap cannot move.
    const entry = chain[chain.length - 1];
    inputAt = player.open(entry.originalSize);
    const room = tarvex.HEAPU8.subarray(inputAt, inputAt + entry.originalSize);
    const bytes = await rules.readChain(rules.blobReader(file), chain, inflate,
                                        data => fflate.inflateSync(data, { out: room }));
    if (bytes.byteOffset !== room.byteOffset || bytes.buffer !== room.buffer) room.set(bytes);
  } else {
    if (file.size > PLAY_LIMIT) throw new Error(`${(file.size / rules.MiB).toFixed(0)} MiB is more than the page can play`);
    inputAt = player.open(file.size);
    for (let done = 0; done < file.size; done += LOAD_STEP) {
      postMessage({ type: 'loading', done, total: file.size });
      const part = new Uint8Array(await file.slice(done, done + LOAD_STEP).arrayBuffer());
      tarvex.HEAPU8.set(part, inputAt + done);
    }
  }
  postMessage({ type: 'walking' });
  lines = [];
  playable = player.start();
  source = { file, chain };
  at = 0;
  player.seek(0);
  postMessage({ type: 'loaded', playable });
}

const steps = {
  seek({ n }) {
    at = Math.max(0, Math.min(playable, n));
    player.seek(at);
  },
  byte({ delta }) {
    steps.seek({ n: at + delta });
  },
  line({ forward }) {
    at = player.line(at, forward);
  },
  // As many bytes as fit in the frame's time.
  run({ budget }) {
    const started = performance.now();
    do {
      at = Math.min(playable, at + RUN_STEP);
      player.seek(at);
    } while (at < playable && performance.now() - started < budget);
  },
  save() {
    const FS = tarvex.FS;
    const name = 'moment.ans';
    if (source.chain) {
      FS.writeFile(name, tarvex.HEAPU8.slice(inputAt, inputAt + at), { canOwn: true });
    } else {
      FS.mkdir('/moment');
      FS.mount(FS.filesystems.WORKERFS, { blobs: [{ name, data: source.file.slice(0, at) }] }, '/moment');
      FS.symlink(`/moment/${name}`, name);
    }
    lines = [];
    const status = tarvex.ccall('tarvex_convert', 'number', ['string'], [name]);
    const png = status === 0 ? FS.readFile('moment.png') : null;
    FS.unlink(name);
    if (png) FS.unlink('moment.png');
    if (!source.chain) {
      FS.unmount('/moment');
      FS.rmdir('/moment');
    }
    postMessage({ type: 'saved', n: at, status, lines, png: png && png.buffer }, png ? [png.buffer] : []);
  },
};

function frame(seq) {
  const pixels = player.paint();
  const copy = tarvex.HEAPU8.slice(pixels, pixels + WIDTH * HEIGHT * 4).buffer;
  postMessage({ type: 'frame', n: at, seq, pixels: copy }, [copy]);
}

const pending = [];
let running = false;
async function work() {
  running = true;
  await ready;
  while (pending.length) {
    let seq = null;
    while (pending.length) {
      const request = pending.shift();
      try {
        if (request.type === 'load') await load(request);
        else if (source) steps[request.type](request);
      } catch (error) {
        postMessage({ type: 'error', seq: request.seq, request: request.type,
                      message: String(error && error.message || error) });
      }
      if (request.seq !== undefined) seq = request.seq;
    }
    if (source && seq !== null) frame(seq);
    await yieldToMessages();
  }
  running = false;
}

onmessage = event => {
  pending.push(event.data);
  if (!running) work();
};
ready.then(() => postMessage({ type: 'ready' }),
           error => postMessage({ type: 'error', message: `The player could not be loaded: ${error}` }));
