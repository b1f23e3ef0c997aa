// The page's rules, without a browser: names in packs, the skip rule, SAUCE
// fields, PNG paths and their clashes (whole pieces too), Windows-safe
// names, the zip's name, the report, the canvas's size, reading a zip's
// directory and entries, and the player's speeds and animations.
// Run by scripts/test.sh: node --test tests/web/rules.test.mjs
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import test from 'node:test';
import zlib from 'node:zlib';

const rules = createRequire(import.meta.url)('../../web/rules.js');
const bytes = (...parts) => new Uint8Array(Buffer.concat(parts.map(p => (typeof p === 'string' ? Buffer.from(p, 'latin1') : Buffer.from(p)))));

test('names in packs become relative paths', () => {
  for (const [name, path] of [
    ['ART/BS-ALOVE.ANS', 'ART/BS-ALOVE.ANS'],
    ['C:\\DOS\\N-SILOVE.ANS', 'DOS/N-SILOVE.ANS'],
    ['./x/../colours.ans', 'x/colours.ans'],
    ['/blocks.ans', 'blocks.ans'],
    ['//a//b/', 'a/b'],
    ['..', ''],
  ]) assert.equal(rules.cleanPath(name), path, name);
  for (const [name, out] of [['__MACOSX/a', true], ['x/__MACOSX/a', true], ['dir/', true], ['dir\\', true], ['a.ans', false]])
    assert.equal(rules.isLeftOut(name), out, name);
  assert.equal(rules.withoutExtension('ART/MORE.ZIP'), 'ART/MORE');
  assert.equal(rules.withoutExtension('.hidden'), '.hidden');
});

test('names without the UTF-8 flag are UTF-8 when valid, else code page 437', () => {
  assert.equal(rules.decodeName(bytes([0x4d, 0x9a, 0x4c])), 'MÜL');
  assert.equal(rules.decodeName(Buffer.from('café')), 'café');
  assert.equal(rules.decodeName(Buffer.from('café'), true), 'café');
  assert.equal(rules.decodeName(bytes([0xb0, 0xdb, 0xff])), '░█\u00a0');
});

test('files that are clearly not text art are skipped, and nothing else', () => {
  const bmp = size => bytes('BM', new Uint8Array(new Uint32Array([size]).buffer), Buffer.alloc(10));
  for (const [head, size, why] of [
    [bytes([0x89], 'PNG\r\n\x1a\n'), 100, 'a PNG picture'],
    [bytes('GIF89a'), 6, 'a GIF picture'],
    [bytes('GIF87a'), 6, 'a GIF picture'],
    [bytes([0xff, 0xd8, 0xff]), 3, 'a JPEG picture'],
    [bytes('PK\x03\x04'), 4, 'a zip'],
    [bytes('Rar!\x1a\x07'), 6, 'a RAR archive'],
    [bytes('XBIN\x1a'), 5, 'an XBin picture'],
    [bmp(16), 16, 'a BMP picture'],
    [bmp(99), 16, null],
    [bytes('MZ\x00'), 3, 'a program'],
    [bytes('MZ plain text'), 13, null],
    [bytes('\x1b[31mGIF89a'), 11, null],
    [bytes(''), 0, null],
  ]) assert.equal(rules.notArt(head, size), why, JSON.stringify(Buffer.from(head).toString('latin1')));
});

test('a SAUCE record gives its title, author, group and date; without one, nothing', () => {
  const field = (text, length) => Buffer.concat([Buffer.from(text, 'latin1'), Buffer.alloc(length - text.length, 0x20)]);
  const record = Buffer.concat([Buffer.from('SAUCE00'), field('A Title', 35), field('Someone\x00', 20),
                                field('\x8eGroup', 20), Buffer.from('19960512'), Buffer.alloc(38)]);
  assert.equal(record.length, 128);
  assert.deepEqual(rules.sauceOf(bytes('art\x1a', record)),
                   { title: 'A Title', author: 'Someone', group: 'ÄGroup', date: '1996-05-12' });
  assert.deepEqual(rules.sauceOf(bytes(record.subarray(0, 127))), {});
  assert.deepEqual(rules.sauceOf(bytes('x'.repeat(200))), {});
  const undated = Buffer.from(record);
  undated.write('        ', 82, 'latin1');
  assert.equal(rules.sauceOf(bytes(undated)).date, undefined);
});

