// The microphone refused, then allowed, without reloading the page:
//
//   node permission.mjs SITE_DIR OUT_DIR
//
// With the page's microphone permission denied, the first key shows the
// message, the board goes on drawing and the game still answers keys. Once
// the permission is granted, the next key starts the audio and a round sung
// in tune (the fake microphone plays the first goal) is judged within two
// steps. Then, in a browser with no microphone at all, and in one without
// AudioWorklet, the message says so.
import { mkdirSync } from 'node:fs';
import { join } from 'node:path';

import * as b from './browser.mjs';

const [site, out] = process.argv.slice(2);
if (!site || !out) {
  console.error('usage: node permission.mjs SITE_DIR OUT_DIR');
  process.exit(2);
}
mkdirSync(out, { recursive: true });
const wav = join(out, 'in_tune.wav');
b.writeToneWav(wav, 225);

const { server, url } = await b.serveSite(site);
const origin = new URL(url).origin;

async function setMicrophone(browser, setting) {
  if (setting === 'granted') {
    await browser.defaultBrowserContext().overridePermissions(origin, ['microphone']);
    return;
  }
  const session = await browser.target().createCDPSession();
  await session.send('Browser.setPermission', {
    origin, permission: { name: 'microphone' }, setting,
  });
  await session.detach();
}

let browser = await b.launch({ wav, grantPrompt: false });
try {
  await setMicrophone(browser, 'denied');
  const page = await b.openGame(browser, url);
  await b.key(page, ' ');
  await b.waitAudio(page, 'failed');
  let now = await b.state(page);
  console.log(`message: ${now.message}`);
  b.expect('a refused microphone is explained', /may not use the microphone/.test(now.message));
  b.expect('the key was still played: a goal was drawn', now.lines.includes('MIDI: 43'));
  const frames = now.frames;
  await b.sleep(1500);
  now = await b.state(page);
  b.expect(`the board goes on drawing (${now.frames - frames} frames in 1.5 s)`, now.frames > frames);

  await setMicrophone(browser, 'granted');
  await b.key(page, ' '); // stops the tone; the gesture starts the audio
  await b.waitAudio(page, 'on');
  now = await b.state(page);
  b.expect('the message is gone once the audio runs', now.message === '');
  await b.sleep(300);
  await b.mouse(page, 'down');
  await b.sleep(1500);
  await b.mouse(page, 'up');
  const average = b.value(await b.waitLine(page, /^Your frequency average: /));
  const goal = b.value(await b.waitLine(page, /^Goal frequency: /));
  b.expect(`the round is heard and judged against the goal ${goal} Hz: average ${average} Hz`,
    goal === 195.998 && Math.abs(b.cents(goal, average)) < 15);
} finally {
  await browser.close();
}

// No microphone at all: Chromium without its fake capture device finds none
// on this machine.
browser = await b.launch({ wav: null, grantPrompt: true, fakeDevice: false });
try {
  const page = await b.openGame(browser, url);
  await b.mouse(page, 'down');
  await b.mouse(page, 'up');
  await b.waitAudio(page, 'failed');
  const now = await b.state(page);
  console.log(`message: ${now.message}`);
  b.expect('a missing microphone is explained', /No microphone could be opened/.test(now.message));
  b.expect('the release was still judged', now.lines.some((l) => l.startsWith('Your frequency average: ')));

  // A browser without AudioWorklet: the page says so and the game plays on.
  const old = await browser.newPage();
  await old.evaluateOnNewDocument(() => { delete window.AudioWorkletNode; });
  await old.goto(url, { waitUntil: 'load' });
  await old.waitForFunction(() => window.arrowsong && window.arrowsong.frames > 2, { timeout: 20000 });
  await b.key(old, ' ');
  await b.waitAudio(old, 'failed');
  const then = await b.state(old);
  console.log(`message: ${then.message}`);
  b.expect('a browser without AudioWorklet is told so', /no AudioWorklet/.test(then.message));
  b.expect('the key was still played', then.lines.includes('MIDI: 43'));
} finally {
  await browser.close();
  server.close();
}
b.finish();
