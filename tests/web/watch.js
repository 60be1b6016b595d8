// Opens the game's page in Debian's headless Chromium and checks that a
// watched record's hash lines are the server's --replay lines.
//   node watch.js WEB_BUILD RECORD EVERY EXPECTED_LINES_FILE
// Serves WEB_BUILD and the record on a loopback port, prints the page's
// figures (first frame, frames) and exits 0 when the lines are equal.
'use strict';
const { spawn } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const puppeteer = require('puppeteer-core');

const [web, record, every, expectedFile] = process.argv.slice(2);
const expected = fs.readFileSync(expectedFile, 'utf8').trim().split('\n');
const started = [];
let browser;
let scratch;

// Ends what this test started, also when it fails.
function cleanUp() {
  for (const child of started) child.kill('SIGTERM');
}
process.on('exit', cleanUp);

function fail(why) {
  console.error('web page test: ' + why);
  process.exitCode = 1;
}

// A static server of WEB_BUILD, with the record copied into a scratch folder
// beside the page; resolves to its port.
function serve(dir) {
  return new Promise((resolve, reject) => {
    const server = spawn('python3', ['-u', '-m', 'http.server', '--bind', '127.0.0.1', '0'],
                         { cwd: dir, stdio: ['ignore', 'pipe', 'ignore'] });
    started.push(server);
    let text = '';
    server.stdout.on('data', (d) => {
      text += d;
      const m = /port (\d+)/.exec(text);
      if (m) resolve(Number(m[1]));
    });
    server.on('exit', () => reject('the static server ended'));
  });
}

async function main() {
  scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'md-web-'));
  for (const f of fs.readdirSync(web))
    if (/\.(html|js|wasm|data)$/.test(f)) fs.copyFileSync(path.join(web, f), path.join(scratch, f));
  fs.copyFileSync(record, path.join(scratch, 'game.rec'));
  const port = await serve(scratch);
  browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    userDataDir: path.join(scratch, 'profile'),
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  const page = await browser.newPage();
  const lines = [];
  let done;
  const finished = new Promise((r) => { done = r; });
  page.on('console', (m) => {
    const text = m.text();
    if (/^turn \d+ hash [0-9a-f]{16}$/.test(text)) lines.push(text);
    else if (!/willReadFrequently/.test(text)) console.error('page: ' + text);
    if (lines.length >= expected.length) done();
  });
  page.on("pageerror", (e) => { fail("page error: " + (e.stack || e.message)); done(); });
  await page.goto(`http://127.0.0.1:${port}/index.html?watch=game.rec&hash-every=${every}`);
  const timer = setTimeout(done, 120000);
  await finished;
  clearTimeout(timer);
  const f = await page.evaluate(() => [window.mdFirstFrameMs, window.mdFrames,
                                       Module.frameWorkMs / Module.framesWorked]);
  console.log(`web page test: first frame ${Math.round(f[0])} ms after navigation, ` +
              `${f[1]} frames, ${f[2].toFixed(3)} ms of work a frame`);
  if (lines.join('\n') !== expected.join('\n'))
    fail(`hash lines differ:\n page: ${lines.join('\n       ')}\n want: ${expected.join('\n       ')}`);
  else
    console.log(`web page test: ${lines.length} hash lines equal the server's --replay`);
  await page.screenshot({ path: path.join(os.tmpdir(), 'md-web-page.png') });
}

main().catch((e) => fail(String(e))).finally(async () => {
  if (browser) await browser.close().catch(() => {});
  cleanUp();
  if (scratch) fs.rmSync(scratch, { recursive: true, force: true });
});
