// Packs in the page: a pack built from the repository's art and generated
// inputs, given as a zip and as loose files, must give in "Download all"
// every PNG byte for byte as the native program writes it, every whole
// piece as tarvex-play writes it, and a report of the native report lines
// and statuses; broken and hostile packs must give their message.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, test } from 'node:test';
import { chooseFont, convertBatch, galleryStates, offeredZip, session, where } from './harness.mjs';

const context = session({ before, after });
const packs = where.packs;
const manifest = JSON.parse(fs.readFileSync(path.join(packs, 'manifest.json'), 'utf8'));

// The rows of a whole piece from tarvex-play's PNG and note, as the report
// gives them; null for a piece that did not scroll.
function wholeLine(whole) {
  const kept = whole.png.readUInt32BE(20) / 16 - 25;
  const leftOut = whole.err.match(/^tarvex-play: .*: (\d+) scrolled rows left out/m);
  if (kept === 0) return null;
  return `whole piece: ${kept} scrolled row${kept === 1 ? '' : 's'} kept${leftOut ? `, ${leftOut[1]} left out` : ''}\n`;
}
const wholeName = name => `${name.slice(0, -4)}.whole.png`;

// What "Download all" must hold for these inputs ({ path, file, skip }),
// from the native programs run on each file alone in a folder.
function expected(inputs, font, runNative) {
  const sorted = [...inputs].sort((a, b) => (a.path < b.path ? -1 : a.path > b.path ? 1 : 0));
  const taken = new Set();
  const pngs = new Map();
  const blocks = [];
  for (const input of sorted) {
    if (input.skip) {
      blocks.push(`${input.path}\nskipped: ${input.skip}\n`);
      continue;
    }
    const run = runNative(input.file, font, { whole: true });
    const lines = run.out + run.err;
    blocks.push(`${input.path}\nexit status ${run.status}\n${lines}`);
    if (!run.png) continue;
    const folder = input.path.slice(0, input.path.lastIndexOf('/') + 1);
    const output = run.out.match(/^Rendering to PNG: (.*)$/m)[1];
    const whole = wholeLine(run.whole);
    const names = name => (whole ? [name, wholeName(name)] : [name]).map(key => key.toLowerCase());
    let name = folder + output;
    for (let n = 2; names(name).some(key => taken.has(key)); n++) name = `${folder}${output.slice(0, -4)}-${n}.png`;
    names(name).forEach(key => taken.add(key));
    pngs.set(name, run.png);
    if (name !== folder + output) blocks[blocks.length - 1] += `stored as ${name}\n`;
    if (whole) {
      pngs.set(wholeName(name), run.whole.png);
      blocks[blocks.length - 1] += whole;
    }
  }
  return { pngs, report: blocks.join('\n') };
}


// Gives the page these files (with a font) and reads what it offers.
async function convert(files, fontChoice = 'debian') {
  const { page } = context;
  await chooseFont(page, fontChoice);
  await convertBatch(page, files);
  const zip = await offeredZip(page);
  return { ...zip, progress: await page.$eval('#progress', p => p.textContent), states: await galleryStates(page) };
}

// What the page offered against what the native program makes.
function check(got, want, zipName) {
  const problems = [];
  if (got.name !== zipName) problems.push(`the zip is offered as ${got.name}, not ${zipName}`);
  const names = got.entries.map(e => e.name);
  const wantNames = [...want.pngs.keys(), 'tarvex-report.txt'];
  if (JSON.stringify([...names].sort()) !== JSON.stringify([...wantNames].sort()))
    problems.push(`the zip holds ${JSON.stringify(names)}, not ${JSON.stringify(wantNames)}`);
  for (const entry of got.entries) {
    if (entry.method !== 0) problems.push(`${entry.name} is compressed again (method ${entry.method})`);
    if (/[^\x00-\x7f]/.test(entry.name) && !(entry.flags & 0x800)) problems.push(`${entry.name} lacks the UTF-8 flag`);
    const png = want.pngs.get(entry.name);
    if (png && !png.equals(entry.bytes)) problems.push(`${entry.name} differs from the native PNG`);
    if (entry.name === 'tarvex-report.txt' && entry.bytes.toString('utf8') !== want.report)
      problems.push(`tarvex-report.txt differs\n--- page\n${entry.bytes}\n--- native\n${want.report}`);
  }
  assert.deepEqual(problems, []);
}

