// Playback in the page: moments saved at chosen bytes must be byte for byte
// the PNG the native program writes of the file's first N bytes, and the
// canvas must show that PNG's pixels; playing must end on the converted
// picture; line steps must retrace. Then times seeks and frames.
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import zlib from 'node:zlib';

// The 8-bit RGBA pixels of one of our PNGs (16-bit RGB, any row filter).
function pixelsOf(png) {
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

const sha256 = bytes => crypto.createHash('sha256').update(bytes).digest('hex');
const canvasHash = page => page.evaluate(async () => {
  const canvas = document.getElementById('screen');
  const { data } = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height);
  const digest = await crypto.subtle.digest('SHA-256', data);
  return Array.from(new Uint8Array(digest), b => b.toString(16).padStart(2, '0')).join('');
});
const median = values => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
const percentile95 = values => [...values].sort((a, b) => a - b)[Math.min(values.length - 1, Math.ceil(values.length * 0.95) - 1)];

// A small deterministic generator, so that every run checks the same bytes.
function random(seed) {
  return () => ((seed = (Math.imul(seed, 1103515245) + 12345) >>> 0) / 2 ** 32);
}

export async function testPlayback({ page, problems, runNative, work, fontOf, files, playFiles, figures, output }) {
  const fileInput = await page.$('#file');
  const next = random(1209);

  async function convert(list, fontChoice) {
    await page.click(`input[name="font"][value="${fontChoice}"]`);
    const before = await page.evaluate(() => Number(document.body.dataset.conversions || 0));
    await fileInput.uploadFile(...list);
    await page.waitForSelector(`body[data-conversions="${before + 1}"][data-pack="done"]`, { timeout: 120000 });
    return page.$$eval('#gallery .path', paths => paths.map(p => p.textContent));
  }
  async function openPlayer(paths, name) {
    // A click from the page itself: entries off screen are laid out only
    // when they come into view, so a click at coordinates may miss.
    await page.$eval(`#gallery li:nth-child(${paths.indexOf(name) + 1}) button`, button => button.click());
    await page.click('#play');
    await page.waitForSelector('body[data-player="ready"]');
    await page.evaluate(() => window.tarvexPlayer.settled());
    return page.evaluate(() => window.tarvexPlayer.playable);
  }
  async function jump(n) {
    // Typed as a person would: the field keeps what is typed while it has
    // the focus, whatever frames arrive meanwhile.
    await page.click('#byte', { clickCount: 3 });
    await page.keyboard.type(String(n));
    await page.keyboard.press('Enter');
    const shown = await page.evaluate(() => window.tarvexPlayer.settled());
    if (shown !== n) problems.push(`asked for byte ${n}, the player shows ${shown}`);
  }

  // (2) Moments: three bytes in each of ten files, with the font and without.
  for (const fontChoice of ['debian', 'none']) {
    const paths = await convert(files, fontChoice);
    for (const [index, file] of files.entries()) {
      const name = path.basename(file);
      const bytes = fs.readFileSync(file);
      const playable = await openPlayer(paths, name);
      const escapes = [...bytes.keys()].filter(i => bytes[i] === 27 && i + 2 < playable);
      const inside = escapes.length ? escapes[Math.floor(next() * escapes.length)] + 2 : 1;
      const special = [0, 1, playable][index % 3];
      for (const n of [special, inside, Math.floor(next() * (playable + 1))]) {
        const label = `${name} at byte ${n} (font: ${fontChoice})`;
        figures.moments = (figures.moments || 0) + 1;
        await jump(n);
        const saves = await page.evaluate(() => Number(document.body.dataset.saves || 0));
        await page.click('#save');
        await page.waitForSelector(`body[data-saves="${saves + 1}"]`);
        const saved = await page.$eval('#moment', async link =>
          [link.download, Array.from(new Uint8Array(await (await fetch(link.href)).arrayBuffer()))]);
        const folder = fs.mkdtempSync(path.join(work, 'moment-'));
        fs.writeFileSync(path.join(folder, 'part.ans'), bytes.subarray(0, n));
        const want = runNative(path.join(folder, 'part.ans'), fontOf[fontChoice]);
        const stem = name.replace(/(.)\.[^.]*$/, '$1');
        if (saved[0] !== `${stem}-${n}.png`) problems.push(`${label}: offered as ${saved[0]}`);
        if (!want.png || !Buffer.from(saved[1]).equals(want.png)) problems.push(`${label}: the saved PNG differs from native`);
        else if ((await canvasHash(page)) !== sha256(pixelsOf(want.png)))
          problems.push(`${label}: the canvas differs from the PNG`);
      }
    }
    if (fontChoice === 'debian') {
      // (3) Played to the end, at full speed and at a modem's, the last frame
      // is the converted picture. Then line steps forward and back again.
      for (const [name, speed] of [['bs-alove.ans', 'max'], ['cl!-al05.ans', '115200']]) {
        await openPlayer(paths, name);
        await page.select('#speed', speed);
        await page.click('#toggle');
        await page.waitForSelector('body[data-playing="ended"]', { timeout: 60000 });
        const whole = runNative(files.find(f => path.basename(f) === name), fontOf.debian);
        if ((await canvasHash(page)) !== sha256(pixelsOf(whole.png)))
          problems.push(`${name}: played at ${speed}, the last frame is not the converted picture`);
      }
      await page.select('#speed', '9600');
      await jump(0);
      const moment = async key => {
        await page.keyboard.press(key);
        await page.evaluate(() => window.tarvexPlayer.settled());
        return page.evaluate(() => Number(document.body.dataset.moment));
      };
      const down = await moment('ArrowDown');
      const twice = await moment('ArrowDown');
      const up = await moment('ArrowUp');
      const right = await moment('ArrowRight');
      if (!(down > 0 && twice > down && up === down && right === down + 1))
        problems.push(`line steps: down ${down}, down ${twice}, up ${up}, right ${right}`);
      await jump(Math.floor(fs.statSync(files.find(f => f.endsWith('cl!-al05.ans'))).size * 0.6));
      await (await page.$('#pack')).screenshot({ path: path.join(output, 'web-gallery.png') });
      await (await page.$('#player')).screenshot({ path: path.join(output, 'web-player.png') });
    }
  }

  // Figures: seeks to random bytes, frames at 115200 bit/s and at full speed,
// for files of 100 KB and 1 MB, and one of 40 MB that may play more coarsely.
  const paths = await convert(playFiles, 'debian');
  figures.player = {};
  for (const file of playFiles) {
    const name = path.basename(file);
    const playable = await openPlayer(paths, name);
    const seeks = await page.evaluate(async (count, seed) => {
      const times = [];
      for (let i = 0; i < count; i++) {
        seed = (Math.imul(seed, 1103515245) + 12345) >>> 0;
        const started = performance.now();
        await window.tarvexPlayer.seek(seed % (window.tarvexPlayer.playable + 1));
        times.push(performance.now() - started);
      }
      return times;
    }, 200, 1209);
    // The floor of a seek: showing the moment already walked to, which
    // only paints the screen and hands the picture over.
    const floor = await page.evaluate(async count => {
      const times = [];
      const n = window.tarvexPlayer.playable;
      await window.tarvexPlayer.seek(n);
      for (let i = 0; i < count; i++) {
        const started = performance.now();
        await window.tarvexPlayer.seek(n);
        times.push(performance.now() - started);
      }
      return times;
    }, 50);
    await page.select('#speed', '115200');
    await jump(0);
    await page.click('#toggle');
    await new Promise(resolve => setTimeout(resolve, 2000));
    await page.click('#toggle');
    const modem = await page.evaluate(() => window.tarvexPlayer.frameTimes.slice());
    await page.select('#speed', 'max');
    const fastest = [];
    for (let runs = 0; fastest.length < 60 && runs < 100; runs++) {
      await jump(0);
      await page.click('#toggle');
      await page.waitForSelector('body[data-playing="ended"]', { timeout: 60000 });
      fastest.push(...(await page.evaluate(() => window.tarvexPlayer.frameTimes)));
    }
    if ((await canvasHash(page)) !== sha256(pixelsOf(runNative(file, fontOf.debian).png)))
      problems.push(`${name}: played at full speed, the last frame is not the converted picture`);
    figures.player[name] = {
      bytes: playable,
      seek: { count: seeks.length, medianMs: median(seeks), p95Ms: percentile95(seeks) },
      repaint: { count: floor.length, medianMs: median(floor), p95Ms: percentile95(floor) },
      frames115200: { count: modem.length, medianMs: median(modem), p95Ms: percentile95(modem) },
      framesFastest: { count: fastest.length, medianMs: median(fastest), p95Ms: percentile95(fastest) },
    };
  }
}
