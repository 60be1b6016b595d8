// Opens the game's page in Debian's headless Chromium and checks it against
// the native programs: a watched record's hash lines are the server's
// --replay lines, and a scripted run's trace is the native runner's.
//   node watch.js WEB_BUILD RECORD EVERY EXPECTED_HASHES SCRIPT EXPECTED_TRACE
// Serves copies on a loopback port, prints the page's figures and exits 0
// when both are equal.
'use strict';
const { spawn } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const puppeteer = require('puppeteer-core');

const [web, record, every, hashFile, script, traceFile] = process.argv.slice(2);
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

// A static server of the scratch folder; resolves to its port.
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

// Opens the page at query and gathers the console lines that match pattern
// until there are as many as expected (or 120 s pass, or the page fails);
// they must be the expected ones.
async function check(port, name, query, pattern, expectedFile) {
  const expected = fs.readFileSync(expectedFile, 'utf8').trim().split('\n');
  const page = await browser.newPage();
  const lines = [];
  let done;
  const finished = new Promise((r) => { done = r; });
  page.on('console', (m) => {
    const text = m.text();
    if (pattern.test(text)) lines.push(text);
    else if (!/willReadFrequently|SDL_Quit/.test(text)) console.error('page: ' + text);
    if (lines.length >= expected.length) done();
  });
  page.on('pageerror', (e) => { fail('page error: ' + (e.stack || e.message)); done(); });
  await page.goto(`http://127.0.0.1:${port}/index.html?${query}`);
  const timer = setTimeout(done, 120000);
  await finished;
  clearTimeout(timer);
  const f = await page.evaluate(() => [window.mdFirstFrameMs, window.mdFrames,
                                       Module.frameWorkMs / Module.framesWorked]);
  console.log(`web page test: ${name}: first frame ${Math.round(f[0])} ms after navigation, ` +
              `${f[1]} frames` + (f[2] ? `, ${f[2].toFixed(3)} ms of work a frame` : ''));
  const i = lines.findIndex((l, k) => l !== expected[k]);
  if (i >= 0 || lines.length !== expected.length)
    fail(`${name}: ${lines.length} of ${expected.length} lines, first difference at line ` +
         `${i >= 0 ? i + 1 : lines.length + 1}:\n page: ${lines[i]}\n want: ${expected[i]}`);
  else
    console.log(`web page test: ${name}: ${lines.length} lines equal the native ones`);
  await page.close();
}

async function main() {
  scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'md-web-'));
  for (const f of fs.readdirSync(web))
    if (/\.(html|js|wasm|data)$/.test(f)) fs.copyFileSync(path.join(web, f), path.join(scratch, f));
  fs.copyFileSync(record, path.join(scratch, 'game.rec'));
  fs.copyFileSync(script, path.join(scratch, 'run.script'));
  const port = await serve(scratch);
  browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    userDataDir: path.join(scratch, 'profile'),
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  await check(port, 'watch', `watch=game.rec&hash-every=${every}`,
              /^turn \d+ hash [0-9a-f]{16}$/, hashFile);
  await check(port, 'script', 'script=run.script', /^\{"frame"/, traceFile);
}

main().catch((e) => fail(String(e))).finally(async () => {
  if (browser) await browser.close().catch(() => {});
  cleanUp();
  if (scratch) fs.rmSync(scratch, { recursive: true, force: true });
});
