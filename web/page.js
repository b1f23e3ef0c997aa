'use strict';
// The page around the converter. For each file it makes a fresh folder in
// the module's in-memory file system, puts the file there (and cp437.fnt,
// when a font is chosen), runs the conversion as "tarvex <name>" would run
// in that folder, and shows the report lines and the picture. Nothing is
// sent anywhere: after the page has loaded, converting needs no network.
(() => {
  const $ = id => document.getElementById(id);
  const fonts = { debian: null, own: null };
  let module = null;
  let lines = [];
  let runs = 0;
  let pictureUrl = null;

  const fontChoice = () => document.querySelector('input[name="font"]:checked').value;

  function show(status, name, png, started) {
    const report = $('report');
    report.textContent = '';
    for (const line of lines) {
      const span = document.createElement('span');
      span.textContent = line.text + '\n';
      if (line.error) span.className = 'stderr';
      report.append(span);
    }
    $('result').hidden = false;
    $('result').classList.toggle('failed', status !== 0);
    if (pictureUrl) URL.revokeObjectURL(pictureUrl);
    pictureUrl = png ? URL.createObjectURL(new Blob([png], { type: 'image/png' })) : null;
    $('picture').hidden = !png;
    $('image').src = pictureUrl || '';
    $('download').href = pictureUrl || '';
    $('download').download = name;
    const ms = performance.now() - started;
    // For people and for the browser tests alike.
    window.tarvexLast = { status, name, ms, out: lines.filter(l => !l.error).map(l => l.text),
                          errors: lines.filter(l => l.error).map(l => l.text) };
    document.body.dataset.conversions = String(runs);
    $('status').textContent = status === 0
      ? `Converted in ${ms.toFixed(0)} ms.`
      : `The conversion failed (exit status ${status}); the report says why.`;
  }

  async function convert(file) {
    const started = performance.now();
    const bytes = new Uint8Array(await file.arrayBuffer());
    const FS = module.FS;
    const folder = `/conversion-${++runs}`;
    FS.mkdir(folder);
    FS.chdir(folder);
    const font = fonts[fontChoice()];
    if (font) FS.writeFile('cp437.fnt', font);
    FS.writeFile(file.name, bytes);
    lines = [];
    const status = module.ccall('tarvex_convert', 'number', ['string'], [file.name]);
    const name = module.ccall('tarvex_output_name', 'string', ['string'], [file.name]);
    const png = status === 0 ? FS.readFile(name) : null;
    for (const entry of FS.readdir('.'))
      if (entry !== '.' && entry !== '..') FS.unlink(entry);
    FS.chdir('/');
    FS.rmdir(folder);
    show(status, name, png, started);
  }

  function take(file) {
    if (!file || !module) return;
    convert(file).catch(error => {
      lines = [{ text: String(error), error: true }];
      show(-1, 'picture.png', null, performance.now());
    });
  }

  $('file').addEventListener('change', event => {
    take(event.target.files[0]);
    event.target.value = ''; // so that choosing the same file again converts it again
  });
  const drop = $('drop');
  drop.addEventListener('dragover', event => { event.preventDefault(); drop.classList.add('over'); });
  drop.addEventListener('dragleave', () => drop.classList.remove('over'));
  drop.addEventListener('drop', event => {
    event.preventDefault();
    drop.classList.remove('over');
    take(event.dataTransfer.files[0]);
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

  Promise.all([
    createTarvex({
      print: text => lines.push({ text, error: false }),
      printErr: text => lines.push({ text, error: true }),
    }),
    fetch('cp437.fnt').then(r => (r.ok ? r.arrayBuffer() : null)).catch(() => null),
  ]).then(([loaded, font]) => {
    module = loaded;
    fonts.debian = font && new Uint8Array(font);
    document.body.dataset.ready = 'yes';
    $('status').textContent = fonts.debian
      ? 'Ready. Choose or drop a file.'
      : 'Ready, but the bundled font could not be loaded: choose your own, or none.';
  }, error => {
    $('status').textContent = `The converter could not be loaded: ${error}`;
    $('status').className = 'failed';
  });
})();
