// Prints the page's figures (scripts/time-page.sh): one file against the
// native program, a pack of 200 files against 200 native runs, 1,000 small
// files, seeks and frames in the player, the bench art saved as GIF and
// APNG against the native tarvex-play, and the browser's peak memory for
// two big inputs. With --memory only the last, which looks only at what a
// person sees and so measures any build of the page. With --packs, only the
// packs' times, of an earlier build of the page against this one, taking
// turns in one run.
// Usage: node timing.mjs [--memory | --packs <earlier site>] <site> <native> <test folder> <big folder>
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { convertFiles, convertWithFont, jump, launch, nativeRunner, openPage, openPlayer, saveAnimation, scratch,
         serve, watchMemory } from './harness.mjs';

const memoryOnly = process.argv[2] === '--memory';
const earlier = process.argv[2] === '--packs' ? path.resolve(process.argv[3]) : null;
const [site, native, data, big] = process.argv.slice(memoryOnly ? 3 : earlier ? 4 : 2).map(p => path.resolve(p));
const work = scratch();
const runNative = nativeRunner(native, work);
const font = path.join(site, 'cp437.fnt');
const server = await serve(site);
const median = values => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
const p95 = values => [...values].sort((a, b) => a - b)[Math.min(values.length - 1, Math.ceil(values.length * 0.95) - 1)];
const ms = value => `${value.toFixed(1)} ms`;
console.log(`load average ${os.loadavg()[0].toFixed(1)} at the start (${os.cpus().length} cores)`);

// The browser's peak memory, from a fresh start, while it converts Input
// and then shows it in the player at byte 0.
async function peakMemory(input) {
  // A page busy with a big input may not answer for minutes.
  const browser = await launch(work, { protocolTimeout: 1800000 });
  const page = await openPage(browser, server.url, []);
  const base = watchMemory(browser).stop();
  const watch = watchMemory(browser);
  const started = Date.now();
  await convertFiles(page, [input], { timeout: 1200000 });
  const converted = Date.now();
  await page.$eval('#gallery li button', button => button.click());
  await page.$eval('#play', button => button.click());
  await page.waitForFunction(() => /^byte 0 of/.test(document.getElementById('position').textContent),
                             { timeout: 1200000, polling: 1000 });
  const peak = watch.stop();
  await browser.close();
  const size = fs.statSync(input).size;
  console.log(`${path.basename(input)} (${(size / 1e6).toFixed(2)} MB): peak ${(peak / 1048576).toFixed(2)} GiB ` +
              `(${(base / 1048576).toFixed(2)} GiB at rest); converted in ${((converted - started) / 1000).toFixed(1)} s, ` +
              `playable ${((Date.now() - converted) / 1000).toFixed(1)} s later`);
}
// Each pack converted by both builds in turn, five times; the medians.
async function comparePacks() {
  const builds = [['earlier', earlier], ['this', site]];
  const browser = await launch(work);
  const servers = await Promise.all(builds.map(([, root]) => serve(root)));
  const pages = [];
  for (const { url } of servers) pages.push(await openPage(browser, url, []));
  const packs = ['timed.zip', 'pack.zip', 'many.zip'];
  const times = new Map();
  for (let round = 0; round < 5; round++)
    for (const pack of packs)
      for (const [index, [build]] of builds.entries()) {
        await pages[index].bringToFront();
        await convertWithFont(pages[index], [path.join(data, 'packs', pack)], 'debian');
        const key = `${pack} ${build}`;
        times.set(key, [...(times.get(key) || []), await pages[index].evaluate(() => window.tarvexHooks.pack.ms)]);
      }
  for (const pack of packs) {
    const [before, now] = builds.map(([build]) => median(times.get(`${pack} ${build}`)));
    console.log(`${pack}, median of 5: earlier build ${before.toFixed(0)} ms, this build ${now.toFixed(0)} ms ` +
                `(${(now / before).toFixed(2)} x)`);
  }
  await browser.close();
  for (const served of servers) served.close();
}
if (earlier) await comparePacks();
else for (const name of ['zeros-5x250m.zip', 'art-1g.ans']) await peakMemory(path.join(big, name));

