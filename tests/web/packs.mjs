// Packs in the page: a pack built from the repository's art and generated
// inputs, given as a zip and as loose files, must give in "Download all"
// every PNG byte for byte as the native program writes it and a report of
// the native report lines and statuses; broken and hostile packs must give
// their message; and a pack of 200 files is timed against 200 native runs.
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';

// Reads a zip with Python's zipfile, which checks every CRC-32: the entries
// with their method and date, and their bytes.
function readZip(bytes, work) {
  const folder = fs.mkdtempSync(path.join(work, 'zip-'));
  fs.writeFileSync(path.join(folder, 'all.zip'), bytes);
  const run = spawnSync('python3', ['-c', `
import json, os, sys, zipfile
out = []
with zipfile.ZipFile(sys.argv[1]) as z:
    for i, info in enumerate(z.infolist()):
        with open(os.path.join(sys.argv[2], str(i)), 'wb') as f:
            f.write(z.read(info))
        out.append({'name': info.filename, 'method': info.compress_type, 'date': list(info.date_time),
                    'utf8': bool(info.flag_bits & 0x800)})
print(json.dumps(out))`, path.join(folder, 'all.zip'), folder], { encoding: 'utf8' });
  if (run.status !== 0) return { error: run.stderr };
  return { entries: JSON.parse(run.stdout).map((e, i) => ({ ...e, bytes: fs.readFileSync(path.join(folder, String(i))) })) };
}

// What "Download all" must hold for these inputs ({ path, file, skip }),
// from the native program run on each file alone in a folder.
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
    const run = runNative(input.file, font);
    const lines = run.out + run.err;
    blocks.push(`${input.path}\nexit status ${run.status}\n${lines}`);
    if (!run.png) continue;
    const folder = input.path.slice(0, input.path.lastIndexOf('/') + 1);
    const output = run.out.match(/^Rendering to PNG: (.*)$/m)[1];
    let name = folder + output;
    for (let n = 2; taken.has(name.toLowerCase()); n++) name = `${folder}${output.slice(0, -4)}-${n}.png`;
    taken.add(name.toLowerCase());
    pngs.set(name, run.png);
  }
  return { pngs, report: blocks.join('\n') };
}

