// The headless runner on Node.js draws through Emscripten's SDL, which wants
// a browser's window, document and canvas. These stand-ins take the frames
// and show nothing: the runner reads its frames from the game's own buffer.
if (typeof window === 'undefined') {
  var mdNoop = function() {};
  var mdImage = function(w, h) {
    return { width: w, height: h, data: new Uint8ClampedArray(w * h * 4) };
  };
  var mdContext = {
    createImageData: mdImage,
    getImageData: function(x, y, w, h) { return mdImage(w, h); },
    putImageData: mdNoop, drawImage: mdNoop, fillRect: mdNoop, clearRect: mdNoop,
    save: mdNoop, restore: mdNoop, scale: mdNoop, setTransform: mdNoop,
  };
  var mdCanvas = {
    width: 320, height: 240,
    style: { setProperty: mdNoop, removeProperty: mdNoop },
    addEventListener: mdNoop, removeEventListener: mdNoop,
    getContext: function() { return mdContext; },
    getBoundingClientRect: function() { return { left: 0, top: 0, width: 320, height: 240 }; },
  };
  globalThis.window = { addEventListener: mdNoop, removeEventListener: mdNoop };
  globalThis.document = {
    addEventListener: mdNoop, removeEventListener: mdNoop,
    createElement: function() { return Object.assign({}, mdCanvas); },
  };
  Module['canvas'] = mdCanvas;
  Module['doNotCaptureKeyboard'] = true;
  Module['noImageDecoding'] = true;
  // The program's own output goes straight to the file descriptors
  // (NODERAWFS); Emscripten's notes go to stderr, so that a trace written
  // to stdout holds only trace lines, and its note that SDL_Quit does
  // nothing is left out.
  Module['print'] = function(text) {
    if (text !== 'SDL_Quit called (and ignored)')
      process.stderr.write(text + '\n');
  };
}
