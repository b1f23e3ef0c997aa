// The page as a person uses it: one test for each fault found by trying it
// as a new user would. They look only at what a person sees (texts, the
// gallery, the offered zip, the player's position) and at data-ready and
// data-pack, so that they say the same of any build of the page.
// Run by scripts/test-page.sh: node --test tests/web/faults.mjs, with
// TARVEX_SITE (the built page), TARVEX_NATIVE (the native program) and
// TARVEX_TEST (the folder of inputs/ and packs/ the script makes).
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, test } from 'node:test';
import { convertFiles, galleryStates, launch, nativeRunner, offeredZip, openPage, scratch, serve, settledByte,
         watchMemory } from './harness.mjs';

const site = path.resolve(process.env.TARVEX_SITE || 'build/web');
const native = path.resolve(process.env.TARVEX_NATIVE || 'build/release/tarvex');
const data = path.resolve(process.env.TARVEX_TEST || 'build/web-test');
const packs = path.join(data, 'packs');
const inputs = path.join(data, 'inputs');
const font = path.join(site, 'cp437.fnt');
const work = scratch();
const runNative = nativeRunner(native, work);
let server;
let browser;
const problems = [];

before(async () => {
  server = await serve(site);
  browser = await launch(work);
});
after(async () => {
  await browser.close();
  server.close();
  fs.rmSync(work, { recursive: true, force: true });
});

// A fresh tab for each test, so that one test's state does not leak.
async function freshPage() {
  const page = await openPage(browser, server.url, problems);
  return page;
}
const textOf = (page, selector) => page.$eval(selector, e => e.textContent);

test('"Download all" offers the pictures of the batch on screen, not of the one before', async () => {
  const page = await freshPage();
  // The next file is chosen the moment the last of 1,000 is done, while
  // their zip is being built.
  const cursor = Array.from(fs.readFileSync(path.join(inputs, 'cursor.ans')));
  await page.evaluate(bytes => {
    const line = document.getElementById('progress');
    const observer = new MutationObserver(() => {
      if (!/^Converted 1000 of/.test(line.textContent)) return;
      observer.disconnect();
      const chosen = new DataTransfer();
      chosen.items.add(new File([new Uint8Array(bytes)], 'cursor.ans'));
      const input = document.getElementById('file');
      input.files = chosen.files;
      document.body.dataset.pack = 'asked';
      window.secondChosen = true;
      input.dispatchEvent(new Event('change'));
    });
    observer.observe(line, { childList: true, characterData: true, subtree: true });
  }, cursor);
  await (await page.$('#file')).uploadFile(path.join(packs, 'many.zip'));
  await page.waitForFunction(() => window.secondChosen, { timeout: 120000 });
  await page.waitForSelector('body[data-pack="done"]', { timeout: 60000 });
  // Long enough for the earlier batch's zip to be made, had it been asked for.
  await new Promise(resolve => setTimeout(resolve, 4000));
  const zip = await offeredZip(page);
  assert.deepEqual(zip.entries.map(e => e.name), ['cursor.png', 'tarvex-report.txt']);
  assert.equal(zip.name, 'tarvex-png.zip');
  assert.equal(zip.entries[0].bytes.equals(runNative(path.join(inputs, 'cursor.ans'), font).png), true);
  await page.close();
});

test('a file that cannot be read fails alone, as on the command line, and the rest convert', async () => {
  const folder = fs.mkdtempSync(path.join(work, 'huge-'));
  const huge = path.join(folder, 'huge.ans');
  execFileSync('truncate', ['-s', '2147483648', huge]);
  const want = runNative(huge, font);
  assert.equal(want.status, 1);
  const page = await freshPage();
  await convertFiles(page, [path.join(inputs, 'cursor.ans'), huge, path.join(inputs, 'blocks.ans'),
                            path.join(packs, 'broken', 'nested.zip')]);
  const states = new Map(await galleryStates(page));
  assert.equal(states.get('huge.ans'), 'failed (exit status 1)');
  for (const name of ['cursor.ans', 'blocks.ans', 'nested/cursor.ans', 'nested/inner/INNER/blocks.ans'])
    assert.equal(states.get(name), 'converted', name);
  const report = (await offeredZip(page)).entries.find(e => e.name === 'tarvex-report.txt').bytes.toString();
  assert.ok(report.includes(`huge.ans\nexit status 1\n${want.out}${want.err}`), report);
  assert.match(want.out + want.err, /Range check error/);
  await page.close();
});

