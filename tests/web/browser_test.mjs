// Drives the tarvex page in Debian's chromium: converts every input with
// the bundled font, with none and with a font of the user's, and checks the
// PNG the download link offers (saved through Chromium's downloads for the
// first few), the report lines and the exit status against the native
// program run on the same file in a folder of its own, and the bundled art
// against the pictures recorded in tests/pictures.sha256. Then packs
// (packs.mjs) and playback (playback.mjs) with the same browser, server and
// native runner. Times conversions, packs, seeks and frames, and takes
// screenshots.
// Usage: node browser_test.mjs <site folder> <native tarvex> <inputs folder> <output folder> <packs folder>
import { spawnSync } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import puppeteer from 'puppeteer-core';
import { testPacks } from './packs.mjs';
import { testPlayback } from './playback.mjs';

const [site, native, inputs, output, packs] = process.argv.slice(2).map(p => path.resolve(p));
const loadAtStart = os.loadavg()[0]; // other work on the machine moves every figure
const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css',
                '.wasm': 'application/wasm', '.png': 'image/png' };
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'tarvex-web-'));
const ownFont = path.join(work, 'own.fnt');
fs.writeFileSync(ownFont, Buffer.alloc(4096, 0x3c)); // every glyph a column pair
const fontOf = { debian: path.join(site, 'cp437.fnt'), own: ownFont, none: null };
// The bundled art's pictures as recorded, by "font/name.png" and "none/name.png".
const pinned = new Map(fs.readFileSync(path.join(path.dirname(fileURLToPath(import.meta.url)),
                                                 '..', 'pictures.sha256'), 'utf8')
  .split('\n').filter(Boolean).map(line => line.split(/ +/).reverse()));
const pinnedFolder = { debian: 'font', none: 'none' };
let pinnedChecked = 0;

// The page, served from its folder on the loopback interface only; every
// request is recorded, so the test can see that converting fetches nothing.
const requests = [];
const server = http.createServer((request, response) => {
  requests.push(request.url);
  const file = path.join(site, decodeURIComponent(new URL(request.url, 'http://x').pathname));
  if (!file.startsWith(site) || !fs.existsSync(file) || fs.statSync(file).isDirectory()) {
    const index = path.join(file, 'index.html');
    if (!fs.existsSync(index)) { response.writeHead(404).end(); return; }
    response.writeHead(200, { 'Content-Type': 'text/html' }).end(fs.readFileSync(index));
    return;
  }
  response.writeHead(200, { 'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream' });
  response.end(fs.readFileSync(file));
});
await new Promise(resolve => server.listen(0, '127.0.0.1', resolve));
const url = `http://127.0.0.1:${server.address().port}/`;

// The native program in a fresh folder holding the input (and the font).
function runNative(input, font) {
  const folder = fs.mkdtempSync(path.join(work, 'native-'));
  const name = path.basename(input);
  fs.copyFileSync(input, path.join(folder, name));
  if (font) fs.copyFileSync(font, path.join(folder, 'cp437.fnt'));
  const started = process.hrtime.bigint();
  const run = spawnSync(native, [name], { cwd: folder, encoding: 'utf8' });
  const ms = Number(process.hrtime.bigint() - started) / 1e6;
  const written = run.stdout.match(/^Rendering to PNG: (.*)$/m);
  return { status: run.status, out: run.stdout, err: run.stderr, ms,
           png: run.status === 0 && written ? fs.readFileSync(path.join(folder, written[1])) : null };
}

