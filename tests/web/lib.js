// What the page tests share: the system's headless Chromium driven through
// puppeteer-core, a static server on 127.0.0.1, a PNG reader for the
// screenshots, and the page's own figures (Module.weruleStats).
"use strict";

const fs = require("fs");
const http = require("http");
const os = require("os");
const path = require("path");
const zlib = require("zlib");

const puppeteer = require(process.env.WERULE_WEB_NODE_MODULES
  ? path.join(process.env.WERULE_WEB_NODE_MODULES, "puppeteer-core")
  : "puppeteer-core");

// Headless Chromium draws WebGL only on SwiftShader through ANGLE.
const CHROMIUM_ARGS = ["--headless=new", "--no-sandbox", "--use-angle=swiftshader",
  "--enable-unsafe-swiftshader", "--window-size=800,600", "--hide-scrollbars",
  "--autoplay-policy=no-user-gesture-required"];

let failures = 0;
function check(condition, what) {
  console.log(`${condition ? "ok" : "FAIL"}: ${what}`);
  if (!condition) failures++;
}
function finish() {
  console.log(failures === 0 ? "PASS" : `${failures} check(s) failed`);
  process.exit(failures === 0 ? 0 : 1);
}

function sleep(ms) {
  return new Promise((resolve) => setTimeout(resolve, ms));
}

async function launch(extraArgs = []) {
  const executablePath = process.env.CHROMIUM || "/usr/bin/chromium";
  if (!fs.existsSync(executablePath)) {
    console.log(`SKIP: no Chromium at ${executablePath}`);
    process.exit(77);
  }
  return puppeteer.launch({executablePath, headless: true, args: CHROMIUM_ARGS.concat(extraArgs),
                           defaultViewport: null, protocolTimeout: 120000});
}

// An empty folder that holds only the page.
function pageFolder(page) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), "werule-web-"));
  fs.copyFileSync(page, path.join(dir, "werule.html"));
  return dir;
}

// A static server of dir on 127.0.0.1 (any free port): plain files, no
// special headers. Resolves to {url, close}.
function serve(dir) {
  const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, "http://x").pathname).replace(/^\/+/, "");
    const file = path.join(dir, name || "index.html");
    if (!file.startsWith(dir) || !fs.existsSync(file) || fs.statSync(file).isDirectory()) {
      response.writeHead(404);
      response.end();
      return;
    }
    response.writeHead(200, {"Content-Type": file.endsWith(".html") ? "text/html" : "application/octet-stream"});
    response.end(fs.readFileSync(file));
  });
  return new Promise((resolve) => {
    server.listen(0, "127.0.0.1", () => {
      resolve({url: `http://127.0.0.1:${server.address().port}/`, close: () => server.close()});
    });
  });
}

// The tab as a phone's browser of width by height CSS pixels, 3 device
// pixels to each, whose primary pointer is touch.
async function emulatePhone(page, width, height) {
  await page.emulate({viewport: {width, height, deviceScaleFactor: 3, isMobile: true, hasTouch: true},
                      userAgent: await page.browser().userAgent()});
}

// A new tab that records uncaught errors and the page's console; options:
// beforeLoad (and beforeLoadArgs) runs before the page's scripts, device
// {width, height} makes it a phone (emulatePhone).
async function openPage(browser, url, options = {}) {
  const page = await browser.newPage();
  page.errors = [];
  page.on("pageerror", (error) => page.errors.push(error.message));
  page.on("console", (message) => {
    if (process.env.WERULE_WEB_VERBOSE) console.log("page:", message.text());
  });
  if (options.beforeLoad) {
    await page.evaluateOnNewDocument(options.beforeLoad, ...(options.beforeLoadArgs || []));
  }
  if (options.device) await emulatePhone(page, options.device.width, options.device.height);
  await page.goto(url, {waitUntil: "load"});
  return page;
}

// The frame the page's scripts run in (the page itself, or its iframe).
async function waitReady(frame) {
  await frame.waitForFunction(() => {
    const button = document.getElementById("start");
    return button && !button.disabled;
  }, {timeout: 60000});
}

async function stats(frame) {
  return frame.evaluate(() => Object.assign({}, Module.weruleStats, {
    running: !!Module.weruleCanvas && document.getElementById("prompt").hidden,
    promptShown: !document.getElementById("prompt").hidden,
    questionShown: !document.getElementById("question").hidden,
    message: document.getElementById("message").textContent,
    fullscreen: !!document.fullscreenElement,
    canvas: Module.weruleCanvas ? {width: Module.weruleCanvas.width, height: Module.weruleCanvas.height,
                                  cssWidth: Module.weruleCanvas.clientWidth,
                                  cssHeight: Module.weruleCanvas.clientHeight} : null,
    viewport: {width: window.innerWidth, height: window.innerHeight},
  }));
}

