// The page's side of the "Canvas" display driver (canvas.cpp), for
// Emscripten's --js-library.  Everything here runs on the page's own
// thread: the functions the program's thread calls are proxied to it.
//
// The canvas is the page's Module.canvas, or its element with the id
// "canvas".  Its backing store is the framebuffer's size; its size on the
// page is the framebuffer's times a whole number of the display's pixels.
mergeInto(LibraryManager.library, {
  $FbCanvas: {
    canvas: null,
    context: null,
    width: 0,
    height: 0,
    open: false,
    active: false,
    frame: 0,  // the pending animation frame request
    retry: 0,  // the pending retry of a tick the program's lock held up
    listeners: [],
    answers: [],  // [scancode, resolve] waiting for KeyDown's answer
    // Presentation times (performance.now(), ms) of the last frames.
    presentTimes: [],

    // Ticks now; when the program holds the display lock, again in a
    // moment, until it has let go.
    run: function() {
      if (FbCanvas.retry) {
        clearTimeout(FbCanvas.retry);
        FbCanvas.retry = 0;
      }
      if (!FbCanvas.open || ABORT) return;
      if (!_fb_canvas_tick()) FbCanvas.retry = setTimeout(FbCanvas.run, 1);
    },

    onFrame: function() {
      FbCanvas.frame = 0;
      if (!FbCanvas.open || ABORT) return;
      FbCanvas.run();
      FbCanvas.frame = requestAnimationFrame(FbCanvas.onFrame);
    },

    // The largest whole number of display pixels per framebuffer pixel
    // that fits the window (at least 1), as a size in CSS pixels.
    fit: function() {
      var canvas = FbCanvas.canvas;
      if (!canvas || document.fullscreenElement === canvas) return;
      var ratio = window.devicePixelRatio || 1;
      var below = canvas.parentNode ? canvas.parentNode.offsetHeight - canvas.offsetHeight : 0;
      var across = Math.floor(window.innerWidth * ratio / FbCanvas.width);
      var down = Math.floor(Math.max(0, window.innerHeight - below) * ratio / FbCanvas.height);
      var scale = Math.max(1, Math.min(across, down));
      canvas.style.width = (FbCanvas.width * scale / ratio) + 'px';
      canvas.style.height = (FbCanvas.height * scale / ratio) + 'px';
    },

    setActive: function(active) {
      if (active === FbCanvas.active) return;
      FbCanvas.active = active;
      _fb_canvas_focus(active ? 1 : 0);
      FbCanvas.run();
    },

    // Keys the browser keeps for itself: reloading, full screen and its
    // tools (F5, F11, F12), and whatever Ctrl or the system key make of a
    // key (new tab, closing, copying...).  The program sees them too.
    browserKeeps: function(e) {
      return e.ctrlKey || e.metaKey || e.key === 'F5' || e.key === 'F11' || e.key === 'F12';
    },

    onKey: function(e) {
      var press = e.type === 'keydown';
      if (press && !FbCanvas.active) FbCanvas.setActive(true);
      var modifiers = (e.shiftKey ? 1 : 0) | (e.ctrlKey ? 2 : 0) | (e.altKey ? 4 : 0) |
                      (e.getModifierState && e.getModifierState('AltGraph') ? 8 : 0);
      var stack = stackSave();
      _fb_canvas_key(press ? 1 : 0, e.repeat ? 1 : 0, allocateUTF8OnStack(e.code || ''),
                     allocateUTF8OnStack(e.key || ''), modifiers);
      stackRestore(stack);
      if (!FbCanvas.browserKeeps(e)) e.preventDefault();
      // Applied by the next tick, on the next animation frame: a key let go
      // within one frame still counts as held for a frame.
    },

    // The window's blur and focus events say which it is; otherwise (the
    // page shown or hidden, the canvas opening) the document is asked.
    onFocusChange: function(e) {
      var focused = e && e.type === 'blur' ? false : e && e.type === 'focus' ? true
                                                   : document.hasFocus();
      FbCanvas.setActive(focused && !document.hidden);
    },

    listen: function(target, type, handler, capture) {
      target.addEventListener(type, handler, capture);
      FbCanvas.listeners.push([target, type, handler, capture]);
    },

    // For tests and measurements: KeyDown(scancode) as the program sees it
    // (a promise of true or false), and the times between presented frames.
    keyDown: function(scancode) {
      return new Promise(function(resolve) {
        if (!FbCanvas.open) return resolve(false);
        FbCanvas.answers.push([scancode, resolve]);
        _fb_canvas_ask_key_down(scancode);
      });
    },
    frameIntervals: function() {
      var t = FbCanvas.presentTimes, intervals = [];
      for (var i = 1; i < t.length; ++i) intervals.push(t[i] - t[i - 1]);
      return intervals;
    },
  },

  fb_canvas_open__proxy: 'sync',
  fb_canvas_open__sig: 'iii',
  fb_canvas_open__deps: ['$FbCanvas'],
  fb_canvas_open: function(width, height) {
    if (typeof document === 'undefined') return -1;
    var canvas = Module['canvas'] || document.getElementById('canvas');
    var context = canvas && canvas.getContext ? canvas.getContext('2d') : null;
    if (!context) return -1;
    canvas.width = width;
    canvas.height = height;
    canvas.style.imageRendering = 'pixelated';
    if (!canvas.hasAttribute('tabindex')) canvas.tabIndex = 0;
    FbCanvas.canvas = canvas;
    FbCanvas.context = context;
    FbCanvas.width = width;
    FbCanvas.height = height;
    FbCanvas.presentTimes = [];
    FbCanvas.fit();
    FbCanvas.listen(window, 'keydown', FbCanvas.onKey, true);
    FbCanvas.listen(window, 'keyup', FbCanvas.onKey, true);
    FbCanvas.listen(window, 'blur', FbCanvas.onFocusChange, false);
    FbCanvas.listen(window, 'focus', FbCanvas.onFocusChange, false);
    FbCanvas.listen(document, 'visibilitychange', FbCanvas.onFocusChange, false);
    FbCanvas.listen(window, 'resize', FbCanvas.fit, false);
    FbCanvas.listen(document, 'fullscreenchange', FbCanvas.fit, false);
    FbCanvas.listen(canvas, 'mousedown', function() { canvas.focus(); }, false);
    canvas.focus();
    Module['fbKeyDown'] = FbCanvas.keyDown;
    Module['fbFrameIntervals'] = FbCanvas.frameIntervals;
    FbCanvas.open = true;
    FbCanvas.active = false;
    FbCanvas.onFocusChange();
    FbCanvas.frame = requestAnimationFrame(FbCanvas.onFrame);
    return 0;
  },

  fb_canvas_close__proxy: 'sync',
  fb_canvas_close__sig: 'v',
  fb_canvas_close__deps: ['$FbCanvas'],
  fb_canvas_close: function() {
    if (!FbCanvas.open) return;
    // The program has let go of the display lock: what it drew last is
    // shown before the ticks stop.
    FbCanvas.run();
    FbCanvas.open = false;
    if (FbCanvas.frame) cancelAnimationFrame(FbCanvas.frame);
    if (FbCanvas.retry) clearTimeout(FbCanvas.retry);
    FbCanvas.frame = FbCanvas.retry = 0;
    FbCanvas.listeners.forEach(function(l) { l[0].removeEventListener(l[1], l[2], l[3]); });
    FbCanvas.listeners = [];
    FbCanvas.answers.forEach(function(a) { a[1](false); });
    FbCanvas.answers = [];
  },

  fb_canvas_set_title__proxy: 'sync',
  fb_canvas_set_title__sig: 'vi',
  fb_canvas_set_title: function(title) {
    if (typeof document !== 'undefined') document.title = UTF8ToString(title);
  },

  fb_canvas_put__deps: ['$FbCanvas'],
  fb_canvas_put: function(pixels, width, first, last) {
    // A copy: ImageData cannot look into the program's shared memory.
    var bytes = HEAPU8.slice(pixels + first * width * 4, pixels + (last + 1) * width * 4);
    var image = new ImageData(new Uint8ClampedArray(bytes.buffer), width, last - first + 1);
    FbCanvas.context.putImageData(image, 0, first);
    var times = FbCanvas.presentTimes;
    times.push(performance.now());
    if (times.length > 1000) times.shift();
  },

  fb_canvas_toggle_fullscreen__deps: ['$FbCanvas'],
  fb_canvas_toggle_fullscreen: function() {
    if (document.fullscreenElement) {
      document.exitFullscreen();
    } else if (FbCanvas.canvas.requestFullscreen) {
      FbCanvas.canvas.requestFullscreen().catch(function() {});
    }
  },

  fb_canvas_key_down_answer__proxy: 'async',
  fb_canvas_key_down_answer__sig: 'vii',
  fb_canvas_key_down_answer__deps: ['$FbCanvas'],
  fb_canvas_key_down_answer: function(scancode, held) {
    FbCanvas.answers = FbCanvas.answers.filter(function(a) {
      if (a[0] !== scancode) return true;
      a[1](held !== 0);
      return false;
    });
  },
});
