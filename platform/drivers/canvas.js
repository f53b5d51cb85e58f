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
    buttons: 0,  // the pointer's buttons as last told to the program
    questions: {},  // id -> resolve, waiting for the program's answer
    nextQuestion: 1,
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

    // The framebuffer pixel under a pointer event.  The picture fills the
    // canvas's box, or sits centred in it at its own shape (full screen).
    pixelAt: function(e) {
      var box = FbCanvas.canvas.getBoundingClientRect();
      var size = Math.min(box.width / FbCanvas.width, box.height / FbCanvas.height);
      if (!(size > 0)) return [-1, -1];
      var left = box.left + (box.width - FbCanvas.width * size) / 2;
      var top = box.top + (box.height - FbCanvas.height * size) / 2;
      return [Math.floor((e.clientX - left) / size), Math.floor((e.clientY - top) / size)];
    },

    // The DOM tells of a second button pressed while one is held through a
    // move; its buttons bits are the program's (1 left, 2 right, 4 middle,
    // 8 back, 16 forward), so every change of them is a press or release.
    onPointer: function(e) {
      if (!e.isPrimary) return;
      var at = FbCanvas.pixelAt(e);
      if (e.type === 'pointerenter') return _fb_canvas_pointer(1, at[0], at[1], 0);
      if (e.type === 'pointerleave') return _fb_canvas_pointer(2, 0, 0, 0);
      if (e.type === 'pointerdown') {
        FbCanvas.canvas.focus();
        FbCanvas.canvas.setPointerCapture(e.pointerId);
      }
      // Nor text selection, nor going back a page with the back button.
      if (e.type === 'pointerdown' || e.type === 'pointerup') e.preventDefault();
      _fb_canvas_pointer(0, at[0], at[1], 0);
      var changed = (e.buttons ^ FbCanvas.buttons) & 31;
      for (var bit = 1; bit <= 16; bit <<= 1)
        if (changed & bit) _fb_canvas_pointer(e.buttons & bit ? 3 : 4, bit, 0, e.timeStamp | 0);
      FbCanvas.buttons = e.buttons & 31;
    },

    // The wheel in WHEEL_NOTCH units a notch (up and right positive):
    // wheelDelta where the browser has it (120 a notch), else the distance
    // it would scroll (100 pixels, 3 lines or a page a notch).
    onWheel: function(e) {
      if (e.ctrlKey) return;  // the browser's zoom
      e.preventDefault();
      var up = e.wheelDeltaY, right = -e.wheelDeltaX;
      if (typeof up !== 'number') {
        var unit = [1.2, 40, 120][e.deltaMode] || 1.2;
        up = -e.deltaY * unit;
        right = e.deltaX * unit;
      }
      _fb_canvas_pointer(5, Math.round(up), Math.round(right), 0);
    },

    listen: function(target, type, handler, capture) {
      target.addEventListener(type, handler, capture);
      FbCanvas.listeners.push([target, type, handler, capture]);
    },

    // For tests: a question the program's thread answers (a promise of the
    // answer's numbers, null once the canvas has closed); canvas.cpp's
    // Question says what each asks.
    ask: function(question, args) {
      return new Promise(function(resolve) {
        if (!FbCanvas.open) return resolve(null);
        var id = FbCanvas.nextQuestion++;
        FbCanvas.questions[id] = resolve;
        _fb_canvas_ask(id, question, args[0] | 0, args[1] | 0, args[2] | 0, args[3] | 0);
      });
    },
    // KeyDown(scancode) as the program sees it: true or false.
    keyDown: function(scancode) {
      return FbCanvas.ask(0, [scancode]).then(function(v) { return !!(v && v[0]); });
    },
    // The events the program's queue holds, taken out, as [kind, four
    // fields] each; and what GetMouse answers: [result, x, y, wheel, buttons].
    events: function() {
      return FbCanvas.ask(1, []).then(function(v) {
        if (!v) return null;
        var events = [];
        for (var i = 5; i + 5 <= v.length; i += 5) events.push(v.slice(i, i + 5));
        return {mouse: v.slice(0, 5), events: events};
      });
    },
    setMouse: function(x, y, visible, clip) { return FbCanvas.ask(2, [x, y, visible, clip]); },
    // The times between presented frames, for measurements.
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
    ['pointerenter', 'pointerleave', 'pointermove', 'pointerdown', 'pointerup', 'pointercancel']
        .forEach(function(type) { FbCanvas.listen(canvas, type, FbCanvas.onPointer, false); });
    FbCanvas.listen(canvas, 'wheel', FbCanvas.onWheel, {passive: false});
    FbCanvas.listen(canvas, 'contextmenu', function(e) { e.preventDefault(); }, false);
    canvas.style.touchAction = 'none';  // a finger draws, it does not scroll
    FbCanvas.buttons = 0;
    canvas.focus();
    Module['fbKeyDown'] = FbCanvas.keyDown;
    Module['fbEvents'] = FbCanvas.events;
    Module['fbSetMouse'] = FbCanvas.setMouse;
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
    FbCanvas.canvas.style.cursor = '';
    for (var id in FbCanvas.questions) FbCanvas.questions[id](null);
    FbCanvas.questions = {};
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

  fb_canvas_show_pointer__proxy: 'async',
  fb_canvas_show_pointer__sig: 'vi',
  fb_canvas_show_pointer__deps: ['$FbCanvas'],
  fb_canvas_show_pointer: function(visible) {
    if (FbCanvas.open) FbCanvas.canvas.style.cursor = visible ? '' : 'none';
  },

  fb_canvas_answer__proxy: 'sync',
  fb_canvas_answer__sig: 'viii',
  fb_canvas_answer__deps: ['$FbCanvas'],
  fb_canvas_answer: function(id, values, count) {
    var resolve = FbCanvas.questions[id];
    if (!resolve) return;
    delete FbCanvas.questions[id];
    resolve(Array.from(HEAP32.subarray(values >> 2, (values >> 2) + count)));
  },
});
