// What the page's browser tests and its timing script share: a server for
// the site that records every request and can go away, Debian's chromium,
// the native program in a folder of its own, and reading a zip the page
// offers.
import { spawnSync } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import http from 'node:http';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';
import zlib from 'node:zlib';
import puppeteer from 'puppeteer-core';

const rules = createRequire(import.meta.url)('../../web/rules.js');
const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css',
                '.wasm': 'application/wasm', '.png': 'image/png' };

// Serves Site on the loopback interface. `offline = true` makes it drop
// every request, as a server that is gone.
export async function serve(site) {
  const served = { requests: [], offline: false };
  const server = http.createServer((request, response) => {
    if (served.offline) { request.socket.destroy(); return; }
    served.requests.push(request.url);
    let file = path.join(site, decodeURIComponent(new URL(request.url, 'http://x').pathname));
    if (fs.existsSync(file) && fs.statSync(file).isDirectory()) file = path.join(file, 'index.html');
    if (!file.startsWith(site) || !fs.existsSync(file)) { response.writeHead(404).end(); return; }
    response.writeHead(200, { 'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream' });
    response.end(fs.readFileSync(file));
  });
  await new Promise(resolve => server.listen(0, '127.0.0.1', resolve));
  served.url = `http://127.0.0.1:${server.address().port}/`;
  served.close = () => { server.closeAllConnections(); server.close(); };
  return served;
}