// Waits until test(stats) holds; false after timeoutMs.
async function waitStats(frame, test, timeoutMs = 60000) {
  const until = Date.now() + timeoutMs;
  for (;;) {
    const s = await stats(frame);
    if (test(s)) return s;
    if (Date.now() > until) return null;
    await sleep(100);
  }
}

// ---------------------------------------------------------------- pictures
// A PNG (8-bit RGB or RGBA, not interlaced) as {width, height, rgb}.
function readPng(buffer) {
  let offset = 8;
  let width = 0, height = 0, channels = 0;
  const idat = [];
  while (offset < buffer.length) {
    const length = buffer.readUInt32BE(offset);
    const type = buffer.toString("ascii", offset + 4, offset + 8);
    const data = buffer.subarray(offset + 8, offset + 8 + length);
    if (type === "IHDR") {
      width = data.readUInt32BE(0);
      height = data.readUInt32BE(4);
      if (data[8] !== 8 || data[12] !== 0) throw new Error("PNG: only 8-bit, not interlaced");
      channels = {2: 3, 6: 4}[data[9]];
      if (!channels) throw new Error("PNG: only RGB or RGBA");
    } else if (type === "IDAT") {
      idat.push(data);
    }
    offset += 12 + length;
  }
  const raw = zlib.inflateSync(Buffer.concat(idat));
  const stride = width * channels;
  const pixels = Buffer.alloc(stride * height);
  for (let y = 0; y < height; y++) {
    const filter = raw[y * (stride + 1)];
    const line = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    for (let x = 0; x < stride; x++) {
      const a = x >= channels ? pixels[y * stride + x - channels] : 0;
      const b = y > 0 ? pixels[(y - 1) * stride + x] : 0;
      const c = x >= channels && y > 0 ? pixels[(y - 1) * stride + x - channels] : 0;
      let value = line[x];
      if (filter === 1) value += a;
      else if (filter === 2) value += b;
      else if (filter === 3) value += (a + b) >> 1;
      else if (filter === 4) {
        const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
        value += pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      }
      pixels[y * stride + x] = value & 255;
    }
  }
  const rgb = Buffer.alloc(width * height * 3);
  for (let i = 0; i < width * height; i++) {
    for (let k = 0; k < 3; k++) rgb[3 * i + k] = pixels[channels * i + k];
  }
  return {width, height, rgb};
}

async function screenshot(page) {
  return readPng(Buffer.from(await page.screenshot({type: "png"})));
}

// Mean of the brightest channel over rows y0 .. y1 - 1 and columns x0 .. x1 - 1.
function meanLevel(picture, x0, y0, x1, y1) {
  let sum = 0;
  for (let y = y0; y < y1; y++) {
    for (let x = x0; x < x1; x++) {
      const i = 3 * (y * picture.width + x);
      sum += Math.max(picture.rgb[i], picture.rgb[i + 1], picture.rgb[i + 2]);
    }
  }
  return sum / Math.max(1, (x1 - x0) * (y1 - y0));
}

// Fraction of pixels in the box whose brightest channel is at least level.
function brightShare(picture, x0, y0, x1, y1, level) {
  let count = 0;
  for (let y = y0; y < y1; y++) {
    for (let x = x0; x < x1; x++) {
      const i = 3 * (y * picture.width + x);
      if (Math.max(picture.rgb[i], picture.rgb[i + 1], picture.rgb[i + 2]) >= level) count++;
    }
  }
  return count / Math.max(1, (x1 - x0) * (y1 - y0));
}

// The smallest box {x, y, width, height} (from the top-left) that holds
// every pixel brighter than level in its brightest channel; null if none is.
function litBox(picture, level = 3) {
  let left = picture.width, right = -1, top = picture.height, bottom = -1;
  for (let y = 0; y < picture.height; y++) {
    for (let x = 0; x < picture.width; x++) {
      const i = 3 * (y * picture.width + x);
      if (Math.max(picture.rgb[i], picture.rgb[i + 1], picture.rgb[i + 2]) > level) {
        left = Math.min(left, x);
        right = Math.max(right, x);
        top = Math.min(top, y);
        bottom = Math.max(bottom, y);
      }
    }
  }
  return right < 0 ? null : {x: left, y: top, width: right - left + 1, height: bottom - top + 1};
}

