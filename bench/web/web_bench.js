// bench-web: node web_bench.js PAGE NATIVE_FRAMES [--quick]
// The page in headless Chromium (SwiftShader) at a
// fixed moment of the show (its clock frozen at 15.6 s, as the page test
// does), against the native intro's drawFrame on llvmpipe at the same
// moment, in the same run on the same machine. Prints:
//   frame time: the page's milliseconds a frame over 4 s of frames (what
//   the browser managed, compositing included) and the median time spent
//   in one pass of the loop (the CPU side: transform, batch, WebGL calls),
//   and the native median of drawFrame + glFinish;
//   RATIO web/native frame-ms 15.6s <native / web>  (above 1: the page is faster)
//   the same frame time with the canvas's multisampling the other way round
//   (forced through the WebGL context's attributes), as frames a second and
//   against native;
//   frames a second in fullscreen on a 16:9 screen (1280x720, Chromium's
//   --screen-info) and on an emulated phone upright and on its side (393
//   by 851 CSS pixels, 3 device pixels each, touch; started by a tap), with
//   the canvas's buffer size and its size on the page;
//   WebGL draw calls a frame (most seen), the page's size raw and gzip,
//   the time from the start click to the first drawn frame (median of 5),
//   and how late the page timer's ticks come;
//   the flash against its sound over the whole show with its music: when
//   each flash cue's first frame reaches the screen (its animation frame's
//   time stamp) minus when the cue's row is heard (the row's first frame,
//   found by the native libopenmpt, at the context time its buffer was
//   started for, on the output's time stamps), as
//   SYNC web:chromium flash-minus-sound median MS p95 MS cues N
//   (p95 of the distances either way), and the time from the start click
//   to the first sound.
// --quick: the same lines from one start, 1 s of ticks, 1 s of frames (each
// screen), 10 native frames and 9 s of music (no flash comes that early:
// cues 0), for the suite's run of every benchmark.
"use strict";

const fs = require("fs");
const path = require("path");
const zlib = require("zlib");
const {execFileSync} = require("child_process");
const t = require("../../tests/web/lib.js");

const [, , pagePath, nativePath, referencePath, mode] = process.argv;
const MOMENT_S = 15.6;
const QUICK = mode === "--quick";
const STARTS = QUICK ? 1 : 5;
const TICK_SPAN_MS = QUICK ? 1000 : 5000;
const FRAME_SPAN_MS = QUICK ? 1000 : 4000;
const NATIVE_FRAMES = QUICK ? 10 : 60;

function median(values) {
  const sorted = values.slice().sort((a, b) => a - b);
  return sorted[Math.floor(sorted.length / 2)];
}

function percentile(values, fraction) {
  const sorted = values.slice().sort((a, b) => a - b);
  return sorted[Math.min(sorted.length - 1, Math.ceil(fraction * sorted.length) - 1)];
}

// The whole show with its music (9 s quick), tapped: each flash cue seen
// against its row heard.
async function measureSync(browser, url) {
  const page = await t.openPage(browser, url, {beforeLoad: t.audioTap, beforeLoadArgs: [0]});
  await t.waitReady(page);
  await page.click("#start");
  const clicked = (await t.stats(page)).startClickMs;
  if (QUICK) {
    await t.waitStats(page, (x) => performance.now() - x.startClickMs > 9000, 30000);
    await page.keyboard.press("Escape");
  }
  await t.waitStats(page, (x) => x.promptShown && !x.running, 200000);
  const record = await t.tapRecord(page);
  await page.close();
  if (record.buffers.length === 0 || record.stamps.length === 0) {
    console.log("sync: the page played no music");
    return;
  }
  const rate = record.buffers[0].rate;
  const firstSound = t.heardAt(record.stamps, record.buffers[0].when) - clicked;
  const cues = execFileSync(referencePath, ["cues", String(rate)]).toString().trim().split("\n")
                 .map((line) => line.split(" ").map(Number)).filter(([, row]) => row !== 62);
  const onsets = t.flashOnsets(record.frames);
  const differences = [];
  for (const [, , frame] of cues) {
    const heard = t.heardAt(record.stamps, t.frameStart(record.buffers, frame));
    if (Number.isNaN(heard)) continue;
    const seen = onsets.find((time) => time >= heard - 100);
    if (seen !== undefined && seen - heard < 200) differences.push(seen - heard);
  }
  console.log(`music: ${record.buffers.length} buffers of ${record.buffers[0].frames} frames at ` +
              `${rate} Hz; first sound ${firstSound.toFixed(1)} ms after the start click`);
  if (differences.length > 0) {
    console.log(`flash minus sound over ${differences.length} cues: ` +
                differences.map((d) => d.toFixed(1)).join(" ") + " ms");
  }
  const n = differences.length;
  const format = (value) => (n ? value.toFixed(1) : "nan");
  console.log(`SYNC web:chromium flash-minus-sound median ${format(n && median(differences))} ` +
              `p95 ${format(n && percentile(differences.map(Math.abs), 0.95))} cues ${n}`);
}

