// The gallery: a batch of files and packs sent to the converting worker,
// one entry per file as it is converted, and one file at a time shown large
// in the view with its report. Every message of the worker names its batch;
// those of an earlier batch are ignored. A piece that scrolled has its whole
// piece too: the gallery shows its top, the view either.
const rules = self.tarvexRules;
const $ = id => document.getElementById(id);
const plural = (n, one, many = one + 's') => `${n.toLocaleString('en')} ${n === 1 ? one : many}`;
const megabytes = size => `${(size / 1048576).toFixed(1)} MB`;
// Progress is read out at most this often, not once per file.
const ANNOUNCE_MS = 5000;

export function createGallery({ worker, say, hooks, onShow }) {
  let batch = null;
  let batches = 0;
  let shown = null;
  let announced = 0;
  // The view's choice of picture, kept from file to file.
  let wholeChosen = false;

  function announce(text, now = false) {
    if (!now && performance.now() - announced < ANNOUNCE_MS) return;
    announced = performance.now();
    $('announce').textContent = text;
  }
  function progress(text) {
    $('progress').textContent = text;
    announce(text);
  }

  // Starts a batch; refused while one is converting.
  function convertInputs(inputs, font) {
    if (!inputs.length) return;
    if (batch && !batch.finished) {
      say('pack', 'Still converting: wait for it, or cancel it first.');
      return;
    }
    if (batch) for (const item of batch.items) for (const url of [item.url, item.wholeUrl]) if (url) URL.revokeObjectURL(url);
    if (batch && batch.zipUrl) URL.revokeObjectURL(batch.zipUrl);
    shown = null;
    batch = { id: ++batches, inputs, items: [], font, started: performance.now(), finished: false };
    document.body.dataset.pack = 'busy';
    $('pack').hidden = false;
    $('gallery').textContent = '';
    $('filter').value = '';
    $('filtering').hidden = true;
    $('download-all').hidden = true;
    $('download-all').removeAttribute('href');
    $('cancel').hidden = false;
    progress(`Reading ${plural(inputs.length, 'file')}…`);
    say('pack', '');
    $('pack').scrollIntoView({ block: 'nearest' });
    worker.postMessage({ type: 'convert', batch: batch.id, font,
                         inputs: inputs.map(({ file, path }) => ({ file, path })) });
  }

  function onMessage(message) {
    if (!batch || message.batch !== batch.id) return;
    const handler = {
      reading: () => progress(`Reading ${message.path}…`),
      list: () => listItems(message),
      start: () => {
        const item = batch.items[message.index];
        progress(`Converting ${message.index + 1} of ${batch.items.length}: ${item.path}` +
          (item.size > 4 * 1048576 ? ` (${megabytes(item.size)}, this takes a moment)` : ''));
      },
      file: () => finishItem(message),
      done: () => finishBatch(message),
      zip: () => {
        batch.zipUrl = URL.createObjectURL(new Blob([message.zip], { type: 'application/zip' }));
        $('download-all').href = batch.zipUrl;
        $('download-all').download = batch.zipName;
        $('download-all').hidden = false;
        document.body.dataset.pack = 'done';
      },
      error: () => {
        say('pack', `Something went wrong: ${message.message}`, true);
        if (!batch.finished) finishBatch({ cancelled: [] });
      },
    }[message.type];
    if (handler) handler();
  }

  function listItems(message) {
    batch.zipName = message.zipName;
    batch.items = message.items;
    const list = document.createDocumentFragment();
    batch.items.forEach((item, index) => list.append(entryOf(item, index)));
    $('gallery').append(list);
    $('filtering').hidden = batch.items.length < 20;
    for (const item of batch.items) if (item.note) showState(item);
    if (batch.items.length >= 500)
      say('pack', `${plural(batch.items.length, 'file')}: the gallery fills as they are converted; Cancel stops at any time.`);
  }

  function entryOf(item, index) {
    const entry = document.createElement('li');
    const button = document.createElement('button');
    button.type = 'button';
    button.innerHTML = '<span class="none">waiting</span><span class="path"></span>' +
                       '<span class="state">waiting</span><span class="sauce"></span>';
    // Long names break at their slashes, not inside a word.
    const path = button.querySelector('.path');
    item.path.split('/').forEach((part, n, parts) => {
      path.append(part + (n < parts.length - 1 ? '/' : ''));
      if (n < parts.length - 1) path.append(document.createElement('wbr'));
    });
    button.addEventListener('click', () => show(index));
    entry.append(button);
    entry.dataset.name = item.path.toLowerCase();
    item.entry = entry;
    return entry;
  }

  // A small picture of the top of a whole piece, in place of its last
  // screen's: only the top is decoded into it, so a gallery of pieces
  // thousands of rows tall keeps no tall pictures decoded.
  async function showTop(png, thumb) {
    const scale = Math.max(1, Math.round(devicePixelRatio || 1));
    const [width, height] = [thumb.width * scale, thumb.height * scale];
    let top;
    try {
      top = await createImageBitmap(png, 0, 0, rules.PICTURE.width, rules.PICTURE.height,
                                    { resizeWidth: width, resizeHeight: height, resizeQuality: 'high' });
    } catch {
      return; // the last screen stays
    }
    const canvas = document.createElement('canvas');
    Object.assign(canvas, { width, height });
    canvas.getContext('2d').drawImage(top, 0, 0);
    top.close();
    if (thumb.isConnected) thumb.replaceWith(canvas);
  }

  function showState(item) {
    const button = item.entry.querySelector('button');
    const none = button.querySelector('.none');
    if (item.url) {
      const thumb = document.createElement('img');
      thumb.loading = 'lazy';
      thumb.decoding = 'async';
      thumb.width = 160;
      thumb.height = 100;
      thumb.alt = '';
      thumb.src = item.url;
      none.replaceWith(thumb);
      if (item.wholePng) showTop(item.wholePng, thumb);
    } else if (none) {
      none.textContent = item.skipped ? 'skipped' : 'no picture';
    }
    item.entry.classList.toggle('failed', !item.url && !item.skipped);
    const stored = rules.storedAs(item);
    button.querySelector('.state').textContent = rules.stateOf(item) +
      (stored ? `, stored as ${rules.baseName(stored)}` : '');
    if (item.title || item.author)
      button.querySelector('.sauce').textContent = [item.title, item.author && `by ${item.author}`]
        .filter(Boolean).join(' ');
  }

  function finishItem(message) {
    const item = batch.items[message.index];
    Object.assign(item, message);
    if (message.png) {
      item.png = new Blob([message.png], { type: 'image/png' });
      item.url = URL.createObjectURL(item.png);
    }
    if (message.wholePng) {
      item.wholePng = new Blob([message.wholePng], { type: 'image/png' });
      item.wholeUrl = URL.createObjectURL(item.wholePng);
    }
    showState(item);
  }

  function finishBatch(message) {
    batch.finished = true;
    $('cancel').hidden = true;
    for (const item of message.cancelled.map(index => batch.items[index]))
      if (item.status === undefined && !item.note) {
        item.cancelled = true;
        item.note = 'cancelled';
        showState(item);
      }
    const items = batch.items;
    const count = test => items.filter(test).length;
    const converted = count(item => item.status === 0);
    const failed = count(item => item.status !== undefined && item.status !== 0) +
                   count(item => item.note && !item.cancelled);
    const skipped = count(item => item.skipped);
    const stopped = count(item => item.cancelled);
    const parts = [failed && `${failed} failed or could not be opened`, skipped && `${skipped} skipped`,
                   stopped && `${stopped} not converted (cancelled)`].filter(Boolean);
    const text = `Converted ${converted} of ${plural(items.length, 'file')}` + (parts.length ? `: ${parts.join(', ')}.` : '.');
    $('progress').textContent = text;
    announce(text, true);
    say('pack', '');
    hooks.pack = { ms: performance.now() - batch.started, files: items.length };
    hooks.conversions = batch.id;
    if (items.length === 1 && items[0].loose !== undefined) show(0);
  }

  function cancel() {
    if (!batch || batch.finished) return;
    worker.postMessage({ type: 'cancel', batch: batch.id });
    say('pack', 'Cancelling: the file being converted finishes first.');
  }

  // Shows one file in the view: its SAUCE fields, its report, its picture.
  function show(index) {
    const item = batch.items[index];
    if (shown && shown.entry) shown.entry.classList.remove('open');
    shown = item;
    item.entry.classList.add('open');
    $('view-path').textContent = item.path;
    const sauce = $('sauce');
    sauce.textContent = '';
    for (const [label, key] of [['Title', 'title'], ['Author', 'author'], ['Group', 'group'], ['Date', 'date']]) {
      if (!item[key]) continue;
      const term = document.createElement('dt');
      const value = document.createElement('dd');
      term.textContent = label;
      value.textContent = item[key];
      sauce.append(term, value);
    }
    const stored = rules.storedAs(item);
    const lines = item.lines ? [...item.lines] : [{ text: rules.stateOf(item), error: item.status === undefined && !item.skipped }];
    if (stored) lines.push({ text: `(stored in "Download all" as ${stored})`, error: false, note: true });
    if (item.whole) lines.push({ text: `(${rules.wholeRows(item)})`, error: false, note: true });
    const report = $('report');
    report.textContent = '';
    for (const line of lines) {
      const span = document.createElement('span');
      span.textContent = line.text + '\n';
      span.className = line.error ? 'stderr' : line.note ? 'note' : '';
      report.append(span);
    }
    $('view').classList.toggle('failed', item.status !== 0 && !item.skipped);
    $('picture').hidden = !item.url;
    showPicture();
    $('download').hidden = !item.url;
    $('download').href = item.url || '';
    $('download').download = item.pngPath ? rules.baseName(item.pngPath) : '';
    $('download-whole').hidden = !item.wholeUrl;
    $('download-whole').href = item.wholeUrl || '';
    $('download-whole').download = item.wholeUrl ? rules.baseName(rules.wholePath(item.pngPath)) : '';
    const playable = item.status !== undefined && !item.skipped && !item.note;
    $('play').hidden = !playable;
    hooks.last = { status: item.status, name: $('download').download || item.output, ms: item.ms,
                   out: (item.lines || []).filter(l => !l.error).map(l => l.text),
                   errors: (item.lines || []).filter(l => l.error).map(l => l.text) };
    if (item.status === 0) say('view', `Converted in ${item.ms.toFixed(0)} ms.`);
    else if (item.status !== undefined) say('view', `The conversion failed (exit status ${item.status}); the report says why.`, true);
    else say('view', '');
    onShow(item);
  }

  // The last screen or the whole piece of the file shown, as chosen; the
  // choice is offered only for a piece that scrolled.
  function showPicture() {
    const whole = Boolean(shown.wholeUrl) && wholeChosen;
    $('piece-choice').hidden = !shown.wholeUrl;
    document.querySelector(`input[name="piece"][value="${whole ? 'whole' : 'last'}"]`).checked = true;
    $('image').src = (whole ? shown.wholeUrl : shown.url) || '';
  }
  for (const radio of document.querySelectorAll('input[name="piece"]'))
    radio.addEventListener('change', () => {
      wholeChosen = radio.value === 'whole';
      if (shown) showPicture();
    });

  // The bytes of the file shown, for the player: a loose file, or an entry
  // of a pack to unpack again.
  function inputOf(item) {
    if (item.loose !== undefined) return { file: batch.inputs[item.loose].file };
    return { file: batch.inputs[item.pack].file, chain: item.source };
  }

  function filter(text) {
    const wanted = text.trim().toLowerCase();
    let count = 0;
    for (const item of batch ? batch.items : []) {
      const match = !wanted || item.entry.dataset.name.includes(wanted);
      item.entry.hidden = !match;
      count += match;
    }
    $('shown').textContent = wanted ? `${plural(count, 'file')} shown` : '';
  }

  return { convertInputs, onMessage, cancel, filter, inputOf, get shown() { return shown; },
           get font() { return batch && batch.font; } };
}