// The show's picture as a viewer sees it on a screen of any shape: the lit
// band is 2:1 within 3 %, centred (within 1 % of the screen and 2 pixels),
// black all around it; returns the band's box (null when nothing is lit).
function checkBand(picture, what) {
  const box = litBox(picture);
  check(box !== null, `${what}: the band is drawn`);
  if (!box) return null;
  const {width, height} = picture;
  const shape = box.width / box.height;
  const right = width - box.x - box.width, bottom = height - box.y - box.height;
  console.log(`${what}: band ${box.width}x${box.height} at (${box.x}, ${box.y}) of ${width}x${height}, ` +
              `shape ${shape.toFixed(3)}`);
  check(Math.abs(shape - 2) <= 0.06, `${what}: the band's shape ${shape.toFixed(3)} is 2.0 within 3 %`);
  check(Math.abs(box.x - right) <= 2 + 0.01 * width,
        `${what}: centred across (left ${box.x}, right ${right})`);
  check(Math.abs(box.y - bottom) <= 2 + 0.01 * height,
        `${what}: centred down (top ${box.y}, bottom ${bottom})`);
  return box;
}

// Checks what a viewer sees in a frame of the show: the band (checkBand),
// and in it the backdrop, the checker floor, the logo and the scroller's
// glyphs. Returns the band's box.
function checkShowFrame(picture, what) {
  const box = checkBand(picture, what);
  if (!box) return null;
  const x = (fraction) => box.x + Math.floor(box.width * fraction);
  const y = (fraction) => box.y + Math.floor(box.height * fraction);
  // The backdrop: the sky above the horizon, dim blue, never black.
  check(meanLevel(picture, x(0), y(0.25), x(0.15), y(0.55)) > 12,
        `${what}: the backdrop shows above the floor`);
  // The floor: a checker of near-white and near-black squares at the sides.
  const floorLight = brightShare(picture, x(0), y(0.72), x(0.25), y(0.85), 200);
  const floorDark = 1 - brightShare(picture, x(0), y(0.72), x(0.25), y(0.85), 60);
  check(floorLight > 0.15 && floorDark > 0.15,
        `${what}: the checker floor (light ${floorLight.toFixed(2)}, dark ${floorDark.toFixed(2)})`);
  // The logo lies white on the floor at the bottom middle.
  check(brightShare(picture, x(0.4), y(0.85), x(0.6), y(0.97), 200) > 0.3,
        `${what}: the logo lies on the floor`);
  // The scroller's line near the top of the band: white glyph pixels.
  check(brightShare(picture, x(0), y(0.0), x(1), y(0.1), 230) > 0.003,
        `${what}: the scroller's glyphs are drawn`);
  return box;
}

// Runs cases[name](browser) in a Chromium started with extraArgs, counts an
// exception as a failed check, and exits with the result.
async function runCase(cases, name, extraArgs = []) {
  if (!cases[name]) {
    console.error(`unknown case ${name}`);
    process.exit(2);
  }
  const browser = await launch(extraArgs);
  try {
    await cases[name](browser);
  } catch (error) {
    check(false, `the case ran through (${error.stack || error})`);
  } finally {
    await browser.close();
  }
  finish();
}

// ------------------------------------------------------------------- sound
// Runs in the page before its scripts (openPage's beforeLoad): the page's
// clocks under the caller's hand. Date.now says 1 s after the epoch (the
// show seeds its star scatter with the calendar time in seconds, so the
// seed is 1, the capture tool's default), and while __weruleClock.frozen
// is set performance.now says __weruleClock.ms. No Web Audio, whose clock
// no page can hold: the music keeps the page's. Where antialias is a
// boolean, the WebGL context's multisampling is forced to it.
function heldClock(antialias) {
  window.AudioContext = undefined;
  window.webkitAudioContext = undefined;
  const realNow = performance.now.bind(performance);
  window.__weruleClock = {frozen: false, ms: 0};
  Date.now = () => 1000;
  performance.now = () => (window.__weruleClock.frozen ? window.__weruleClock.ms : realNow());
  const getContext = HTMLCanvasElement.prototype.getContext;
  HTMLCanvasElement.prototype.getContext = function(kind, options) {
    if (options && typeof antialias === "boolean") options = Object.assign({}, options, {antialias});
    const context = getContext.call(this, kind, options);
    if (context && context.getContextAttributes) {
      window.__weruleAntialias = !!context.getContextAttributes().antialias;
    }
    return context;
  };
}

