// Takes the README's pictures of the page: the gallery of the bundled art
// with one file open and playing, on a desktop and on a phone (390 x 844).
// Usage: node screenshots.mjs <site> <art folder> <output folder>
import fs from 'node:fs';
import path from 'node:path';
import { launch, openPage, scratch, serve } from './harness.mjs';

const [site, art, output] = process.argv.slice(2).map(p => path.resolve(p));
const work = scratch();
const server = await serve(site);
const browser = await launch(work);
const files = fs.readdirSync(art).filter(n => n.endsWith('.ans')).sort().map(n => path.join(art, n));
for (const [name, viewport] of [['desktop', { width: 1280, height: 900 }],
                                ['phone', { width: 390, height: 844, deviceScaleFactor: 3, isMobile: true, hasTouch: true }]]) {
  const page = await openPage(browser, server.url, []);
  await page.setViewport(viewport); // a phone's viewport loads the page again
  await page.waitForSelector('body[data-ready="yes"]');
  await page.evaluate(() => { document.body.dataset.pack = 'asked'; });
  await (await page.$('#file')).uploadFile(...files);
  await page.waitForSelector('body[data-pack="done"]');
  await page.screenshot({ path: path.join(output, `web-${name}-gallery.png`) });
  await page.$$eval('#gallery li button', buttons => buttons[1].click());
  await page.click('#play');
  await page.waitForFunction(() => window.tarvexHooks.player.ready);
  await page.evaluate(() => window.tarvexHooks.player.seek(Math.floor(window.tarvexHooks.player.playable * 0.6)));
  await page.$eval('#player', player => player.scrollIntoView({ block: 'start' }));
  await page.screenshot({ path: path.join(output, `web-${name}-player.png`) });
  await page.close();
}
await browser.close();
server.close();
fs.rmSync(work, { recursive: true, force: true });