// Every entry of the offered zip dated 1980-01-01, as Python's zipfile reads it.
function dates(zipBytes) {
  const file = path.join(context.work, 'dated.zip');
  fs.writeFileSync(file, zipBytes);
  return spawnSync('python3', ['-c', 'import sys, zipfile; print(set(i.date_time for i in zipfile.ZipFile(sys.argv[1]).infolist()))',
                               file], { encoding: 'utf8' }).stdout.trim();
}

test('a pack gives the native PNGs and report lines, the same bytes twice', async () => {
  const first = await convert([path.join(packs, 'pack.zip')]);
  check(first, expected(manifest, where.font, context.runNative), 'pack-png.zip');
  const again = await convert([path.join(packs, 'pack.zip')]);
  assert.deepEqual(again.entries.map(e => e.bytes.toString('base64')), first.entries.map(e => e.bytes.toString('base64')));
  const bytes = await context.page.evaluate(async () => Array.from(new Uint8Array(
    await (await fetch(document.getElementById('download-all').href)).arrayBuffer())));
  assert.equal(dates(Buffer.from(bytes)), '{(1980, 1, 1, 0, 0, 0)}');
  // The name a clash gave is beside that file's state.
  assert.equal(new Map(first.states).get('case/Foo.ans'), 'converted, stored as Foo-2.png');
});

test('the view shows the last screen or the whole piece, the choice kept from file to file', async () => {
  // The gallery of the test before.
  const { page } = context;
  const open = async (name, choice = null) => {
    await page.$$eval('#gallery li', (items, name) =>
      items.find(li => li.querySelector('.path').textContent === name).querySelector('button').click(), name);
    if (choice) await page.click(`input[name="piece"][value="${choice}"]`);
    // Shown at the width of the last screen, as tall as it is.
    await page.waitForFunction(() => {
      const image = document.getElementById('image');
      const ratio = parseFloat(image.style.height) / parseFloat(image.style.width);
      return image.complete && Math.round(ratio * 640) === image.naturalHeight;
    }, { timeout: 5000 });
    return page.evaluate(() => ({ offered: !document.getElementById('piece-choice').hidden,
                                  height: document.getElementById('image').naturalHeight }));
  };
  // The small picture of a piece that scrolled is the top of its whole piece.
  const tops = names => names.map(name => [...document.querySelectorAll('#gallery li')]
    .find(li => li.querySelector('.path').textContent === name).querySelector('canvas') !== null);
  await page.waitForFunction(`(${tops})(['ART/BS-ALOVE.ANS', 'DOS/N-SILOVE.ANS']).every(Boolean)`);
  assert.deepEqual(await page.evaluate(tops, ['ART/BS-ALOVE.ANS', 'DOS/N-SILOVE.ANS', 'x/colours.ans']),
                   [true, true, false]);
  assert.deepEqual(await open('ART/BS-ALOVE.ANS'), { offered: true, height: 400 });
  assert.deepEqual(await open('ART/BS-ALOVE.ANS', 'whole'), { offered: true, height: 960 });
  assert.deepEqual(await open('DOS/N-SILOVE.ANS'), { offered: true, height: 560 });
  assert.deepEqual(await open('x/colours.ans'), { offered: false, height: 400 });
  assert.deepEqual(await open('DOS/N-SILOVE.ANS', 'last'), { offered: true, height: 400 });
});

test('loose files, and files without a font, give the native PNGs and report lines', async () => {
  const loose = manifest.map(input => ({ ...input, path: path.basename(input.file),
                                         file: path.join(packs, 'loose', path.basename(input.file)) }));
  check(await convert(loose.map(input => input.file)), expected(loose, where.font, context.runNative), 'tarvex-png.zip');
  const unfonted = manifest.filter(input => input.path.startsWith('ART/'));
  check(await convert(unfonted.map(input => input.file), 'none'),
        expected(unfonted.map(input => ({ ...input, path: path.basename(input.file) })), null, context.runNative),
        'tarvex-png.zip');
});

