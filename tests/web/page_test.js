// The game's web page in headless Chromium (Debian's, driven through
// puppeteer-core): its pixels against the same frames drawn natively on
// the Null driver, keys, the end of the program and its exit status.
//
//   node page_test.js WEB_DIR PICTURES EXPECTED_FRAME_TOOL NODE_MODULES
//
// WEB_DIR holds shooter.html with its .js, .wasm and .data; PICTURES the
// imgs folder the data carries; EXPECTED_FRAME_TOOL is the native
// web_expected_frame; NODE_MODULES holds puppeteer-core.  Prints one line
// per test and "N passed, N failed"; exits 1 on a failure.
'use strict';
const { spawn, execFileSync } = require('child_process');
const crypto = require('crypto');
const fs = require('fs');
const os = require('os');
const path = require('path');

const [webDir, pictures, frameTool, modules] = process.argv.slice(2);
if (!modules) {
  console.error('usage: node page_test.js WEB_DIR PICTURES EXPECTED_FRAME_TOOL NODE_MODULES');
  process.exit(2);
}
const puppeteer = require(path.join(path.resolve(modules), 'puppeteer-core'));

const WIDTH = 1024, HEIGHT = 768;
const GAUGE_BLUE = [0, 0, 255], WHITE = [255, 255, 255];
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// --- Expected frames ---