const browser = await puppeteer.launch({
  executablePath: '/usr/bin/chromium',
  headless: true,
  userDataDir: fs.mkdtempSync(path.join(work, 'profile-')),
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
         '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
const page = await browser.newPage();
const problems = [];
page.on('pageerror', error => problems.push(`page error: ${error.message}`));
page.on('console', message => {
  if (message.type() === 'error') problems.push(`console error: ${message.text()}`);
});
await page.goto(url);
await page.waitForSelector('body[data-ready="yes"]', { timeout: 30000 });
const session = await page.createCDPSession();
const fileInput = await page.$('#file');
const fontInput = await page.$('#own-font');

async function convertInPage(input, fontChoice) {
  if (fontChoice === 'own') await fontInput.uploadFile(ownFont);
  await page.click(`input[name="font"][value="${fontChoice}"]`);
  const before = await page.evaluate(() => Number(document.body.dataset.conversions || 0));
  await fileInput.uploadFile(input);
  await page.waitForSelector(`body[data-conversions="${before + 1}"]`, { timeout: 120000 });
  return page.evaluate(() => window.tarvexLast);
}

// The bytes and file name the download link offers.
async function offered() {
  const [name, bytes] = await page.$eval('#download', async link =>
    [link.download, Array.from(new Uint8Array(await (await fetch(link.href)).arrayBuffer()))]);
  return { name, png: Buffer.from(bytes) };
}

// Clicks the download link and waits for the file Chromium saves. Chromium
// holds back a page's downloads after about ten in a row, so only the first
// few conversions go through it; the rest are read from the link.
const SAVED_DOWNLOADS = 8;
let saved = 0;
async function download(name) {
  const folder = fs.mkdtempSync(path.join(work, 'download-'));
  await session.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: folder,
                                                      eventsEnabled: true });
  const done = new Promise(resolve => {
    const listener = event => {
      if (event.state === 'completed' || event.state === 'canceled') {
        session.off('Browser.downloadProgress', listener);
        resolve(event.state);
      }
    };
    session.on('Browser.downloadProgress', listener);
  });
  await page.click('#download');
  const timeout = new Promise(resolve => setTimeout(() => resolve('timed out'), 30000));
  const state = await Promise.race([done, timeout]);
  return state === 'completed' ? fs.readFileSync(path.join(folder, name)) : state;
}

let checked = 0;
const inputFiles = fs.readdirSync(inputs).filter(n => !n.startsWith('.')).sort();
for (const [index, name] of inputFiles.entries()) {
  const input = path.join(inputs, name);
  // The user's own font on every fifth file: a sample suffices.
  for (const fontChoice of index % 5 ? ['debian', 'none'] : ['debian', 'none', 'own']) {
    const want = runNative(input, fontOf[fontChoice]);
    const got = await convertInPage(input, fontChoice);
    const label = `${name} (font: ${fontChoice})`;
    if (got.status !== want.status) problems.push(`${label}: status ${got.status}, native ${want.status}`);
    for (const [stream, gotLines, wantText] of [['stdout', got.out, want.out], ['stderr', got.errors, want.err]]) {
      const wantLines = wantText.split('\n').slice(0, -1);
      if (JSON.stringify(gotLines) !== JSON.stringify(wantLines))
        problems.push(`${label}: ${stream} differs\n  page:   ${JSON.stringify(gotLines)}\n  native: ${JSON.stringify(wantLines)}`);
    }
    if (want.png) {
      const link = await offered();
      if (link.name !== got.name) problems.push(`${label}: the link offers ${link.name}, not ${got.name}`);
      if (!link.png.equals(want.png)) problems.push(`${label}: the PNG differs from native`);
      const sum = pinned.get(`${pinnedFolder[fontChoice]}/${got.name}`);
      if (sum) {
        pinnedChecked += 1;
        if (crypto.createHash('sha256').update(link.png).digest('hex') !== sum)
          problems.push(`${label}: the PNG differs from tests/pictures.sha256`);
      }
      if (saved++ < SAVED_DOWNLOADS) {
        const png = await download(got.name);
        if (!Buffer.isBuffer(png)) problems.push(`${label}: download ${png}`);
        else if (!png.equals(want.png)) problems.push(`${label}: downloaded PNG differs from native`);
      }
    } else {
      const failed = await page.$eval('#result', e => e.classList.contains('failed'));
      const hidden = await page.$eval('#picture', e => e.hidden);
      if (!failed || !hidden) problems.push(`${label}: a failure does not look like one`);
    }
    checked += 1;
    if (process.env.VERBOSE) console.log(`${label}: status ${got.status}, ${got.ms.toFixed(0)} ms`);
  }
}

