// Playback in the page: moments saved at chosen bytes must be byte for byte
// the PNG the native program writes of the file's first N bytes, and the
// canvas must show that PNG's pixels; playing must end on the converted
// picture; line steps must retrace; a saved GIF or APNG must be the native
// tarvex-play's, and Cancel must leave the player working.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';
import { after, before, test } from 'node:test';
import { canvasHash, convertWithFont as convert, jump, openPlayer, pixelsOf, saveAnimation, session, sha256,
         where } from './harness.mjs';

const rules = createRequire(import.meta.url)('../../web/rules.js');

const context = session({ before, after });
const files = [...fs.readdirSync(where.inputs).filter(n => /^(bs-|cl!-|n-s|blocks|colours|cursor)/.test(n)),
               'dense-00.ans', 'unfinished-00.ans'].sort().map(n => path.join(where.inputs, n));

const moment = async key => {
  await context.page.keyboard.press(key);
  return context.page.evaluate(() => window.tarvexHooks.player.settled());
};

// A small deterministic generator, so that every run checks the same bytes.
function random(seed) {
  return () => ((seed = (Math.imul(seed, 1103515245) + 12345) >>> 0) / 2 ** 32);
}

for (const fontChoice of ['debian', 'none']) {
  test(`moments saved at three bytes of ten files are the native PNG of each prefix, on the canvas too (font: ${fontChoice})`, async () => {
    const { page, runNative, work } = context;
    const next = random(fontChoice === 'debian' ? 1209 : 1210);
    const problems = [];
    const paths = await convert(page, files, fontChoice);
    for (const [index, file] of files.entries()) {
      const name = path.basename(file);
      const bytes = fs.readFileSync(file);
      const playable = await openPlayer(page, paths, name);
      const escapes = [...bytes.keys()].filter(i => bytes[i] === 27 && i + 2 < playable);
      const inside = escapes.length ? escapes[Math.floor(next() * escapes.length)] + 2 : 1;
      const special = [0, 1, playable][index % 3];
      for (const n of [special, inside, Math.floor(next() * (playable + 1))]) {
        const label = `${name} at byte ${n}`;
        const shown = await jump(page, n);
        if (shown !== n) problems.push(`${label}: the player shows ${shown}`);
        const saves = await page.evaluate(() => window.tarvexHooks.player.saves);
        await page.click('#save');
        await page.waitForFunction(count => window.tarvexHooks.player.saves > count, {}, saves);
        const saved = await page.$eval('#moment', async link =>
          [link.download, Array.from(new Uint8Array(await (await fetch(link.href)).arrayBuffer()))]);
        const folder = fs.mkdtempSync(path.join(work, 'moment-'));
        fs.writeFileSync(path.join(folder, 'part.ans'), bytes.subarray(0, n));
        const want = runNative(path.join(folder, 'part.ans'), fontChoice === 'debian' ? where.font : null);
        const stem = name.replace(/(.)\.[^.]*$/, '$1');
        if (saved[0] !== `${stem}-${n}.png`) problems.push(`${label}: offered as ${saved[0]}`);
        if (!want.png || !Buffer.from(saved[1]).equals(want.png)) problems.push(`${label}: the saved PNG differs from native`);
        else if ((await canvasHash(page)) !== sha256(pixelsOf(want.png)))
          problems.push(`${label}: the canvas differs from the PNG`);
      }
    }
    assert.deepEqual(problems, []);
  });
}

test('played to the end, at full speed and at a modem\'s, the last frame is the converted picture', async () => {
  const { page, runNative } = context;
  const paths = await convert(page, files, 'debian');
  for (const [name, speed] of [['bs-alove.ans', 'max'], ['cl!-al05.ans', '115200']]) {
    await openPlayer(page, paths, name);
    await page.select('#speed', speed);
    await page.click('#toggle');
    await page.waitForFunction(() => window.tarvexHooks.playing === 'ended', { timeout: 60000 });
    const whole = runNative(files.find(f => path.basename(f) === name), where.font);
    assert.equal(await canvasHash(page), sha256(pixelsOf(whole.png)), `${name} at ${speed}`);
  }
  await page.select('#speed', '9600');
});

test('line steps retrace, and a byte step follows', async () => {
  const { page } = context;
  await jump(page, 0);
  const down = await moment('ArrowDown');
  const twice = await moment('ArrowDown');
  const up = await moment('ArrowUp');
  const right = await moment('ArrowRight');
  assert.ok(down > 0 && twice > down && up === down && right === down + 1, `down ${down}, down ${twice}, up ${up}, right ${right}`);
});

