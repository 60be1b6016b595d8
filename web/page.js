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
  var watch = params.get('watch');
  if (watch === null)
    return every === null ? Promise.resolve(args)
                          : Promise.reject('hash-every needs watch=URL');
  return fetchInto(Module, watch, '/record').then(function() {
    return ['--watch', '/record'].concat(args);
  });
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

var Module = {
  canvas: canvas,
  noInitialRun: true,
  print: function(text) { console.log(text); },
  printErr: function(text) { console.error(text); say(text); },
  setStatus: function(text) { if (text) say(text); },
  onRuntimeInitialized: function() {
    gameArguments(Module).then(function(args) {
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
