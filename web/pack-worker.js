'use strict';
// Converts the files and zip packs the page is given, one after another,
// off the page's main thread. Each file is converted as "tarvex <name>"
// converts it alone in a folder (with cp437.fnt beside it when a font is
// chosen). Also makes the "Download all" zip. Zips are read and written
// with fflate's synchronous calls: its asynchronous ones start blob: workers,
// which the page's CSP refuses.
importScripts('fflate.js', 'tarvex.js');

// Code page 437 above 127, for names without the UTF-8 flag and SAUCE text.
const CP437_HIGH =
  'ÇüéâäàåçêëèïîìÄÅÉæÆôöòûùÿÖÜ¢£¥₧ƒáíóúñÑªº¿⌐¬½¼¡«»░▒▓│┤╡╢╖╕╣║╗╝╜╛┐└┴┬├─┼╞╟╚╔╩╦╠═╬╧╨╤╥╙╘╒╓╫╪┘┌█▄▌▐▀' +
  'αßΓπΣσµτΦΘΩδ∞φε∩≡±≥≤⌠⌡÷≈°∙·√ⁿ²■\u00a0';
const MiB = 1024 * 1024;
// An entry larger than this unpacked is left to the command line; so is
// whatever lies beyond this much unpacked in one go (zip bombs).
const ENTRY_LIMIT = 256 * MiB;
const TOTAL_LIMIT = 1024 * MiB;

const utf8 = new TextDecoder('utf-8', { fatal: true });
const cp437 = bytes => Array.from(bytes, b => (b < 128 ? String.fromCharCode(b) : CP437_HIGH[b - 128])).join('');
// Names without the UTF-8 flag: UTF-8 when they are valid UTF-8, else code page 437.
function decodeName(bytes) {
  try {
    return utf8.decode(bytes);
  } catch {
    return cp437(bytes);
  }
}

const startsWith = (bytes, ...signature) =>
  bytes.length >= signature.length &&
  signature.every((b, i) => bytes[i] === (typeof b === 'string' ? b.charCodeAt(0) : b));
const isZip = bytes =>
  startsWith(bytes, 'P', 'K', 3, 4) || startsWith(bytes, 'P', 'K', 5, 6) || startsWith(bytes, 'P', 'K', 7, 8);

// What a file clearly is when it is not text art; null when it may be art.
function notArt(bytes) {
  if (startsWith(bytes, 0x89, 'P', 'N', 'G', 13, 10, 26, 10)) return 'a PNG picture';
  if (startsWith(bytes, 'G', 'I', 'F', '8', '7', 'a') || startsWith(bytes, 'G', 'I', 'F', '8', '9', 'a'))
    return 'a GIF picture';
  if (startsWith(bytes, 0xff, 0xd8, 0xff)) return 'a JPEG picture';
  if (isZip(bytes)) return 'a zip';
  if (startsWith(bytes, 'R', 'a', 'r', '!', 26, 7)) return 'a RAR archive';
  if (startsWith(bytes, 'X', 'B', 'I', 'N', 26)) return 'an XBin picture';
  if (startsWith(bytes, 'B', 'M') && bytes.length >= 6 &&
      new DataView(bytes.buffer, bytes.byteOffset).getUint32(2, true) === bytes.length)
    return 'a BMP picture';
  if (startsWith(bytes, 'M', 'Z') && bytes.subarray(0, 64).includes(0)) return 'a program';
  return null;
}

// The title and author of a trailing SAUCE record, when there is one.
function sauceOf(bytes) {
  const at = bytes.length - 128;
  if (at < 0 || !startsWith(bytes.subarray(at), 'S', 'A', 'U', 'C', 'E', '0', '0')) return {};
  const text = (from, length) => cp437(bytes.subarray(at + from, at + from + length)).replace(/[\s\0]+$/, '');
  return { title: text(7, 35), author: text(42, 20) };
}

