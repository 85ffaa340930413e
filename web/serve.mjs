// A static file server for the built site, on this machine's own address:
//   node web/serve.mjs SITE_DIR [PORT]
// Prints the page's address once it listens. Port 0 picks a free port.
import { createServer } from 'node:http';
import { readFile } from 'node:fs/promises';
import { extname, join, normalize, resolve, sep } from 'node:path';

const types = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.wasm': 'application/wasm',
  '.png': 'image/png',
};

export function serve(folder, port = 0, host = '127.0.0.1') {
  const root = resolve(folder);
  const server = createServer(async (request, response) => {
    let path = decodeURIComponent(new URL(request.url, 'http://here').pathname);
    if (path.endsWith('/')) path += 'index.html';
    const file = normalize(join(root, path));
    if (file !== root && !file.startsWith(root + sep)) {
      response.writeHead(403).end();
      return;
    }
    try {
      const body = await readFile(file);
      response.writeHead(200, {
        'Content-Type': types[extname(file)] || 'application/octet-stream',
        'Cache-Control': 'no-cache',
      });
      response.end(body);
    } catch {
      response.writeHead(404, { 'Content-Type': 'text/plain' }).end('not found\n');
    }
  });
  return new Promise((done, fail) => {
    server.once('error', fail);
    server.listen(port, host, () => done(server));
  });
}

if (import.meta.url === `file://${process.argv[1]}`) {
  const [folder, port] = process.argv.slice(2);
  if (!folder) {
    console.error('usage: node web/serve.mjs SITE_DIR [PORT]');
    process.exit(2);
  }
  const server = await serve(folder, Number(port || 8023));
  console.log(`Arrowsong: http://127.0.0.1:${server.address().port}/ (Ctrl-C stops)`);
}
