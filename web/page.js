'use strict';
// The page around the converter. Files and zip packs go to a worker
// (pack-worker.js) that converts each file as "tarvex <name>" would alone in
// a folder; the page shows them in a gallery, one at a time large with its
// report, and offers them all as one zip. A second worker (player-worker.js)
// plays a file byte by byte on a canvas. Nothing is sent anywhere: after the
// page has loaded, converting and playing need no network.
(() => {
  const $ = id => document.getElementById(id);
  const fonts = { debian: null, own: null };
  const fontChoice = () => document.querySelector('input[name="font"]:checked').value;
  const plural = (n, one, many = one + 's') => `${n.toLocaleString('en')} ${n === 1 ? one : many}`;
  const megabytes = size => `${(size / 1048576).toFixed(1)} MB`;
  let packWorker = null;
  let batch = null;
  let batches = 0;
  let opened = null;

  function status(text, failed = false) {
    $('status').textContent = text;
    $('status').className = failed ? 'failed' : '';
  }

  function startPackWorker() {
    packWorker = new Worker('pack-worker.js');
    return new Promise((resolve, reject) => {
      packWorker.onmessage = event => {
        if (event.data.type === 'ready') resolve();
        else if (event.data.type === 'error' && !batch) reject(new Error(event.data.message));
        else onPackMessage(event.data);
      };
      packWorker.onerror = event => reject(new Error(event.message));
    });
  }

  // ---- Packs: converting, the gallery, "Download all".

  function take(inputs) {
    if (!inputs.length || !packWorker) return;
    if (batch && !batch.finished) {
      status('Still converting: wait for it, or cancel it first.');
      return;
    }
    if (batch) for (const item of batch.items) if (item.url) URL.revokeObjectURL(item.url);
    if (batch && batch.zipUrl) URL.revokeObjectURL(batch.zipUrl);
    closePlayer();
    opened = null;
    batch = { inputs, items: [], taken: new Set(), font: fonts[fontChoice()], started: performance.now(),
              finished: false };
    document.body.dataset.pack = 'busy';
    $('pack').hidden = false;
    $('result').hidden = true;
    $('gallery').textContent = '';
    $('download-all').hidden = true;
    $('cancel').hidden = false;
    $('progress').textContent = `Reading ${plural(inputs.length, 'file')}…`;
    status('');
    packWorker.postMessage({ type: 'convert', font: batch.font,
                             inputs: inputs.map((input, index) => ({ ...input, index })) });
  }

  function onPackMessage(message) {
    if (message.type === 'list') {
      batch.zipName = message.zipName;
      batch.items = message.items.map(item => ({ ...item }));
      const list = document.createDocumentFragment();
      batch.items.forEach((item, index) => list.append(galleryEntry(item, index)));
      $('gallery').append(list);
      if (batch.items.length >= 500)
        status(`${plural(batch.items.length, 'file')}: the gallery fills as they are converted; Cancel stops at any time.`);
    } else if (message.type === 'start') {
      const item = batch.items[message.index];
      $('progress').textContent = `Converting ${message.index + 1} of ${batch.items.length}: ${item.path}` +
        (item.size > 4 * 1048576 ? ` (${megabytes(item.size)}, this takes a moment)` : '');
    } else if (message.type === 'file') {
      finishItem(message);
    } else if (message.type === 'done') {
      finishBatch();
    } else if (message.type === 'zip') {
      batch.zipUrl = URL.createObjectURL(new Blob([message.zip], { type: 'application/zip' }));
      $('download-all').href = batch.zipUrl;
      $('download-all').download = batch.zipName;
      $('download-all').hidden = false;
      document.body.dataset.pack = 'done';
    } else if (message.type === 'error') {
      status(`Something went wrong: ${message.message}`, true);
      if (batch && !batch.finished) finishBatch();
    }
  }

  function galleryEntry(item, index) {
    const entry = document.createElement('li');
    const button = document.createElement('button');
    button.type = 'button';
    button.innerHTML = '<span class="none">waiting</span><span class="path"></span>' +
                       '<span class="state">waiting</span><span class="sauce"></span>';
    button.querySelector('.path').textContent = item.path;
    button.addEventListener('click', () => open(index));
    entry.append(button);
    item.entry = entry;
    return entry;
  }

  // The PNG's path in "Download all": beside its input, under its usual
  // name; a name already taken (case ignored) gets "-2", "-3", ... before ".png".
  function pngPath(item, output) {
    const folder = item.path.slice(0, item.path.lastIndexOf('/') + 1);
    const stem = output.slice(0, -'.png'.length);
    let path = folder + output;
    for (let n = 2; batch.taken.has(path.toLowerCase()); n++) path = `${folder}${stem}-${n}.png`;
    batch.taken.add(path.toLowerCase());
    return path;
  }

  function finishItem(message) {
    const item = batch.items[message.index];
    Object.assign(item, message);
    item.input = message.input ? new Blob([message.input]) : item.loose !== undefined
      ? batch.inputs[item.loose].file : null;
    if (message.png) {
      item.png = new Blob([message.png], { type: 'image/png' });
      item.url = URL.createObjectURL(item.png);
      item.pngPath = pngPath(item, message.output);
    }
    const button = item.entry.querySelector('button');
    if (item.url) {
      const thumb = document.createElement('img');
      thumb.loading = 'lazy';
      thumb.decoding = 'async';
      thumb.width = 160;
      thumb.height = 100;
      thumb.alt = '';
      thumb.src = item.url;
      button.querySelector('.none').replaceWith(thumb);
    } else {
      button.querySelector('.none').textContent = item.skipped ? 'skipped' : 'no picture';
    }
    item.entry.classList.toggle('failed', !item.url && !item.skipped);
    button.querySelector('.state').textContent = stateOf(item);
    if (item.title || item.author)
      button.querySelector('.sauce').textContent = [item.title, item.author && `by ${item.author}`]
        .filter(Boolean).join(' ');
  }

  function stateOf(item) {
    if (item.skipped) return `skipped: ${item.skipped}`;
    if (item.note) return `not converted: ${item.note}`;
    return item.status === 0 ? 'converted' : `failed (exit status ${item.status})`;
  }

  // The report of "Download all": per file its path, then its exit status
  // and report lines as printed, or why it was not converted.
  function report() {
    return batch.items.map(item => {
      const head = `${item.path}\n`;
      if (item.status === undefined) return `${head}${stateOf(item)}\n`;
      return `${head}exit status ${item.status}\n${item.lines.map(line => line.text + '\n').join('')}`;
    }).join('\n');
  }

  function finishBatch() {
    batch.finished = true;
    $('cancel').hidden = true;
    const items = batch.items;
    const count = test => items.filter(test).length;
    const converted = count(item => item.status === 0);
    const failed = count(item => item.status !== undefined && item.status !== 0) +
                   count(item => item.note && !item.cancelled);
    const skipped = count(item => item.skipped);
    const cancelled = count(item => item.cancelled);
    const parts = [failed && `${failed} failed or could not be opened`, skipped && `${skipped} skipped`,
                   cancelled && `${cancelled} not converted (cancelled)`].filter(Boolean);
    $('progress').textContent = `Converted ${converted} of ${plural(items.length, 'file')}` +
      (parts.length ? `: ${parts.join(', ')}.` : '.');
    batches += 1;
    window.tarvexPack = { ms: performance.now() - batch.started, files: items.length };
    const single = items.length === 1 && items[0].loose !== undefined;
    if (single) open(0);
    else if (!opened) $('result').hidden = true;
    document.body.dataset.conversions = String(batches);
    const entries = items.filter(item => item.png).map(item => ({ path: item.pngPath, blob: item.png }));
    entries.push({ path: 'tarvex-report.txt', text: report() });
    packWorker.postMessage({ type: 'zip', entries });
  }

  function cancel() {
    if (!batch || batch.finished) return;
    packWorker.terminate();
    for (const item of batch.items)
      if (item.status === undefined && !item.note && !item.skipped) {
        item.cancelled = true;
        item.note = 'cancelled';
        item.entry.querySelector('.state').textContent = stateOf(item);
      }
    startPackWorker().then(finishBatch);
  }

  // Shows one file large: its report, its picture, its PNG to download.
  function open(index) {
    const item = batch.items[index];
    if (opened && opened.entry) opened.entry.classList.remove('open');
    opened = item;
    item.entry.classList.add('open');
    $('result-path').textContent = item.path;
    const lines = item.lines || [{ text: stateOf(item), error: item.status === undefined && !item.skipped }];
    const reportView = $('report');
    reportView.textContent = '';
    for (const line of lines) {
      const span = document.createElement('span');
      span.textContent = line.text + '\n';
      if (line.error) span.className = 'stderr';
      reportView.append(span);
    }
    $('result').hidden = false;
    $('result').classList.toggle('failed', item.status !== 0 && !item.skipped);
    $('picture').hidden = !item.url;
    $('image').src = item.url || '';
    for (const id of ['download', 'scale']) $(id).hidden = !item.url;
    $('download').href = item.url || '';
    $('download').download = item.pngPath ? item.pngPath.slice(item.pngPath.lastIndexOf('/') + 1) : '';
    $('play').hidden = !item.input || Boolean(item.skipped || item.note);
    const ms = item.url || item.status !== undefined ? performance.now() - batch.started : 0;
    // For people and for the browser tests alike.
    window.tarvexLast = { status: item.status, name: $('download').download || item.output, ms,
                          out: (item.lines || []).filter(l => !l.error).map(l => l.text),
                          errors: (item.lines || []).filter(l => l.error).map(l => l.text) };
    if (item.status === 0) status(`Converted in ${ms.toFixed(0)} ms.`);
    else if (item.status !== undefined)
      status(`The conversion failed (exit status ${item.status}); the report says why.`);
  }

  // ---- The player.

  const WIDTH = 640;
  const HEIGHT = 400;
  const FRAME_BUDGET_MS = 6; // walking time per frame at full speed, painting aside
  const player = { worker: null, item: null, playable: 0, n: 0, playing: false, busy: 0, next: null,
                   seq: 0, shown: 0, waiters: [], from: 0, since: 0, frameTimes: [] };
  const context = $('screen').getContext('2d');

  function speed() { return $('speed').value === 'max' ? 'max' : Number($('speed').value); }

  function fitCanvas() {
    // Whole device pixels per picture pixel, so every pixel stays square.
    const ratio = window.devicePixelRatio || 1;
    const room = $('stage').clientWidth * ratio;
    const scale = Math.max(1, Math.floor(room / WIDTH));
    $('screen').style.width = `${(WIDTH * scale) / ratio}px`;
    $('screen').style.height = `${(HEIGHT * scale) / ratio}px`;
  }

  function playerWorker() {
    if (player.worker) return player.worker;
    player.worker = new Worker('player-worker.js');
    player.worker.onmessage = event => onPlayerMessage(event.data);
    return player.worker;
  }

  function openPlayer() {
    const item = opened;
    if (!item || !item.input) return;
    pause();
    player.item = item;
    player.ready = false;
    player.n = 0;
    player.next = null;
    $('player').hidden = false;
    $('player-name').textContent = item.path;
    document.body.dataset.player = 'loading';
    fitCanvas();
    playerWorker().postMessage({ type: 'load', blob: item.input, font: batch.font });
    $('player').scrollIntoView({ block: 'nearest' });
  }

  function closePlayer() {
    pause();
    $('player').hidden = true;
    player.item = null;
  }

  // Asks the worker for a moment; while one is being made only the newest
  // wish is kept.
  function request(message) {
    player.next = { ...message, seq: ++player.seq };
    pump();
    const seq = player.seq;
    return new Promise(resolve => player.waiters.push({ seq, resolve }));
  }

  function pump() {
    if (player.busy || !player.next || !player.ready) return;
    player.busy = performance.now();
    player.worker.postMessage(player.next);
    player.next = null;
  }

  function onPlayerMessage(message) {
    if (message.type === 'loaded') {
      player.ready = true;
      player.playable = message.playable;
      $('scrubber').max = String(message.playable);
      $('byte').max = String(message.playable);
      document.body.dataset.player = 'ready';
      if (!player.next) request({ type: 'seek', n: 0 });
      else pump();
    } else if (message.type === 'frame') {
      context.putImageData(new ImageData(new Uint8ClampedArray(message.pixels), WIDTH, HEIGHT), 0, 0);
      if (player.playing) player.frameTimes.push(performance.now() - player.busy);
      player.busy = 0;
      player.n = message.n;
      showPosition();
      document.body.dataset.moment = String(message.n);
      player.waiters = player.waiters.filter(waiter => (waiter.seq <= message.seq ? waiter.resolve(message.n) : true));
      if (player.playing && player.n >= player.playable) pause('ended');
      pump();
    } else if (message.type === 'saved') {
      if (message.png) {
        const name = player.item.output.slice(0, -'.png'.length);
        const link = $('moment');
        if (link.href) URL.revokeObjectURL(link.href);
        link.href = URL.createObjectURL(new Blob([message.png], { type: 'image/png' }));
        link.download = `${name}-${message.n}.png`;
        link.click();
        status(`Saved ${link.download}.`);
      } else {
        status(`That moment could not be saved: ${message.lines.map(line => line.text).join(' ')}`, true);
      }
      document.body.dataset.saved = String(message.n);
      document.body.dataset.saves = String(Number(document.body.dataset.saves || 0) + 1);
    } else if (message.type === 'error') {
      status(`The player failed: ${message.message}`, true);
      player.busy = 0;
    }
  }

  function clock(n) {
    const rate = speed();
    if (rate === 'max') return '';
    const seconds = (n * 10) / rate;
    const minutes = Math.floor(seconds / 60);
    return `, ${minutes}:${(seconds - minutes * 60).toFixed(1).padStart(4, '0')} at ${rate} bit/s`;
  }

  function showPosition() {
    $('scrubber').value = String(player.n);
    if (document.activeElement !== $('byte')) $('byte').value = String(player.n);
    $('position').textContent = `byte ${player.n.toLocaleString('en')} of ${player.playable.toLocaleString('en')}` +
      clock(player.n);
  }

  function seek(n) {
    n = Math.max(0, Math.min(player.playable, Math.floor(n) || 0));
    player.from = n;
    player.since = performance.now();
    return request({ type: 'seek', n });
  }

  function step(kind, forward) {
    pause();
    if (kind === 'byte') return seek(player.n + (forward ? 1 : -1));
    return request({ type: 'line', n: player.n, forward });
  }

  function play() {
    if (!player.ready) return;
    if (player.n >= player.playable) seek(0);
    player.playing = true;
    player.from = player.n;
    player.since = performance.now();
    player.frameTimes = [];
    document.body.dataset.playing = 'yes';
    $('toggle').textContent = 'Pause';
    requestAnimationFrame(tick);
  }

  function pause(state = 'no') {
    if (!player.playing && state === 'no') return;
    player.playing = false;
    document.body.dataset.playing = state;
    $('toggle').textContent = 'Play';
  }

  // Each frame asks for the bytes that have arrived by now at the chosen
  // speed, or for as many as fit in the frame's time.
  function tick(now) {
    if (!player.playing) return;
    if (!player.busy && !player.next) {
      const rate = speed();
      if (rate === 'max') {
        request({ type: 'run', n: player.n, budget: FRAME_BUDGET_MS });
      } else {
        const target = Math.min(player.playable, player.from + Math.floor(((now - player.since) / 1000) * (rate / 10)));
        if (target > player.n) request({ type: 'seek', n: target });
      }
    }
    requestAnimationFrame(tick);
  }

  function save() {
    if (player.ready) player.worker.postMessage({ type: 'save', n: player.n });
  }

  // ---- Wiring.

  $('file').addEventListener('change', event => {
    take(Array.from(event.target.files, file => ({ file, path: file.name })));
    event.target.value = ''; // so that choosing the same files again converts them again
  });
  $('folder').addEventListener('change', event => {
    take(Array.from(event.target.files, file => ({ file, path: file.webkitRelativePath || file.name })));
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
    dropped(event.dataTransfer).then(take, error => status(`The dropped files could not be read: ${error}`, true));
  });
  $('own-font').addEventListener('change', async event => {
    const file = event.target.files[0];
    fonts.own = file ? new Uint8Array(await file.arrayBuffer()) : null;
    document.querySelector('input[name="font"][value="own"]').checked = true;
  });
  $('scale').addEventListener('click', () => {
    const fitted = $('image').classList.toggle('fit');
    $('scale').textContent = fitted ? 'Show at 1:1' : 'Fit to the window';
  });
  $('cancel').addEventListener('click', cancel);
  $('play').addEventListener('click', openPlayer);
  $('toggle').addEventListener('click', () => (player.playing ? pause() : play()));
  $('speed').addEventListener('change', () => {
    player.from = player.n;
    player.since = performance.now();
    showPosition();
  });
  $('scrubber').addEventListener('input', () => seek(Number($('scrubber').value)));
  $('jump').addEventListener('submit', event => {
    event.preventDefault();
    seek(Number($('byte').value));
    $('byte').blur();
  });
  $('byte-back').addEventListener('click', () => step('byte', false));
  $('byte-on').addEventListener('click', () => step('byte', true));
  $('line-back').addEventListener('click', () => step('line', false));
  $('line-on').addEventListener('click', () => step('line', true));
  $('save').addEventListener('click', save);
  window.addEventListener('resize', fitCanvas);

  const KEYS = {
    ' ': () => (player.playing ? pause() : play()),
    ArrowLeft: () => step('byte', false),
    ArrowRight: () => step('byte', true),
    ArrowUp: () => step('line', false),
    ArrowDown: () => step('line', true),
    Home: () => { pause(); seek(0); },
    End: () => { pause(); seek(player.playable); },
    '-': () => { $('speed').selectedIndex = Math.max(0, $('speed').selectedIndex - 1); $('speed').dispatchEvent(new Event('change')); },
    '+': () => { $('speed').selectedIndex = Math.min($('speed').length - 1, $('speed').selectedIndex + 1); $('speed').dispatchEvent(new Event('change')); },
    g: () => $('byte').select(),
    s: save,
  };
  KEYS['='] = KEYS['+'];
  document.addEventListener('keydown', event => {
    const key = event.key.length === 1 ? event.key.toLowerCase() : event.key;
    if ($('player').hidden || !KEYS[key] || event.ctrlKey || event.metaKey || event.altKey) return;
    const target = event.target;
    if (target.tagName === 'INPUT' && target.type !== 'range' && target.type !== 'radio') return;
    if (target.tagName === 'SELECT' || (target.tagName === 'BUTTON' && key === ' ')) return;
    event.preventDefault();
    KEYS[key]();
  });

  // For scripts and the browser tests: moments and their timing.
  window.tarvexPlayer = {
    seek: n => (pause(), seek(n)),
    get frameTimes() { return player.frameTimes; },
    // Resolves once no moment is asked for or being made.
    settled: () => new Promise(resolve => {
      const poll = () => (player.busy || player.next ? setTimeout(poll, 5) : resolve(player.n));
      poll();
    }),
    get playable() { return player.playable; },
  };

  Promise.all([
    startPackWorker(),
    fetch('cp437.fnt').then(r => (r.ok ? r.arrayBuffer() : null)).catch(() => null),
  ]).then(([, font]) => {
    fonts.debian = font && new Uint8Array(font);
    document.body.dataset.ready = 'yes';
    status(fonts.debian
      ? 'Ready. Choose or drop files, zip packs or a folder.'
      : 'Ready, but the bundled font could not be loaded: choose your own, or none.');
  }, error => status(`The converter could not be loaded: ${error}`, true));
})();
