'use strict';
// Saves a file's playback as a GIF or an animated PNG, off the page's main
// thread and apart from the player, which stays smooth meanwhile. The
// converter's own animation code runs here, fed a block at a time; between
// blocks a "cancel" is heard. A worker cannot be restarted without fetching
// its scripts again, so Cancel stops the work rather than the worker. The
// file arrives in blocks and is gathered into a Blob as it grows: the page
// never holds it in more than one piece.
importScripts('fflate.js', 'rules.js', 'tarvex.js');
const rules = self.tarvexRules;
// Output gathered before it joins the Blob.
const GATHER = 16 * rules.MiB;

let tarvex = null;
let output = null; // { blob, parts, size, pending }
const ready = createTarvex({
  print: () => {},
  printErr: () => {},
  onAnimationBytes: bytes => {
    output.parts.push(bytes);
    output.size += bytes.length;
    output.pending += bytes.length;
    if (output.pending >= GATHER) gather();
  },
}).then(module => {
  tarvex = module;
  tarvex.FS.mkdir('/animation');
  tarvex.FS.chdir('/animation');
});

function gather() {
  output.blob = new Blob([output.blob, ...output.parts]);
  output.parts = [];
  output.pending = 0;
}

const channel = new MessageChannel();
const yieldToMessages = () => new Promise(resolve => {
  channel.port1.onmessage = resolve;
  channel.port2.postMessage(0);
});

// Saves are numbered by the page; those up to this one are cancelled.
let cancelledUpTo = 0;

// The input, a piece at a time: a loose file read in slices, an entry of a
// pack unpacked whole first.
async function inputOf({ file, chain }) {
  const read = rules.blobReader(file);
  if (!chain) return { size: file.size, piece: read };
  const bytes = await rules.readChain(read, chain, (data, size) => fflate.inflateSync(data, { out: new Uint8Array(size) }));
  return { size: bytes.length, piece: rules.bytesReader(bytes) };
}

async function save({ id, format, rate, file, chain, font }) {
  const FS = tarvex.FS;
  if (font) FS.writeFile('cp437.fnt', font);
  else if (FS.analyzePath('cp437.fnt').exists) FS.unlink('cp437.fnt');
  const started = performance.now();
  const input = await inputOf({ file, chain });
  const failure = () => new Error(tarvex.UTF8ToString(tarvex._tarvex_animation_error()));
  output = { blob: new Blob([]), parts: [], size: 0, pending: 0 };
  const job = tarvex._tarvex_animation_new(format === 'apng', rate);
  if (!job) throw failure();
  try {
    const room = tarvex._tarvex_animation_room();
    for (let done = 0; done < input.size;) {
      if (id <= cancelledUpTo) return postMessage({ type: 'stopped', id });
      const piece = await input.piece(done, room);
      tarvex.HEAPU8.set(piece, tarvex._tarvex_animation_input(job));
      if (!tarvex._tarvex_animation_play(job, piece.length)) throw failure();
      done += piece.length;
      postMessage({ type: 'progress', id, done, total: input.size, size: output.size });
      await yieldToMessages();
    }
    if (id <= cancelledUpTo) return postMessage({ type: 'stopped', id });
    if (!tarvex._tarvex_animation_finish(job)) throw failure();
    const cut = Boolean(tarvex._tarvex_animation_cut(job));
    gather();
    const blob = new Blob([output.blob], { type: rules.ANIMATIONS[format].type });
    postMessage({ type: 'saved', id, blob, cut, ms: performance.now() - started });
  } finally {
    tarvex._tarvex_animation_free(job);
    output = null;
  }
}

// One save at a time, in the order asked; a cancel is heard between blocks.
let queue = ready;
onmessage = ({ data }) => {
  if (data.type === 'cancel') cancelledUpTo = Math.max(cancelledUpTo, data.id);
  else queue = queue.then(() => save(data)).catch(error =>
    postMessage({ type: 'error', id: data.id, message: String(error && error.message || error) }));
};
ready.then(() => postMessage({ type: 'ready' }),
           error => postMessage({ type: 'error', message: `The animation worker could not be loaded: ${error}` }));
