// The worklet's audio module against the same block code built natively:
//
//   node block.mjs SITE_DIR/audio.wasm WEB_BLOCK_REFERENCE OUT_DIR
//
// Twelve blocks of a sung tone (a sine near G3 with a little of its octave)
// go through both with the goal tone on at G3 and listening from the first
// block. Every pitch entry must be the same double, bit for bit. The tone's
// samples come from the C library's sin(), whose last bit differs between the
// desktop's library and the browser's now and then: each sample must be
// within one unit in the last place of the desktop's, and the samples the
// browser plays, turned into 32-bit floats, must be the same.
import { execFileSync } from 'node:child_process';
import { mkdirSync, readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';

import * as b from './browser.mjs';

const [wasmPath, reference, out] = process.argv.slice(2);
if (!wasmPath || !reference || !out) {
  console.error('usage: node block.mjs SITE_DIR/audio.wasm WEB_BLOCK_REFERENCE OUT_DIR');
  process.exit(2);
}
mkdirSync(out, { recursive: true });
const BLOCK = 512;
const BLOCKS = 12;
const FREQ = 195.99771799087463; // G3, as the game computes it

const input = new Float64Array(BLOCK * BLOCKS);
for (let i = 0; i < input.length; i++) {
  const t = i / 44100;
  input[i] = 0.4 * Math.sin(2 * Math.PI * 196.3 * t) + 0.1 * Math.sin(4 * Math.PI * 196.3 * t + 0.5);
}
const inFile = join(out, 'blocks.in');
const outFile = join(out, 'blocks.out');
writeFileSync(inFile, Buffer.from(input.buffer));
execFileSync(reference, [inFile, outFile, String(FREQ)]);
const native = new Float64Array(readFileSync(outFile).buffer.slice(0));

const bytes = readFileSync(wasmPath);
const { instance } = await WebAssembly.instantiate(bytes, {});
const { exports } = instance;
exports._initialize();
exports.arrowsong_audio_init();
exports.arrowsong_audio_controls(1, FREQ, 1, 1);
const memory = exports.memory.buffer;
const blockIn = new Float64Array(memory, exports.arrowsong_audio_input(), BLOCK);
const blockOut = new Float64Array(memory, exports.arrowsong_audio_output(), BLOCK);
const pitches = new Float64Array(memory, exports.arrowsong_audio_pitches(), BLOCK);

const same = (a, c) => Object.is(a, c);
// Units in the last place between two doubles of the same sign.
const ulps = (a, c) => {
  const view = new DataView(new ArrayBuffer(16));
  view.setFloat64(0, a);
  view.setFloat64(8, c);
  return Number(view.getBigInt64(0) - view.getBigInt64(8));
};
let toneDiffer = 0;
let toneUlps = 0;
let playedDiffer = 0;
let pitchDiffer = 0;
let pitched = 0;
for (let k = 0; k < BLOCKS; k++) {
  blockIn.set(input.subarray(k * BLOCK, (k + 1) * BLOCK));
  exports.arrowsong_audio_block(BLOCK);
  const base = k * 2 * BLOCK;
  for (let i = 0; i < BLOCK; i++) {
    if (!same(blockOut[i], native[base + i])) {
      toneDiffer++;
      toneUlps = Math.max(toneUlps, Math.abs(ulps(blockOut[i], native[base + i])));
    }
    if (!same(Math.fround(blockOut[i]), Math.fround(native[base + i]))) playedDiffer++;
    if (!same(pitches[i], native[base + BLOCK + i])) pitchDiffer++;
    if (pitches[i] !== 0) pitched++;
  }
}
const last = pitches[BLOCK - 1];
console.log(`tone: ${toneDiffer} of ${BLOCK * BLOCKS} doubles differ (by at most ${toneUlps} ` +
  `units in the last place), ${playedDiffer} as played; pitch entries: ${pitchDiffer} differ; ` +
  `the last block tracks ${last} Hz`);
b.expect(`the tone's doubles are the native block's within one unit in the last place (${toneUlps})`,
  toneUlps <= 1);
b.expect('the tone as played (32-bit floats) is the native block\'s, bit for bit', playedDiffer === 0);
b.expect('the pitch entries are the native block\'s, bit for bit', pitchDiffer === 0);
b.expect(`the tracker heard the tone (${pitched} entries with a pitch, ${last} Hz)`,
  pitched > 0 && Math.abs(b.cents(196.3, last)) < 15);
b.finish();