test('broken packs, several at once, each give their message under a folder of their name', async () => {
  const broken = await convert(fs.readdirSync(path.join(packs, 'broken')).sort()
    .map(name => path.join(packs, 'broken', name)));
  const states = new Map(broken.states);
  const want = {
    'crc/flipped.ans': /^not converted: damaged in the zip \(its CRC-32 does not match\)$/,
    'damaged.zip': /^not converted: this zip is damaged or incomplete and cannot be opened/,
    'empty.zip': /^not converted: an empty zip: nothing to convert$/,
    'encrypted/open.ans': /^converted$/,
    'encrypted/secret.ans': /^not converted: encrypted: the page cannot open it$/,
    'nested/cursor.ans': /^converted$/,
    'nested/deeper/third.zip': /^not converted: a zip inside a zip inside a zip: not opened$/,
    'nested/inner/INNER/blocks.ans': /^converted$/,
  };
  assert.deepEqual([...states.keys()], Object.keys(want));
  for (const [name, pattern] of Object.entries(want)) assert.match(states.get(name), pattern, name);
  assert.equal(broken.name, 'tarvex-png.zip');
  const report = broken.entries.find(e => e.name === 'tarvex-report.txt').bytes.toString();
  assert.ok(report.includes('damaged.zip\nnot converted: this zip is damaged'), report);
});

test('a 40 MB entry converts as the native program converts it, and a pack of 1,000 files in full', async () => {
  const big = await convert([path.join(packs, 'big.zip')]);
  const folder = fs.mkdtempSync(path.join(context.work, 'big-'));
  spawnSync('python3', ['-c', 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extract("BIG.ANS", sys.argv[2])',
                        path.join(packs, 'big.zip'), folder]);
  const native = context.runNative(path.join(folder, 'BIG.ANS'), where.font, { whole: true });
  const png = big.entries.find(e => e.name === 'BIG.png');
  assert.ok(png && native.png && png.bytes.equals(native.png));
  // Past the limit: the first rows kept, the rest counted in the report.
  const whole = big.entries.find(e => e.name === 'BIG.whole.png');
  assert.ok(whole && whole.bytes.equals(native.whole.png));
  const line = wholeLine(native.whole);
  assert.match(line, /^whole piece: 2000 scrolled rows kept, \d+ left out\n$/);
  assert.ok(big.entries.find(e => e.name === 'tarvex-report.txt').bytes.toString().includes(line));
  const many = await convert([path.join(packs, 'many.zip')]);
  assert.equal(many.states.length, 1000);
  assert.equal(many.progress, 'Converted 1000 of 1,000 files.');
  assert.equal(many.name, 'many-png.zip');
});

test('files dropped on the page convert', async () => {
  // Made in the page: puppeteer cannot drag.
  const { page } = context;
  const before = await page.evaluate(() => window.tarvexHooks.conversions);
  await page.evaluate(() => {
    document.getElementById('view').close();
    const dropped = new DataTransfer();
    dropped.items.add(new File(['\x1b[1;31mdropped\r\n'], 'one.ans'));
    dropped.items.add(new File(['GIF89a'], 'two.gif'));
    document.getElementById('drop').dispatchEvent(new DragEvent('drop', { dataTransfer: dropped, bubbles: true }));
  });
  await page.waitForFunction(n => window.tarvexHooks.conversions > n && document.body.dataset.pack === 'done', {}, before);
  assert.deepEqual(await galleryStates(page), [['one.ans', 'converted'], ['two.gif', 'skipped: a GIF picture']]);
});

test('200 generated files in one pack give the native PNGs and report lines', async () => {
  const folder = fs.mkdtempSync(path.join(context.work, 'timed-'));
  spawnSync('python3', ['-c', 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])',
                        path.join(packs, 'timed.zip'), folder]);
  const inputs = fs.readdirSync(path.join(folder, 'timed')).sort()
    .map(name => ({ path: `timed/${name}`, file: path.join(folder, 'timed', name) }));
  check(await convert([path.join(packs, 'timed.zip')]), expected(inputs, where.font, context.runNative), 'timed-png.zip');
});

test('no page errors', () => assert.deepEqual(context.problems, []));