// The page's time a frame at the moment, on a frozen clock, in fullscreen:
// {frames, elapsed (ms), workMedian (ms, one pass of the loop), mostDraws,
// antialias, canvas}. options.antialias forces the multisampling;
// options.device emulates a phone of that CSS size (3 device pixels each,
// touch), started by a tap.
async function frameTime(browser, url, options) {
  const timed = await t.openPage(browser, url, {beforeLoad: t.heldClock,
                                                beforeLoadArgs: [options.antialias]});
  if (options.device) {
    await timed.emulate({viewport: Object.assign({deviceScaleFactor: 3, isMobile: true, hasTouch: true},
                                                 options.device),
                         userAgent: await browser.userAgent()});
  }
  await t.waitReady(timed);
  await timed.evaluate(() => { window.__weruleClock.frozen = true; window.__weruleClock.ms = 1000; });
  if (options.device) await timed.tap("#start");
  else await timed.click("#start");
  await t.waitStats(timed, (x) => x.running && x.frames > 2);
  await timed.evaluate((ms) => { window.__weruleClock.ms = 1000 + ms; }, MOMENT_S * 1000);
  await t.waitStats(timed, (x) => x.ticks >= Math.round(MOMENT_S * 50));
  const result = await timed.evaluate(async (spanMs) => {
    // Times each pass of the loop with the real clock (the page's own is frozen).
    const clock = window.__weruleClock;
    const realFrame = Module._webFrame;
    const work = [];
    let most = 0;
    Module._webFrame = function() {
      clock.frozen = false;
      const start = performance.now();
      const before = Module.weruleStats.drawCalls;
      const running = realFrame();
      work.push(performance.now() - start);
      most = Math.max(most, Module.weruleStats.drawCalls - before);
      clock.frozen = true;
      return running;
    };
    const frames0 = Module.weruleStats.frames;
    clock.frozen = false;
    const start = performance.now();
    clock.frozen = true;
    await new Promise((resolve) => setTimeout(resolve, spanMs));
    clock.frozen = false;
    const elapsed = performance.now() - start;
    clock.frozen = true;
    const frames = Module.weruleStats.frames - frames0;
    work.sort((a, b) => a - b);
    const canvas = Module.weruleCanvas;
    return {frames, elapsed, workMedian: work[Math.floor(work.length / 2)], mostDraws: most,
            antialias: window.__weruleAntialias,
            canvas: {width: canvas.width, height: canvas.height, cssWidth: canvas.clientWidth,
                     cssHeight: canvas.clientHeight}};
  }, FRAME_SPAN_MS);
  await timed.close();
  return result;
}

