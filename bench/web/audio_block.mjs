// The audio worklet's cost per block of 512 frames, measured in Node on the
// very code the browser runs: worklet.js's processor over the built
// audio.wasm, fed four 128-frame quanta per block.
//   node bench/web/audio_block.mjs SITE_DIR/audio.wasm
// Three cases: the tone alone; listening to a sung 196 Hz tone (the tracker
// on every block); both. A block lasts 11.6 ms at 44100 Hz.
import { readFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import vm from 'node:vm';

const [wasmPath] = process.argv.slice(2);
if (!wasmPath) {
  console.error('usage: node bench/web/audio_block.mjs SITE_DIR/audio.wasm');
  process.exit(2);
}
const here = dirname(fileURLToPath(import.meta.url));
const workletSource = readFileSync(join(here, '../../web/game/worklet.js'), 'utf8');

// The worklet's global scope, as far as the processor uses it.
let Processor = null;
const scope = {
  AudioWorkletProcessor: class {
    constructor() {
      this.port = { postMessage() {}, onmessage: null };
    }
  },
  registerProcessor: (name, cls) => { Processor = cls; },
  WebAssembly,
  Math,
  Float64Array,
  Error,
};
vm.runInNewContext(workletSource, scope);

function measure(name, controls, seconds = 2) {
  const wasm = readFileSync(wasmPath);
  const processor = new Processor({ processorOptions: { wasm: wasm.buffer.slice(wasm.byteOffset, wasm.byteOffset + wasm.length) } });
  processor.message({ type: 'controls', ...controls });
  const mic = new Float32Array(128);
  const out = new Float32Array(128);
  const inputs = [[mic]];
  const outputs = [[out]];
  let phase = 0;
  const quantum = () => {
    for (let i = 0; i < 128; i++) {
      mic[i] = 0.5 * Math.sin((2 * Math.PI * (phase++ % 225)) / 225);
    }
    processor.process(inputs, outputs);
  };
  for (let i = 0; i < 400; i++) quantum(); // warm up
  let blocks = 0;
  const started = process.hrtime.bigint();
  const until = started + BigInt(seconds * 1e9);
  while (process.hrtime.bigint() < until) {
    for (let q = 0; q < 4; q++) quantum();
    blocks++;
  }
  const micros = Number(process.hrtime.bigint() - started) / 1000 / blocks;
  console.log(`${name}: ${micros.toFixed(1)} us per block of 512 frames ` +
    `(${((micros / 11610) * 100).toFixed(2)} % of the block's 11.6 ms)`);
}

measure('tone only', { tone: 1, freq: 195.998, listen: 0, reset: 0 });
measure('listening', { tone: 0, freq: 195.998, listen: 1, reset: 1 });
measure('tone and listening', { tone: 1, freq: 195.998, listen: 1, reset: 1 });