test('an entry of a zip inside a pack plays, and its moments are the native PNG of each prefix', async () => {
  const { page, runNative, work } = context;
  const paths = await convert(page, [path.join(where.packs, 'broken', 'nested.zip')], 'debian');
  const name = 'inner/INNER/blocks.ans';
  const playable = await openPlayer(page, paths, name);
  const bytes = fs.readFileSync(path.join(where.inputs, 'blocks.ans'));
  assert.equal(playable, bytes.length);
  const n = Math.floor(playable / 2);
  assert.equal(await jump(page, n), n);
  const saves = await page.evaluate(() => window.tarvexHooks.player.saves);
  await page.click('#save');
  await page.waitForFunction(count => window.tarvexHooks.player.saves > count, {}, saves);
  const saved = await page.$eval('#moment', async link =>
    Array.from(new Uint8Array(await (await fetch(link.href)).arrayBuffer())));
  const folder = fs.mkdtempSync(path.join(work, 'entry-'));
  fs.writeFileSync(path.join(folder, 'part.ans'), bytes.subarray(0, n));
  const want = runNative(path.join(folder, 'part.ans'), where.font);
  assert.ok(Buffer.from(saved).equals(want.png));
  assert.equal(await canvasHash(page), sha256(pixelsOf(want.png)));
});

test('Cancel stops saving an animation; the player goes on working', async () => {
  const { page } = context;
  const paths = await convert(page, [path.join(where.inputs, 'large.ans')], 'debian');
  await openPlayer(page, paths, 'large.ans');
  const [saves, stopped] = await page.evaluate(() => [window.tarvexHooks.animation.saves, window.tarvexHooks.animation.stopped]);
  await page.select('#speed', 'max');
  await page.click('#save-gif');
  await page.waitForFunction(() => / % of the file/.test(document.getElementById('animation-status').textContent));
  await page.click('#animation-cancel');
  // The worker stops within a block; the whole file would take many seconds.
  await page.waitForFunction(count => window.tarvexHooks.animation.stopped > count, { timeout: 5000 }, stopped);
  assert.deepEqual(await page.evaluate(() => [window.tarvexHooks.animation.saves, document.getElementById('animation-status').textContent,
                                              document.getElementById('save-gif').disabled, document.getElementById('animation-cancel').hidden]),
                   [saves, 'Saving large.gif was cancelled.', false, true]);
  assert.equal(await jump(page, 12345), 12345);
  await page.select('#speed', '9600');
});

// Speeds: one of the list, and "as fast as the screen allows", which saves
// at 115200 bit/s; a piece longer than tarvex-play's length limit is cut
// and says so. Runs after Cancel: the worker must still save.
test('saved GIFs and APNGs are the native tarvex-play\'s bytes, under its name, with its command line', async () => {
  const { page } = context;
  const inputs = ['bs-alove.ans', 'dense-03.ans'].map(name => path.join(where.inputs, name));
  const paths = await convert(page, inputs, 'debian');
  const problems = [];
  for (const [name, format, speed] of [
    ['bs-alove.ans', 'gif', '2400'], ['bs-alove.ans', 'apng', '2400'],
    ['bs-alove.ans', 'gif', 'max'], ['bs-alove.ans', 'apng', 'max'],
    ['dense-03.ans', 'apng', '300'],
  ]) {
    const label = `${name} as ${format} at ${speed}`;
    await openPlayer(page, paths, name);
    const saved = await saveAnimation(page, format, speed);
    const rate = rules.animationRate(speed);
    const native = spawnSync(where.play, [`--${format}`, '--bps', String(rate), '--font', where.font, '-o', '-', name],
                             { cwd: where.inputs, maxBuffer: 1 << 30 });
    const stem = name.replace(/(.)\.[^.]*$/, '$1');
    if (native.status !== 0) problems.push(`${label}: tarvex-play failed: ${native.stderr}`);
    if (saved.hash !== sha256(native.stdout)) problems.push(`${label}: ${saved.size} bytes, not tarvex-play's ${native.stdout.length}`);
    if (saved.name !== `${stem}${rules.ANIMATIONS[format].ending}`) problems.push(`${label}: offered as ${saved.name}`);
    if (!saved.status.includes(`tarvex-play --${format} --bps ${rate} ${name}.`)) problems.push(`${label}: says "${saved.status}"`);
    if (saved.status.includes(rules.cutNote()) !== /playback cut/.test(native.stderr))
      problems.push(`${label}: says "${saved.status}", tarvex-play "${native.stderr}"`);
  }
  assert.deepEqual(problems, []);
});

test('no page errors', () => assert.deepEqual(context.problems, []));