if (!memoryOnly && !earlier) {
  const browser = await launch(work);
  const page = await openPage(browser, server.url, []);
  const inputs = path.join(data, 'inputs');
  const packs = path.join(data, 'packs');

  // One typical file, ten times in the page and ten times natively.
  const typical = path.join(inputs, 'bs-alove.ans');
  const pageMs = [];
  const nativeMs = [];
  for (let i = 0; i < 10; i++) {
    await convertWithFont(page, [typical], 'debian');
    pageMs.push(await page.evaluate(() => window.tarvexHooks.pack.ms));
    nativeMs.push(runNative(typical, font).ms);
  }
  console.log(`bs-alove.ans, median of 10, chosen to offered: page ${ms(median(pageMs))}, native ${ms(median(nativeMs))}` +
              ` (${(median(pageMs) / median(nativeMs)).toFixed(2)} x)`);

  // 200 files in one pack against 200 native runs, and 1,000 small files.
  await convertWithFont(page, [path.join(packs, 'timed.zip')], 'debian');
  const timedMs = await page.evaluate(() => window.tarvexHooks.pack.ms);
  const timedFolder = path.join(work, 'timed');
  fs.mkdirSync(timedFolder);
  const { execFileSync } = await import('node:child_process');
  execFileSync('python3', ['-c', 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])',
                           path.join(packs, 'timed.zip'), timedFolder]);
  let timedNative = 0;
  for (const name of fs.readdirSync(path.join(timedFolder, 'timed')))
    timedNative += runNative(path.join(timedFolder, 'timed', name), font).ms;
  console.log(`timed.zip, 200 files: page ${timedMs.toFixed(0)} ms, 200 native runs ${timedNative.toFixed(0)} ms ` +
              `(${(timedMs / timedNative).toFixed(2)} x)`);
  await convertWithFont(page, [path.join(packs, 'many.zip')], 'debian');
  console.log(`many.zip, 1,000 files: ${(await page.evaluate(() => window.tarvexHooks.pack.ms)).toFixed(0)} ms`);

  // Seeks to random bytes, the same moment again (painting and handing
  // over only), frames at 115200 bit/s and at full speed.
  const playFiles = [path.join(packs, 'play', 'art-100k.ans'), path.join(packs, 'play', 'art-1m.ans'),
                     path.join(inputs, 'large.ans')];
  const paths = await convertWithFont(page, playFiles, 'debian');
  for (const file of playFiles) {
    const name = path.basename(file);
    await openPlayer(page, paths, name);
    const seeks = await page.evaluate(async (count, seed) => {
      const times = [];
      for (let i = 0; i < count; i++) {
        seed = (Math.imul(seed, 1103515245) + 12345) >>> 0;
        const started = performance.now();
        await window.tarvexHooks.player.seek(seed % (window.tarvexHooks.player.playable + 1));
        times.push(performance.now() - started);
      }
      return times;
    }, 200, 1209);
    const again = await page.evaluate(async count => {
      const times = [];
      const end = window.tarvexHooks.player.playable;
      await window.tarvexHooks.player.seek(end);
      for (let i = 0; i < count; i++) {
        const started = performance.now();
        await window.tarvexHooks.player.seek(end);
        times.push(performance.now() - started);
      }
      return times;
    }, 50);
    await page.select('#speed', '115200');
    await jump(page, 0);
    await page.click('#toggle');
    await new Promise(resolve => setTimeout(resolve, 2000));
    await page.click('#toggle');
    const modem = await page.evaluate(() => window.tarvexHooks.player.frameTimes.slice());
    await page.select('#speed', 'max');
    const fastest = [];
    for (let runs = 0; fastest.length < 60 && runs < 100; runs++) {
      await jump(page, 0);
      await page.click('#toggle');
      await page.waitForFunction(() => window.tarvexHooks.playing === 'ended', { timeout: 60000 });
      fastest.push(...(await page.evaluate(() => window.tarvexHooks.player.frameTimes)));
    }
    await page.select('#speed', '9600');
    const pair = values => `${ms(median(values))} / ${ms(p95(values))}`;
    console.log(`${name}: seek ${pair(seeks)} (median / p95), the same moment again ${pair(again)}, ` +
                `frames at 115200 bit/s ${pair(modem)}, at full speed ${pair(fastest)}`);
  }

  // The bench art saved as GIF and as APNG at 9600 bit/s, in the page (the
  // worker's time, input to Blob) and by the native tarvex-play: medians of 5.
  const art = path.resolve('bench', 'art');
  const artNames = fs.readdirSync(art).filter(name => name.endsWith('.ans')).sort();
  const artPaths = await convertWithFont(page, artNames.map(name => path.join(art, name)), 'debian');
  const play = path.join(path.dirname(native), 'tarvex-play');
  const playback = artNames.reduce((sum, name) => sum + fs.statSync(path.join(art, name)).size, 0) * 10 / 9600;
  for (const format of ['gif', 'apng']) {
    let pageTotal = 0;
    let nativeTotal = 0;
    let bytes = 0;
    for (const name of artNames) {
      await openPlayer(page, artPaths, name);
      const pageRuns = [];
      const nativeRuns = [];
      for (let run = 0; run < 5; run++) {
        pageRuns.push((await saveAnimation(page, format, '9600')).ms);
        const started = process.hrtime.bigint();
        const native = spawnSync(play, [`--${format}`, '--bps', '9600', '--font', font, '-o', '-', path.join(art, name)],
                                 { maxBuffer: 1 << 30 });
        nativeRuns.push(Number(process.hrtime.bigint() - started) / 1e6);
        if (run === 0) bytes += native.stdout.length;
      }
      pageTotal += median(pageRuns);
      nativeTotal += median(nativeRuns);
      console.log(`${name} as ${format} at 9600 bit/s: page ${ms(median(pageRuns))}, tarvex-play ${ms(median(nativeRuns))}`);
    }
    console.log(`the bench art as ${format} at 9600 bit/s (${playback.toFixed(1)} s of playback, ${bytes} bytes): ` +
                `page ${ms(pageTotal)} (${(playback * 1000 / pageTotal).toFixed(0)} x real time), tarvex-play ` +
                `${ms(nativeTotal)} (${(playback * 1000 / nativeTotal).toFixed(0)} x), page / native ${(pageTotal / nativeTotal).toFixed(2)}`);
  }
  await browser.close();

  // The size a visitor downloads: every file the page loads.
  const zlib = await import('node:zlib');
  let total = 0;
  for (const file of ['index.html', 'page.css', 'page.js', 'gallery.js', 'player.js', 'rules.js', 'pack-worker.js',
                      'player-worker.js', 'animation.js', 'animation-worker.js', 'fflate.js', 'tarvex.js', 'tarvex.wasm',
                      'cp437.fnt']) {
    const bytes = fs.readFileSync(path.join(site, file));
    const packed = zlib.gzipSync(bytes, { level: 9 }).length;
    total += packed;
    console.log(`${file}: ${bytes.length} bytes, ${packed} with gzip -9`);
  }
  console.log(`all: ${total} bytes with gzip -9`);
}
console.log(`load average ${os.loadavg()[0].toFixed(1)} at the end`);
server.close();
fs.rmSync(work, { recursive: true, force: true });
