// Speed of the wavepitch package against the JavaScript peers, pitchy
// (McLeod) and aubiojs (yinfast and yin), on the same varied 512-sample
// windows in one Node process, and of the native library on the same windows
// (WEB_NATIVE_BENCH names its program). Run by scripts/web.sh bench, which
// installs the package and the peers beside this file.
//
// Prints nanoseconds per sample of audio: the best of several rounds, each
// over every window many times; and, since a shared machine slows some
// rounds, the median of the WebAssembly-to-native ratio of rounds run one
// right after the other.
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, statSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import aubio from 'aubiojs';
import { PitchDetector } from 'pitchy';
import wavepitch from 'wavepitch';

const SIZE = 512;
const WINDOWS = 256;
const ROUNDS = Number(process.env.WEB_BENCH_ROUNDS ?? 7);
const CALLS = Number(process.env.WEB_BENCH_CALLS ?? 20000);

function generator(seed) {
  let state = seed >>> 0;
  return () => {
    state = (Math.imul(state, 1664525) + 1013904223) >>> 0;
    return state / 2 ** 32;
  };
}

// Sung and played material from C3 to C6: pure and rich tones, vibrato,
// glides, noise under a tone, noise alone and silence.
function windows() {
  const random = generator(512);
  const all = new Float64Array(WINDOWS * SIZE);
  for (let w = 0; w < WINDOWS; ++w) {
    const f = 130.81 * 2 ** (random() * 3);
    const amplitude = 0.05 + 0.85 * random();
    const phase = random() * 2 * Math.PI;
    const kind = w % 8;
    const partials = kind === 1 || kind === 2 ? [1, 0.6, 0.4, 0.25, 0.1] : [1];
    for (let i = 0; i < SIZE; ++i) {
      const t = i / 44100;
      const vibrato = kind === 3 ? 0.02 * Math.sin(2 * Math.PI * 5.5 * t) : 0;
      const glide = kind === 4 ? 1 + 0.1 * (i / SIZE) : 1;
      let v = 0;
      partials.forEach((a, k) => {
        v += a * Math.sin(2 * Math.PI * f * (k + 1) * glide * (1 + vibrato) * t + phase * (k + 1));
      });
      v *= amplitude / partials.reduce((s, a) => s + a, 0);
      if (kind === 5) v += 0.1 * amplitude * (2 * random() - 1);
      if (kind === 6) v = 0.3 * (2 * random() - 1);
      if (kind === 7 && w % 16 === 7) v = 0;
      all[w * SIZE + i] = v;
    }
  }
  return all;
}

// One round of calls, in ns per sample.
function round(run) {
  let sink = 0;
  const start = process.hrtime.bigint();
  for (let i = 0; i < CALLS; ++i) sink += run(i % WINDOWS);
  const ns = Number(process.hrtime.bigint() - start);
  if (Number.isNaN(sink)) throw new Error('a tracker gave NaN');
  return ns / (CALLS * SIZE);
}

const all = windows();
const as64 = Array.from({ length: WINDOWS }, (_, w) => all.slice(w * SIZE, (w + 1) * SIZE));
const as32 = as64.map((w) => Float32Array.from(w));

const { Tracker } = await wavepitch();
const tracker = new Tracker();
const { Pitch } = await aubio();
const yinfast = new Pitch('yinfast', SIZE, SIZE, 44100);
const yin = new Pitch('yin', SIZE, SIZE, 44100);
const mcleod64 = PitchDetector.forFloat64Array(SIZE);
const mcleod32 = PitchDetector.forFloat32Array(SIZE);

const candidates = [
  ['wavepitch (WebAssembly)', (w) => tracker.compute(as64[w])],
  ['pitchy, Float64Array', (w) => mcleod64.findPitch(as64[w], 44100)[0]],
  ['pitchy, Float32Array', (w) => mcleod32.findPitch(as32[w], 44100)[0]],
  ['aubiojs yinfast', (w) => yinfast.do(as32[w])],
  ['aubiojs yin', (w) => yin.do(as32[w])],
];

// The native library runs the same windows in a program of its own, one
// round per start.
let native = null;
if (process.env.WEB_NATIVE_BENCH) {
  const dir = mkdtempSync(join(tmpdir(), 'wavepitch-bench-'));
  writeFileSync(join(dir, 'windows.bin'), new Uint8Array(all.buffer));
  const args = [join(dir, 'windows.bin'), String(SIZE), '1', String(CALLS)];
  native = () => Number(execFileSync(process.env.WEB_NATIVE_BENCH, args, { encoding: 'utf8' }).split(' ')[0]);
}

// The rounds of all candidates take turns, so that a busy spell of the
// machine slows each of them alike; each keeps its best round.
for (const [, run] of candidates) round(run); // warm up the JIT
const best = candidates.map(() => Infinity);
let nativeBest = NaN;
const ratios = []; // WebAssembly over native, round by round
for (let r = 0; r < ROUNDS; ++r) {
  let ours = NaN;
  candidates.forEach(([, run], k) => {
    const took = round(run);
    if (k === 0) ours = took;
    best[k] = Math.min(best[k], took);
  });
  if (native) {
    const took = native();
    nativeBest = Math.min(Number.isNaN(nativeBest) ? Infinity : nativeBest, took);
    ratios.push(ours / took);
  }
}
ratios.sort((a, b) => a - b);
const results = candidates.map(([name], k) => [name, { best: best[k] }]);

const wasm = statSync(join(dirname(createRequire(import.meta.url).resolve('wavepitch/package.json')),
  'wavepitch.wasm')).size;
const ours = results[0][1].best;
const peers = results.slice(1).map(([, r]) => r.best);
console.log(`${WINDOWS} windows of ${SIZE} samples, ${ROUNDS} rounds of ${CALLS} calls, best round; Node ${process.version}`);
for (const [name, r] of results) {
  const ratio = name.startsWith('wavepitch') ? '' : `  (${(r.best / ours).toFixed(1)} x wavepitch)`;
  console.log(`${name.padEnd(26)} ${r.best.toFixed(2).padStart(8)} ns/sample${ratio}`);
}
if (!Number.isNaN(nativeBest)) {
  console.log(`${'native wavepitch (C)'.padEnd(26)} ${nativeBest.toFixed(2).padStart(8)} ns/sample` +
    `  (WebAssembly is ${(ours / nativeBest).toFixed(2)} x native; round by round, median ` +
    `${ratios[Math.floor(ratios.length / 2)].toFixed(2)} x)`);
}
console.log(`fastest peer: ${(Math.min(...peers) / ours).toFixed(1)} x slower than wavepitch`);
console.log(`wavepitch.wasm: ${wasm} bytes`);
