// Tap figures of the page in Debian's headless Chromium: COUNT taps of the
// arrow keys held 0 ms (down and up at once), 80 and 150 ms, at times of
// their own within the server's 500 ms turns; the moves the server's record
// shows for each (one a tap when none is lost and none moves twice).
//   node scripts/page-taps.js NATIVE_BUILD WEB_BUILD DATA [COUNT]   (default 200)
// Needs puppeteer-core in tests/web/node_modules (scripts/web-page-test.sh
// installs it). Everything it starts ends with it.
'use strict';
const { spawn } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const puppeteer = require(path.join(__dirname, '../tests/web/node_modules/puppeteer-core'));

const [native, web, data, count = '200'] = process.argv.slice(2);
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'md-page-taps-'));
const started = [];
process.on('exit', () => { for (const c of started) c.kill('SIGKILL'); });
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// The server with its door, its output gathered in .text.
function server(rec) {
  const child = spawn(path.join(native, 'marrowdigger-server'),
                      ['--data', '.', '--bind', '127.0.0.1', '--port', '0', '--web-port', '0',
                       '--web-root', web, '--turn-ms', '500', '--players', '1', '--hash-every', '0',
                       '--record', rec], { cwd: data, stdio: ['ignore', 'pipe', 'pipe'] });
  child.text = '';
  child.stdout.on('data', (d) => { child.text += d; });
  child.stderr.on('data', (d) => { child.text += d; });
  started.push(child);
  return child;
}

// Resolves to the match of pattern in the child's output; rejects after ms.
async function awaitText(child, pattern, ms) {
  for (const t0 = Date.now(); Date.now() - t0 < ms; await sleep(20)) {
    const m = pattern.exec(child.text);
    if (m) return m;
  }
  throw new Error(`no ${pattern} in:\n${child.text}`);
}

// Turns of a record (version 2, wire/record.h) whose command for slot 0
// carries a move, its bytes kept from turn to turn as the stream changes them.
function moves(file) {
  const b = fs.readFileSync(file);
  const now = new Uint8Array(128);
  let n = 0;
  for (let at = 18; at < b.length && b[at] !== 0xff;) {
    if (b[at] === 0xfd) { // a snapshot
      at += 1 + 2 + 8 + 8 + b.readUInt16BE(at + 1) + 4;
      continue;
    }
    const mask = b[at++];
    for (let s = 0; s < 4; s++) {
      if (!(mask & (1 << s))) continue;
      const k = b[at++];
      for (let i = 0; s === 0 && i < (k === 0xff ? 128 : k); i++) {
        if (k === 0xff) now[i] = b[at + i];
        else now[b[at + 2 * i]] = b[at + 2 * i + 1];
      }
      at += k === 0xff ? 128 : 2 * k;
    }
    n += now[1] !== 0;
    at += 4;
  }
  return n;
}

async function taps(browser, heldMs) {
  const rec = path.join(scratch, `taps${heldMs}.rec`);
  const s = server(rec);
  const port = (await awaitText(s, /join at http:\/\/127\.0\.0\.1:(\d+)\//, 20000))[1];
  const context = await browser.createBrowserContext();
  const page = await context.newPage();
  await page.goto(`http://127.0.0.1:${port}/?play`);
  await awaitText(s, /slot 0 joined/, 30000);
  await page.focus('#canvas');
  await sleep(1000);
  for (let t = 0; t < Number(count); t++) {
    const key = t % 2 ? 'ArrowLeft' : 'ArrowRight';
    await page.keyboard.down(key);
    if (heldMs) await sleep(heldMs);
    await page.keyboard.up(key);
    await sleep(700 + Math.floor(Math.random() * 500));
  }
  await sleep(1000);
  await context.close();
  s.kill('SIGTERM');
  await new Promise((r) => s.on('exit', r));
  console.log(`page taps: ${count} taps held ${heldMs} ms at 500 ms turns: ${moves(rec)} moves`);
}

(async () => {
  const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium', headless: true, userDataDir: path.join(scratch, 'profile'),
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run'],
  });
  try {
    for (const heldMs of [0, 80, 150])
      await taps(browser, heldMs);
  } catch (e) {
    console.error('page taps: ' + e);
    process.exitCode = 1;
  } finally {
    await browser.close();
    fs.rmSync(scratch, { recursive: true, force: true });
  }
})();
