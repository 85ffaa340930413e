// The browser side of the web tests and benchmarks: Debian's Chromium,
// headless, driven by puppeteer-core, on the built site served from this
// machine, with a microphone fed from a WAV file. Nothing here lifts the
// autoplay rule: audio starts only after a key or a click, as for a player.
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import puppeteer from 'puppeteer-core';

import { serve } from '../../web/serve.mjs';

export const CHROMIUM = process.env.CHROMIUM || '/usr/bin/chromium';

// A 16-bit mono WAV at 44100 Hz of a sine repeating every `period` samples
// (a whole number, so every block the game takes from it, wherever it
// starts, holds the same waveform), at half scale.
export function writeToneWav(file, period, seconds = 4) {
  const rate = 44100;
  const frames = Math.floor((rate * seconds) / period) * period;
  const data = Buffer.alloc(44 + frames * 2);
  data.write('RIFF', 0);
  data.writeUInt32LE(36 + frames * 2, 4);
  data.write('WAVEfmt ', 8);
  data.writeUInt32LE(16, 16);
  data.writeUInt16LE(1, 20); // PCM
  data.writeUInt16LE(1, 22); // mono
  data.writeUInt32LE(rate, 24);
  data.writeUInt32LE(rate * 2, 28);
  data.writeUInt16LE(2, 32);
  data.writeUInt16LE(16, 34);
  data.write('data', 36);
  data.writeUInt32LE(frames * 2, 40);
  for (let i = 0; i < frames; i++) {
    const v = Math.round(16383 * Math.sin((2 * Math.PI * (i % period)) / period));
    data.writeInt16LE(v, 44 + i * 2);
  }
  writeFileSync(file, data);
}

// Chromium with a fresh profile and a fake microphone (a tone, or the WAV
// played in a loop); the permission prompt answers yes unless grantPrompt is
// false. Without the fake device Chromium finds no microphone here.
export async function launch({ wav = null, grantPrompt = true, fakeDevice = true } = {}) {
  const profile = mkdtempSync(join(tmpdir(), 'arrowsong-chromium-'));
  const args = [
    '--headless=new', '--no-sandbox', `--user-data-dir=${profile}`,
    '--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--force-color-profile=srgb',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
    '--no-first-run', '--window-size=1000,1300',
  ];
  if (fakeDevice) args.push('--use-fake-device-for-media-stream');
  if (grantPrompt) args.push('--use-fake-ui-for-media-stream');
  if (wav) args.push(`--use-file-for-fake-audio-capture=${wav}`);
  const browser = await puppeteer.launch({
    executablePath: CHROMIUM, headless: true, args, defaultViewport: { width: 1000, height: 1300 },
  });
  const close = browser.close.bind(browser);
  browser.close = async () => {
    await close().catch(() => {});
    rmSync(profile, { recursive: true, force: true });
  };
  return browser;
}

// Serves the site on a free port of 127.0.0.1.
export async function serveSite(folder) {
  const server = await serve(folder, 0);
  return { server, url: `http://127.0.0.1:${server.address().port}/` };
}

// Opens the page and waits for its first frames. The page's lines and
// console go to this process's output too, for the log of a failed test.
export async function openGame(browser, url) {
  const page = await browser.newPage();
  page.on('pageerror', (error) => console.error(`[page error] ${error.message}`));
  page.on('console', (message) => console.error(`[page ${message.type()}] ${message.text()}`));
  await page.goto(url, { waitUntil: 'load' });
  await page.waitForFunction(() => window.arrowsong && window.arrowsong.frames > 2, { timeout: 20000 });
  return page;
}

export async function key(page, name) {
  await page.keyboard.press(name === ' ' ? 'Space' : name);
}

// The board's middle, in page coordinates.
async function boardPoint(page) {
  const box = await (await page.$('#window')).boundingBox();
  return { x: box.x + box.width / 2, y: box.y + box.height / 2 };
}

export async function mouse(page, action, button = 'left') {
  const at = await boardPoint(page);
  await page.mouse.move(at.x, at.y);
  if (action === 'down') await page.mouse.down({ button });
  else await page.mouse.up({ button });
}

export function state(page) {
  return page.evaluate(() => ({
    lines: window.arrowsong.lines.slice(),
    audio: window.arrowsong.audio,
    message: window.arrowsong.message,
    frames: window.arrowsong.frames,
  }));
}

// Waits until more than `count` printed lines match, and returns the last.
export async function waitLine(page, pattern, count = 0, timeout = 10000) {
  const source = pattern.source;
  await page.waitForFunction(
    (src, n) => window.arrowsong.lines.filter((l) => new RegExp(src).test(l)).length > n,
    { timeout }, source, count);
  const { lines } = await state(page);
  return lines.filter((l) => pattern.test(l)).pop();
}

export function value(line) {
  return Number(line.split(': ')[1]);
}

export async function waitAudio(page, wanted = 'on', timeout = 15000) {
  await page.waitForFunction((w) => window.arrowsong.audio === w, { timeout }, wanted);
}

// A screenshot of the game's window (the scene and its text), 800 x 800.
export async function shot(page, file) {
  await (await page.$('#window')).screenshot({ path: file });
  return file;
}

export function sleep(ms) {
  return new Promise((done) => setTimeout(done, ms));
}

// Checks, reported as they go; the process fails at the end if any failed.
let failures = 0;
export function expect(what, ok) {
  console.log(`${ok ? 'ok' : 'FAIL'}: ${what}`);
  if (!ok) failures++;
}
export function finish() {
  console.log(failures === 0 ? 'passed' : `${failures} check(s) failed`);
  process.exitCode = failures === 0 ? 0 : 1;
}

export function cents(goal, freq) {
  return (1200 * Math.log(freq / goal)) / Math.log(2);
}
