// The installed package as a user meets it: loading, the Tracker's life,
// input checking, track() against pitchtrack, and the module's memory.
// WEB_PITCHTRACK names the pitchtrack program, WEB_VERSION the project's
// version.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { test } from 'node:test';
import wavepitch, { PitchRing } from 'wavepitch';

const api = await wavepitch();
const { Tracker, neededSampleCount, track, memoryInUse } = api;

function sine(frequency, count, amplitude = 0.5, rate = 44100) {
  const out = new Float64Array(count);
  for (let i = 0; i < count; ++i) out[i] = amplitude * Math.sin(2 * Math.PI * frequency * i / rate);
  return out;
}

const packageDir = dirname(createRequire(import.meta.url).resolve('wavepitch/package.json'));

test('the package is the project\'s version, MIT, and loads from its own bytes or module', async () => {
  const manifest = JSON.parse(readFileSync(join(packageDir, 'package.json'), 'utf8'));
  assert.equal(manifest.version, process.env.WEB_VERSION);
  assert.equal(manifest.license, 'MIT');
  assert.deepEqual(manifest.dependencies ?? {}, {});
  const bytes = readFileSync(join(packageDir, 'wavepitch.wasm'));
  const tone = sine(440, 512);
  const expected = new Tracker().compute(tone);
  for (const wasmBinary of [bytes, new Uint8Array(bytes).buffer, await WebAssembly.compile(bytes)]) {
    const other = await wavepitch({ wasmBinary });
    assert.equal(new other.Tracker().compute(tone), expected);
  }
  await assert.rejects(wavepitch({ wasmBinary: 'wavepitch.wasm' }), { name: 'TypeError', message: /wasmBinary/ });
});

test('a Tracker follows a tone, takes every sample type alike, resets and is disposed', () => {
  const t = new Tracker();
  assert.equal(t.lastPitch, -1);
  assert.equal(t.confidence, -1);
  // Values that 32-bit floats hold exactly, so that all three types agree.
  const tone = Float32Array.from(sine(440, 2048));
  const pitch = t.compute(new Float64Array(tone), 0, 512);
  assert.ok(Math.abs(pitch - 439.74) < 0.01, `440 Hz gave ${pitch}`);
  assert.equal(t.lastPitch, pitch);
  assert.equal(t.confidence, 1);
  const asFloat32 = new Tracker();
  const asArray = new Tracker();
  assert.equal(asFloat32.compute(tone, 0, 512), pitch);
  assert.equal(asArray.compute(Array.from(tone), 0, 512), pitch);
  // Defaults: from start to the end; the largest power of two is used.
  const whole = new Tracker();
  const part = new Tracker();
  assert.equal(whole.compute(tone.subarray(1000)), part.compute(tone, 1000));
  const again = t.compute(tone, 512, 512);
  assert.equal(t.confidence, 2);
  assert.equal(t.compute(new Float64Array(512)), again, 'silence is bridged by the history');
  assert.equal(t.confidence, 1);
  t.reset();
  assert.equal(t.lastPitch, -1);
  assert.equal(t.confidence, -1);
  assert.equal(t.compute(tone, 0, 0), 0);
  for (const tr of [t, asFloat32, asArray, whole, part]) tr.dispose();
  t.dispose();
  assert.throws(() => t.compute(tone), { name: 'TypeError', message: /disposed/ });
  assert.throws(() => t.reset(), { name: 'TypeError', message: /disposed/ });
  assert.throws(() => t.lastPitch, { name: 'TypeError', message: /disposed/ });
  assert.throws(() => t.confidence, { name: 'TypeError', message: /disposed/ });
});

test('neededSampleCount is the library\'s', () => {
  assert.equal(neededSampleCount(130), 1024);
  assert.equal(neededSampleCount(44100), 4);
  assert.equal(neededSampleCount(200000), 0);
  for (const bad of [0, -5, NaN]) assert.throws(() => neededSampleCount(bad), { name: 'RangeError', message: /minFreq/ });
  assert.throws(() => neededSampleCount('130'), { name: 'TypeError', message: /minFreq/ });
});

test('bad input is a TypeError or RangeError naming the argument', () => {
  const t = new Tracker();
  const tone = sine(300, 1024);
  for (const bad of ['abc', { length: 512 }, null, undefined, 512, [0.1, 'x']]) {
    assert.throws(() => t.compute(bad), { name: 'TypeError', message: /samples/ });
    assert.throws(() => track(bad), { name: 'TypeError', message: /samples/ });
  }
  for (const start of [-1, 1025, 1.5, Infinity]) {
    assert.throws(() => t.compute(tone, start, 0), { name: 'RangeError', message: /start/ });
  }
  assert.throws(() => t.compute(tone, '0'), { name: 'TypeError', message: /start/ });
  for (const [start, count] of [[0, 1025], [1000, 25], [0, -1], [0, 2.5]]) {
    assert.throws(() => t.compute(tone, start, count), { name: 'RangeError', message: /count/ });
  }
  for (const window of [0, 2, 3, 6, 1000, 2 ** 21, 4.5]) {
    assert.throws(() => track(tone, { window }), { name: 'RangeError', message: /window/ });
  }
  for (const hop of [0, -1, 0.5]) assert.throws(() => track(tone, { hop }), { name: 'RangeError', message: /hop/ });
  for (const sampleRate of [0, -44100, NaN, Infinity, 100, 2e7]) {
    assert.throws(() => track(tone, { sampleRate }), { name: 'RangeError', message: /sampleRate/ });
  }
  assert.throws(() => track(tone, { sampleRate: '44100' }), { name: 'TypeError', message: /sampleRate/ });
  for (const channels of [0, 3, 1.5]) {
    assert.throws(() => track(tone, { channels }), { name: 'RangeError', message: /channels/ });
  }
  t.dispose();
});