test('after loading, the page plays, saves an animation and cancels with its server gone', async () => {
  const page = await freshPage();
  const loaded = server.requests.length;
  server.offline = true;
  try {
    await convertFiles(page, [path.join(inputs, 'bs-alove.ans')], { timeout: 30000 });
    await page.$eval('#play', button => button.click());
    await page.waitForFunction(() => /^byte 0 of/.test(document.getElementById('position').textContent),
                               { timeout: 15000 });
    await page.$eval('#save-gif', button => button.click());
    await page.waitForFunction(() => window.tarvexHooks.animation.last?.status === 'saved', { timeout: 15000 });
    // A cancelled batch, then another one, in the same worker.
    await (await page.$('#file')).uploadFile(path.join(packs, 'many.zip'));
    await page.waitForFunction(() => /^Converting [1-9]/.test(document.getElementById('progress').textContent),
                               { polling: 'mutation', timeout: 30000 });
    await page.$eval('#cancel', button => button.click());
    await page.waitForFunction(() => /^Converted /.test(document.getElementById('progress').textContent),
                               { timeout: 15000 });
    assert.match(await textOf(page, '#progress'), /not converted \(cancelled\)/);
    await convertFiles(page, [path.join(inputs, 'cursor.ans')], { timeout: 15000 });
    assert.deepEqual(await galleryStates(page), [['cursor.ans', 'converted']]);
  } finally {
    server.offline = false;
  }
  assert.equal(server.requests.length, loaded);
  await page.close();
});

test('"Converted in N ms" is the time of the file shown', async () => {
  const page = await freshPage();
  await convertFiles(page, [path.join(inputs, 'large.ans'), path.join(inputs, 'cursor.ans')]);
  await new Promise(resolve => setTimeout(resolve, 1500));
  await page.$$eval('#gallery li button', buttons => buttons.find(b => b.textContent.includes('cursor.ans')).click());
  const said = await page.evaluate(() => Array.from(document.querySelectorAll('[role="status"], #status'),
                                                    p => p.textContent).join(' '));
  const ms = Number(said.match(/Converted in (\d+) ms/)[1]);
  assert.ok(ms < 1000, `cursor.ans "converted in ${ms} ms"`);
  await page.close();
});

test('quick keys are all taken, in order', async () => {
  const page = await freshPage();
  await convertFiles(page, [path.join(packs, 'play', 'art-100k.ans')]);
  await page.$eval('#play', button => button.click());
  await page.waitForFunction(() => /^byte 0 of/.test(document.getElementById('position').textContent));
  await page.click('#screen');
  for (let i = 0; i < 20; i++) await page.keyboard.press('ArrowRight', { delay: 1 });
  assert.equal(await settledByte(page), 20);
  // "G 30000 Enter Down" typed slowly, then at once: the same byte.
  const slowly = async () => {
    await page.keyboard.press('g');
    await page.keyboard.type('30000');
    await page.keyboard.press('Enter');
    assert.equal(await settledByte(page), 30000);
    await page.keyboard.press('ArrowDown');
    return settledByte(page);
  };
  const want = await slowly();
  assert.ok(want > 30000);
  await page.click('#screen');
  await page.keyboard.press('Home');
  assert.equal(await settledByte(page), 0);
  await page.keyboard.press('g');
  await page.keyboard.type('30000');
  await page.keyboard.press('Enter');
  await page.keyboard.press('ArrowDown');
  assert.equal(await settledByte(page), want);
  await page.close();
});

test('an entry claiming an impossible size is listed as too large, and the rest of its pack converts', async () => {
  const page = await freshPage();
  await convertFiles(page, [path.join(packs, 'claims.zip')]);
  const states = new Map(await galleryStates(page));
  assert.match(states.get('claims-4gib.ans') || '', /^not converted: 4096 MiB unpacked: too large/);
  assert.equal(states.get('ok.ans'), 'converted');
  await page.close();
});

test('a pack of large entries is read one entry at a time, with progress', async () => {
  const page = await freshPage();
  const memory = watchMemory(browser);
  const base = memory.stop();
  const watch = watchMemory(browser);
  // The progress line moves at least every few seconds.
  const stalls = page.evaluate(() => new Promise(resolve => {
    let last = performance.now();
    let longest = 0;
    const line = document.getElementById('progress');
    new MutationObserver(() => {
      longest = Math.max(longest, performance.now() - last);
      last = performance.now();
      if (/^Converted /.test(line.textContent)) resolve(longest);
    }).observe(line, { childList: true, characterData: true, subtree: true });
  }));
  await convertFiles(page, [path.join(packs, 'zeros.zip')]);
  const longest = await stalls;
  const peak = watch.stop();
  const states = await galleryStates(page);
  assert.deepEqual(states.map(([, state]) => state), Array(5).fill('converted'));
  // Five entries of 128 MiB: about twice one of them beside the page itself.
  const grown = (peak - base) / 1024;
  console.log(`zeros.zip: the browser grew by ${grown.toFixed(0)} MiB, from ${(base / 1024).toFixed(0)} MiB; ` +
              `the progress line stood still for ${(longest / 1000).toFixed(1)} s at most`);
  assert.ok(grown < 3 * 128 + 128, `the browser grew by ${grown.toFixed(0)} MiB`);
  assert.ok(longest < 8000, `the progress line stood still for ${longest.toFixed(0)} ms`);
  await page.close();
});

test('no page errors', () => {
  assert.deepEqual(problems, []);
});