test('each PNG goes beside its input, a taken name (case ignored) numbered, unsafe characters replaced', () => {
  const taken = new Set();
  const cases = [
    ['case/Foo.ans', 'Foo.png', 'case/Foo.png'],
    ['case/FOO.ANS', 'FOO.png', 'case/FOO-2.png'],
    ['case/foo', 'foo.png', 'case/foo-3.png'],
    ['top.ans', 'top.png', 'top.png'],
    ['a:b/what?.ans', 'what?.png', 'a_b/what_.png'],
    ['dots./x.ans', 'x.png', 'dots_/x.png'],
    ['x/tab\there .', 'tab\there ..png', 'x/tab_here ..png'],
  ];
  for (const [input, output, want] of cases) assert.equal(rules.pngPath(taken, input, output), want, input);
  // A piece that scrolled has its whole piece beside it; neither name may be
  // taken, by a picture or by a whole piece.
  const whole = new Set();
  for (const [input, output, scrolled, want, wantWhole] of [
    ['ART/FOO.ANS', 'FOO.png', true, 'ART/FOO.png', 'ART/FOO.whole.png'],
    ['ART/FOO.whole.ans', 'FOO.whole.png', false, 'ART/FOO.whole-2.png', null],
    ['a.whole.ans', 'a.whole.png', false, 'a.whole.png', null],
    ['a.x', 'a.png', true, 'a-2.png', 'a-2.whole.png'],
    ['foo.ans', 'foo.png', true, 'foo.png', 'foo.whole.png'],
    ['foo.asc', 'foo.png', true, 'foo-2.png', 'foo-2.whole.png'],
  ]) {
    const path = rules.pngPath(whole, input, output, scrolled);
    assert.deepEqual([path, scrolled ? rules.wholePath(path) : null], [want, wantWhole], input);
  }
  assert.equal(rules.windowsSafe('a"<>|*b. /c '), 'a_____b__/c_');
  assert.equal(rules.storedAs({ path: 'case/FOO.ANS', output: 'FOO.png', pngPath: 'case/FOO-2.png' }), 'case/FOO-2.png');
  assert.equal(rules.storedAs({ path: 'case/Foo.ans', output: 'Foo.png', pngPath: 'case/Foo.png' }), null);
});

test('"Download all" is named after a pack given alone', () => {
  assert.equal(rules.zipName(1, ['packs/ART.ZIP']), 'ART-png.zip');
  assert.equal(rules.zipName(2, ['ART.ZIP']), 'tarvex-png.zip');
  assert.equal(rules.zipName(1, []), 'tarvex-png.zip');
});

test('the report lists each file with its status and lines, or why it was not converted', () => {
  const items = [
    { path: 'a.ans', status: 0, output: 'a.png', pngPath: 'a.png', lines: [{ text: 'Parsing ANSI file: a.ans' }] },
    { path: 'A.ANS', status: 0, output: 'A.png', pngPath: 'A-2.png', lines: [{ text: 'one' }] },
    { path: 'b.gif', skipped: 'a GIF picture' },
    { path: 'c.ans', note: 'cancelled' },
    { path: 'd.ans', status: 1, lines: [{ text: 'x' }, { text: 'y', error: true }] },
    { path: 'e.ans', status: 0, output: 'e.png', pngPath: 'e.png', lines: [], whole: { kept: 1, leftOut: 0 } },
    { path: 'log', status: 0, output: 'log.png', pngPath: 'log-2.png', lines: [], whole: { kept: 2000, leftOut: 57 } },
  ];
  assert.equal(rules.report(items),
               'a.ans\nexit status 0\nParsing ANSI file: a.ans\n\nA.ANS\nexit status 0\none\nstored as A-2.png\n\n' +
               'b.gif\nskipped: a GIF picture\n\nc.ans\nnot converted: cancelled\n\nd.ans\nexit status 1\nx\ny\n\n' +
               'e.ans\nexit status 0\nwhole piece: 1 scrolled row kept\n\n' +
               'log\nexit status 0\nstored as log-2.png\nwhole piece: 2000 scrolled rows kept, 57 left out\n');
  assert.equal(rules.stateOf(items[3]), 'not converted: cancelled');
  assert.equal(rules.stateOf(items[4]), 'failed (exit status 1)');
});

