'use strict';
// Converts the files and zip packs the page is given, one after another,
// off the page's main thread, and keeps their PNGs to build "Download all".
// Each file is converted as "tarvex <name>" converts it alone in a folder
// (with cp437.fnt beside it when a font is chosen). A loose file is mounted,
// not copied: the converter reads it in its own blocks. A pack is read one
// entry at a time. fflate's synchronous calls inflate and zip: its
// asynchronous ones start blob: workers, which the page's CSP refuses.
importScripts('fflate.js', 'rules.js', 'tarvex.js');
const rules = self.tarvexRules;

const inflate = (data, size) => fflate.inflateSync(data, { out: new Uint8Array(size) });
// A pack this small is read whole, once: a thousand small entries read one
// by one from the file would each wait for the browser.
const SMALL_PACK = 64 * 1024 * 1024;
let lastPack = { file: null, read: null };
async function packReader(file) {
  if (lastPack.file !== file)
    lastPack = { file, read: file.size <= SMALL_PACK ? rules.bytesReader(new Uint8Array(await file.arrayBuffer()))
                                                     : rules.blobReader(file) };
  return lastPack.read;
}
// Lets a "cancel" that came in meanwhile be handled, without a timer's clamp.
const channel = new MessageChannel();
const yieldToMessages = () => new Promise(resolve => {
  channel.port1.onmessage = resolve;
  channel.port2.postMessage(0);
});

let tarvex = null;
let lines = [];
let runs = 0;
const ready = createTarvex({
  print: text => lines.push({ text, error: false }),
  printErr: text => lines.push({ text, error: true }),
}).then(module => { tarvex = module; });

// Where the converter leaves a whole piece: outside the run's folder, so
// that no input's name can meet it.
const WHOLE_FILE = '/whole.png';

// Converts one file as the command line does alone in a folder: a Blob is
// mounted read-only and linked in under its name; bytes are handed over.
// The same walk gives the whole piece when rows scrolled off.
function convert(name, input, font) {
  const FS = tarvex.FS;
  const folder = `/run-${++runs}`;
  const mount = `/input-${runs}`;
  FS.mkdir(folder);
  FS.chdir(folder);
  if (font) FS.writeFile('cp437.fnt', font);
  if (input instanceof Blob) {
    FS.mkdir(mount);
    FS.mount(FS.filesystems.WORKERFS, { blobs: [{ name: 'input', data: input }] }, mount);
    FS.symlink(`${mount}/input`, name);
  } else {
    FS.writeFile(name, input, { canOwn: true });
  }
  lines = [];
  const status = tarvex.ccall('tarvex_convert_whole', 'number', ['string', 'string'], [name, WHOLE_FILE]);
  const output = outputName(name);
  let png = null;
  let whole = null;
  if (status === 0) png = FS.readFile(output);
  if (FS.analyzePath(WHOLE_FILE).exists) {
    whole = { png: FS.readFile(WHOLE_FILE), kept: tarvex._tarvex_whole_rows_kept(),
              leftOut: tarvex._tarvex_whole_rows_left_out() };
    FS.unlink(WHOLE_FILE);
  }
  for (const entry of FS.readdir('.')) if (entry !== '.' && entry !== '..') FS.unlink(entry);
  FS.chdir('/');
  FS.rmdir(folder);
  if (input instanceof Blob) {
    FS.unmount(mount);
    FS.rmdir(mount);
  }
  return { status, output, png, whole, lines };
}

// The name the converter writes Input's picture under.
function outputName(input) {
  const at = tarvex.ccall('tarvex_output_name', 'number', ['string'], [input]);
  const name = tarvex.UTF8ToString(at);
  tarvex._free(at);
  return name;
}