export async function launch(work, options = {}) {
  return puppeteer.launch({
    ...options,
    executablePath: '/usr/bin/chromium',
    headless: true,
    userDataDir: fs.mkdtempSync(path.join(work, 'profile-')),
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
}

// A fresh tab on the page, loaded; errors on it are collected in Problems.
export async function openPage(browser, url, problems) {
  const page = await browser.newPage();
  page.on('pageerror', error => problems.push(`page error: ${error.message}`));
  page.on('console', message => {
    if (message.type() === 'error') problems.push(`console error: ${message.text()}`);
  });
  await page.goto(url);
  await page.waitForSelector('body[data-ready="yes"]', { timeout: 30000 });
  return page;
}

// The native program run on Input in a fresh folder (with the font), as the
// page runs each file. Large inputs are linked, not copied. With `whole`,
// also "tarvex-play --whole -o -" there (beside the native program): its
// PNG and standard error.
export function nativeRunner(native, work) {
  return (input, font, { whole = false } = {}) => {
    const folder = fs.mkdtempSync(path.join(work, 'native-'));
    const name = path.basename(input);
    if (fs.statSync(input).size > 64 * 1048576) fs.symlinkSync(path.resolve(input), path.join(folder, name));
    else fs.copyFileSync(input, path.join(folder, name));
    if (font) fs.copyFileSync(font, path.join(folder, 'cp437.fnt'));
    const started = process.hrtime.bigint();
    const run = spawnSync(native, [name], { cwd: folder, encoding: 'utf8' });
    const ms = Number(process.hrtime.bigint() - started) / 1e6;
    const written = run.stdout.match(/^Rendering to PNG: (.*)$/m);
    const png = run.status === 0 && written ? fs.readFileSync(path.join(folder, written[1])) : null;
    const play = whole && spawnSync(path.join(path.dirname(native), 'tarvex-play'), ['--whole', '-o', '-', name],
                                    { cwd: folder, maxBuffer: 1 << 30 });
    fs.rmSync(folder, { recursive: true, force: true });
    return { status: run.status, out: run.stdout, err: run.stderr, ms, png,
             whole: play && { status: play.status, png: play.stdout, err: play.stderr.toString() } };
  };
}

// The entries of a zip: name, method, flags and bytes, read with the page's
// own directory rules and Node's inflate (CRC-32s checked).
export async function readZip(bytes) {
  const read = async (at, length) => bytes.subarray(at, at + length);
  const entries = await rules.listZip(read, bytes.length);
  const out = [];
  for (const entry of entries)
    out.push({ name: entry.name, method: entry.method, flags: entry.flags,
               bytes: Buffer.from(await rules.readEntry(read, entry, data => zlib.inflateRawSync(data))) });
  return out;
}

// The zip "Download all" offers (or the one at Href), and its name.
export async function offeredZip(page, href = null) {
  const { name, zip } = await page.evaluate(async href => {
    const link = document.getElementById('download-all');
    const bytes = new Uint8Array(await (await fetch(href || link.href)).arrayBuffer());
    let binary = '';
    for (let i = 0; i < bytes.length; i += 32768) binary += String.fromCharCode(...bytes.subarray(i, i + 32768));
    return { name: link.download, zip: btoa(binary) };
  }, href);
  return { name, entries: await readZip(Buffer.from(zip, 'base64')) };
}

// Gives the page files and waits until the zip of that batch is offered.
export async function convertFiles(page, files, { timeout = 300000 } = {}) {
  await page.evaluate(() => { document.body.dataset.pack = 'asked'; });
  await (await page.$('#file')).uploadFile(...files);
  await page.waitForSelector('body[data-pack="done"]', { timeout });
}

// The gallery as [path, state] pairs.
export const galleryStates = page => page.$$eval('#gallery li', items =>
  items.map(li => [li.querySelector('.path').textContent, li.querySelector('.state').textContent]));

// The byte the player shows, once it has stayed for Quiet ms.
export async function settledByte(page, quiet = 400, timeout = 20000) {
  const started = Date.now();
  let last = null;
  let since = Date.now();
  for (;;) {
    const text = await page.$eval('#position', p => p.textContent);
    if (text !== last) { last = text; since = Date.now(); }
    else if (Date.now() - since >= quiet && /^byte /.test(text)) return Number(text.match(/^byte ([\d,]+)/)[1].replace(/,/g, ''));
    if (Date.now() - started > timeout) throw new Error(`the player did not settle: "${text}"`);
    await new Promise(resolve => setTimeout(resolve, 50));
  }
}

// The total resident memory of a process and its descendants, in KiB.
export function treeMemory(pid) {
  const children = new Map();
  for (const entry of fs.readdirSync('/proc').filter(name => /^\d+$/.test(name))) {
    try {
      const parent = Number(fs.readFileSync(`/proc/${entry}/stat`, 'utf8').split(') ')[1].split(' ')[1]);
      if (!children.has(parent)) children.set(parent, []);
      children.get(parent).push(Number(entry));
    } catch { /* gone meanwhile */ }
  }
  let total = 0;
  for (const queue = [pid]; queue.length;) {
    const next = queue.pop();
    try {
      const rss = fs.readFileSync(`/proc/${next}/status`, 'utf8').match(/^VmRSS:\s+(\d+)/m);
      if (rss) total += Number(rss[1]);
    } catch { /* gone meanwhile */ }
    queue.push(...(children.get(next) || []));
  }
  return total;
}

// Samples the browser's memory until Stop is called; resolves to the peak.
export function watchMemory(browser, every = 100) {
  const pid = browser.process().pid;
  let peak = 0;
  const timer = setInterval(() => { peak = Math.max(peak, treeMemory(pid)); }, every);
  return { stop: () => { clearInterval(timer); return Math.max(peak, treeMemory(pid)); }, get peak() { return peak; } };
}

export const scratch = () => fs.mkdtempSync(path.join(os.tmpdir(), 'tarvex-web-'));

// Where the tests find what scripts/test-page.sh made.
export const where = (() => {
  const site = path.resolve(process.env.TARVEX_SITE || 'build/web');
  const data = path.resolve(process.env.TARVEX_TEST || 'build/web-test');
  const native = path.resolve(process.env.TARVEX_NATIVE || 'build/release/tarvex');
  return { site, native, play: path.join(path.dirname(native), 'tarvex-play'),
           inputs: path.join(data, 'inputs'), packs: path.join(data, 'packs'), output: data,
           font: path.join(site, 'cp437.fnt') };
})();

// One browser and one tab on the page for a file of tests, with the native
// program beside it: call at the top of a test file (node:test's before and
// after come in as Hooks).
export function session({ before, after }) {
  const context = { problems: [] };
  before(async () => {
    context.work = scratch();
    context.server = await serve(where.site);
    context.browser = await launch(context.work);
    context.page = await openPage(context.browser, context.server.url, context.problems);
    context.runNative = nativeRunner(where.native, context.work);
  });
  after(async () => {
    await context.browser.close();
    context.server.close();
    fs.rmSync(context.work, { recursive: true, force: true });
  });
  return context;
}

// Closes the view, should it be open, so that the page behind takes clicks.
export const closeView = page => page.evaluate(() => {
  const view = document.getElementById('view');
  if (view.open) view.close();
});

// Picks a font: "debian", "own" (with the file given) or "none".
export async function chooseFont(page, choice, file = null) {
  await closeView(page);
  if (file) await (await page.$('#own-font')).uploadFile(file);
  await page.$eval(`input[name="font"][value="${choice}"]`, radio => radio.click());
}

// Gives the page files and waits until that batch is done and its zip made.
export async function convertBatch(page, files) {
  await closeView(page);
  const before = await page.evaluate(() => window.tarvexHooks.conversions);
  await page.evaluate(() => { document.body.dataset.pack = 'asked'; });
  await (await page.$('#file')).uploadFile(...files);
  await page.waitForFunction(count => window.tarvexHooks.conversions > count &&
                             document.body.dataset.pack === 'done', { timeout: 300000 }, before);
}

// The 8-bit RGBA pixels of one of our PNGs (16-bit RGB, any row filter).
export function pixelsOf(png) {
  let at = 8;
  let width = 0;
  let height = 0;
  const data = [];
  while (at < png.length) {
    const length = png.readUInt32BE(at);
    const type = png.toString('latin1', at + 4, at + 8);
    if (type === 'IHDR') [width, height] = [png.readUInt32BE(at + 8), png.readUInt32BE(at + 12)];
    if (type === 'IDAT') data.push(png.subarray(at + 8, at + 8 + length));
    at += 12 + length;
  }
  const raw = zlib.inflateSync(Buffer.concat(data));
  const bpp = 6;
  const stride = width * bpp;
  const rows = Buffer.alloc(stride * height);
  for (let y = 0; y < height; y++) {
    const filter = raw[y * (stride + 1)];
    const line = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    const out = rows.subarray(y * stride, (y + 1) * stride);
    const up = y ? rows.subarray((y - 1) * stride, y * stride) : Buffer.alloc(stride);
    for (let x = 0; x < stride; x++) {
      const a = x >= bpp ? out[x - bpp] : 0;
      const b = up[x];
      const c = x >= bpp ? up[x - bpp] : 0;
      const p = a + b - c;
      const pa = Math.abs(p - a);
      const pb = Math.abs(p - b);
      const pc = Math.abs(p - c);
      const paeth = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      out[x] = (line[x] + [0, a, b, (a + b) >> 1, paeth][filter]) & 255;
    }
  }
  const rgba = Buffer.alloc(width * height * 4);
  for (let i = 0; i < width * height; i++) {
    rgba[i * 4] = rows[i * 6];
    rgba[i * 4 + 1] = rows[i * 6 + 2];
    rgba[i * 4 + 2] = rows[i * 6 + 4];
    rgba[i * 4 + 3] = 255;
  }
  return rgba;
}

export const sha256 = bytes => crypto.createHash('sha256').update(bytes).digest('hex');
export const canvasHash = page => page.evaluate(async () => {
  const canvas = document.getElementById('screen');
  const { data } = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height);
  const digest = await crypto.subtle.digest('SHA-256', data);
  return Array.from(new Uint8Array(digest), b => b.toString(16).padStart(2, '0')).join('');
});


// Gives the page files with a font and waits for the batch; its paths.
export async function convertWithFont(page, list, fontChoice) {
  await chooseFont(page, fontChoice);
  await convertBatch(page, list);
  return page.$$eval('#gallery .path', paths => paths.map(p => p.textContent));
}
export async function openPlayer(page, paths, name) {
  // A click from the page itself: entries off screen are laid out only
  // when they come into view, so a click at coordinates may miss.
  await page.$eval(`#gallery li:nth-child(${paths.indexOf(name) + 1}) button`, button => button.click());
  await page.click('#play');
  await page.waitForFunction(() => window.tarvexHooks.player.ready);
  await page.evaluate(() => window.tarvexHooks.player.settled());
  return page.evaluate(() => window.tarvexHooks.player.playable);
}
// Typed as a person would: the field keeps what is typed while it has the
// focus, whatever frames arrive meanwhile.
export async function jump(page, n) {
  await page.click('#byte', { clickCount: 3 });
  await page.keyboard.type(String(n));
  await page.keyboard.press('Enter');
  return page.evaluate(() => window.tarvexHooks.player.settled());
}
// Saves the player's file as an animation ("gif" or "apng") at a speed of
// the list; what the page offers: name, size, SHA-256, status line and the
// worker's time.
export async function saveAnimation(page, format, speed) {
  await page.select('#speed', speed);
  const saves = await page.evaluate(() => window.tarvexHooks.animation.saves);
  await page.click(`#save-${format}`);
  await page.waitForFunction(count => window.tarvexHooks.animation.saves > count, { timeout: 300000 }, saves);
  return page.evaluate(async () => {
    const link = document.getElementById('animation');
    const bytes = await (await fetch(link.href)).arrayBuffer();
    const digest = await crypto.subtle.digest('SHA-256', bytes);
    return { name: link.download, size: bytes.byteLength, ms: window.tarvexHooks.animation.last.ms,
             hash: Array.from(new Uint8Array(digest), b => b.toString(16).padStart(2, '0')).join(''),
             status: document.getElementById('animation-status').textContent };
  });
}
