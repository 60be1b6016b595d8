#!/bin/sh
# The door under a page-fetch flood: 64 kept-alive HTTP connections from
# 127.0.0.1, each asking for / once a second, while 10 browser page loads and
# 10 WebSocket joins come from 127.0.0.2. Prints how many of each succeed.
#   scripts/door-flood.sh [BUILD_DIR]
set -eu
build=${1:-build}
root=$(mktemp -d)
trap 'kill $server 2>/dev/null; rm -rf "$root"' EXIT
echo "the page" >"$root/index.html"
(cd gamedata && exec "../$build/marrowdigger-server" --data . --bind 127.0.0.1 --port 0 \
    --web-port 0 --web-root "$root" --turn-ms 50 --hash-every 0 --quiet) >"$root/out" 2>&1 &
server=$!
for _ in $(seq 100); do
    grep -q "join at" "$root/out" && break
    sleep 0.1
done
port=$(sed -n 's|.*http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$root/out")
node - "$port" <<'JS'
'use strict';
const net = require('net');
const port = +process.argv[2];
const flood = [];
for (let i = 0; i < 64; i++) { // kept-alive page fetches from one address
  const s = net.connect({ port, host: '127.0.0.1' });
  s.on('error', () => {});
  s.on('data', () => {});
  flood.push(s);
}
const tick = setInterval(() => { for (const s of flood) if (s.writable) s.write('GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n'); }, 1000);
// One visit from another address: the text received within 3 s.
function visit(request, want, upgraded) {
  return new Promise((resolve) => {
    const s = net.connect({ port, host: '127.0.0.1', localAddress: '127.0.0.2' });
    let got = Buffer.alloc(0);
    let sent = false;
    const done = (ok) => {
      if (upgraded && sent) s.write(frame(8, [0x0f, 0xa2])); // leaving: the slot is free again
      s.destroy();
      resolve(ok);
    };
    const timer = setTimeout(() => done(false), 3000);
    s.on('error', () => { clearTimeout(timer); done(false); });
    s.on('connect', () => s.write(request));
    s.on('data', (d) => {
      got = Buffer.concat([got, d]);
      if (upgraded && !sent && got.includes('\r\n\r\n')) { sent = true; s.write(frame(2, hello)); }
      if (want(got)) { clearTimeout(timer); done(true); }
    });
  });
}
const upgrade = 'GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n' +
  'Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n';
// A masked binary frame of a hello (wire/protocol.h), then a goodbye (4002).
function frame(op, payload) {
  const key = [1, 2, 3, 4];
  return Buffer.concat([Buffer.from([0x80 | op, 0x80 | payload.length]), Buffer.from(key),
    Buffer.from(payload.map((b, i) => b ^ key[i % 4]))]);
}
const hello = [1, 0x4d, 0x44, 0x47, 0x4f, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0];
(async () => {
  await new Promise((r) => setTimeout(r, 2500));
  let pages = 0, joins = 0;
  for (let i = 0; i < 10; i++) {
    pages += await visit('GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n', (b) => b.includes('the page'));
    joins += await visit(upgrade, (b) => {
      const head = b.indexOf('\r\n\r\n');
      return head > 0 && b.includes(' 101 ') && b.length >= head + 4 + 2 + 28 && b[head + 6] === 2;
    }, true);
  }
  console.log(`door flood: ${pages} of 10 page loads and ${joins} of 10 joins from another address`);
  clearInterval(tick);
  for (const s of flood) s.destroy();
  process.exit(0);
})();
JS
