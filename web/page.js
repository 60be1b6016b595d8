// The page around the game: loads marrowdigger.js with the data tree, scales
// the canvas to the largest whole multiple of 320 x 240 that fits, turns the
// URL's parameters into the game's arguments, and on touch screens sends the
// on-screen d-pad and buttons to the game as the keys they stand for.
//
//   (none)             the game alone, at its menu
//   ?watch=URL         play the record at URL back in the observer view
//   &hash-every=N      print 'turn T hash H' every N turns (console.log)
//   ?script=URL        play the headless script at URL instead of the keyboard
//                      (marrowdigger-script.js), its trace lines to console.log
//   ?play              join the server that serves the page (its WebSocket door)
//   ?spectate          follow that server's game (&hash-every=N as with watch)
// A player's token is kept in localStorage, per server and seat: each page
// that plays holds a seat of its own, so two tabs are two players.
'use strict';

var statusLine = document.getElementById('status');
var canvas = document.getElementById('canvas');
var params = new URLSearchParams(location.search);

function say(text) {
  statusLine.textContent = text;
}

// The largest whole multiple of the game's 320 x 240 that fits the stage.
function fit() {
  var stage = document.getElementById('stage');
  var scale = Math.max(1, Math.floor(Math.min(stage.clientWidth / 320, stage.clientHeight / 240)));
  document.documentElement.style.setProperty('--scale', String(scale));
}
window.addEventListener('resize', fit);

// A key press or release as the game's SDL reads it (by its key code).
function sendKey(type, code) {
  var event = new KeyboardEvent(type, { bubbles: true, cancelable: true, keyCode: code, which: code });
  if (event.keyCode !== code) {
    Object.defineProperty(event, 'keyCode', { get: function() { return code; } });
    Object.defineProperty(event, 'which', { get: function() { return code; } });
  }
  document.dispatchEvent(event);
}

// The on-screen controls, shown on touch screens only.
function touchControls() {
  if (!('ontouchstart' in window) && !(navigator.maxTouchPoints > 0))
    return;
  document.body.classList.add('touch');
  document.querySelectorAll('#touch button').forEach(function(button) {
    var code = Number(button.dataset.key);
    var press = function(e) { e.preventDefault(); sendKey('keydown', code); };
    var release = function(e) { e.preventDefault(); sendKey('keyup', code); };
    button.addEventListener('pointerdown', press);
    button.addEventListener('pointerup', release);
    button.addEventListener('pointercancel', release);
    button.addEventListener('pointerleave', release);
  });
}

// The game's arguments from the URL; a record is fetched into the game's
// file system first. Resolves to the argument list, or rejects with a line.
function gameArguments(Module) {
  var args = [];
  var every = params.get('hash-every');
  if (every !== null) {
    if (!/^[0-9]{1,10}$/.test(every))
      return Promise.reject('hash-every needs a number of turns, not "' + every + '"');
    args.push('--hash-every', every);
  }
  var script = params.get('script');
  if (script !== null)
    return fetchInto(Module, script, '/run.script').then(function() {
      return ['--data', '/gamedata', '--script', '/run.script', '--trace', '-'].concat(args);
    });
  if (params.has('play'))
    return every === null ? Promise.resolve(['--connect', serverAddress()])
                          : Promise.reject('hash-every goes with watch or spectate');
  if (params.has('spectate'))
    return Promise.resolve(['--spectate', serverAddress()].concat(args));
  var watch = params.get('watch');
  if (watch === null)
    return every === null ? Promise.resolve(args)
                          : Promise.reject('hash-every needs watch=URL or spectate');
  return fetchInto(Module, watch, '/record').then(function() {
    return ['--watch', '/record'].concat(args);
  });
}

// The server that serves the page, as the game's link takes it: HOST:PORT
// (ws://) or, for a page over HTTPS, the wss:// URL.
function serverAddress() {
  var port = location.port || (location.protocol === 'https:' ? '443' : '80');
  if (location.protocol === 'https:')
    return 'wss://' + location.hostname + ':' + port + '/';
  return location.hostname + ':' + port;
}