(async () => {
  if (!fs.existsSync(pagePath)) {
    console.log(`bench-web: ${pagePath} not built (make web)`);
    process.exit(1);
  }
  const html = fs.readFileSync(pagePath);
  console.log(`page size: ${html.length} bytes raw, ${zlib.gzipSync(html, {level: 9}).length} bytes gzip`);

  // Frame-rate limits stay on: with them off (--disable-frame-rate-limit)
  // Chromium starves the page's timeouts for seconds while it draws, and
  // below 60 frames a second the limit does not hold the page back.
  const browser = await t.launch();
  const url = "file://" + path.resolve(pagePath);

  // Start click to first frame, five starts, each ended by Esc.
  const page = await t.openPage(browser, url);
  const firstFrames = [];
  for (let i = 0; i < STARTS; i++) {
    await t.waitReady(page);
    await page.click("#start");
    const s = await t.waitStats(page, (x) => x.firstFrameMs >= 0 && x.running);
    if (s) firstFrames.push(s.firstFrameMs);
    await page.keyboard.press("Escape");
    await t.waitStats(page, (x) => x.promptShown && !x.running, 10000);
  }
  // How late the ticks come in a visible page, over 5 s of a show that
  // has drawn its first frames (1 s quick).
  await t.waitReady(page);
  await page.click("#start");
  await t.waitStats(page, (x) => x.running && x.firstFrameMs >= 0);
  await t.sleep(1000);
  await page.evaluate(() => { Module.weruleStats.tickLateMaxMs = 0; });
  const before = await t.stats(page);
  await t.sleep(TICK_SPAN_MS);
  const after = await t.stats(page);
  await page.keyboard.press("Escape");
  await t.waitStats(page, (x) => x.promptShown && !x.running, 10000);
  const ticks = after.ticks - before.ticks;
  console.log(`ticks: ${ticks} in ${TICK_SPAN_MS / 1000} s of a running show, late by ` +
              `${((after.tickLateSumMs - before.tickLateSumMs) / Math.max(1, ticks)).toFixed(1)} ms ` +
              `on average, at most ${after.tickLateMaxMs.toFixed(1)} ms`);
  await page.close();
  console.log(`start click to first frame: median ${median(firstFrames).toFixed(1)} ms ` +
              `(${firstFrames.map((v) => v.toFixed(0)).join(", ")})`);

  await measureSync(browser, url);

  const result = await frameTime(browser, url, {});
  // The canvas's multisampling (which stands for GL_POLYGON_SMOOTH) the
  // other way round, for the comparison.
  const other = await frameTime(browser, url, {antialias: !result.antialias});
  await browser.close();
  // A 16:9 screen, and a phone held upright and on its side (touch, 3
  // device pixels to the CSS pixel), each in fullscreen.
  const screens = [
    {name: "1280x720", args: ["--window-size=1280,720", "--screen-info={1280x720}"]},
    {name: "phone 393x851 (x3)", device: {width: 393, height: 851}},
    {name: "phone 851x393 (x3)", device: {width: 851, height: 393}},
  ];
  const shaped = [];
  for (const screen of screens) {
    const shapedBrowser = await t.launch(screen.args || []);
    shaped.push(Object.assign({name: screen.name},
                              await frameTime(shapedBrowser, url, {device: screen.device})));
    await shapedBrowser.close();
  }

  const webMs = result.elapsed / Math.max(1, result.frames);
  const native = execFileSync(nativePath, [String(MOMENT_S), String(NATIVE_FRAMES)]).toString().trim().split(" ");
  const nativeMs = Number(native[0]);
  console.log(`frame time at ${MOMENT_S} s: page ${webMs.toFixed(2)} ms a frame (${result.frames} frames in ` +
              `${(result.elapsed / 1000).toFixed(1)} s; one loop pass ${result.workMedian.toFixed(2)} ms median), ` +
              `native drawFrame + glFinish ${nativeMs.toFixed(2)} ms on ${native.slice(1).join(" ")}`);
  console.log(`RATIO web/native frame-ms ${MOMENT_S}s ${(nativeMs / webMs).toFixed(3)}`);
  console.log(`WebGL draw calls a frame: at most ${result.mostDraws} (goal: at most 50)`);
  const otherMs = other.elapsed / Math.max(1, other.frames);
  for (const [what, run, ms] of [["as built", result, webMs], ["the other way", other, otherMs]]) {
    console.log(`multisampling ${run.antialias ? "on" : "off"} (${what}): ${(1000 / ms).toFixed(1)} ` +
                `frames a second, ${ms.toFixed(2)} ms a frame, ${(nativeMs / ms).toFixed(3)} of native`);
  }
  for (const run of shaped) {
    const ms = run.elapsed / Math.max(1, run.frames);
    console.log(`fullscreen on ${run.name}: ${(1000 / ms).toFixed(1)} frames a second ` +
                `(${run.frames} frames in ${(run.elapsed / 1000).toFixed(1)} s), canvas buffer ` +
                `${run.canvas.width}x${run.canvas.height} shown at ${run.canvas.cssWidth}x` +
                `${run.canvas.cssHeight} CSS pixels`);
  }
})();
