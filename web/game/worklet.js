// Arrowsong's audio worklet: the game's audio block (audio.wasm, the
// desktop's C++) on the microphone. The browser hands over 128-frame render
// quanta; they are gathered into blocks of 512 frames, the block code runs on
// each full block, and its output plays over the next four quanta. process()
// allocates nothing and never waits; the messages from the page (the tone,
// its frequency, listening, and a request for the pitch entries when a round
// is judged) are handled between quanta.
'use strict';

const BLOCK = 512;

class ArrowsongProcessor extends AudioWorkletProcessor {
  constructor(options) {
    super();
    const module = new WebAssembly.Module(options.processorOptions.wasm);
    // The block code calls nothing outside itself; an import it might name
    // anyway (the C library's exit) only stops the processor.
    const imports = {};
    for (const entry of WebAssembly.Module.imports(module)) {
      imports[entry.module] = imports[entry.module] || {};
      imports[entry.module][entry.name] = () => { throw new Error(`${entry.module}.${entry.name}`); };
    }
    const exports = new WebAssembly.Instance(module, imports).exports;
    if (exports._initialize) exports._initialize();
    exports.arrowsong_audio_init();
    const memory = exports.memory.buffer;
    this.exports = exports;
    this.input = new Float64Array(memory, exports.arrowsong_audio_input(), BLOCK);
    this.output = new Float64Array(memory, exports.arrowsong_audio_output(), BLOCK);
    this.pitches = new Float64Array(memory, exports.arrowsong_audio_pitches(), BLOCK);
    this.filled = 0;
    this.freq = 440;
    this.port.onmessage = (event) => this.message(event.data);
    this.port.postMessage({ type: 'ready' });
  }

  message(data) {
    if (data.type === 'controls') {
      this.freq = data.freq;
      this.exports.arrowsong_audio_controls(data.tone, data.freq, data.listen, data.reset);
    } else if (data.type === 'judge') {
      // A release: tone and listening stop before the entries are taken.
      this.exports.arrowsong_audio_controls(0, this.freq, 0, 0);
      this.port.postMessage({ type: 'pitches', pitches: this.pitches.slice() });
    }
  }

  process(inputs, outputs) {
    const out = outputs[0][0];
    const channels = inputs[0];
    const mic = channels && channels.length > 0 ? channels[0] : null;
    const at = this.filled;
    const n = Math.min(out.length, BLOCK - at);
    for (let i = 0; i < n; i++) {
      this.input[at + i] = mic ? mic[i] : 0;
      out[i] = this.output[at + i];
    }
    this.filled = at + n;
    if (this.filled === BLOCK) {
      this.exports.arrowsong_audio_block(BLOCK);
      this.filled = 0;
    }
    return true;
  }
}

registerProcessor('arrowsong', ArrowsongProcessor);