// The player's token files (under /state in the game's file system) are
// kept in localStorage, one entry per server and seat, and put back before
// the game starts; the game writes them when a server gives it a token.
function stateKey(seat) {
  return 'marrowdigger-state:' + location.host + (seat > 1 ? '#' + seat : '');
}

// Seats 1 to 4 of a server, as the native game's token files: a page that
// plays holds one, through the Web Locks API, or where the page is no
// secure context (plain HTTP but on localhost) through a lease in
// localStorage renewed every second. A tab keeps its seat in sessionStorage,
// so that a reload plays on in the same slot.
var SEATS = 4;
var seatName = 'marrowdigger-seat:' + location.host;
var pageId = Date.now() + ':' + Math.random();

// Holds the lock of name for the page's life when it is free (or, given
// ms, once it is let go within ms); resolves to whether it is held.
function holdLock(name, ms) {
  var abort = ms ? new AbortController() : null;
  var timer = ms ? setTimeout(function() { abort.abort(); }, ms) : 0;
  var options = ms ? { signal: abort.signal } : { ifAvailable: true };
  return new Promise(function(resolve) {
    navigator.locks.request(name, options, function(lock) {
      clearTimeout(timer);
      resolve(!!lock);
      return lock ? new Promise(function() {}) : undefined; // let go when the page goes
    }).catch(function() { resolve(false); });
  });
}

// The same through a lease in localStorage: taken when absent or older
// than 3 s, and ours when still ours a moment later (two pages taking it at
// once: the later writer keeps it).
function holdLease(name) {
  var read = function() {
    try { return JSON.parse(localStorage.getItem(name) || 'null'); } catch (e) { return null; }
  };
  var write = function() {
    try { localStorage.setItem(name, JSON.stringify({ id: pageId, at: Date.now() })); } catch (e) { /* off */ }
  };
  var lease = read();
  if (lease && lease.id !== pageId && Date.now() - lease.at < 3000)
    return Promise.resolve(false);
  write();
  return new Promise(function(resolve) {
    setTimeout(function() {
      var now = read();
      if (!now || now.id !== pageId)
        return resolve(false);
      setInterval(write, 1000);
      window.addEventListener('pagehide', function() {
        try { localStorage.removeItem(name); } catch (e) { /* off */ }
      });
      resolve(true);
    }, 150);
  });
}

// The seat this page plays in: the tab's own again (waiting up to 2 s for
// the page it replaces to let go of it), else the first free one; 0 when
// none is free, and the page then plays without a kept token.
function takeSeat() {
  var hold = function(seat, ms) {
    return navigator.locks ? holdLock(seatName + '#' + seat, ms) : holdLease(seatName + '#' + seat);
  };
  var kept = 0;
  try { kept = Number(sessionStorage.getItem(seatName)) || 0; } catch (e) { kept = 0; }
  if (!(kept >= 1 && kept <= SEATS))
    kept = 0;
  var next = function(seat) {
    if (seat > SEATS)
      return Promise.resolve(0);
    if (seat === kept)
      return next(seat + 1);
    return hold(seat).then(function(held) { return held ? seat : next(seat + 1); });
  };
  return (kept ? hold(kept, 2000) : Promise.resolve(false)).then(function(held) {
    return held ? kept : next(1);
  }).then(function(seat) {
    try { if (seat) sessionStorage.setItem(seatName, String(seat)); } catch (e) { /* off */ }
    window.mdSeat = seat; // for tests
    return seat;
  });
}

function stateFiles(FS, dir, out) {
  FS.readdir(dir).forEach(function(name) {
    if (name === '.' || name === '..')
      return;
    var path = dir + '/' + name;
    if (FS.isDir(FS.stat(path).mode))
      stateFiles(FS, path, out);
    else
      out[path] = Array.from(FS.readFile(path));
  });
  return out;
}