// A 32-bit float WAV file: what pitchtrack reads without any conversion.
function floatWav(path, interleaved, channels, rate) {
  const data = Buffer.from(Float32Array.from(interleaved).buffer);
  const header = Buffer.alloc(44);
  header.write('RIFF', 0);
  header.writeUInt32LE(36 + data.length, 4);
  header.write('WAVEfmt ', 8);
  header.writeUInt32LE(16, 16);
  header.writeUInt16LE(3, 20); // IEEE float
  header.writeUInt16LE(channels, 22);
  header.writeUInt32LE(rate, 24);
  header.writeUInt32LE(rate * channels * 4, 28);
  header.writeUInt16LE(channels * 4, 32);
  header.writeUInt16LE(32, 34);
  header.write('data', 36);
  header.writeUInt32LE(data.length, 40);
  writeFileSync(path, Buffer.concat([header, data]));
}

test('track() gives what pitchtrack --csv prints for the same stereo recording', () => {
  assert.ok(process.env.WEB_PITCHTRACK, 'WEB_PITCHTRACK must name pitchtrack');
  // A phrase on the left channel, a quieter fifth above on the right, a gap.
  const frames = 44100;
  const stereo = new Float32Array(frames * 2);
  for (let i = 0; i < frames; ++i) {
    const f = i < 15000 ? 196 : i < 30000 ? 0 : 262;
    stereo[2 * i] = f ? 0.6 * Math.sin(2 * Math.PI * f * i / 44100) : 0;
    stereo[2 * i + 1] = f ? 0.2 * Math.sin(2 * Math.PI * 1.5 * f * i / 44100) : 0;
  }
  const dir = mkdtempSync(join(tmpdir(), 'wavepitch-track-'));
  floatWav(join(dir, 'take.wav'), stereo, 2, 44100);
  const printed = execFileSync(process.env.WEB_PITCHTRACK,
    ['--csv', '--window', '1024', '--hop', '300', join(dir, 'take.wav')], { encoding: 'utf8' })
    .trim().split('\n').slice(1).map((line) => line.split(',').map(Number));
  const got = track(stereo, { channels: 2, window: 1024, hop: 300 });
  assert.equal(got.time.length, printed.length);
  assert.ok(printed.filter((row) => row[1] > 0).length > 50, 'pitchtrack found pitches');
  printed.forEach(([time, frequency, confidence], i) => {
    assert.ok(Math.abs(got.time[i] - time) <= 5e-7, `time of window ${i}`);
    assert.ok(Math.abs(got.frequency[i] - frequency) <= 5e-4, `frequency of window ${i}`);
    assert.ok(Math.abs(got.confidence[i] - confidence) <= 0.05, `confidence of window ${i}`);
  });
  // Defaults: one channel at 44100 Hz, windows and hops of 512.
  const mono = track(sine(330, 5000));
  assert.equal(mono.frequency.length, 9);
  assert.deepEqual(Array.from(track(new Float64Array(100)).time), []);
});

test('a million computes and a thousand trackers leave the module\'s memory as it was', () => {
  const tone = sine(250, 4096);
  const warm = new Tracker();
  warm.compute(tone, 0, 512);
  track(tone);
  const before = memoryInUse();
  let sum = 0;
  for (let i = 0; i < 1_000_000; ++i) sum += warm.compute(tone, i & 1023, 512);
  assert.ok(sum > 0);
  for (let i = 0; i < 1000; ++i) {
    const t = new Tracker();
    t.compute(tone, 0, 512);
    t.dispose();
  }
  for (let i = 0; i < 100; ++i) track(tone, { window: 1024, hop: 64 });
  // Bad input on the way must not leak either.
  for (let i = 0; i < 100; ++i) assert.throws(() => track(tone, { channels: 3 }));
  assert.equal(memoryInUse(), before);
  warm.dispose();
  assert.ok(memoryInUse() < before, 'dispose gives the record back');
});

test('a PitchRing hands entries across in order, through the count\'s wrap, and counts what it drops', () => {
  assert.equal(new PitchRing(100).capacity, 128);
  const writer = new PitchRing(4);
  // The count just short of its 32-bit wrap, before the reader joins.
  new Int32Array(writer.buffer, 0, 1)[0] = -3;
  const reader = new PitchRing(writer.buffer);
  const entries = (from, to) =>
    Array.from({ length: to - from }, (_, k) => ({ time: from + k, frequency: 100 + from + k, confidence: 0.2 }));
  for (const e of entries(0, 3)) writer.push(e.time, e.frequency, e.confidence);
  assert.deepEqual(reader.read(), entries(0, 3));
  assert.deepEqual(reader.read(), []);
  // Seven more into four slots: the reader gets the newest four, minus the
  // one whose slot the writer could be filling, and is told of the rest.
  for (const e of entries(3, 10)) writer.push(e.time, e.frequency, e.confidence);
  assert.deepEqual(reader.read(), entries(7, 10));
  assert.equal(reader.dropped, 4);
  writer.push(10, 110, 0.2);
  assert.deepEqual(reader.read(), entries(10, 11));

  assert.throws(() => new PitchRing(0), RangeError);
  assert.throws(() => new PitchRing(new SharedArrayBuffer(8 + 3 * 24)), TypeError);
  assert.throws(() => new PitchRing(new ArrayBuffer(8 + 4 * 24)), TypeError);
});