test('the canvas takes whole device pixels per picture pixel where one fits, else the room', () => {
  for (const [room, ratio, width] of [
    [{ width: 900, height: 700 }, 1, 640],
    [{ width: 1400, height: 900 }, 1, 1280],
    [{ width: 1400, height: 500 }, 1, 640],
    [{ width: 320, height: 700 }, 1, 320],
    [{ width: 326, height: 700 }, 3, 326],
    [{ width: 700, height: 500 }, 2, 640],
  ]) assert.equal(Math.round(rules.fitSize(room, ratio).width), width, JSON.stringify([room, ratio]));
});

// A zip of the given entries ({ name, data, method, claim, flags }), as a
// writer would make it; claim overrides the unpacked size in both headers.
function zipOf(entries, { zip64 = false } = {}) {
  const locals = [];
  const centrals = [];
  let at = 0;
  for (const { name, data, method = 8, claim, flags = 0 } of entries) {
    const packed = method === 8 ? zlib.deflateRawSync(data) : data;
    const nameBytes = Buffer.from(name);
    const size = claim ?? data.length;
    const local = Buffer.alloc(30);
    local.writeUInt32LE(0x04034b50, 0);
    const central = Buffer.alloc(46);
    central.writeUInt32LE(0x02014b50, 0);
    // The fields both headers carry, two bytes further on in the central one.
    for (const [header, shift] of [[local, 0], [central, 2]]) {
      header.writeUInt16LE(flags | 0x800, 6 + shift);
      header.writeUInt16LE(method, 8 + shift);
      header.writeUInt32LE(rules.crc32(data), 14 + shift);
      header.writeUInt32LE(packed.length, 18 + shift);
      header.writeUInt32LE(size, 22 + shift);
      header.writeUInt16LE(nameBytes.length, 26 + shift);
    }
    let extra = Buffer.alloc(0);
    if (zip64) { // the header's offset in a zip64 extra field
      central.writeUInt32LE(0xffffffff, 42);
      extra = Buffer.alloc(12);
      extra.writeUInt16LE(1, 0);
      extra.writeUInt16LE(8, 2);
      extra.writeBigUInt64LE(BigInt(at), 4);
      central.writeUInt16LE(extra.length, 30);
    } else {
      central.writeUInt32LE(at, 42);
    }
    locals.push(local, nameBytes, packed);
    centrals.push(central, nameBytes, extra);
    at += 30 + nameBytes.length + packed.length;
  }
  const directory = Buffer.concat(centrals);
  const end = Buffer.alloc(22);
  end.writeUInt32LE(0x06054b50, 0);
  end.writeUInt16LE(entries.length, 8);
  end.writeUInt16LE(entries.length, 10);
  end.writeUInt32LE(directory.length, 12);
  end.writeUInt32LE(at, 16);
  const tail = [end];
  if (zip64) {
    const record = Buffer.alloc(56);
    record.writeUInt32LE(0x06064b50, 0);
    record.writeBigUInt64LE(BigInt(entries.length), 32);
    record.writeBigUInt64LE(BigInt(at), 48);
    const locator = Buffer.alloc(20);
    locator.writeUInt32LE(0x07064b50, 0);
    locator.writeBigUInt64LE(BigInt(at + directory.length), 8);
    end.writeUInt32LE(0xffffffff, 16);
    tail.unshift(record, locator);
  }
  return new Uint8Array(Buffer.concat([...locals, directory, ...tail]));
}
const readerOf = zip => async (at, length) => zip.subarray(at, at + length);
const inflate = data => new Uint8Array(zlib.inflateRawSync(data));

