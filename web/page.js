// The page's wiring. The workers (the converter's, the player's and the
// animations') and the font are loaded at the start, so that nothing is
// fetched afterwards: the page goes on working offline. Files and packs go
// to the gallery (gallery.js), a file shown large can be played (player.js)
// and saved as an animation (animation.js).
import { createGallery } from './gallery.js';
import { createPlayer } from './player.js';

const rules = self.tarvexRules;
const $ = id => document.getElementById(id);
const fonts = { debian: null, own: null };
const fontChoice = () => document.querySelector('input[name="font"]:checked').value;

// For scripts and the browser tests: one object, filled in by the parts.
const hooks = { conversions: 0 };
window.tarvexHooks = hooks;

// A message where the user is looking: beside the inputs, the batch, the
// view or the player. An empty text takes it away.
const PLACES = { input: 'status', pack: 'pack-status', view: 'view-status', player: 'player-status',
                 animation: 'animation-status' };
function say(place, text, failed = false) {
  const line = $(PLACES[place]);
  line.textContent = text;
  line.classList.toggle('failed', failed);
}

// A worker that reports "ready" once its converter is loaded.
function startWorker(script) {
  const worker = new Worker(script);
  const ready = new Promise((resolve, reject) => {
    worker.addEventListener('message', event => {
      if (event.data.type === 'ready') resolve();
      else if (event.data.type === 'error' && event.data.batch === undefined && event.data.seq === undefined)
        reject(new Error(event.data.message));
    });
    worker.addEventListener('error', event => reject(new Error(event.message || `${script} could not be loaded`)));
  });
  return { worker, ready };
}

const packs = startWorker('pack-worker.js');
const playing = startWorker('player-worker.js');
const saving = startWorker('animation-worker.js');
const player = createPlayer({ worker: playing.worker, saver: saving.worker, say, hooks });
const gallery = createGallery({ worker: packs.worker, say, hooks, onShow: item => showView(item) });
packs.worker.addEventListener('message', event => gallery.onMessage(event.data));
playing.worker.addEventListener('message', event => player.onMessage(event.data));

// ---- The view: one file large, as a dialog over the gallery.

const view = $('view');
let viewed = null;
function showView(item) {
  if (viewed !== item) player.close();
  viewed = item;
  if (!view.open) view.showModal();
  fitImage();
  $('close').focus();
}
// The picture at whole device pixels per picture pixel where that fits; a
// whole piece at the scale of its last screen, its height scrolling.
function fitImage() {
  if (!view.open) return;
  const room = { width: $('picture').clientWidth || view.clientWidth - 32, height: window.innerHeight * 0.7 };
  const size = rules.fitSize(room, window.devicePixelRatio || 1);
  const tall = ($('image').naturalHeight || rules.PICTURE.height) / rules.PICTURE.height;
  $('image').style.width = `${size.width}px`;
  $('image').style.height = `${size.height * tall}px`;
}
view.addEventListener('close', () => {
  player.close();
  say('view', '');
  if (viewed && viewed.entry) viewed.entry.querySelector('button').focus();
});
$('close').addEventListener('click', () => view.close());
$('play').addEventListener('click', () => {
  if (!viewed) return;
  $('picture').hidden = true;
  player.loadFile(viewed, gallery.inputOf(viewed), gallery.font);
});
window.addEventListener('resize', fitImage);
$('image').addEventListener('load', fitImage);

// ---- Inputs.

function convert(inputs) {
  if (!inputs.length) return;
  if (document.body.dataset.ready !== 'yes') {
    say('input', 'Still loading: your files follow in a moment.');
    loaded.then(ready => ready && convert(inputs));
    return;
  }
  const choice = fontChoice();
  if (choice === 'own' && !fonts.own) {
    say('input', 'You chose your own font but no font file: choose one (cp437.fnt), or another font.', true);
    $('own-font').focus();
    return;
  }
  say('input', '');
  gallery.convertInputs(inputs, fonts[choice]);
}

$('file').addEventListener('change', event => {
  convert(Array.from(event.target.files, file => ({ file, path: file.name })));
  event.target.value = ''; // so that choosing the same files again converts them again
});
$('folder').addEventListener('change', event => {
  convert(Array.from(event.target.files, file => ({ file, path: file.webkitRelativePath || file.name })));
  event.target.value = '';
});

// A dropped folder counts as its files, where the browser hands them over.
async function dropped(dataTransfer) {
  const entries = Array.from(dataTransfer.items || [], item => item.webkitGetAsEntry && item.webkitGetAsEntry());
  if (!entries.length || entries.some(entry => !entry))
    return Array.from(dataTransfer.files, file => ({ file, path: file.name }));
  const inputs = [];
  const walk = async entry => {
    if (entry.isFile) {
      const file = await new Promise((resolve, reject) => entry.file(resolve, reject));
      inputs.push({ file, path: entry.fullPath.replace(/^\//, '') });
    } else if (entry.isDirectory) {
      const reader = entry.createReader();
      for (;;) {
        const some = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
        if (!some.length) break;
        for (const child of some) await walk(child);
      }
    }
  };
  for (const entry of entries) await walk(entry);
  return inputs;
}
const drop = $('drop');
drop.addEventListener('dragover', event => { event.preventDefault(); drop.classList.add('over'); });
drop.addEventListener('dragleave', () => drop.classList.remove('over'));
drop.addEventListener('drop', event => {
  event.preventDefault();
  drop.classList.remove('over');
  dropped(event.dataTransfer).then(convert, error => say('input', `The dropped files could not be read: ${error}`, true));
});

$('own-font').addEventListener('change', async event => {
  const file = event.target.files[0];
  fonts.own = file ? new Uint8Array(await file.arrayBuffer()) : null;
  document.querySelector('input[name="font"][value="own"]').checked = true;
  say('input', file ? `Your font: ${file.name}.` : '');
});
for (const radio of document.querySelectorAll('input[name="font"]'))
  radio.addEventListener('change', () => {
    if (fontChoice() === 'own' && !fonts.own) say('input', 'Now choose your font file (cp437.fnt).');
    else say('input', '');
  });
$('cancel').addEventListener('click', () => gallery.cancel());
$('filter').addEventListener('input', () => gallery.filter($('filter').value));

const loaded = Promise.all([
  packs.ready,
  playing.ready,
  saving.ready,
  fetch('cp437.fnt').then(r => (r.ok ? r.arrayBuffer() : null)).catch(() => null),
]).then(([, , , font]) => {
  fonts.debian = font && new Uint8Array(font);
  document.body.dataset.ready = 'yes';
  say('input', fonts.debian
    ? 'Ready. Choose or drop files, zip packs or a folder.'
    : 'Ready, but the bundled font could not be loaded: choose your own, or none.', !fonts.debian);
  return true;
}, error => {
  say('input', `The page could not be loaded: ${error.message}. Reload it to try again.`, true);
  return false;
});
