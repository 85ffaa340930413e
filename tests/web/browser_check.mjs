// The package in Chromium, as the README's live-microphone example uses it:
// the module on a page (fetching its .wasm itself) and the ready-made
// AudioWorklet processor (given the .wasm's bytes) on a 44100 Hz
// AudioContext, whose microphone is a WAV file of a sung-like 220 Hz tone:
// one node posting messages, one writing into a PitchRing on the
// cross-origin isolated page.
// Run in the folder where the package is installed; WEB_BROWSER_DEPS names
// the folder where npm ci installed puppeteer-core.
import assert from 'node:assert/strict';
import { createServer } from 'node:http';
import { mkdtempSync, readFileSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { extname, join } from 'node:path';
import { test } from 'node:test';
import wavepitch from 'wavepitch';

const require = createRequire(join(process.env.WEB_BROWSER_DEPS ?? '.', 'package.json'));
const puppeteer = require('puppeteer-core');
const packageDir = join(process.cwd(), 'node_modules', 'wavepitch');

// 16-bit PCM: what Chromium's fake capture device plays, in a loop.
function pcmWav(samples, rate) {
  const data = Buffer.alloc(samples.length * 2);
  samples.forEach((v, i) => data.writeInt16LE(Math.round(v * 32767), 2 * i));
  const header = Buffer.alloc(44);
  header.write('RIFF', 0);
  header.writeUInt32LE(36 + data.length, 4);
  header.write('WAVEfmt ', 8);
  header.writeUInt32LE(16, 16);
  header.writeUInt16LE(1, 20);
  header.writeUInt16LE(1, 22);
  header.writeUInt32LE(rate, 24);
  header.writeUInt32LE(rate * 2, 28);
  header.writeUInt16LE(2, 32);
  header.writeUInt16LE(16, 34);
  header.write('data', 36);
  header.writeUInt32LE(data.length, 40);
  return Buffer.concat([header, data]);
}

const page = `<!doctype html><meta charset="utf-8"><title>wavepitch</title>
<script type="module">
import wavepitch, { PitchRing } from '/wavepitch/wavepitch.js';
window.results = { pitches: [], errors: [], ring: [], ringMessages: [] };
try {
  const { Tracker } = await wavepitch();
  const tone = new Float64Array(await (await fetch('/tone.bin')).arrayBuffer());
  const tracker = new Tracker();
  window.results.onPage = [0, 512, 1024].map((start) => tracker.compute(tone, start, 512));
  tracker.dispose();

  const context = new AudioContext({ sampleRate: 44100 });
  const wasmBinary = await (await fetch('/wavepitch/wavepitch.wasm')).arrayBuffer();
  await context.audioWorklet.addModule('/wavepitch/wavepitch-processor.js');
  const microphone = await navigator.mediaDevices.getUserMedia({
    audio: { echoCancellation: false, noiseSuppression: false, autoGainControl: false },
  });
  const node = new AudioWorkletNode(context, 'wavepitch', { processorOptions: { wasmBinary } });
  node.port.onmessage = ({ data }) =>
    (data.error ? window.results.errors : window.results.pitches).push(data);
  const source = context.createMediaStreamSource(microphone);
  source.connect(node).connect(context.destination);
  if (!crossOriginIsolated) throw new Error('the page is not cross-origin isolated');
  const ring = new PitchRing(64);
  const ringNode = new AudioWorkletNode(context, 'wavepitch', { processorOptions: { wasmBinary, ring: ring.buffer } });
  ringNode.port.onmessage = ({ data }) => window.results.ringMessages.push(data);
  source.connect(ringNode).connect(context.destination);
  setInterval(() => {
    window.results.ring.push(...ring.read());
    window.results.ringDropped = ring.dropped;
  }, 50);
  await context.resume();
} catch (failure) {
  window.results.errors.push({ error: String(failure) });
}
</script>`;

test('the page and the AudioWorklet processor track a microphone in Chromium', { timeout: 180000 }, async () => {
  const dir = mkdtempSync(join(tmpdir(), 'wavepitch-browser-'));
  const rate = 44100;
  const voice = Array.from({ length: rate * 4 }, (_, i) => {
    const t = i / rate;
    return 0.4 * Math.sin(2 * Math.PI * 220 * t) + 0.15 * Math.sin(2 * Math.PI * 440 * t);
  });
  writeFileSync(join(dir, 'voice.wav'), pcmWav(voice, rate));
  const tone = Float64Array.from(voice.slice(0, 2048));

  const types = { '.js': 'text/javascript', '.wasm': 'application/wasm', '.html': 'text/html' };
  const server = createServer((request, response) => {
    const path = new URL(request.url, 'http://localhost').pathname;
    let body = null;
    if (path === '/') body = page;
    else if (path === '/tone.bin') body = Buffer.from(tone.buffer);
    else if (/^\/wavepitch\/[\w.-]+$/.test(path)) {
      try {
        body = readFileSync(join(packageDir, path.slice('/wavepitch/'.length)));
      } catch {
        body = null;
      }
    }
    response.writeHead(body === null ? 404 : 200,
      { 'content-type': types[extname(path)] ?? (path === '/' ? 'text/html' : 'application/octet-stream'),
        'cross-origin-opener-policy': 'same-origin', 'cross-origin-embedder-policy': 'require-corp' });
    response.end(body ?? 'not found');
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const browser = await puppeteer.launch({
    executablePath: process.env.WEB_CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--headless=new', '--use-fake-ui-for-media-stream',
      '--use-fake-device-for-media-stream', `--use-file-for-fake-audio-capture=${join(dir, 'voice.wav')}`,
      '--autoplay-policy=no-user-gesture-required', '--disable-background-networking',
      '--disable-component-update', '--disable-sync', '--no-first-run', `--user-data-dir=${join(dir, 'profile')}`],
  });
  try {
    const tab = await browser.newPage();
    await tab.goto(`http://127.0.0.1:${server.address().port}/`);
    await tab.waitForFunction(
      () => window.results && (window.results.errors.length > 0 ||
        (window.results.pitches.filter((p) => p.frequency > 0).length >= 40 &&
         window.results.ring.filter((p) => p.frequency > 0).length >= 40)),
      { timeout: 120000, polling: 200 });
    const results = await tab.evaluate(() => window.results);
    assert.deepEqual(results.errors, []);

    // On the page: the very numbers Node gives for the same samples.
    const { Tracker } = await wavepitch();
    const tracker = new Tracker();
    assert.deepEqual(results.onPage, [0, 512, 1024].map((start) => tracker.compute(tone, start, 512)));

    // In the worklet: one estimate per 512-frame block, consecutive, at
    // 220 Hz, by message or through the ring (which posts nothing).
    for (const [how, pitches] of [['messages', results.pitches], ['the ring', results.ring]]) {
      const times = pitches.map((p) => p.time);
      times.slice(1).forEach((t, i) => assert.ok(Math.abs(t - times[i] - 512 / 44100) < 1e-9, `${how}: block ${i}`));
      const heard = pitches.filter((p) => p.frequency > 0).map((p) => p.frequency).sort((a, b) => a - b);
      const median = heard[Math.floor(heard.length / 2)];
      assert.ok(Math.abs(median - 220) < 220 * 0.02, `${how}: the microphone's tone came out at ${median} Hz`);
      assert.ok(pitches.every((p) => p.confidence >= 0 && p.confidence <= 1), how);
    }
    assert.deepEqual(results.ringMessages, []);
    assert.equal(results.ringDropped, 0);
  } finally {
    await browser.close();
    server.close();
  }
});
