// The page against a server's WebSocket door, in Debian's headless Chromium:
// a browser player joins beside two ENet players, its key presses reach the
// server as its slot's commands (in the record) and it leaves cleanly; a
// browser spectator's hash lines equal the server's for 2,000 turns. Two
// tabs of one browser are two players and a reloaded tab keeps its slot,
// with Web Locks and with the leases of a page that has none.
//   node door.js NATIVE_BUILD WEB_BUILD DATA
// Everything it starts ends with it; exits 0 when both hold.
'use strict';
const { spawn } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const puppeteer = require('puppeteer-core');

const [native, web, data] = process.argv.slice(2);
const started = [];
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'md-door-'));
process.on('exit', () => { for (const c of started) c.kill('SIGKILL'); });

function fail(why) {
  console.error('door test: ' + why);
  process.exitCode = 1;
}

// Starts a program; its output is gathered in .text.
function run(program, args) {
  const child = spawn(program, args, { cwd: data, stdio: ['ignore', 'pipe', 'pipe'] });
  child.text = '';
  child.stdout.on('data', (d) => { child.text += d; });
  child.stderr.on('data', (d) => { child.text += d; });
  started.push(child);
  return child;
}

// Resolves when the child's output matches pattern (the match), rejects after ms.
function await_(child, pattern, ms) {
  return new Promise((resolve, reject) => {
    const t0 = Date.now();
    const look = () => {
      const m = pattern.exec(child.text);
      if (m) return resolve(m);
      if (Date.now() - t0 > ms) return reject(`no ${pattern} in:\n${child.text}`);
      setTimeout(look, 20);
    };
    look();
  });
}

function server(args) {
  return run(path.join(native, 'marrowdigger-server'),
             ['--data', '.', '--bind', '127.0.0.1', '--port', '0', '--web-port', '0',
              '--web-root', web].concat(args));
}

// Slots whose command bytes were ever set non-zero in a record (version 2,
// wire/record.h: snapshot 0xFD, end 0xFF, else a turn entry of the follow
// stream, each with a 4-byte check).
function commandedSlots(file) {
  const b = fs.readFileSync(file);
  const seen = new Set();
  for (let at = 18; at < b.length && b[at] !== 0xff;) {
    if (b[at] === 0xfd) {
      at += 1 + 2 + 8 + 8 + b.readUInt16BE(at + 1) + 4;
      continue;
    }
    const mask = b[at++];
    for (let s = 0; s < 4; s++) {
      if (!(mask & (1 << s))) continue;
      const k = b[at++];
      const bytes = k === 0xff ? b.subarray(at, at + 128) : b.subarray(at, at + 2 * k).filter((_, i) => i % 2);
      if (bytes.some((x) => x !== 0)) seen.add(s);
      at += k === 0xff ? 128 : 2 * k;
    }
    at += 4;
  }
  return seen;
}