// The native frame with the pictures of the page, some left out, as the
// SHA-256 of its RGBA bytes (the canvas's own layout).
function expectedFrame(leaveOut) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'fb-web-frame-'));
  try {
    fs.cpSync(pictures, path.join(dir, 'imgs'), { recursive: true });
    for (const name of leaveOut) fs.rmSync(path.join(dir, 'imgs', name));
    execFileSync(path.resolve(frameTool), ['frame.ppm'], { cwd: dir, stdio: 'pipe' });
    const ppm = fs.readFileSync(path.join(dir, 'frame.ppm'));
    const header = `P6\n${WIDTH} ${HEIGHT}\n255\n`;
    if (ppm.toString('latin1', 0, header.length) !== header) throw new Error('not a 1024 x 768 PPM');
    const rgba = Buffer.alloc(WIDTH * HEIGHT * 4);
    for (let i = 0; i < WIDTH * HEIGHT; ++i) {
      ppm.copy(rgba, i * 4, header.length + i * 3, header.length + i * 3 + 3);
      rgba[i * 4 + 3] = 255;
    }
    return crypto.createHash('sha256').update(rgba).digest('hex');
  } finally {
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

// --- The page ---

async function canvasHash(page) {
  return page.evaluate(async () => {
    const c = document.getElementById('canvas');
    if (c.width !== 1024 || c.height !== 768) return 'size ' + c.width + 'x' + c.height;
    const data = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
    const digest = await crypto.subtle.digest('SHA-256', data);
    return Array.from(new Uint8Array(digest), (b) => b.toString(16).padStart(2, '0')).join('');
  });
}

// How many pixels of the rectangle have the colour.
async function countColour(page, x, y, w, h, rgb) {
  return page.evaluate((x, y, w, h, rgb) => {
    const data = document.getElementById('canvas').getContext('2d').getImageData(x, y, w, h).data;
    let n = 0;
    for (let i = 0; i < data.length; i += 4)
      n += data[i] === rgb[0] && data[i + 1] === rgb[1] && data[i + 2] === rgb[2];
    return n;
  }, x, y, w, h, rgb);
}

async function exitStatus(page) {
  return page.evaluate(() => document.getElementById('status').dataset.exitStatus);
}

// Polls condition (async) every 100 ms until it holds or the deadline passes.
async function until(condition, ms = 15000) {
  const end = Date.now() + ms;
  for (;;) {
    if (await condition()) return true;
    if (Date.now() > end) return false;
    await sleep(100);
  }
}

// what: the failure's message, or a function that says it afterwards.
async function expectSoon(what, condition, ms) {
  if (!(await until(condition, ms))) throw new Error(typeof what === 'function' ? what() : what);
}

async function heldAsSeen(page, scancode) {
  return page.evaluate((s) => Module.fbKeyDown(s), scancode);
}

async function openPage(browser, url, beforeLoad) {
  const page = await browser.newPage();
  page.messages = [];
  page.on('console', (m) => page.messages.push(m.type() + ': ' + m.text()));
  page.on('pageerror', (e) => page.messages.push('pageerror: ' + e.message));
  await page.setViewport({ width: 1280, height: 1000 });
  if (beforeLoad) await page.evaluateOnNewDocument(beforeLoad);
  await page.goto(url);
  return page;
}

// --- The tests ---

const tests = [];
const test = (name, body) => tests.push({ name, body });
let game;  // the page the play tests share, in order

test('the intro shows the same pixels as the Null driver on Linux', async (c) => {
  const want = expectedFrame([]);
  game = await openPage(c.browser, c.url + 'shooter.html');
  let got = '';
  // The briefing takes 12.3 s to type; then the intro waits for a key.
  const same = await until(async () => (got = await canvasHash(game)) === want, 40000);
  if (!same) throw new Error(`canvas ${got}, native frame ${want}`);
});

test('a key starts the play', async () => {
  await game.keyboard.down('x');
  await sleep(100);
  await game.keyboard.up('x');
  await expectSoon('no blue gauge and "Score: 0"', async () =>
    (await countColour(game, 200, 10, 400, 10, GAUGE_BLUE)) > 3000 &&
    (await countColour(game, 10, 10, 56, 8, WHITE)) > 40);
});

test('held keys reach KeyDown, and only while held', async () => {
  const keys = [  // puppeteer's key, the scancodes it holds
    ['KeyD', [32]], ['Space', [57]], ['KeyW', [17]], ['ShiftLeft', [42, 54]],
    ['ArrowLeft', [75]], ['Digit1', [2]], ['Enter', [28]], ['F1', [59]],
  ];
  for (const [key, scancodes] of keys) {
    await game.keyboard.down(key);
    for (const s of scancodes)
      await expectSoon(`${key}: KeyDown(${s}) not held`, () => heldAsSeen(game, s), 3000);
    if (await heldAsSeen(game, 30)) throw new Error(`${key}: KeyDown(30) held too`);
    await game.keyboard.up(key);
    for (const s of scancodes)
      await expectSoon(`${key}: KeyDown(${s}) still held`, async () => !(await heldAsSeen(game, s)), 3000);
  }
});

test('losing the focus or being hidden lets go of held keys', async () => {
  for (const [target, event] of [['window', 'blur'], ['document', 'visibilitychange']]) {
    await game.keyboard.down('KeyA');
    await expectSoon('KeyDown(30) not held', () => heldAsSeen(game, 30), 3000);
    await game.evaluate((target, event) => {
      if (event === 'visibilitychange')
        Object.defineProperty(document, 'hidden', { value: true, configurable: true });
      (target === 'window' ? window : document).dispatchEvent(new Event(event));
    }, target, event);
    await expectSoon(`${event}: KeyDown(30) still held`, async () => !(await heldAsSeen(game, 30)), 3000);
    await game.keyboard.up('KeyA');
    await game.evaluate(() => {
      delete document.hidden;
      window.dispatchEvent(new Event('focus'));
    });
  }
});

test("the browser does not act on the game's keys", async () => {
  const cases = [  // code, key, ctrl, whether the page stops the browser
    ['Space', ' ', false, true], ['ArrowDown', 'ArrowDown', false, true],
    ['Tab', 'Tab', false, true], ['KeyS', 's', false, true], ['AltLeft', 'Alt', false, true],
    ['F5', 'F5', false, false], ['F12', 'F12', false, false], ['KeyR', 'r', true, false],
  ];
  for (const [code, key, ctrlKey, stopped] of cases) {
    const prevented = await game.evaluate((code, key, ctrlKey) =>
      !window.dispatchEvent(new KeyboardEvent('keydown', { code, key, ctrlKey, cancelable: true })),
      code, key, ctrlKey);
    await game.evaluate((code, key) => window.dispatchEvent(new KeyboardEvent('keyup', { code, key })),
      code, key);
    if (prevented !== stopped) throw new Error(`${code}: default prevented ${prevented}`);
  }
});

test('the canvas shows whole display pixels per pixel', async () => {
  const cases = [  // viewport width, height, device pixel ratio -> CSS width of the canvas
    [1280, 1000, 1, 1024], [2200, 1700, 1, 2048], [1100, 900, 2, 1024], [1000, 700, 1, 1024],
    [1600, 1200, 1.5, 2048 / 1.5],
  ];
  for (const [width, height, deviceScaleFactor, css] of cases) {
    await game.setViewport({ width, height, deviceScaleFactor });
    let got = 0;
    await expectSoon(() => `${width}x${height}@${deviceScaleFactor}: ${got}px`, async () => {
      got = await game.evaluate(() => parseFloat(document.getElementById('canvas').style.width));
      return Math.abs(got - css) < 0.01;
    }, 3000);
  }
  await game.setViewport({ width: 1280, height: 1000 });
});

test("the pointer's events reach the program in its pixels, at any scale", async () => {
  await game.evaluate(() => {
    window.menus = [];  // whether each context menu was kept shut
    window.addEventListener('contextmenu', (e) => window.menus.push(e.defaultPrevented));
  });
  const m = game.mouse;
  let box;  // the canvas on the page, and CSS pixels a program pixel
  const to = (x, y) => m.move(box.left + (x + 0.5) * box.size, box.top + (y + 0.5) * box.size);
  const click = async (button, times = 1) => {
    for (let i = 0; i < times; ++i) await m.down({ button }), await m.up({ button });
  };
  // The wheel by events of the page's own: an emulated pixel ratio shrinks
  // the wheel events of page.mouse as a zoom would, which a screen does not.
  const wheel = (init) => game.evaluate((init) => document.getElementById('canvas').dispatchEvent(
    init.plain ? Object.assign(new Event('wheel', { cancelable: true }), init)  // no wheelDelta
               : new WheelEvent('wheel', { cancelable: true, ...init })), init);
  const focus = (type) => game.evaluate((type) => window.dispatchEvent(new Event(type)), type);
  const steps = [  // what the pointer does; the events (kind, fields) posted; GetMouse then
    [() => to(10, 20), [[9]]],
    [() => to(30, 25), [[4, 30, 25, 20, 5]], [0, 30, 25, 0, 0]],
    [() => click('left', 2), [[5, 1], [6, 1], [7, 1], [6, 1]]],
    [() => click('middle'), [[5, 4], [6, 4]]],
    [() => click('back'), [[5, 8], [6, 8]]],
    [() => click('forward'), [[5, 16], [6, 16]]],
    [() => wheel({ wheelDeltaY: 120 }), [[8, 120]]],
    [() => wheel({ wheelDeltaY: 60 }), []],  // half a notch waits for the other half
    [() => wheel({ wheelDeltaY: 60 }), [[8, 240]]],
    [() => wheel({ deltaY: 6, deltaMode: 1, plain: true }), [[8, 0]]],  // 3 lines a notch
    [() => wheel({ wheelDeltaX: -120 }), [[14, 120]]],
    [() => wheel({ deltaX: -100, plain: true }), [[14, 0]]],  // 100 pixels a notch
    [() => m.down({ button: 'right' }), [[5, 2]], [0, 30, 25, 0, 2]],
    [() => focus('blur'), [[12]], [-1, 0, 0, 0, 0]],  // and forgets held buttons
    [() => focus('focus'), [[11]], [0, 30, 25, 0, 0]],
    [() => to(-3, 25), [[4, -3, 25, -33, 0]], [-1, 0, 0, 0, 0]],  // a drag goes on outside
    [() => m.up({ button: 'right' }), [[6, 2], [10]]],
  ];
  const cases = [[1280, 1000, 1], [2200, 1700, 1], [1600, 1200, 1.5]];  // viewport, pixel ratio
  for (const [width, height, deviceScaleFactor] of cases) {
    await m.move(1, 1);  // off the canvas at every size
    await game.setViewport({ width, height, deviceScaleFactor });
    await sleep(300);
    box = await game.evaluate(() => {
      const r = document.getElementById('canvas').getBoundingClientRect();
      return { left: r.left, top: r.top, size: r.width / 1024 };
    });
    await game.evaluate(() => Module.fbEvents());  // what came before
    for (const [act, want, mouse] of steps) {
      const where = `${width}x${height}@${deviceScaleFactor}, ${act}`;
      const got = [];
      let seen;
      await act();
      const read = async () => {
        seen = await game.evaluate(() => Module.fbEvents());
        got.push(...seen.events);
      };
      await until(async () => (await read(), got.length >= want.length), 3000);
      if (mouse) await read();  // GetMouse once the tick that posted them is over
      const padded = want.map((e) => [...e, 0, 0, 0, 0].slice(0, 5));
      if (JSON.stringify(got) !== JSON.stringify(padded))
        throw new Error(`${where}: events ${JSON.stringify(got)}, not ${JSON.stringify(padded)}`);
      if (mouse && JSON.stringify(seen.mouse) !== JSON.stringify(mouse))
        throw new Error(`${where}: GetMouse ${seen.mouse}, not ${mouse}`);
    }
    const menus = await game.evaluate(() => window.menus.splice(0));
    if (!menus.length || !menus.every((shut) => shut)) throw new Error(`context menus ${menus}`);
  }
  for (const [visible, cursor] of [[0, 'none'], [1, '']]) {
    await game.evaluate((v) => Module.fbSetMouse(-1, -1, v, -1), visible);
    const shown = await game.evaluate(() => document.getElementById('canvas').style.cursor);
    if (shown !== cursor) throw new Error(`SetMouse(visible ${visible}): cursor "${shown}"`);
  }
  await game.setViewport({ width: 1280, height: 1000 });
});

test('the frame time in the page', async (c) => {
  await game.evaluate(() => Module.fbFrameIntervals());  // settles the page
  await sleep(3000);
  const intervals = await game.evaluate(() => Module.fbFrameIntervals().slice(-150));
  intervals.sort((a, b) => a - b);
  const mean = intervals.reduce((a, b) => a + b, 0) / intervals.length;
  const at = (q) => intervals[Math.min(intervals.length - 1, Math.floor(q * intervals.length))];
  c.note(`frames ${intervals.length}: mean ${mean.toFixed(2)} ms (${(1000 / mean).toFixed(1)}/s), ` +
         `median ${at(0.5).toFixed(2)} ms, 95% ${at(0.95).toFixed(2)} ms; ` +
         `load average ${os.loadavg().map((l) => l.toFixed(2)).join(' ')}`);
  if (intervals.length < 30) throw new Error('fewer than 30 frames in 3 s');
});

test('Escape ends the program with status 0 on the page, and stops its loop', async () => {
  const threads = () => game.evaluate(() => Module.PThread.runningWorkers.length);
  if ((await threads()) === 0) throw new Error('no thread runs the program');
  await game.keyboard.down('Escape');
  await expectSoon('no exit status', async () => (await exitStatus(game)) !== undefined);
  await game.keyboard.up('Escape');
  const status = await exitStatus(game);
  const text = await game.evaluate(() => document.getElementById('status').textContent);
  if (status !== '0' || !text.includes('exit status 0')) throw new Error(`status ${status}: ${text}`);
  const ticking = await game.evaluate(async () => {
    const before = Module.fbFrameIntervals().length;
    await new Promise((r) => setTimeout(r, 300));
    return FbCanvas.open || FbCanvas.frame !== 0 || Module.fbFrameIntervals().length !== before;
  });
  if (ticking) throw new Error('the page still ticks');
  const left = await threads();
  if (left !== 0) throw new Error(`${left} threads still run`);
  await game.close();
});

test('a missing picture shows its [ERROR] line, then its status -1', async (c) => {
  const want = expectedFrame(['Background.bmp']);
  const page = await openPage(c.browser, c.url + 'shooter.html', () => {
    window.Module = { onRuntimeInitialized: () => FS.unlink('/imgs/Background.bmp') };
  });
  let got = '';
  const same = await until(async () => (got = await canvasHash(page)) === want, 20000);
  if (!same) throw new Error(`canvas ${got}, native frame ${want}`);
  await page.keyboard.down('x');
  await expectSoon('no exit status', async () => (await exitStatus(page)) !== undefined);
  if ((await exitStatus(page)) !== '-1') throw new Error(`status ${await exitStatus(page)}`);
  await page.close();
});

test('standard error shows on the page and in the console', async (c) => {
  // A page whose canvas gives no drawing context: the game cannot open its
  // screen, says why on standard error and ends with status 1.
  const page = await openPage(c.browser, c.url + 'shooter.html', () => {
    HTMLCanvasElement.prototype.getContext = () => null;
  });
  await expectSoon('no exit status', async () => (await exitStatus(page)) !== undefined);
  const line = 'shooter: no screen could be opened: the page has no canvas';
  const shown = await page.evaluate(() => document.querySelector('#output .error')?.textContent);
  if ((await exitStatus(page)) !== '1') throw new Error(`status ${await exitStatus(page)}`);
  if (shown !== line + '\n') throw new Error(`page shows ${JSON.stringify(shown)}`);
  if (!page.messages.includes('error: ' + line)) throw new Error(`console: ${page.messages}`);
  await page.close();
});

// --- Running them ---

async function main() {
  const server = spawn('python3', [path.join(__dirname, '../../tools/web_server.py'), webDir],
                       { stdio: ['ignore', 'pipe', 'inherit'] });
  const url = await new Promise((resolve, reject) => {
    server.stdout.once('data', (d) => resolve(d.toString().trim()));
    server.once('exit', () => reject(new Error('the server did not start')));
  });
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'fb-web-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    userDataDir: profile,
    args: ['--no-sandbox', '--headless', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  let passed = 0, failed = 0;
  try {
    for (const t of tests) {
      const started = Date.now();
      const notes = [];
      try {
        await t.body({ browser, url, note: (n) => notes.push(n) });
        ++passed;
        console.log(`ok   ${t.name} (${((Date.now() - started) / 1000).toFixed(1)} s)`);
      } catch (e) {
        ++failed;
        console.log(`FAIL ${t.name}: ${e.message}`);
        if (process.env.FB_WEB_TEST_VERBOSE) for (const p of await browser.pages()) console.log(p.messages);
      }
      for (const n of notes) console.log(`     ${n}`);
    }
  } finally {
    await browser.close();
    server.kill();
    fs.rmSync(profile, { recursive: true, force: true });
  }
  console.log(`${passed} passed, ${failed} failed`);
  process.exit(failed ? 1 : 0);
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
