// One file at a time in the page: every input converted with the bundled
// font, with none and with a font of the user's must give the PNG, report
// lines and exit status of the native program run on the same file in a
// folder of its own; the bundled art must give the pictures recorded in
// tests/pictures.sha256; the page fetches nothing after it has loaded.
import assert from 'node:assert/strict';
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, test } from 'node:test';
import { fileURLToPath } from 'node:url';
import { chooseFont, convertBatch, session, where } from './harness.mjs';

const context = session({ before, after });
const PAGE_FILES = ['/', '/page.css', '/page.js', '/gallery.js', '/player.js', '/rules.js', '/pack-worker.js',
                    '/player-worker.js', '/animation.js', '/animation-worker.js', '/fflate.js', '/tarvex.js',
                    '/tarvex.wasm', '/cp437.fnt', '/favicon.ico'];

// The bundled art's pictures as recorded, by "font/name.png" and "none/name.png".
const pinned = new Map(fs.readFileSync(path.join(path.dirname(fileURLToPath(import.meta.url)),
                                                 '..', 'pictures.sha256'), 'utf8')
  .split('\n').filter(Boolean).map(line => line.split(/ +/).reverse()));
const pinnedFolder = { debian: 'font', none: 'none' };

async function convertInPage(input, fontChoice, fontFile) {
  await chooseFont(context.page, fontChoice, fontFile);
  await convertBatch(context.page, [input]);
  return context.page.evaluate(() => window.tarvexHooks.last);
}

// The bytes and file name the download link offers.
async function offered() {
  const [name, bytes] = await context.page.$eval('#download', async link =>
    [link.download, Array.from(new Uint8Array(await (await fetch(link.href)).arrayBuffer()))]);
  return { name, png: Buffer.from(bytes) };
}

// Clicks the download link and waits for the file Chromium saves.
async function download(name) {
  const { page, work } = context;
  const session = await page.createCDPSession();
  const folder = fs.mkdtempSync(path.join(work, 'download-'));
  await session.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: folder, eventsEnabled: true });
  const done = new Promise(resolve => {
    session.on('Browser.downloadProgress', event => {
      if (event.state === 'completed' || event.state === 'canceled') resolve(event.state);
    });
  });
  await page.click('#download');
  const timeout = new Promise(resolve => setTimeout(() => resolve('timed out'), 30000));
  const state = await Promise.race([done, timeout]);
  await session.detach();
  return state === 'completed' ? fs.readFileSync(path.join(folder, name)) : state;
}

test('every input converts as the native program converts it, with each font', async () => {
  const { page, runNative, work } = context;
  const ownFont = path.join(work, 'own.fnt');
  fs.writeFileSync(ownFont, Buffer.alloc(4096, 0x3c)); // every glyph a column pair
  const fontOf = { debian: where.font, own: ownFont, none: null };
  const problems = [];
  let pinnedChecked = 0;
  let saved = 0;
  const names = fs.readdirSync(where.inputs).filter(n => !n.startsWith('.')).sort();
  for (const [index, name] of names.entries()) {
    const input = path.join(where.inputs, name);
    // The user's own font on every fifth file: a sample suffices.
    for (const fontChoice of index % 5 ? ['debian', 'none'] : ['debian', 'none', 'own']) {
      const want = runNative(input, fontOf[fontChoice]);
      const got = await convertInPage(input, fontChoice, fontChoice === 'own' ? ownFont : null);
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
        // Chromium holds back a page's downloads after about ten in a row.
        if (saved++ < 8) {
          const png = await download(got.name);
          if (!Buffer.isBuffer(png)) problems.push(`${label}: download ${png}`);
          else if (!png.equals(want.png)) problems.push(`${label}: downloaded PNG differs from native`);
        }
      } else {
        const failed = await page.$eval('#view', e => e.classList.contains('failed'));
        const hidden = await page.$eval('#picture', e => e.hidden);
        if (!failed || !hidden) problems.push(`${label}: a failure does not look like one`);
      }
    }
  }
  if (pinnedChecked < pinned.size) problems.push(`only ${pinnedChecked} of ${pinned.size} pinned pictures made`);
  assert.deepEqual(problems, []);
});

test('the page fetches nothing after it has loaded, and shows no errors', () => {
  const afterLoad = context.server.requests.filter(r => !PAGE_FILES.includes(r));
  assert.deepEqual(afterLoad, []);
  assert.deepEqual(context.problems, []);
});