// A pack's items, from its directory alone: { path, source } to convert, or
// { path, note } for an entry that cannot be. A zip inside the pack is
// opened too, under a folder of its name; one more level down it is listed
// and left closed. Source says where the bytes are: a chain of entries.
async function listPack(read, size, prefix, chain, depth, budget) {
  const items = [];
  const entries = await rules.listZip(read, size);
  for (const [index, entry] of entries.entries()) {
    if (rules.isLeftOut(entry.name)) continue;
    const path = prefix + (rules.cleanPath(entry.name) || `entry-${index + 1}`);
    const note = rules.entryProblem(entry, budget);
    if (note) {
      items.push({ path, note });
      continue;
    }
    const link = [...chain, entry];
    let head;
    try {
      head = await headOf(read, entry);
    } catch (error) {
      items.push({ path, note: `damaged in the zip (${error.message})` });
      continue;
    }
    if (rules.isZip(head)) {
      if (depth > 0) {
        items.push({ path, note: 'a zip inside a zip inside a zip: not opened' });
        continue;
      }
      try {
        const inner = await entryBytes(read, [entry]);
        const innerItems = await listPack(rules.bytesReader(inner), inner.length, rules.withoutExtension(path) + '/',
                                          link, depth + 1, budget);
        items.push(...(innerItems.length ? innerItems : [{ path, note: 'an empty zip: nothing to convert' }]));
      } catch (error) {
        items.push({ path, note: `this zip is damaged or incomplete and cannot be opened (${error.message})` });
      }
      continue;
    }
    items.push({ path, size: entry.originalSize, source: link });
  }
  return items;
}

// An entry's first bytes, to tell a zip inside the pack, without unpacking
// the whole entry.
async function headOf(read, entry) {
  const start = rules.dataStart(entry, await read(entry.headerAt, 30));
  const data = await read(start, Math.min(entry.size, entry.method === 0 ? 4 : 4096));
  if (entry.method === 0) return data;
  const head = [];
  const stream = new fflate.Inflate(chunk => { head.push(...chunk.subarray(0, 4 - head.length)); });
  stream.push(data, data.length === entry.size);
  return new Uint8Array(head);
}

// An entry's bytes through its chain of zips; the last zip opened inside a
// pack is kept, as its entries come one after another.
let lastInner = { entry: null, bytes: null };
async function entryBytes(read, chain) {
  for (const [depth, entry] of chain.entries()) {
    if (depth === chain.length - 1) return rules.readEntry(read, entry, inflate);
    if (lastInner.entry !== entry) lastInner = { entry, bytes: await rules.readEntry(read, entry, inflate) };
    read = rules.bytesReader(lastInner.bytes);
  }
  throw new Error('no entry');
}

// ---- Batches. Each message names its batch.

let cancelled = new Set();