fs.mkdirSync(output, { recursive: true });
const figures = {};
await testPacks({ page, problems, runNative, work, fontOf, packs, figures });
const playbackFiles = [...fs.readdirSync(path.join(inputs)).filter(n => /^(bs-|cl!-|n-s|blocks|colours|cursor)/.test(n)),
                       'dense-00.ans', 'unfinished-00.ans'].sort().map(n => path.join(inputs, n));
const playFiles = [...['art-100k.ans', 'art-1m.ans'].map(n => path.join(packs, 'play', n)),
                   path.join(inputs, 'large.ans')];
await testPlayback({ page, problems, runNative, work, fontOf, files: playbackFiles, playFiles, figures, output });

// The page fetched nothing while converting: only what it loaded at first.
const afterLoad = requests.filter(r => !['/', '/page.css', '/page.js', '/pack-worker.js', '/player-worker.js',
                                         '/fflate.js', '/tarvex.js', '/tarvex.wasm', '/cp437.fnt',
                                         '/favicon.ico'].includes(r));
if (afterLoad.length) problems.push(`requests beyond the page's own files: ${afterLoad.join(', ')}`);

// Timing: one typical file, ten times in the page and ten times natively.
const typical = path.join(inputs, inputFiles.find(n => n === 'bs-alove.ans') || inputFiles[0]);
const median = values => values.sort((a, b) => a - b)[Math.floor(values.length / 2)];
const pageMs = [];
const nativeMs = [];
for (let i = 0; i < 10; i++) {
  pageMs.push((await convertInPage(typical, 'debian')).ms);
  nativeMs.push(runNative(typical, fontOf.debian).ms);
}
await page.setViewport({ width: 1000, height: 900 });
await page.screenshot({ path: path.join(output, 'web-page.png'), fullPage: true });
Object.assign(figures, { file: path.basename(typical), pageMedianMs: median(pageMs),
                        nativeMedianMs: median(nativeMs) });
figures.ratio = figures.pageMedianMs / figures.nativeMedianMs;
figures.loadAverage = { start: loadAtStart, end: os.loadavg()[0] };
fs.writeFileSync(path.join(output, 'web-timing.json'), JSON.stringify(figures, null, 2) + '\n');

await browser.close();
server.close();
fs.rmSync(work, { recursive: true, force: true });
if (pinnedChecked < pinned.size) problems.push(`only ${pinnedChecked} of ${pinned.size} pinned pictures made`);
console.log(`${checked} conversions compared with the native program, ${pinnedChecked} with ` +
            `the pinned pictures; ` +
            `page ${figures.pageMedianMs.toFixed(1)} ms, native ${figures.nativeMedianMs.toFixed(1)} ms ` +
            `(median of 10, ${figures.file}): ${figures.ratio.toFixed(2)} x`);
console.log(`load average ${figures.loadAverage.start.toFixed(1)} at the start, ${figures.loadAverage.end.toFixed(1)} at the end (${os.cpus().length} cores)`);
console.log(`${figures.moments} moments saved and shown, each compared with the native program's PNG of the prefix`);
console.log(`pack of ${figures.pack.files} files: page ${figures.pack.pageMs.toFixed(0)} ms, ` +
            `${figures.pack.files} native runs ${figures.pack.nativeMs.toFixed(0)} ms: ${figures.pack.ratio.toFixed(2)} x`);
for (const [name, player] of Object.entries(figures.player))
  console.log(`${name} (${player.bytes} bytes): seek ${player.seek.medianMs.toFixed(1)} ms median, ` +
              `${player.seek.p95Ms.toFixed(1)} ms p95 (the same moment again ${player.repaint.medianMs.toFixed(1)}/` +
              `${player.repaint.p95Ms.toFixed(1)} ms); frames at 115200 bit/s ${player.frames115200.medianMs.toFixed(1)}/` +
              `${player.frames115200.p95Ms.toFixed(1)} ms; at full speed ${player.framesFastest.medianMs.toFixed(1)}/` +
              `${player.framesFastest.p95Ms.toFixed(1)} ms`);
for (const problem of problems) console.log(`FAILED: ${problem}`);
process.exit(problems.length ? 1 : 0);