// A name as a relative path: "\" is a separator; leading "/", a drive letter,
// "." and ".." are dropped.
function cleanPath(name) {
  return name.replace(/\\/g, '/').replace(/^\/*[A-Za-z]:/, '').split('/')
    .filter(part => part !== '' && part !== '.' && part !== '..').join('/');
}
const withoutExtension = path => path.replace(/(.)\.[^./]*$/, '$1');

const CRC_TABLE = Array.from({ length: 256 }, (_, n) => {
  for (let k = 0; k < 8; k++) n = n & 1 ? 0xedb88320 ^ (n >>> 1) : n >>> 1;
  return n >>> 0;
});
function crc32(bytes) {
  let crc = 0xffffffff;
  for (let i = 0; i < bytes.length; i++) crc = CRC_TABLE[(crc ^ bytes[i]) & 255] ^ (crc >>> 8);
  return (crc ^ 0xffffffff) >>> 0;
}

// The flags and CRC-32 of each entry, in the central directory's order (the
// order in which fflate's filter sees them): fflate checks neither.
function entryChecks(zip) {
  const view = new DataView(zip.buffer, zip.byteOffset, zip.byteLength);
  let end = zip.length - 22;
  while (end >= 0 && view.getUint32(end, true) !== 0x06054b50) end--;
  if (end < 0) return [];
  let count = view.getUint16(end + 10, true);
  let at = view.getUint32(end + 16, true);
  if (end >= 20 && view.getUint32(end - 20, true) === 0x07064b50) { // zip64
    const record = Number(view.getBigUint64(end - 12, true));
    count = Number(view.getBigUint64(record + 32, true));
    at = Number(view.getBigUint64(record + 48, true));
  }
  const checks = [];
  for (let i = 0; i < count && at + 46 <= zip.length; i++) {
    checks.push({ flags: view.getUint16(at + 8, true), crc: view.getUint32(at + 16, true) });
    at += 46 + view.getUint16(at + 28, true) + view.getUint16(at + 30, true) + view.getUint16(at + 32, true);
  }
  return checks;
}

// The entries of a zip as items: { path, bytes } to convert, or { path,
// note } for one that cannot be. Folder entries and __MACOSX/ are left out.
// A zip inside the pack is opened too, under a folder of its name; one more
// level down, it is listed and left closed.
function unpack(zip, prefix, depth, budget) {
  const entries = [];
  fflate.unzipSync(zip, { filenameDecoder: decodeName, filter: info => { entries.push(info); return false; } });
  const checks = entryChecks(zip);
  const wanted = new Set();
  const items = [];
  const counts = new Map();
  entries.forEach(entry => counts.set(entry.name, (counts.get(entry.name) || 0) + 1));
  entries.forEach((entry, index) => {
    const raw = entry.name.replace(/\\/g, '/');
    if (raw.endsWith('/') || raw.startsWith('__MACOSX/') || raw.includes('/__MACOSX/')) return;
    const path = cleanPath(entry.name);
    const item = { path: prefix + (path || `entry-${index + 1}`), index };
    const flags = checks[index] ? checks[index].flags : 0;
    if (flags & 1) item.note = 'encrypted: the page cannot open it';
    else if (entry.compression !== 0 && entry.compression !== 8)
      item.note = `packed with method ${entry.compression}, which the page cannot unpack`;
    else if (entry.originalSize > ENTRY_LIMIT)
      item.note = `${(entry.originalSize / MiB).toFixed(0)} MiB unpacked: too large for the page, convert it with the command line`;
    else if ((budget.left -= entry.originalSize) < 0)
      item.note = 'not unpacked: the pack unpacks to more than 1 GiB, too much for the page';
    else wanted.add(index);
    items.push(item);
  });
  // One pass for every entry whose name is unique; entries sharing a name
  // (and all of them, should the pass fail) are taken one at a time.
  let files = {};
  const single = index => {
    let seen = 0;
    const one = fflate.unzipSync(zip, { filenameDecoder: decodeName, filter: () => seen++ === index });
    return Object.values(one)[0];
  };
  try {
    let seen = 0;
    files = fflate.unzipSync(zip, {
      filenameDecoder: decodeName,
      filter: info => wanted.has(seen++) && counts.get(info.name) === 1,
    });
  } catch { /* every entry alone below */ }
  const out = [];
  for (const item of items) {
    if (item.note === undefined) {
      const entry = entries[item.index];
      let bytes = counts.get(entry.name) === 1 ? files[entry.name] : undefined;
      try {
        if (!bytes) bytes = single(item.index);
      } catch (error) {
        item.note = `damaged in the zip (${error.message})`;
      }
      if (bytes && checks[item.index] && crc32(bytes) !== checks[item.index].crc)
        item.note = 'damaged in the zip (its CRC-32 does not match)';
      else if (bytes && isZip(bytes)) {
        if (depth === 0) {
          out.push(...openPack(bytes, item.path, depth + 1, budget));
          continue;
        }
        item.note = 'a zip inside a zip inside a zip: not opened';
      } else if (bytes) item.bytes = bytes;
    }
    delete item.index;
    out.push(item);
  }
  return out;
}

