// The page's side of the comparison with the desktop program:
//
//   node scene.mjs SITE_DIR OUT_DIR
//
// Presses space five times (three goals, with the tone stopped in between),
// then / and b: a shot at the centre. Writes the printed lines to
// OUT_DIR/web.out and a screenshot of the landed arrow to OUT_DIR/web.png.
// The comparison itself is test_scene.sh's.
import { mkdirSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';

import * as b from './browser.mjs';

const [site, out] = process.argv.slice(2);
if (!site || !out) {
  console.error('usage: node scene.mjs SITE_DIR OUT_DIR');
  process.exit(2);
}
mkdirSync(out, { recursive: true });

const { server, url } = await b.serveSite(site);
const browser = await b.launch();
try {
  const page = await b.openGame(browser, url);
  for (let goal = 0; goal < 3; goal++) {
    if (goal > 0) await b.key(page, ' ');
    await b.key(page, ' ');
    await b.waitLine(page, /^Freq: /, goal);
  }
  await b.key(page, '/');
  await b.key(page, 'b');
  await b.sleep(1500);
  await b.shot(page, join(out, 'web.png'));
  const { lines } = await b.state(page);
  writeFileSync(join(out, 'web.out'), lines.join('\n') + '\n');
} finally {
  await browser.close();
  server.close();
}
