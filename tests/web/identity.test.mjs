// The package gives the native library's results bit for bit, and track()
// those of pitchtrack's stream: the same plan of calls, over the same
// samples, through both, compared as raw doubles.
// WEB_IDENTITY_NATIVE names the native program (identity_native.cpp).
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { test } from 'node:test';
import wavepitch from 'wavepitch';

const native = process.env.WEB_IDENTITY_NATIVE;

// A small deterministic generator, so that a failure can be replayed.
function generator(seed) {
  let state = seed >>> 0;
  return () => {
    state = (Math.imul(state, 1664525) + 1013904223) >>> 0;
    return state / 2 ** 32;
  };
}

const SEGMENT = 8192;

// Segments of varied material: tones over the whole range, harmonics, noise,
// silence, constants, and the values a careless caller may pass (NaN,
// infinities, values that overflow once summed, subnormals, negative zeros).
function material() {
  const random = generator(22);
  const kinds = [];
  const tone = (f, a, phase = 0, dc = 0) => (i) => dc + a * Math.sin(2 * Math.PI * f * i / 44100 + phase);
  for (const f of [55, 82.4, 110, 130.81, 196, 261.63, 440, 523.25, 880, 1500, 2950, 3500]) {
    kinds.push(tone(f, 0.5, random() * 6));
  }
  kinds.push(tone(220, 1e-4), tone(220, 0.9, 0, 0.3), tone(330, 0.2, 1, -0.7));
  kinds.push((i) => 0.6 * Math.sin(2 * Math.PI * 147 * i / 44100) + 0.3 * Math.sin(2 * Math.PI * 294 * i / 44100) +
    0.2 * Math.sin(2 * Math.PI * 441 * i / 44100));
  kinds.push((i) => 0.4 * Math.sin(2 * Math.PI * 180 * i / 44100) + 0.8 * Math.sin(2 * Math.PI * 360 * i / 44100));
  kinds.push((i) => ((i * 200 / 44100) % 1) - 0.5); // sawtooth
  kinds.push((i) => (Math.floor(i * 2 * 300 / 44100) % 2 ? 0.5 : -0.5)); // square
  kinds.push(() => random() * 2 - 1); // white noise
  kinds.push((i) => 0.5 * Math.sin(2 * Math.PI * 250 * i / 44100) + 0.1 * (random() * 2 - 1));
  kinds.push((i) => 0.5 * Math.sin(2 * Math.PI * (150 + i / 40) * i / 44100)); // glide
  kinds.push(() => 0, () => -0, () => 0.25);
  kinds.push((i) => (i % 2 ? 1 : -1)); // Nyquist
  kinds.push((i) => 1e300 * Math.sin(2 * Math.PI * 300 * i / 44100));
  kinds.push((i) => 1e-310 * Math.sin(2 * Math.PI * 300 * i / 44100));
  kinds.push((i) => (i % 1000 === 500 ? NaN : 0.5 * Math.sin(2 * Math.PI * 400 * i / 44100)));
  kinds.push((i) => (i === 3000 ? Infinity : 0.5 * Math.sin(2 * Math.PI * 400 * i / 44100)));
  kinds.push((i) => (i === 100 ? -Infinity : 0.3 * Math.sin(2 * Math.PI * 210 * i / 44100)));
  // Notes that change every 1000 samples, with silent gaps, for the histories.
  kinds.push((i) => {
    const note = Math.floor(i / 1000) % 6;
    return note === 4 ? 0 : 0.5 * Math.sin(2 * Math.PI * [220, 225, 110, 440, 0, 300][note] * i / 44100);
  });
  const samples = new Float64Array(kinds.length * SEGMENT);
  kinds.forEach((kind, k) => {
    for (let i = 0; i < SEGMENT; ++i) samples[k * SEGMENT + i] = kind(i);
  });
  return samples;
}

