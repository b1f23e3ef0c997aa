'use strict';
// The page's rules that need no browser: names in packs, what is skipped,
// SAUCE fields, where each PNG goes in "Download all", the zip's name, the
// report, the checks on a zip's entries, the player's speeds, and the names
// and command lines of its animations. The workers and the page load it as
// a script; Node's tests require it.
(root => {
  const MiB = 1024 * 1024;
  // An entry larger than this unpacked is left to the command line; so is
  // whatever lies beyond this much unpacked in one pack (zip bombs).
  const ENTRY_LIMIT = 256 * MiB;
  const TOTAL_LIMIT = 1024 * MiB;
  // The screen and its picture, in one place for the page.
  const PICTURE = { width: 640, height: 400 };

  // Code page 437 above 127, for names without the UTF-8 flag and SAUCE text.
  const CP437_HIGH =
    'ÇüéâäàåçêëèïîìÄÅÉæÆôöòûùÿÖÜ¢£¥₧ƒáíóúñÑªº¿⌐¬½¼¡«»░▒▓│┤╡╢╖╕╣║╗╝╜╛┐└┴┬├─┼╞╟╚╔╩╦╠═╬╧╨╤╥╙╘╒╓╫╪┘┌█▄▌▐▀' +
    'αßΓπΣσµτΦΘΩδ∞φε∩≡±≥≤⌠⌡÷≈°∙·√ⁿ²■\u00a0';
  const cp437 = bytes => Array.from(bytes, b => (b < 128 ? String.fromCharCode(b) : CP437_HIGH[b - 128])).join('');
  const strictUtf8 = new TextDecoder('utf-8', { fatal: true });
  const utf8 = new TextDecoder('utf-8');

  // A name in a pack: UTF-8 when the entry says so; without the flag, UTF-8
  // when it is valid UTF-8, else code page 437.
  function decodeName(bytes, utf8Flag = false) {
    if (utf8Flag) return utf8.decode(bytes);
    try {
      return strictUtf8.decode(bytes);
    } catch {
      return cp437(bytes);
    }
  }

  // A name as a relative path: "\" is a separator; leading "/", a drive
  // letter, "." and ".." are dropped.
  function cleanPath(name) {
    return name.replace(/\\/g, '/').replace(/^\/*[A-Za-z]:/, '').split('/')
      .filter(part => part !== '' && part !== '.' && part !== '..').join('/');
  }
  const withoutExtension = path => path.replace(/(.)\.[^./]*$/, '$1');
  const baseName = path => path.slice(path.lastIndexOf('/') + 1);
  // Folder entries and a Mac's resource forks are not files to convert.
  const isLeftOut = name => {
    const raw = name.replace(/\\/g, '/');
    return raw.endsWith('/') || raw.startsWith('__MACOSX/') || raw.includes('/__MACOSX/');
  };

  const startsWith = (bytes, ...signature) =>
    bytes.length >= signature.length &&
    signature.every((b, i) => bytes[i] === (typeof b === 'string' ? b.charCodeAt(0) : b));
  const isZip = bytes =>
    startsWith(bytes, 'P', 'K', 3, 4) || startsWith(bytes, 'P', 'K', 5, 6) || startsWith(bytes, 'P', 'K', 7, 8);

  // What a file clearly is when it is not text art, from its first 64 bytes
  // and its size; null when it may be art.
  function notArt(head, size) {
    if (startsWith(head, 0x89, 'P', 'N', 'G', 13, 10, 26, 10)) return 'a PNG picture';
    if (startsWith(head, 'G', 'I', 'F', '8', '7', 'a') || startsWith(head, 'G', 'I', 'F', '8', '9', 'a'))
      return 'a GIF picture';
    if (startsWith(head, 0xff, 0xd8, 0xff)) return 'a JPEG picture';
    if (isZip(head)) return 'a zip';
    if (startsWith(head, 'R', 'a', 'r', '!', 26, 7)) return 'a RAR archive';
    if (startsWith(head, 'X', 'B', 'I', 'N', 26)) return 'an XBin picture';
    if (startsWith(head, 'B', 'M') && head.length >= 6 &&
        new DataView(head.buffer, head.byteOffset).getUint32(2, true) === size)
      return 'a BMP picture';
    if (startsWith(head, 'M', 'Z') && head.subarray(0, 64).includes(0)) return 'a program';
    return null;
  }

  // A SAUCE record's fields, by their offsets in its 128 bytes.
  const SAUCE_SIZE = 128;
  const SAUCE_ID = 0; // "SAUCE00"
  const SAUCE_TITLE = [7, 35];
  const SAUCE_AUTHOR = [42, 20];
  const SAUCE_GROUP = [62, 20];
  const SAUCE_DATE = [82, 8]; // CCYYMMDD

  // The title, author, group and date of a file's last 128 bytes when they
  // are a SAUCE record; {} when not.
  function sauceOf(tail) {
    const at = tail.length - SAUCE_SIZE;
    if (at < 0 || !startsWith(tail.subarray(at + SAUCE_ID), 'S', 'A', 'U', 'C', 'E', '0', '0')) return {};
    const text = ([from, length]) => cp437(tail.subarray(at + from, at + from + length)).replace(/[\s\0]+$/, '');
    const fields = { title: text(SAUCE_TITLE), author: text(SAUCE_AUTHOR), group: text(SAUCE_GROUP) };
    const date = text(SAUCE_DATE);
    if (/^\d{8}$/.test(date)) fields.date = `${date.slice(0, 4)}-${date.slice(4, 6)}-${date.slice(6)}`;
    for (const key of Object.keys(fields)) if (!fields[key]) delete fields[key];
    return fields;
  }

  // A path that unpacks on Windows too: characters it refuses, and dots and
  // spaces at the end of a part, become "_".
  function windowsSafe(path) {
    return path.split('/').map(part => part.replace(/["<>:|?*\x00-\x1f\x7f]/g, '_')
      .replace(/[. ]+$/, dots => '_'.repeat(dots.length))).join('/');
  }

  // Where each PNG goes in "Download all": beside its input under its usual
  // name; a name already taken (case ignored) gets "-2", "-3", ... before
  // ".png". With Whole, the whole piece goes beside it (wholePath), and the
  // number is the first that leaves both names free, so that "foo.whole.ans"
  // and "foo.ans" never meet. Takes a Set of the names taken so far.
  function pngPath(taken, inputPath, output, whole = false) {
    const folder = windowsSafe(inputPath.slice(0, inputPath.lastIndexOf('/') + 1));
    const stem = windowsSafe(output).slice(0, -'.png'.length);
    const names = path => (whole ? [path, wholePath(path)] : [path]).map(name => name.toLowerCase());
    let path = `${folder}${stem}.png`;
    for (let n = 2; names(path).some(name => taken.has(name)); n++) path = `${folder}${stem}-${n}.png`;
    for (const name of names(path)) taken.add(name);
    return path;
  }
  // The whole piece's name beside a picture's: "foo-2.png" gives "foo-2.whole.png".
  const wholePath = path => `${path.slice(0, -'.png'.length)}.whole.png`;

  // "Download all" is named after the pack when one pack is all there is.
  function zipName(inputCount, packPaths) {
    if (inputCount === 1 && packPaths.length === 1)
      return `${withoutExtension(baseName(packPaths[0]))}-png.zip`;
    return 'tarvex-png.zip';
  }

  // What the gallery and the report say of an entry.
  function stateOf(item) {
    if (item.skipped) return `skipped: ${item.skipped}`;
    if (item.note) return `not converted: ${item.note}`;
    if (item.status === undefined) return 'waiting';
    return item.status === 0 ? 'converted' : `failed (exit status ${item.status})`;
  }
  // The picture's name in "Download all" when it is not the usual one.
  function storedAs(item) {
    if (!item.pngPath || !item.output) return null;
    const usual = item.path.slice(0, item.path.lastIndexOf('/') + 1) + item.output;
    return item.pngPath === usual ? null : item.pngPath;
  }

  // The rows of a whole piece ({ kept, leftOut }), for a piece that scrolled.
  function wholeRows({ whole }) {
    if (!whole) return null;
    return `whole piece: ${whole.kept} scrolled row${whole.kept === 1 ? '' : 's'} kept` +
      (whole.leftOut ? `, ${whole.leftOut} left out` : '');
  }

  // The report of "Download all": per file its path, then its exit status
  // and report lines as printed, or why it was not converted.
  function report(items) {
    return items.map(item => {
      const head = `${item.path}\n`;
      if (item.status === undefined) return `${head}${stateOf(item)}\n`;
      const extra = [storedAs(item) && `stored as ${storedAs(item)}`, wholeRows(item)].filter(Boolean);
      return `${head}exit status ${item.status}\n${item.lines.map(line => line.text + '\n').join('')}` +
        extra.map(line => line + '\n').join('');
    }).join('\n');
  }

  // The CSS size of the picture in a room of Room.width x Room.height CSS
  // pixels at Ratio device pixels each: a whole number of device pixels per
  // picture pixel, so that strokes stay even, unless that leaves much of the
  // room empty on a dense screen (a phone), where a picture pixel covers
  // enough device pixels that any size looks even; below one device pixel,
  // the largest size that fits.
  function fitSize(room, ratio, picture = PICTURE) {
    const fit = Math.max(0, Math.min(room.width / picture.width, room.height / picture.height) * ratio);
    const whole = Math.floor(fit);
    const scale = whole >= 1 && (ratio < 2 || whole / fit >= 0.75) ? whole : fit;
    return { width: (picture.width * scale) / ratio, height: (picture.height * scale) / ratio, scale };
  }

  // ---- The player's speeds, and its animations as tarvex-play makes them.

  // The player's speeds in bit/s, ten bits a byte: the old modems' rates up
  // to a serial line's fastest; 'max' besides is as fast as the screen allows.
  const SPEEDS = [300, 600, 1200, 2400, 9600, 14400, 28800, 57600, 115200];
  const DEFAULT_SPEED = 9600;
  // An animation needs a rate: 'max' has none, so it is saved at the fastest.
  const animationRate = speed => (speed === 'max' ? SPEEDS[SPEEDS.length - 1] : Number(speed));
  const ANIMATIONS = {
    gif: { option: '--gif', ending: '.gif', type: 'image/gif' },
    apng: { option: '--apng', ending: '.anim.png', type: 'image/apng' },
  };
  // tarvex-play's name for it, from the converter's name for the picture.
  const animationName = (output, format) => output.slice(0, -'.png'.length) + ANIMATIONS[format].ending;
  // A word as a POSIX shell reads it back.
  const shellWord = word => (/^[\w.,+@%=:/-]+$/.test(word) ? word : `'${word.replace(/'/g, `'\\''`)}'`);
  // The command that writes the same bytes, in a folder that holds the input
  // (and the font, unless there is none).
  function animationCommand(format, rate, input, font = true) {
    const name = input.startsWith('-') ? `./${input}` : input;
    return `tarvex-play ${ANIMATIONS[format].option} --bps ${rate}${font ? '' : ' --no-font'} ${shellWord(name)}`;
  }
  // tarvex-play's defaults, which the page keeps: centiseconds between
  // frames, seconds the end is held, seconds of playback at most.
  const ANIMATION_DEFAULTS = { delay: 4, hold: 5, maxLength: 600 };
  // tarvex-play's note when the length limit cut the playback.
  const cutNote = () =>
    `playback cut at ${ANIMATION_DEFAULTS.maxLength} s (--max-length); the last frame shows the final picture`;

  // ---- Reading a zip's directory, one record at a time.

  const u16 = (view, at) => view.getUint16(at, true);
  const u32 = (view, at) => view.getUint32(at, true);
  const u64 = (view, at) => Number(view.getBigUint64(at, true));
  const viewOf = bytes => new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  const END_SIZE = 22;
  const END_SEARCH = END_SIZE + 0xffff; // the record and the longest comment
  const LOCATOR_SIZE = 20;
  // Read(at, length) -> Promise of bytes, over bytes in memory or a Blob.
  const bytesReader = bytes => async (at, length) => bytes.subarray(at, at + length);
  const blobReader = blob => async (at, length) => new Uint8Array(await blob.slice(at, at + length).arrayBuffer());

  // Where the central directory is, from the last END_SEARCH bytes of a zip
  // of Size bytes (Tail starting at TailAt): { count, at } or, for zip64,
  // { zip64At } to read the zip64 end record there. Null: no end record.
  function findEnd(tail, tailAt) {
    const view = viewOf(tail);
    let end = tail.length - END_SIZE;
    while (end >= 0 && u32(view, end) !== 0x06054b50) end--;
    if (end < 0) return null;
    if (end >= LOCATOR_SIZE && u32(view, end - LOCATOR_SIZE) === 0x07064b50)
      return { zip64At: u64(view, end - LOCATOR_SIZE + 8) };
    return { count: u16(view, end + 10), at: u32(view, end + 16), endAt: tailAt + end };
  }
  // The central directory's place from a zip64 end record.
  function zip64End(record) {
    const view = viewOf(record);
    if (u32(view, 0) !== 0x06064b50) throw new Error('no zip64 end record');
    return { count: u64(view, 32), at: u64(view, 48) };
  }

  // The entries of a central directory: name, flags, method, sizes, CRC-32
  // and where the local header is, with zip64 sizes where they apply.
  function centralEntries(directory, count) {
    const view = viewOf(directory);
    const entries = [];
    let at = 0;
    for (let i = 0; i < count; i++) {
      if (at + 46 > directory.length || u32(view, at) !== 0x02014b50) throw new Error('the central directory is cut short');
      const flags = u16(view, at + 8);
      const nameLength = u16(view, at + 28);
      const extraLength = u16(view, at + 30);
      const commentLength = u16(view, at + 32);
      const entry = {
        name: decodeName(directory.subarray(at + 46, at + 46 + nameLength), (flags & 0x800) !== 0),
        flags, method: u16(view, at + 10), crc: u32(view, at + 16),
        size: u32(view, at + 20), originalSize: u32(view, at + 24), headerAt: u32(view, at + 42),
      };
      // A zip64 extra field holds those of the three that read 0xffffffff.
      const wide = ['originalSize', 'size', 'headerAt'].filter(key => entry[key] === 0xffffffff);
      for (let extra = at + 46 + nameLength, end = extra + extraLength; wide.length && extra + 4 <= end;
           extra += 4 + u16(view, extra + 2)) {
        if (u16(view, extra) !== 1) continue;
        wide.forEach((key, n) => { entry[key] = u64(view, extra + 4 + 8 * n); });
        break;
      }
      entries.push(entry);
      at += 46 + nameLength + extraLength + commentLength;
    }
    return entries;
  }
  // Where an entry's data starts, from the first 30 bytes of its local header.
  function dataStart(entry, localHeader) {
    const view = viewOf(localHeader);
    if (u32(view, 0) !== 0x04034b50) throw new Error('no local header');
    return entry.headerAt + 30 + u16(view, 26) + u16(view, 28);
  }

  // Why an entry cannot be unpacked, or null. Budget is what the pack may
  // still unpack to; an entry that fits takes its share of it.
  function entryProblem(entry, budget) {
    if (entry.flags & 1) return 'encrypted: the page cannot open it';
    if (entry.method !== 0 && entry.method !== 8)
      return `packed with method ${entry.method}, which the page cannot unpack`;
    if (entry.originalSize > ENTRY_LIMIT)
      return `${(entry.originalSize / MiB).toFixed(0)} MiB unpacked: too large for the page, convert it with the command line`;
    // Deflate cannot pack more tightly than this: a size beyond it is a lie.
    if (entry.method === 8 && entry.originalSize > entry.size * 1032)
      return 'damaged in the zip (its sizes do not agree)';
    if (entry.method === 0 && entry.originalSize !== entry.size) return 'damaged in the zip (its sizes do not agree)';
    if ((budget.left -= entry.originalSize) < 0)
      return 'not unpacked: the pack unpacks to more than 1 GiB, too much for the page';
    return null;
  }

  // The entries of a zip, read through Read(at, length) -> Promise of bytes
  // from a zip of Size bytes: its directory only, no entry's data.
  async function listZip(read, size) {
    const tailAt = Math.max(0, size - END_SEARCH);
    let end = findEnd(await read(tailAt, size - tailAt), tailAt);
    if (!end) throw new Error('no end of central directory');
    if (end.zip64At !== undefined) end = zip64End(await read(end.zip64At, 56));
    if (!end.count) return [];
    if (end.at >= size) throw new Error('the central directory lies beyond the end');
    return centralEntries(await read(end.at, size - end.at), end.count);
  }

  // One entry's bytes, unpacked with Inflate(data, size) and checked
  // against its CRC-32. Throws with the reason when it is damaged.
  async function readEntry(read, entry, inflate) {
    const start = dataStart(entry, await read(entry.headerAt, 30));
    const data = await read(start, entry.size);
    if (data.length !== entry.size) throw new Error('cut short');
    const bytes = entry.method === 0 ? data : inflate(data, entry.originalSize);
    if (bytes.length !== entry.originalSize || crc32(bytes) !== entry.crc)
      throw new Error('its CRC-32 does not match');
    return bytes;
  }

  // The bytes of the last entry of Chain, a zip inside each zip before it,
  // read through Read; the last one unpacked with Last (Inflate by default),
  // so that it can go where it is needed.
  async function readChain(read, chain, inflate, last = inflate) {
    for (const entry of chain.slice(0, -1)) {
      const inner = await readEntry(read, entry, inflate);
      read = bytesReader(inner);
    }
    return readEntry(read, chain[chain.length - 1], last);
  }

  const CRC_TABLE = Array.from({ length: 256 }, (_, n) => {
    for (let k = 0; k < 8; k++) n = n & 1 ? 0xedb88320 ^ (n >>> 1) : n >>> 1;
    return n >>> 0;
  });
  function crc32(bytes) {
    let crc = 0xffffffff;
    for (let i = 0; i < bytes.length; i++) crc = CRC_TABLE[(crc ^ bytes[i]) & 255] ^ (crc >>> 8);
    return (crc ^ 0xffffffff) >>> 0;
  }

  const rules = {
    MiB, ENTRY_LIMIT, TOTAL_LIMIT, PICTURE, END_SEARCH, decodeName, cleanPath, withoutExtension, baseName,
    isLeftOut, isZip, notArt, fitSize, sauceOf, windowsSafe, pngPath, wholePath, zipName, stateOf, storedAs,
    wholeRows, report, findEnd, zip64End, centralEntries, dataStart, entryProblem, crc32, bytesReader,
    blobReader, listZip, readEntry, readChain, SPEEDS, DEFAULT_SPEED, ANIMATIONS, ANIMATION_DEFAULTS,
    animationRate, animationName, animationCommand, cutNote,
  };
  if (typeof module === 'object' && module.exports) module.exports = rules;
  else root.tarvexRules = rules;
})(typeof self === 'object' ? self : this);