export async function testPacks({ page, problems, runNative, work, fontOf, packs, figures }) {
  const fileInput = await page.$('#file');
  const manifest = JSON.parse(fs.readFileSync(path.join(packs, 'manifest.json'), 'utf8'));

  // Gives the page these files and waits for "Download all".
  async function convert(files, fontChoice = 'debian') {
    await page.click(`input[name="font"][value="${fontChoice}"]`);
    const before = await page.evaluate(() => Number(document.body.dataset.conversions || 0));
    await fileInput.uploadFile(...files);
    await page.waitForSelector(`body[data-conversions="${before + 1}"][data-pack="done"]`, { timeout: 300000 });
    return page.evaluate(async () => {
      const link = document.getElementById('download-all');
      const zip = new Uint8Array(await (await fetch(link.href)).arrayBuffer());
      let binary = '';
      for (let i = 0; i < zip.length; i += 32768) binary += String.fromCharCode(...zip.subarray(i, i + 32768));
      return { name: link.download, zip: btoa(binary), ms: window.tarvexPack.ms,
               progress: document.getElementById('progress').textContent,
               states: Array.from(document.querySelectorAll('#gallery li'),
                                  li => [li.querySelector('.path').textContent, li.querySelector('.state').textContent]) };
    });
  }

  // Compares what the page offered with what the native program makes.
  function check(label, got, want, zipName) {
    if (got.name !== zipName) problems.push(`${label}: the zip is offered as ${got.name}, not ${zipName}`);
    const zip = readZip(Buffer.from(got.zip, 'base64'), work);
    if (zip.error) { problems.push(`${label}: the zip cannot be read: ${zip.error}`); return null; }
    const names = zip.entries.map(e => e.name);
    const wantNames = [...want.pngs.keys(), 'tarvex-report.txt'];
    if (JSON.stringify([...names].sort()) !== JSON.stringify([...wantNames].sort()))
      problems.push(`${label}: the zip holds ${JSON.stringify(names)}, not ${JSON.stringify(wantNames)}`);
    for (const entry of zip.entries) {
      if (entry.method !== 0) problems.push(`${label}: ${entry.name} is compressed again (method ${entry.method})`);
      if (entry.date.join() !== '1980,1,1,0,0,0') problems.push(`${label}: ${entry.name} is dated ${entry.date}`);
      if (/[^\x00-\x7f]/.test(entry.name) && !entry.utf8) problems.push(`${label}: ${entry.name} lacks the UTF-8 flag`);
      const png = want.pngs.get(entry.name);
      if (png && !png.equals(entry.bytes)) problems.push(`${label}: ${entry.name} differs from the native PNG`);
      if (entry.name === 'tarvex-report.txt' && entry.bytes.toString('utf8') !== want.report)
        problems.push(`${label}: tarvex-report.txt differs\n--- page\n${entry.bytes}\n--- native\n${want.report}`);
    }
    return zip;
  }

  // The pack as a zip, twice (the same bytes), and as loose files.
  const inZip = expected(manifest, fontOf.debian, runNative);
  const first = await convert([path.join(packs, 'pack.zip')]);
  check('pack.zip', first, inZip, 'pack-png.zip');
  const again = await convert([path.join(packs, 'pack.zip')]);
  if (again.zip !== first.zip) problems.push('pack.zip: a second conversion gave another zip');
  const loose = manifest.map(input => ({ ...input, path: path.basename(input.file),
                                         file: path.join(packs, 'loose', path.basename(input.file)) }));
  check('loose files', await convert(loose.map(input => input.file)), expected(loose, fontOf.debian, runNative),
        'tarvex-png.zip');
  // Without a font, a sample: every picture changes.
  const unfonted = manifest.filter(input => input.path.startsWith('ART/'));
  check('pack without a font', await convert(unfonted.map(input => input.file), 'none'),
        expected(unfonted.map(input => ({ ...input, path: path.basename(input.file) })), null, runNative),
        'tarvex-png.zip');

  // Broken packs, several at once: each under a folder of its name.
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
  if (JSON.stringify([...states.keys()]) !== JSON.stringify(Object.keys(want)))
    problems.push(`broken packs: the gallery lists ${JSON.stringify([...states.keys()])}`);
  for (const [name, pattern] of Object.entries(want))
    if (!pattern.test(states.get(name) || '')) problems.push(`broken packs: ${name} says "${states.get(name)}"`);
  if (broken.name !== 'tarvex-png.zip') problems.push(`broken packs: offered as ${broken.name}`);
  const brokenZip = readZip(Buffer.from(broken.zip, 'base64'), work);
  const brokenReport = brokenZip.entries ? brokenZip.entries.find(e => e.name === 'tarvex-report.txt') : null;
  if (!brokenReport || !brokenReport.bytes.toString().includes('damaged.zip\nnot converted: this zip is damaged'))
    problems.push('broken packs: the report does not list the damaged zip');

  // A 40 MB file inside a pack, and a pack of 1,000 files.
  const big = await convert([path.join(packs, 'big.zip')]);
  const bigZip = readZip(Buffer.from(big.zip, 'base64'), work);
  const bigFolder = fs.mkdtempSync(path.join(work, 'big-'));
  spawnSync('python3', ['-c', 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extract("BIG.ANS", sys.argv[2])',
                        path.join(packs, 'big.zip'), bigFolder]);
  const bigNative = runNative(path.join(bigFolder, 'BIG.ANS'), fontOf.debian);
  const bigPng = bigZip.entries && bigZip.entries.find(e => e.name === 'BIG.png');
  if (!bigPng || !bigNative.png || !bigPng.bytes.equals(bigNative.png))
    problems.push('big.zip: the 40 MB file was not converted as the native program converts it');
  const many = await convert([path.join(packs, 'many.zip')]);
  if (many.states.length !== 1000 || many.progress !== 'Converted 1000 of 1,000 files.' || many.name !== 'many-png.zip')
    problems.push(`many.zip: ${many.states.length} files in the gallery, "${many.progress}", offered as ${many.name}`);
  figures.many = { files: 1000, pageMs: many.ms };

  // Files dropped on the page (made in the page: puppeteer cannot drag).
  const beforeDrop = await page.evaluate(() => Number(document.body.dataset.conversions || 0));
  await page.evaluate(() => {
    const dropped = new DataTransfer();
    dropped.items.add(new File(['\x1b[1;31mdropped\r\n'], 'one.ans'));
    dropped.items.add(new File(['GIF89a'], 'two.gif'));
    document.getElementById('drop').dispatchEvent(new DragEvent('drop', { dataTransfer: dropped, bubbles: true }));
  });
  await page.waitForSelector(`body[data-conversions="${beforeDrop + 1}"][data-pack="done"]`);
  const dropStates = await page.$$eval('#gallery li', items =>
    items.map(li => [li.querySelector('.path').textContent, li.querySelector('.state').textContent]));
  if (JSON.stringify(dropStates) !== JSON.stringify([['one.ans', 'converted'], ['two.gif', 'skipped: a GIF picture']]))
    problems.push(`dropped files: the gallery shows ${JSON.stringify(dropStates)}`);

  // 200 files in the page against 200 native runs, in the same run.
  const timedFolder = fs.mkdtempSync(path.join(work, 'timed-'));
  spawnSync('python3', ['-c', 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])',
                        path.join(packs, 'timed.zip'), timedFolder]);
  const timedInputs = fs.readdirSync(path.join(timedFolder, 'timed')).sort()
    .map(name => ({ path: `timed/${name}`, file: path.join(timedFolder, 'timed', name) }));
  const timed = await convert([path.join(packs, 'timed.zip')]);
  let nativeMs = 0;
  const timedWant = expected(timedInputs, fontOf.debian, (file, font) => {
    const run = runNative(file, font);
    nativeMs += run.ms;
    return run;
  });
  check('timed.zip', timed, timedWant, 'timed-png.zip');
  figures.pack = { files: timedInputs.length, pageMs: timed.ms, nativeMs, ratio: timed.ms / nativeMs };
}
