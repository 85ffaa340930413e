// A round sung into the page through Chromium's fake microphone, judged by
// the game's own code in the browser:
//
//   node round.mjs SITE_DIR in_tune|sharp OUT_DIR
//
// in_tune: a tone at the first goal (G3, 195.998 Hz) as a waveform repeating
// every 225 samples (196.0 Hz); it must be judged within two steps of the
// goal and the arrow must land in the centre. sharp: every 213 samples
// (207.04 Hz, 95 cents sharp, a semitone as near as whole samples get inside
// one band); the arrow must land above the centre at the height of the band
// the printed numbers give. Either way the printed average must agree with
// the desktop game's for the same take (pitchtrack --judge, which runs the
// desktop's audio block over the file) within 3 cents, and the arrow is
// found on a screenshot by the harness's e2e_scene. Needs PITCHTRACK and
// E2E_SCENE in the environment.
import { execFileSync } from 'node:child_process';
import { mkdirSync } from 'node:fs';
import { join } from 'node:path';

import * as b from './browser.mjs';

const [site, kind, out] = process.argv.slice(2);
const periods = { in_tune: 225, sharp: 213 };
if (!site || !periods[kind] || !out) {
  console.error('usage: node round.mjs SITE_DIR in_tune|sharp OUT_DIR');
  process.exit(2);
}
for (const tool of ['PITCHTRACK', 'E2E_SCENE']) {
  if (!process.env[tool]) {
    console.error(`round: ${tool} is not set`);
    process.exit(2);
  }
}
mkdirSync(out, { recursive: true });
const wav = join(out, `${kind}.wav`);
b.writeToneWav(wav, periods[kind]);

// The desktop's judgement of the same take, at the first goal's note (43).
const desktop = execFileSync(process.env.PITCHTRACK, ['--judge', '43', wav], { encoding: 'utf8' });
const desktopAverage = Number(/Your frequency average: (\S+)/.exec(desktop)[1]);
console.log(`desktop (pitchtrack --judge 43): average ${desktopAverage} Hz`);

// The height a judged average gives: steps of a fifth of a semitone; within
// two steps the shot keeps its place (0 after a reset).
function band(goal, average) {
  const step = (2 ** (1 / 12)) ** 0.2;
  const heights = [0.1, 0.25, 0.35, 0.5];
  for (let k = 5; k >= 2; k--) if (average > goal * step ** k) return heights[k - 2];
  for (let k = 5; k >= 2; k--) if (average < goal / step ** k) return -heights[k - 2];
  return 0;
}

const { server, url } = await b.serveSite(site);
const browser = await b.launch({ wav });
try {
  const page = await b.openGame(browser, url);
  await b.key(page, ' ');
  const freqLine = await b.waitLine(page, /^Freq: /);
  b.expect(`the first goal is G3 (${freqLine})`, freqLine === 'Freq: 195.998');
  await b.waitAudio(page);
  // The fake microphone's first blocks, then a round of 1.5 s.
  await b.sleep(500);
  await b.mouse(page, 'down');
  await b.sleep(1500);
  await b.mouse(page, 'up');
  const averageLine = await b.waitLine(page, /^Your frequency average: /);
  const goal = b.value(await b.waitLine(page, /^Goal frequency: /));
  const average = b.value(averageLine);
  const off = b.cents(goal, average);
  console.log(`web: goal ${goal} Hz, average ${average} Hz (${off.toFixed(1)} cents)`);
  const apart = b.cents(desktopAverage, average);
  b.expect(`the web's average ${average} Hz is the desktop's ${desktopAverage} Hz ` +
    `(${apart.toFixed(2)} cents apart)`, Math.abs(apart) <= 3);
  const height = band(goal, average);
  if (kind === 'in_tune') {
    b.expect(`judged within two steps of the goal (${off.toFixed(1)} cents)`, height === 0);
  } else {
    b.expect(`judged sharp (${off.toFixed(1)} cents, band ${height})`, height > 0);
  }
  // At 6 per second the flight is within a thousandth of its distance
  // after 1.2 s of frames.
  await b.sleep(1500);
  const png = await b.shot(page, join(out, `${kind}.png`));
  const found = execFileSync(process.env.E2E_SCENE, ['arrow', png], { encoding: 'utf8' }).trim();
  const [, x, y] = found.split(/\s+/).map(Number);
  console.log(`arrow rests at (${x}, ${y}) in ${png}`);
  if (height === 0) {
    b.expect(`the arrow is in the centre (${x}, ${y})`, Math.abs(x) <= 0.02 && Math.abs(y) <= 0.02);
  } else {
    b.expect(`the arrow is at height ${height} (${y})`, Math.abs(y - height) <= 0.03);
    b.expect(`the arrow is on the board (x ${x})`, Math.abs(x) <= 0.53);
  }
} finally {
  await browser.close();
  server.close();
}
b.finish();
