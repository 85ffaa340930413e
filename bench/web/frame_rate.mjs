// Frames per second of the page in headless Chromium (SwiftShader's WebGL,
// as in the tests), over 5 s after the first frames, and the time a frame
// takes in the game and in drawing:
//   node bench/web/frame_rate.mjs SITE_DIR
import * as b from '../../tests/webgame/browser.mjs';

const [site] = process.argv.slice(2);
if (!site) {
  console.error('usage: node bench/web/frame_rate.mjs SITE_DIR');
  process.exit(2);
}
const { server, url } = await b.serveSite(site);
const browser = await b.launch();
try {
  const page = await b.openGame(browser, url);
  await b.sleep(1000);
  const before = await page.evaluate(() => ({ f: window.arrowsong.frames, ms: window.arrowsong.frameMs, t: performance.now() }));
  await b.sleep(5000);
  const after = await page.evaluate(() => ({ f: window.arrowsong.frames, ms: window.arrowsong.frameMs, t: performance.now() }));
  const frames = after.f - before.f;
  const seconds = (after.t - before.t) / 1000;
  console.log(`frame rate: ${(frames / seconds).toFixed(1)} frames/s over ${seconds.toFixed(1)} s ` +
    `(${((after.ms - before.ms) / frames).toFixed(2)} ms a frame in the game and its drawing)`);
} finally {
  await browser.close();
  server.close();
}