test('a zip\'s entries are read one at a time, from its directory, zip64 too', async () => {
  for (const zip64 of [false, true]) {
    const zip = zipOf([{ name: 'a.ans', data: Buffer.from('one') }, { name: 'dir/b.ans', data: Buffer.from('two'), method: 0 }],
                      { zip64 });
    const entries = await rules.listZip(readerOf(zip), zip.length);
    assert.deepEqual(entries.map(e => [e.name, e.method, e.originalSize]), [['a.ans', 8, 3], ['dir/b.ans', 0, 3]]);
    const texts = [];
    for (const entry of entries) texts.push(Buffer.from(await rules.readEntry(readerOf(zip), entry, inflate)).toString());
    assert.deepEqual(texts, ['one', 'two']);
  }
  const empty = zipOf([]);
  assert.deepEqual(await rules.listZip(readerOf(empty), empty.length), []);
  await assert.rejects(rules.listZip(readerOf(empty.subarray(0, 10)), 10), /no end of central directory/);
});

test('each entry is checked on its own: encryption, method, size, CRC-32', async () => {
  const budget = { left: rules.TOTAL_LIMIT };
  const claims = zipOf([{ name: 'claims.ans', data: Buffer.alloc(10 * 1024 * 1024), claim: 0xfffffff0 },
                        { name: 'ok.ans', data: Buffer.from('fine') }]);
  const [liar, fine] = await rules.listZip(readerOf(claims), claims.length);
  assert.match(rules.entryProblem(liar, budget), /^4096 MiB unpacked: too large for the page/);
  assert.equal(rules.entryProblem(fine, budget), null);
  const problem = entry => rules.entryProblem({ flags: 0, method: 8, size: 10, originalSize: 10, ...entry },
                                              { left: rules.TOTAL_LIMIT });
  assert.equal(problem({ flags: 1 }), 'encrypted: the page cannot open it');
  assert.equal(problem({ method: 12 }), 'packed with method 12, which the page cannot unpack');
  assert.equal(problem({ originalSize: 10 * 1033 }), 'damaged in the zip (its sizes do not agree)');
  assert.equal(problem({ method: 0, originalSize: 11 }), 'damaged in the zip (its sizes do not agree)');
  const over = { left: 5 };
  assert.match(rules.entryProblem({ flags: 0, method: 0, size: 10, originalSize: 10 }, over), /more than 1 GiB/);
  const bad = zipOf([{ name: 'x.ans', data: Buffer.from('stored text'), method: 0 }]);
  const flipped = Buffer.from(bad);
  flipped[30 + 5 + 2] ^= 0x20;
  const [entry] = await rules.listZip(readerOf(flipped), flipped.length);
  await assert.rejects(rules.readEntry(readerOf(new Uint8Array(flipped)), entry, inflate), /CRC-32 does not match/);
});

test('the player\'s speeds rise within tarvex-play\'s --bps, and "as fast as the screen allows" saves at the fastest', () => {
  const speeds = rules.SPEEDS;
  assert.deepEqual(speeds.slice(0, 4), [300, 600, 1200, 2400]);
  assert.ok(speeds.every((rate, i) => rate >= 300 && rate <= 921600 && (i === 0 || rate > speeds[i - 1])), String(speeds));
  assert.ok(speeds.includes(rules.DEFAULT_SPEED));
  assert.equal(rules.animationRate('max'), 115200);
  assert.equal(rules.animationRate('2400'), 2400);
});

test('an animation is offered under tarvex-play\'s name, with the command line that writes the same bytes', () => {
  for (const [output, format, name] of [['FOO.png', 'gif', 'FOO.gif'], ['FOO.png', 'apng', 'FOO.anim.png'],
                                        ['.ans.png', 'gif', '.ans.gif'], ['a.b.png', 'apng', 'a.b.anim.png']])
    assert.equal(rules.animationName(output, format), name, output);
  for (const [args, line] of [
    [['gif', 9600, 'FOO.ANS'], 'tarvex-play --gif --bps 9600 FOO.ANS'],
    [['apng', 300, 'cl!-al05.ans', false], "tarvex-play --apng --bps 300 --no-font 'cl!-al05.ans'"],
    [['gif', 115200, "it's.ans"], "tarvex-play --gif --bps 115200 'it'\\''s.ans'"],
    [['gif', 2400, '-x.ans'], 'tarvex-play --gif --bps 2400 ./-x.ans'],
  ]) assert.equal(rules.animationCommand(...args), line);
  assert.equal(rules.cutNote(), 'playback cut at 600 s (--max-length); the last frame shows the final picture');
});