// A pack's items under a folder of its name (at the top when it is the only
// input), or one item saying why it cannot be opened.
function openPack(zip, path, depth, budget, alone = false) {
  const folder = alone ? '' : withoutExtension(path);
  try {
    const items = unpack(zip, folder ? folder + '/' : '', depth, budget);
    if (items.length) return items;
    return [{ path, pack: true, note: 'an empty zip: nothing to convert' }];
  } catch (error) {
    return [{ path, pack: true, note: `this zip is damaged or incomplete and cannot be opened (${error.message})` }];
  }
}

let tarvex = null;
let lines = [];
let runs = 0;
const ready = createTarvex({
  print: text => lines.push({ text, error: false }),
  printErr: text => lines.push({ text, error: true }),
}).then(module => { tarvex = module; });

// The name the converter gives the picture of an input, in memory we free.
function outputName(name) {
  const at = tarvex.ccall('tarvex_output_name', 'number', ['string'], [name]);
  const output = tarvex.UTF8ToString(at);
  tarvex._free(at);
  return output;
}

// Converts one file as the command line does alone in a folder.
function convert(path, bytes, font) {
  const FS = tarvex.FS;
  const folder = `/run-${++runs}`;
  const name = path.slice(path.lastIndexOf('/') + 1);
  FS.mkdir(folder);
  FS.chdir(folder);
  if (font) FS.writeFile('cp437.fnt', font);
  FS.writeFile(name, bytes);
  lines = [];
  const status = tarvex.ccall('tarvex_convert', 'number', ['string'], [name]);
  const output = outputName(name);
  let png = null;
  if (status === 0) png = FS.readFile(output);
  for (const entry of FS.readdir('.')) if (entry !== '.' && entry !== '..') FS.unlink(entry);
  FS.chdir('/');
  FS.rmdir(folder);
  return { status, output, png, lines };
}

async function convertAll({ inputs, font }) {
  await ready;
  // Everything to do, in path order, so that the same input always gives
  // the same zip whatever order the files were chosen in.
  const packs = [];
  const items = [];
  const budget = { left: TOTAL_LIMIT };
  for (const input of inputs) {
    const path = cleanPath(input.path) || 'unnamed';
    const bytes = new Uint8Array(await input.file.arrayBuffer());
    if (isZip(bytes)) {
      packs.push(path);
      items.push(...openPack(bytes, path, 0, budget, inputs.length === 1).map(item => ({ ...item, fromPack: true })));
    } else {
      items.push({ path, bytes, loose: input.index });
    }
  }
  const alone = inputs.length === 1 && packs.length === 1;
  items.sort((a, b) => (a.path < b.path ? -1 : a.path > b.path ? 1 : 0));
  postMessage({
    type: 'list',
    zipName: alone ? `${withoutExtension(packs[0].slice(packs[0].lastIndexOf('/') + 1))}-png.zip` : 'tarvex-png.zip',
    items: items.map(item => ({ path: item.path, size: item.bytes ? item.bytes.length : 0, loose: item.loose })),
  });
  for (const [index, item] of items.entries()) {
    postMessage({ type: 'start', index });
    const bytes = item.bytes;
    let result;
    if (!bytes) {
      result = { note: item.note, pack: item.pack };
    } else if (notArt(bytes)) {
      result = { skipped: notArt(bytes) };
    } else {
      const started = performance.now();
      const { status, output, png, lines } = convert(item.path, bytes, font);
      result = { status, output, lines, ms: performance.now() - started, ...sauceOf(bytes) };
      if (png) result.png = png.buffer;
    }
    // The page keeps a pack's entries to play them; loose files it has.
    if (bytes && item.fromPack) result.input = bytes.slice().buffer;
    item.bytes = null;
    postMessage({ type: 'file', index, ...result }, [result.png, result.input].filter(Boolean));
  }
  postMessage({ type: 'done' });
}

// The "Download all" zip: entries stored as they are (PNGs are compressed
// already), every date the same, so the same input gives the same bytes.
async function makeZip({ entries }) {
  const files = {};
  const options = { level: 0, mtime: new Date(1980, 0, 1) };
  for (const { path, blob, text } of entries)
    files[path] = [text !== undefined ? fflate.strToU8(text) : new Uint8Array(await blob.arrayBuffer()), options];
  const zip = fflate.zipSync(files, options);
  postMessage({ type: 'zip', zip: zip.buffer }, [zip.buffer]);
}

onmessage = event => {
  const job = event.data.type === 'convert' ? convertAll(event.data) : makeZip(event.data);
  job.catch(error => postMessage({ type: 'error', message: String(error && error.message || error) }));
};
ready.then(() => postMessage({ type: 'ready' }),
           error => postMessage({ type: 'error', message: `The converter could not be loaded: ${error}` }));
