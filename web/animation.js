// "Save as GIF" and "Save as APNG": the file's playback at the player's
// speed, made by tarvex-play's own code in a worker of its own
// (animation-worker.js), with progress and Cancel. Each save has a number,
// so that word of one cancelled is never taken for the next.
const rules = self.tarvexRules;
const $ = id => document.getElementById(id);
const sizeText = bytes => (bytes >= 1e6 ? `${(bytes / 1e6).toFixed(1)} MB` : `${Math.ceil(bytes / 1e3)} KB`);

export function createAnimation({ worker, say, hooks, speed }) {
  const state = { file: null, running: null, sent: 0, saves: 0, stopped: 0, last: null };
  const say_ = (text, failed) => say('animation', text, failed);
  const rate = () => rules.animationRate(speed());
  const command = (format, bps) =>
    rules.animationCommand(format, bps, rules.baseName(state.file.item.path), Boolean(state.file.font));

  // What the buttons save, and the command line that writes the same bytes.
  function describe() {
    if (!state.file) return;
    const { delay, hold, maxLength } = rules.ANIMATION_DEFAULTS;
    const fastest = speed() === 'max' ? ' (the fastest listed: "as fast as the screen allows" has no fixed speed)' : '';
    $('animation-note').textContent = `GIF and APNG: the playback at ${rate()} bit/s${fastest}, a frame every ` +
      `${delay} cs, the end held ${hold} s, looping, at most ${maxLength} s; the same bytes as ` +
      `${command('gif', rate())} (--apng for APNG).`;
  }

  function running(save) {
    state.running = save;
    $('save-gif').disabled = $('save-apng').disabled = Boolean(save);
    $('animation-cancel').hidden = !save;
  }

  function start(format) {
    if (!state.file || state.running) return;
    const bps = rate();
    const save = { id: ++state.sent, format, bps, name: rules.animationName(state.file.item.output, format) };
    running(save);
    say_(`Saving ${save.name}…`);
    worker.postMessage({ type: 'save', id: save.id, format, rate: bps, ...state.file.input, font: state.file.font });
  }

  function cancel() {
    if (!state.running) return;
    worker.postMessage({ type: 'cancel', id: state.running.id });
    say_(`Saving ${state.running.name} was cancelled.`);
    state.last = { name: state.running.name, status: 'cancelled' };
    running(null);
  }

  function onMessage(message) {
    if (message.type === 'stopped') state.stopped += 1; // a cancelled save has ended
    const save = state.running;
    if (!save || message.id !== save.id) return;
    if (message.type === 'progress') {
      say_(`Saving ${save.name}: ${Math.floor((100 * message.done) / message.total)} % of the file, ` +
           `${sizeText(message.size)} so far…`);
      return;
    }
    running(null);
    if (message.type === 'saved') {
      const link = $('animation');
      if (link.href) URL.revokeObjectURL(link.href);
      link.href = URL.createObjectURL(message.blob);
      link.download = save.name;
      link.click();
      const cut = message.cut ? ` Its ${rules.cutNote()}.` : '';
      say_(`Saved ${save.name} (${sizeText(message.blob.size)}), the bytes of ${command(save.format, save.bps)}.${cut}`);
      state.last = { name: save.name, status: 'saved', size: message.blob.size, cut: message.cut, ms: message.ms };
    } else {
      say_(`${save.name} could not be saved: ${message.message}`, true);
      state.last = { name: save.name, status: 'failed', message: message.message };
    }
    state.saves += 1;
  }

  // The file the buttons save from now on; none (null) when the player closes.
  function choose(item, input, font) {
    cancel();
    say_('');
    state.file = item && { item, input, font };
    describe();
  }

  $('save-gif').addEventListener('click', () => start('gif'));
  $('save-apng').addEventListener('click', () => start('apng'));
  $('animation-cancel').addEventListener('click', cancel);
  worker.addEventListener('message', event => onMessage(event.data));

  hooks.animation = {
    get saves() { return state.saves; },
    get last() { return state.last; },
    get stopped() { return state.stopped; },
  };
  return { choose, describe };
}