function plan(length) {
  const random = generator(7);
  const calls = [];
  const counts = [0, 1, 2, 3, 4, 5, 7, 8, 100, 511, 513, 1000, 1024, 2048, 4096, 5000, 8192, 16384];
  // Fresh records over single windows, mostly the game's 512 samples.
  for (let k = 0; k < 320; ++k) {
    const count = k % 3 === 0 ? counts[k % counts.length] : 512;
    const start = Math.floor(random() * (length - count + 1));
    calls.push('new', `compute ${start} ${count}`);
  }
  // Histories: one record over consecutive windows, with resets among them.
  for (let h = 0; h < 6; ++h) {
    calls.push('new');
    const hop = [512, 256, 1000, 512, 384, 700][h];
    let start = Math.floor(random() * (length / 2));
    for (let k = 0; k < 150 && start + 1024 <= length; ++k, start += hop) {
      if (k === 90) calls.push('reset');
      calls.push(`compute ${start} ${h === 3 ? 1024 : 512}`);
    }
  }
  for (const f of [1, 2, 50, 130, 440, 44100, 132300, 132301, 1000000, 2147483647]) calls.push(`needed ${f}`);
  // Whole recordings through track(): pitchtrack's mixing, conversion and
  // window walk compiled into the module, against the same source built
  // natively (rate, channels, window, hop, first sample, samples).
  for (const t of ['44100 1 512 512 0 163840', '48000 2 1024 441 0 163840', '22050 1 512 256 24576 65536',
    '96000 3 2048 300 0 120000', '8000 1 256 100 40960 40000', '44100 2 4 1 0 6000']) {
    calls.push(`track ${t}`);
  }
  return calls;
}

function hexBits(value) {
  const view = new DataView(new ArrayBuffer(8));
  view.setFloat64(0, value, true);
  return view.getBigUint64(0, true).toString(16).padStart(16, '0');
}

test('every call of a varied plan gives the native library\'s and pitchtrack\'s results bit for bit', async () => {
  assert.ok(native, 'WEB_IDENTITY_NATIVE must name the native program');
  const samples = material();
  const calls = plan(samples.length);
  const dir = mkdtempSync(join(tmpdir(), 'wavepitch-identity-'));
  writeFileSync(join(dir, 'samples.bin'), new Uint8Array(samples.buffer));
  writeFileSync(join(dir, 'plan.txt'), calls.join('\n') + '\n');
  const expected = execFileSync(native, [join(dir, 'samples.bin'), join(dir, 'plan.txt')], {
    encoding: 'utf8',
    maxBuffer: 1 << 26,
  }).trim().split('\n');

  const { Tracker, neededSampleCount, track } = await wavepitch();
  let tracker = new Tracker();
  const got = [];
  for (const call of calls) {
    const [op, a, b] = call.split(' ');
    if (op === 'new') {
      tracker.dispose();
      tracker = new Tracker();
    } else if (op === 'reset') {
      tracker.reset();
    } else if (op === 'compute') {
      const pitch = tracker.compute(samples, Number(a), Number(b));
      got.push(`${hexBits(pitch)} ${hexBits(tracker.lastPitch)} ${tracker.confidence}`);
    } else if (op === 'track') {
      const [rate, channels, window, hop, start, count] = call.split(' ').slice(1).map(Number);
      const r = track(samples.subarray(start, start + count), { sampleRate: rate, channels, window, hop });
      got.push(String(r.time.length));
      for (let i = 0; i < r.time.length; ++i) {
        got.push(`${hexBits(r.time[i])} ${hexBits(r.frequency[i])} ${hexBits(r.confidence[i])}`);
      }
    } else {
      got.push(String(neededSampleCount(Number(a))));
    }
  }
  tracker.dispose();
  assert.equal(got.length, expected.length);
  const pitched = got.filter((line) => !line.startsWith('0000000000000000')).length;
  assert.ok(pitched > 400, `the plan must find pitches, found ${pitched}`);
  for (let i = 0; i < got.length; ++i) assert.equal(got[i], expected[i], `call ${i}`);
});
