// The player: shows a file byte by byte on a canvas, from its own worker.
// Every step is sent, in order; the worker takes each from where the one
// before left it, so a quick run of keys is never lost. The keys are the
// player's only while the focus is inside it.
import { createAnimation } from './animation.js';

const rules = self.tarvexRules;
const $ = id => document.getElementById(id);
const { width: WIDTH, height: HEIGHT } = rules.PICTURE;
const FRAME_BUDGET_MS = 6; // walking time per frame at full speed, painting aside

export function createPlayer({ worker, saver, say, hooks }) {
  for (const rate of rules.SPEEDS) {
    const chosen = rate === rules.DEFAULT_SPEED;
    $('speed').insertBefore(new Option(`${rate} bit/s`, String(rate), chosen, chosen), $('speed').lastElementChild);
  }
  $('screen').width = WIDTH;
  $('screen').height = HEIGHT;
  const context = $('screen').getContext('2d');
  const state = { item: null, ready: false, playable: 0, n: 0, playing: false, sent: 0, shown: 0,
                  sentAt: new Map(), from: 0, since: 0, frameTimes: [], saves: 0 };

  const speed = () => ($('speed').value === 'max' ? 'max' : Number($('speed').value));
  const say_ = (text, failed) => say('player', text, failed);
  const animation = createAnimation({ worker: saver, say, hooks, speed });

  function send(message) {
    const seq = ++state.sent;
    state.sentAt.set(seq, performance.now());
    worker.postMessage({ ...message, seq });
    return seq;
  }
  const idle = () => state.ready && state.shown === state.sent;

  // The canvas as large as its room allows (see rules.fitSize).
  function fit() {
    if ($('player').hidden) return;
    const full = document.fullscreenElement === $('stage');
    const room = { width: $('stage').clientWidth, height: full ? window.innerHeight : window.innerHeight - 160 };
    const size = rules.fitSize(room, window.devicePixelRatio || 1);
    $('screen').style.width = `${size.width}px`;
    $('screen').style.height = `${size.height}px`;
  }

  function loadFile(item, input, font) {
    pause();
    state.item = item;
    state.ready = false;
    state.n = 0;
    state.playable = 0;
    $('player').hidden = false;
    context.fillRect(0, 0, WIDTH, HEIGHT);
    say_('Reading the file…');
    fit();
    send({ type: 'load', ...input, font });
    animation.choose(item, input, font);
    $('screen').focus();
    $('player').scrollIntoView({ block: 'nearest' });
  }

  function close() {
    pause();
    if (document.fullscreenElement) document.exitFullscreen();
    $('player').hidden = true;
    state.item = null;
    animation.choose(null);
  }

  function onMessage(message) {
    if (message.type === 'loading') {
      say_(`Reading the file: ${Math.floor((100 * message.done) / message.total)} %…`);
    } else if (message.type === 'walking') {
      say_('Reading the file: walking it once, so that any byte can be shown quickly…');
    } else if (message.type === 'loaded') {
      state.ready = true;
      state.playable = message.playable;
      $('scrubber').max = String(message.playable);
      $('byte').max = String(message.playable);
      say_('');
    } else if (message.type === 'frame') {
      context.putImageData(new ImageData(new Uint8ClampedArray(message.pixels), WIDTH, HEIGHT), 0, 0);
      if (state.playing) state.frameTimes.push(performance.now() - state.sentAt.get(message.seq));
      for (const seq of state.sentAt.keys()) if (seq <= message.seq) state.sentAt.delete(seq);
      state.shown = message.seq;
      state.n = message.n;
      showPosition();
      if (state.playing && state.n >= state.playable) pause('ended');
    } else if (message.type === 'saved') {
      if (message.png) {
        const name = state.item.output.slice(0, -'.png'.length);
        const link = $('moment');
        if (link.href) URL.revokeObjectURL(link.href);
        link.href = URL.createObjectURL(new Blob([message.png], { type: 'image/png' }));
        link.download = `${name}-${message.n}.png`;
        link.click();
        say_(`Saved ${link.download}.`);
      } else {
        say_(`That moment could not be saved: ${message.lines.map(line => line.text).join(' ')}`, true);
      }
      state.saves += 1;
    } else if (message.type === 'error') {
      say_(message.request === 'load' ? `This file cannot be played: ${message.message}`
        : `The player failed: ${message.message}`, true);
      if (message.seq) state.shown = Math.max(state.shown, message.seq);
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
    $('scrubber').value = String(state.n);
    if (document.activeElement !== $('byte')) $('byte').value = String(state.n);
    const where = `byte ${state.n.toLocaleString('en')} of ${state.playable.toLocaleString('en')}`;
    $('position').textContent = where + clock(state.n);
    $('screen').setAttribute('aria-label', `${state.item ? state.item.path : 'The screen'}, ${where}`);
  }

  // A message of the last moment saved goes once the player moves on.
  const moveOn = () => state.ready && say_('');

  function seek(n) {
    moveOn();
    n = Math.max(0, Math.min(state.playable, Math.floor(n) || 0));
    state.from = n;
    state.since = performance.now();
    return send({ type: 'seek', n });
  }
  function step(type, forward) {
    pause();
    moveOn();
    send(type === 'byte' ? { type, delta: forward ? 1 : -1 } : { type, forward });
  }

  function play() {
    if (!state.ready) return;
    if (state.n >= state.playable) seek(0);
    state.playing = true;
    state.from = state.n;
    state.since = performance.now();
    state.frameTimes = [];
    hooks.playing = 'yes';
    $('toggle').textContent = 'Pause';
    requestAnimationFrame(tick);
  }
  function pause(why = 'no') {
    if (!state.playing && why === 'no') return;
    state.playing = false;
    hooks.playing = why;
    $('toggle').textContent = 'Play';
  }
  const toggle = () => (state.playing ? pause() : play());

  // Each frame asks for the bytes that have arrived by now at the chosen
  // speed, or for as many as fit in the frame's time.
  function tick(now) {
    if (!state.playing) return;
    if (idle()) {
      const rate = speed();
      if (rate === 'max') {
        send({ type: 'run', budget: FRAME_BUDGET_MS });
      } else {
        const target = Math.min(state.playable, state.from + Math.floor(((now - state.since) / 1000) * (rate / 10)));
        if (target > state.n) send({ type: 'seek', n: target });
      }
    }
    requestAnimationFrame(tick);
  }

  function save() {
    if (!state.ready) return;
    say_('Saving this moment…');
    send({ type: 'save' });
  }

  function fullScreen() {
    if (document.fullscreenElement) document.exitFullscreen();
    else $('stage').requestFullscreen().catch(error => say_(`Full screen is not available: ${error.message}`, true));
  }

  function changeSpeed(by) {
    $('speed').selectedIndex = Math.max(0, Math.min($('speed').length - 1, $('speed').selectedIndex + by));
    speedChanged();
  }
  function speedChanged() {
    state.from = state.n;
    state.since = performance.now();
    if (state.item) showPosition();
    animation.describe();
  }

  const KEYS = {
    ' ': toggle,
    ArrowLeft: () => step('byte', false),
    ArrowRight: () => step('byte', true),
    ArrowUp: () => step('line', false),
    ArrowDown: () => step('line', true),
    Home: () => { pause(); seek(0); },
    End: () => { pause(); seek(state.playable); },
    '-': () => changeSpeed(-1),
    '+': () => changeSpeed(1),
    '=': () => changeSpeed(1),
    g: () => $('byte').select(),
    s: save,
    f: fullScreen,
  };
  $('player').addEventListener('keydown', event => {
    const key = event.key.length === 1 ? event.key.toLowerCase() : event.key;
    if (!KEYS[key] || event.ctrlKey || event.metaKey || event.altKey) return;
    const target = event.target;
    // Fields and the speed list keep their own keys; a button its Space.
    if (target.tagName === 'INPUT' && target.type !== 'range') return;
    if (target.tagName === 'SELECT' || (target.tagName === 'BUTTON' && key === ' ')) return;
    event.preventDefault();
    KEYS[key]();
  });

  $('toggle').addEventListener('click', toggle);
  $('speed').addEventListener('change', () => {
    speedChanged();
    $('screen').focus();
  });
  $('scrubber').addEventListener('input', () => { pause(); seek(Number($('scrubber').value)); });
  $('jump').addEventListener('submit', event => {
    event.preventDefault();
    pause();
    seek(Number($('byte').value));
    $('screen').focus();
  });
  $('byte-back').addEventListener('click', () => step('byte', false));
  $('byte-on').addEventListener('click', () => step('byte', true));
  $('line-back').addEventListener('click', () => step('line', false));
  $('line-on').addEventListener('click', () => step('line', true));
  $('save').addEventListener('click', save);
  $('full').addEventListener('click', fullScreen);
  $('screen').addEventListener('click', () => $('screen').focus());
  window.addEventListener('resize', fit);
  document.addEventListener('fullscreenchange', fit);

  // For scripts and the browser tests.
  hooks.player = {
    seek: n => { pause(); seek(n); return new Promise(resolve => whenIdle(resolve)); },
    settled: () => new Promise(resolve => whenIdle(resolve)),
    get frameTimes() { return state.frameTimes; },
    get playable() { return state.playable; },
    get ready() { return state.ready; },
    get moment() { return state.n; },
    get saves() { return state.saves; },
  };
  function whenIdle(resolve) {
    const poll = () => (idle() ? resolve(state.n) : setTimeout(poll, 5));
    poll();
  }

  return { loadFile, close, onMessage, fit };
}