async function convertAll({ batch, inputs, font }) {
  await ready;
  lastInner = { entry: null, bytes: null };
  const packs = [];
  const items = [];
  const budget = { left: rules.TOTAL_LIMIT };
  for (const [input, { file, path: given }] of inputs.entries()) {
    const path = rules.cleanPath(given) || 'unnamed';
    postMessage({ batch, type: 'reading', path });
    let head;
    try {
      head = new Uint8Array(await file.slice(0, 64).arrayBuffer());
    } catch (error) {
      items.push({ path, note: `it cannot be read (${error.message})`, loose: input });
      continue;
    }
    if (rules.isZip(head)) {
      packs.push(path);
      const folder = inputs.length === 1 ? '' : rules.withoutExtension(path) + '/';
      let packItems;
      try {
        packItems = await listPack(await packReader(file), file.size, folder, [], 0, budget);
        if (!packItems.length) packItems = [{ path, note: 'an empty zip: nothing to convert' }];
      } catch (error) {
        packItems = [{ path, note: `this zip is damaged or incomplete and cannot be opened (${error.message})` }];
      }
      for (const item of packItems) items.push({ ...item, pack: input });
    } else {
      items.push({ path, size: file.size, loose: input, head });
    }
  }
  lastInner = { entry: null, bytes: null };
  // In path order, so that the same input always gives the same zip
  // whatever order the files were chosen in.
  items.sort((a, b) => (a.path < b.path ? -1 : a.path > b.path ? 1 : 0));
  postMessage({
    batch, type: 'list', zipName: rules.zipName(inputs.length, packs),
    items: items.map(({ path, size, loose, pack, source, note }) =>
      ({ path, size, loose, pack, source: source && source.map(({ name, ...entry }) => entry), note })),
  });
  const taken = new Set();
  const pngs = [];
  for (const [index, item] of items.entries()) {
    await yieldToMessages();
    if (cancelled.has(batch)) {
      if (!item.note) item.note = 'cancelled';
      item.cancelled = true;
      continue;
    }
    if (item.note) continue;
    postMessage({ batch, type: 'start', index });
    const { whole: wholePiece, ...result } = await convertItem(batch, item, inputs, font);
    Object.assign(item, result);
    if (result.png) {
      item.pngPath = rules.pngPath(taken, item.path, result.output, Boolean(wholePiece));
      pngs.push({ path: item.pngPath, png: result.png });
    }
    // The report needs only the rows; the pictures go to the page as copies.
    if (wholePiece) {
      item.whole = { kept: wholePiece.kept, leftOut: wholePiece.leftOut };
      pngs.push({ path: rules.wholePath(item.pngPath), png: wholePiece.png });
    }
    const copy = result.png && result.png.slice().buffer;
    const wholeCopy = wholePiece && wholePiece.png.slice().buffer;
    postMessage({ batch, type: 'file', index, ...result, png: copy, pngPath: item.pngPath, whole: item.whole,
                  wholePng: wholeCopy }, [copy, wholeCopy].filter(Boolean));
  }
  lastPack = { file: null, read: null };
  postMessage({ batch, type: 'done', cancelled: items.flatMap((item, index) => (item.cancelled ? [index] : [])) });
  // "Download all": entries stored as they are (PNGs are compressed
  // already), every date the same, so the same input gives the same bytes.
  const options = { level: 0, mtime: new Date(1980, 0, 1) };
  const files = {};
  for (const { path, png } of pngs) files[path] = [png, options];
  files['tarvex-report.txt'] = [fflate.strToU8(rules.report(items)), options];
  const zip = fflate.zipSync(files, options);
  postMessage({ batch, type: 'zip', zip: zip.buffer }, [zip.buffer]);
}

// One item's outcome: skipped, not converted, or the converter's.
async function convertItem(batch, item, inputs, font) {
  let input;
  let head = item.head;
  let tail;
  try {
    if (item.loose !== undefined) {
      input = inputs[item.loose].file;
      tail = new Uint8Array(await input.slice(Math.max(0, input.size - 128)).arrayBuffer());
    } else {
      input = await entryBytes(await packReader(inputs[item.pack].file), item.source);
      head = input.subarray(0, 64);
      tail = input.subarray(Math.max(0, input.length - 128));
    }
  } catch (error) {
    return { note: item.loose !== undefined ? `it cannot be read (${error.message})` : `damaged in the zip (${error.message})` };
  }
  const skipped = rules.notArt(head, item.size);
  if (skipped) return { skipped };
  const sauce = rules.sauceOf(tail);
  const started = performance.now();
  const { status, output, png, whole, lines: printed } = convert(rules.baseName(item.path), input, font);
  return { status, output, lines: printed, ms: performance.now() - started, ...sauce, png, whole };
}

let queue = Promise.resolve();
onmessage = event => {
  const message = event.data;
  if (message.type === 'cancel') {
    cancelled.add(message.batch);
    return;
  }
  // One batch at a time, in order.
  queue = queue.then(() => convertAll(message))
    .catch(error => postMessage({ batch: message.batch, type: 'error', message: String(error && error.message || error) }));
};
ready.then(() => postMessage({ type: 'ready' }),
           error => postMessage({ type: 'error', message: `The converter could not be loaded: ${error}` }));