// Runs in the page before its scripts (openPage's beforeLoad, with
// keepSeconds): records what the page plays, in window.__weruleTap.
//   buffers   every audio buffer started: {when (context seconds), frames,
//             rate}, in the order started
//   samples   the first keepSeconds of them, interleaved stereo
//   loudest   the highest RMS that an analyser on the destination's input
//             measured, over 2048 frames every 100 ms
//   stamps    the context's output time stamps {contextTime,
//             performanceTime}, every 100 ms
//   frames    each animation frame: [time stamp, WebGL draw calls]
function audioTap(keepSeconds) {
  const tap = window.__weruleTap = {buffers: [], samples: [], kept: 0, loudest: 0, stamps: [],
                                    frames: [], context: null, analyser: null};
  const start = AudioBufferSourceNode.prototype.start;
  AudioBufferSourceNode.prototype.start = function(when, ...rest) {
    const buffer = this.buffer;
    tap.context = this.context;
    tap.buffers.push({when, frames: buffer.length, rate: buffer.sampleRate});
    if (tap.kept < keepSeconds * buffer.sampleRate) {
      const left = buffer.getChannelData(0), right = buffer.getChannelData(1);
      for (let i = 0; i < buffer.length; i++) tap.samples.push(left[i], right[i]);
      tap.kept += buffer.length;
    }
    return start.call(this, when, ...rest);
  };
  const connect = AudioNode.prototype.connect;
  AudioNode.prototype.connect = function(target, ...rest) {
    if (target instanceof AudioDestinationNode) {
      if (!tap.analyser) {
        tap.analyser = target.context.createAnalyser();
        tap.analyser.fftSize = 2048;
      }
      connect.call(this, tap.analyser);
    }
    return connect.call(this, target, ...rest);
  };
  const level = new Float32Array(2048);
  setInterval(() => {
    if (tap.analyser) {
      tap.analyser.getFloatTimeDomainData(level);
      let sum = 0;
      for (const value of level) sum += value * value;
      tap.loudest = Math.max(tap.loudest, Math.sqrt(sum / level.length));
    }
    if (tap.context && tap.context.getOutputTimestamp) {
      const stamp = tap.context.getOutputTimestamp();
      if (stamp.performanceTime > 0) tap.stamps.push([stamp.contextTime, stamp.performanceTime]);
    }
  }, 100);
  const requestFrame = window.requestAnimationFrame.bind(window);
  window.requestAnimationFrame = (callback) => requestFrame((time) => {
    const stats = window.Module && window.Module.weruleStats;
    const before = stats ? stats.drawCalls : 0;
    callback(time);
    tap.frames.push([time, stats ? stats.drawCalls - before : 0]);
  });
}

// The tap's record, samples as a Float32Array.
async function tapRecord(frame) {
  const record = await frame.evaluate(() => {
    const tap = window.__weruleTap;
    return {buffers: tap.buffers, samples: tap.samples, loudest: tap.loudest, stamps: tap.stamps,
            frames: tap.frames};
  });
  record.samples = Float32Array.from(record.samples);
  return record;
}

// The performance time at which context time contextS is heard, from the
// output time stamp taken nearest to it.
function heardAt(stamps, contextS) {
  let best = null;
  for (const stamp of stamps) {
    if (!best || Math.abs(stamp[0] - contextS) < Math.abs(best[0] - contextS)) best = stamp;
  }
  return best ? best[1] + (contextS - best[0]) * 1000 : NaN;
}

// The context time at which frame (counted from the music's first) was
// played, from the buffers' start times; NaN past the buffers.
function frameStart(buffers, frame) {
  let first = 0;
  for (const buffer of buffers) {
    if (frame < first + buffer.frames) return buffer.when + (frame - first) / buffer.rate;
    first += buffer.frames;
  }
  return NaN;
}

// Each flash seen: the time stamp of the first animation frame that drew
// one (a flash frame makes FLASH_DRAW_CALLS or more WebGL draw calls, the
// others fewer) after a frame that did not.
const FLASH_DRAW_CALLS = 9;
function flashOnsets(frames) {
  const onsets = [];
  let before = false;
  for (const [time, calls] of frames) {
    const flash = calls >= FLASH_DRAW_CALLS;
    if (flash && !before) onsets.push(time);
    if (calls > 0) before = flash;
  }
  return onsets;
}

module.exports = {check, heldClock, finish, sleep, launch, runCase, pageFolder, serve, openPage, emulatePhone,
                  waitReady, stats, waitStats, readPng, screenshot, meanLevel, brightShare, litBox,
                  checkBand, checkShowFrame, audioTap, tapRecord, heardAt, frameStart, flashOnsets};