function restoreState(FS, key) {
  var saved = {};
  try { saved = JSON.parse(localStorage.getItem(key) || '{}'); } catch (e) { saved = {}; }
  Object.keys(saved).forEach(function(path) {
    if (path.indexOf('/state/') !== 0 || path.indexOf('..') >= 0)
      return;
    var parts = path.split('/');
    for (var i = 2; i < parts.length; i++) {
      var dir = parts.slice(0, i).join('/');
      try { FS.mkdir(dir); } catch (e) { /* there already */ }
    }
    FS.writeFile(path, new Uint8Array(saved[path]));
  });
  var last = JSON.stringify(saved);
  setInterval(function() {
    var now = JSON.stringify(stateFiles(FS, '/state', {}));
    if (now !== last) {
      last = now;
      try { localStorage.setItem(key, now); } catch (e) { /* storage full or off */ }
    }
  }, 1000);
}

// Fetches url into the game's file system as file.
function fetchInto(Module, url, file) {
  return fetch(url).then(function(response) {
    if (!response.ok)
      throw 'cannot fetch ' + url + ': HTTP ' + response.status;
    return response.arrayBuffer();
  }).then(function(bytes) {
    Module.FS.writeFile(file, new Uint8Array(bytes));
  });
}

var lastError = ''; // the game's last line on stderr
var Module = {
  canvas: canvas,
  noInitialRun: true,
  preRun: [function() { if (typeof ENV === 'object') ENV.XDG_STATE_HOME = '/state'; }],
  print: function(text) { console.log(text); },
  printErr: function(text) { console.error(text); say(text); lastError = text; },
  setStatus: function(text) { if (text) say(text); },
  onRuntimeInitialized: function() {
    gameArguments(Module).then(function(args) {
      return (params.has('play') ? takeSeat() : Promise.resolve(0)).then(function(seat) {
        return { args: args, seat: seat };
      });
    }).then(function(start) {
      var args = start.args;
      try { Module.FS.mkdir('/state'); } catch (e) { /* there already */ }
      if (start.seat)
        restoreState(Module.FS, stateKey(start.seat));
      Module.FS.chdir('/gamedata');
      say('');
      fit();
      canvas.focus();
      Module.callMain(args);
    }).catch(function(why) {
      say(String(why));
      console.error(String(why));
    });
  },
  onExit: function(status) {
    // A game that could not start or lost its server keeps its one line
    // (no server door, ...); ASYNCIFY's exit may not carry main's status.
    if (lastError)
      return;
    say(status === 0 ? 'The game has ended.' : 'The game ended with status ' + status + '.');
  },
};

// Milliseconds from loading the page to the first frame on the canvas, and
// frames drawn, for tests and measurements (window.mdFirstFrameMs, mdFrames).
(function watchFirstFrame() {
  var original = Module.canvas.getContext.bind(Module.canvas);
  var counted = false;
  Module.canvas.getContext = function() {
    var context = original.apply(null, arguments);
    if (context && context.putImageData && !context.mdCounted) {
      var put = context.putImageData.bind(context);
      context.putImageData = function() {
        put.apply(null, arguments);
        if (!counted) {
          counted = true;
          window.mdFirstFrameMs = performance.now(); // from the page's navigation
        }
        window.mdFrames = (window.mdFrames || 0) + 1;
        window.mdLastFrameMs = performance.now();
      };
      context.mdCounted = true;
    }
    return context;
  };
})();

if (typeof WebAssembly !== 'object') {
  say('This browser cannot run WebAssembly, which the game needs.');
} else {
  touchControls();
  fit();
  var script = document.createElement('script');
  script.src = params.has('script') ? 'marrowdigger-script.js' : 'marrowdigger.js';
  script.onerror = function() { say('cannot load ' + script.src); };
  document.body.appendChild(script);
}