async function play(browser) {
  const rec = path.join(scratch, 'play.rec');
  const s = server(['--turn-ms', '100', '--hash-every', '0', '--record', rec]);
  const web_port = (await await_(s, /join at http:\/\/127\.0\.0\.1:(\d+)\//, 20000))[1];
  const port = (await await_(s, /listening on 127\.0\.0\.1:(\d+)/, 20000))[1];
  const script = path.join(scratch, 'stand.script');
  fs.writeFileSync(script, 'step 20\nwait 400\n');
  for (let i = 0; i < 2; i++)
    run(path.join(native, 'marrowdigger-headless'),
        ['--data', '.', '--connect', `127.0.0.1:${port}`, '--script', script, '--trace', '/dev/null']);
  await await_(s, /slot 1 joined/, 20000);
  const page = await browser.newPage();
  page.on('pageerror', (e) => fail('page error: ' + e.message));
  const t0 = Date.now();
  await page.goto(`http://127.0.0.1:${web_port}/?play`);
  await await_(s, /slot 2 joined \(127\.0\.0\.1:/, 30000);
  console.log(`door test: page load to joined: ${Date.now() - t0} ms`);
  await page.focus('#canvas');
  for (let k = 0; k < 4; k++) {
    await page.keyboard.down('ArrowRight');
    await new Promise((r) => setTimeout(r, 300));
    await page.keyboard.up('ArrowRight');
    await new Promise((r) => setTimeout(r, 200));
  }
  await page.close(); // the page's goodbye frees the slot at once
  await await_(s, /slot 2 left/, 10000);
  s.kill('SIGTERM');
  await new Promise((r) => s.on('exit', r));
  const slots = commandedSlots(rec);
  if (!slots.has(2)) fail(`the browser player's keys never reached the server (slots ${[...slots]})`);
  else console.log('door test: the browser player joined, moved (slot 2 commands) and left');
}

// Two tabs of a browser context, then a reload of the second: the server's
// "slot N joined" lines (the tabs' tokens are kept within a second).
async function tabs(browser, noLocks) {
  const s = server(['--turn-ms', '100', '--hash-every', '0']);
  const web_port = (await await_(s, /join at http:\/\/127\.0\.0\.1:(\d+)\//, 20000))[1];
  const context = await browser.createBrowserContext();
  const joined = async (count) => Number((await await_(s, new RegExp(`(?:slot (\\d) joined[^]*?){${count}}`), 30000))[1]);
  const pages = [];
  for (let k = 0; k < 2; k++) {
    pages.push(await context.newPage());
    if (noLocks) // as a page over plain HTTP from another machine: no secure context
      await pages[k].evaluateOnNewDocument(() => { delete Navigator.prototype.locks; });
    await pages[k].goto(`http://127.0.0.1:${web_port}/?play`);
    await joined(k + 1);
    await new Promise((r) => setTimeout(r, 1500));
  }
  await pages[1].reload();
  const slots = [await joined(1), await joined(2), await joined(3)];
  const status = await pages[0].$eval('#status', (e) => e.textContent);
  if (slots[0] === slots[1] || slots[2] !== slots[1] || /took this player/.test(status))
    fail(`two tabs ${noLocks ? 'with leases' : ''}: slots ${slots} (the reload last), first says "${status}"`);
  else
    console.log(`door test: two tabs${noLocks ? ' with leases' : ''} are slots ${slots[0]} and ${slots[1]}, the reloaded one ${slots[2]} again`);
  await context.close();
  s.kill('SIGTERM');
  await new Promise((r) => s.on('exit', r));
}

async function spectate(browser) {
  const turns = 2000;
  const s = server(['--turn-ms', '5', '--turns', String(turns + 300), '--hash-every', '100',
                    '--spectators', '1', '--spectator-delay', '0']);
  const web_port = (await await_(s, /join at http:\/\/127\.0\.0\.1:(\d+)\//, 20000))[1];
  const page = await browser.newPage();
  const lines = [];
  page.on('console', (m) => { if (/^turn \d+ hash /.test(m.text())) lines.push(m.text()); });
  page.on('pageerror', (e) => fail('page error: ' + e.message));
  await page.goto(`http://127.0.0.1:${web_port}/?spectate&hash-every=100`);
  await await_(s, /spectator joined/, 30000);
  for (let t0 = Date.now(); lines.length < turns / 100 && Date.now() - t0 < 120000;)
    await new Promise((r) => setTimeout(r, 100));
  await new Promise((r) => s.on('exit', r));
  const want = new Map(s.text.split('\n').filter((l) => /^turn \d+ hash /.test(l))
    .map((l) => [l.split(' ')[1], l]));
  const bad = lines.filter((l) => want.get(l.split(' ')[1]) !== l);
  if (lines.length < turns / 100 || bad.length)
    fail(`spectator: ${lines.length} hash lines, ${bad.length} unlike the server's: ${bad[0]}`);
  else
    console.log(`door test: the browser spectator's ${lines.length} hash lines equal the server's`);
  await page.close();
}

async function main() {
  const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium', headless: true,
    userDataDir: path.join(scratch, 'profile'),
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run'],
  });
  try {
    await play(browser);
    await spectate(browser);
    await tabs(browser, false);
    await tabs(browser, true);
  } catch (e) {
    fail(String(e));
  } finally {
    await browser.close();
    fs.rmSync(scratch, { recursive: true, force: true });
  }
}
main();
