// The page's music in headless Chromium (its audio goes to Chromium's own
// output when the machine has no sound device), as a viewer hears it:
// node music_test.js CASE PAGE REFERENCE
//   music     the first 12 s: what reaches the destination is not silent,
//             the position starts at order 0, row 0 and only moves on, the
//             buffers are played back to back, and the first 10 s played
//             are the native libopenmpt's render of the same frames
//             (REFERENCE: web-render-reference); a frame shorter than the
//             queue costs nothing, a longer one a gap; Esc stops the music
//   fullshow  the whole show with its music: the first flash about 74.4 s
//             after the start click, no flash before its row is heard, the
//             end by itself 143 to 147 s after the click, the prompt back
//   noaudio   the whole show in a browser without Web Audio: the silent
//             clock, flashes and the end on time
//   stalled   an audio context that never starts (a browser that refuses
//             it), then one suspended mid-show (its device gone): after
//             a second the silent clock takes over, from where the music
//             was heard, and the position goes on
"use strict";

const fs = require("fs");
const os = require("os");
const path = require("path");
const {execFileSync} = require("child_process");
const t = require("./lib.js");

const [, , testCase, pagePath, referencePath] = process.argv;
if (!testCase || !pagePath || !referencePath) {
  console.error("usage: music_test.js CASE PAGE REFERENCE");
  process.exit(2);
}
if (!fs.existsSync(pagePath)) {
  console.log(`SKIP: ${pagePath} not built (make web)`);
  process.exit(77);
}

const KEEP_S = 10;           // seconds of the page's music compared with the native render
const FIRST_FLASH_S = 74.4;  // the first flash cue's row is heard 74.32 s into the music
const END_FROM_S = 143;
const END_TO_S = 147;

function noAudio() {
  window.AudioContext = undefined;
  window.webkitAudioContext = undefined;
}

async function open(browser, keepSeconds, withoutAudio) {
  const url = "file://" + path.resolve(pagePath);
  const page = await t.openPage(browser, url, {
    beforeLoad: withoutAudio ? noAudio : t.audioTap,
    beforeLoadArgs: withoutAudio ? [] : [keepSeconds]});
  await t.waitReady(page);
  await page.click("#start");
  return page;
}

// The positions the page answered, each one on from the one before.
function checkPositions(positions, what) {
  const name = (p) => `order ${p & 0xffff}, row ${p >>> 16}`;
  t.check(positions.length > 0 && positions[0] === 0,
          `${what}: the position starts at order 0, row 0 (${positions.length ? name(positions[0]) : "none"})`);
  let back = -1;
  for (let i = 1; i < positions.length && back < 0; i++) {
    const before = positions[i - 1], now = positions[i];
    const on = (now & 0xffff) > (before & 0xffff) ||
               ((now & 0xffff) === (before & 0xffff) && (now >>> 16) > (before >>> 16));
    if (!on) back = i;
  }
  t.check(back < 0, back < 0 ? `${what}: ${positions.length} positions, each on from the last`
                             : `${what}: went back from ${name(positions[back - 1])} to ${name(positions[back])}`);
}

// The page's samples against the native render of the same frames.
function compareRender(samples, rate) {
  const frames = samples.length / 2;
  const file = path.join(fs.mkdtempSync(path.join(os.tmpdir(), "werule-web-")), "native.f32");
  execFileSync(referencePath, ["render", String(rate), String(frames), file]);
  const bytes = fs.readFileSync(file);
  const native = new Float32Array(bytes.buffer, bytes.byteOffset, bytes.length / 4);
  let largest = 0, differing = 0, at = -1, energy = 0;
  for (let i = 0; i < samples.length; i++) {
    const difference = Math.abs(samples[i] - native[i]);
    if (difference > 0) differing++;
    if (difference > largest) {
      largest = difference;
      at = i >> 1;
    }
    energy += native[i] * native[i];
  }
  console.log(`render: ${frames} frames at ${rate} Hz against the native libopenmpt: ` +
              `${differing} of ${samples.length} samples differ, the largest by ${largest}` +
              (at >= 0 ? ` (frame ${at})` : ""));
  t.check(native.length === samples.length && frames >= KEEP_S * rate,
          `${frames} frames played and rendered natively (${native.length / 2})`);
  t.check(energy > 0, "the native render is not silence");
  // Both are 32-bit floats from the same source: anything past rounding in
  // the last bits would be a different mix.
  t.check(largest <= 1e-6, `the page plays the native render's samples (largest difference ${largest})`);
}

async function caseMusic(browser) {
  const tapped = await open(browser, KEEP_S + 1, false);
  const rate = await tapped.evaluate(() => Module.weruleAudio.context.sampleRate);
  const clicked = (await t.stats(tapped)).startClickMs;
  const s = await t.waitStats(tapped, (x) => x.running && x.positions.length > 0 &&
                                              performance.now() - x.startClickMs > 12000, 60000);
  t.check(s !== null, "the show plays for 12 s");
  const record = await t.tapRecord(tapped);
  t.check(record.loudest > 0.01, `the music reaching the destination is not silent (RMS ${record.loudest.toFixed(4)})`);
  t.check(!s.audioSilent && s.audioRate === rate, `played through the audio context at ${s.audioRate} Hz`);
  checkPositions(s.positions, "12 s");
  t.check(s.positions.length > 50, `the position moves (${s.positions.length} changes in 12 s)`);

  let gaps = 0;
  for (let i = 1; i < record.buffers.length; i++) {
    const before = record.buffers[i - 1];
    if (Math.abs(record.buffers[i].when - (before.when + before.frames / before.rate)) > 1e-6) gaps++;
  }
  const firstSound = t.heardAt(record.stamps, record.buffers[0].when) - clicked;
  console.log(`${record.buffers.length} buffers of ${record.buffers[0].frames} frames, ` +
              `${gaps} gaps, ${s.audioUnderruns} underruns, queued ${s.audioQueuedMs.toFixed(0)} ms ` +
              `(most ${s.audioQueuedMaxMs.toFixed(0)}); first sound heard ${firstSound.toFixed(1)} ms after the click`);
  t.check(gaps === s.audioUnderruns, `the buffers play back to back but for underruns (${gaps} gaps)`);
  t.check(firstSound > 0, `the first sound after the click (${firstSound.toFixed(1)} ms; bench-web measures it)`);
  compareRender(record.samples.subarray(0, KEEP_S * rate * 2), rate);

  // The page's thread held up (a long frame): shorter than the queue, the
  // music plays through; longer, it goes on after one gap, and the
  // position follows it.
  const hold = (ms) => tapped.evaluate((ms) => {
    const until = performance.now() + ms;
    while (performance.now() < until) {}
  }, ms);
  const steady = await t.stats(tapped);
  await hold(600);
  await t.sleep(500);
  const held = await t.stats(tapped);
  t.check(held.audioUnderruns === steady.audioUnderruns,
          `a 600 ms frame: no gap (${held.audioUnderruns - steady.audioUnderruns} underruns)`);
  await hold(1600);
  await t.sleep(1500);
  const starved = await t.stats(tapped);
  t.check(starved.audioUnderruns === held.audioUnderruns + 1 && !starved.audioSilent,
          `a 1600 ms frame: one gap, then the music again (${starved.audioUnderruns - held.audioUnderruns} underruns)`);
  checkPositions(starved.positions, "after the gap");
  const skip = firstSkip(starved.positions);
  t.check(skip < 0, skip < 0 ? "every row heard, none skipped" : `a row skipped after ${skip} rows`);

  await tapped.keyboard.press("Escape");
  const end = await t.waitStats(tapped, (x) => x.promptShown && !x.running, 30000);
  t.check(end !== null && !end.audioPlaying, "Esc ends the show and its music");
  const left = await tapped.evaluate(() => Module.weruleAudio.sources.length);
  t.check(left === 0, `no buffer left playing or waiting (${left})`);
  const rest = await tapped.waitForFunction(() => Module.weruleAudio.context.state === "suspended",
                                            {timeout: 5000}).then(() => true, () => false);
  t.check(rest, "the audio context rests until the next start");
  // A second start in the same page plays the music again, from its start.
  await tapped.click("#start");
  const again = await t.waitStats(tapped, (x) => x.running && x.shows === end.shows + 1 &&
                                               x.audioQueuedMs > 500, 30000);
  t.check(again !== null && !again.audioSilent && again.positions[0] === 0,
          "a second start resumes the context and plays the music from order 0, row 0");
  await tapped.keyboard.press("Escape");
  await t.waitStats(tapped, (x) => x.promptShown && !x.running, 30000);
  t.check(tapped.errors.length === 0, `no uncaught error (${tapped.errors.join("; ")})`);
  await tapped.close();
}

// The whole show: its first flash seen, its end by itself, the prompt back.
async function wholeShow(browser, withoutAudio) {
  const page = await open(browser, 0, withoutAudio);
  const clicked = (await t.stats(page)).startClickMs;
  const end = await t.waitStats(page, (x) => x.promptShown && !x.running, (END_TO_S + 20) * 1000);
  const endS = (await page.evaluate(() => performance.now()) - clicked) / 1000;
  t.check(end !== null, "the show ends by itself and the start prompt comes back");
  t.check(endS >= END_FROM_S && endS <= END_TO_S,
          `it ends ${endS.toFixed(2)} s after the click (${END_FROM_S} to ${END_TO_S} s)`);
  t.check(end !== null && end.audioSilent === withoutAudio,
          withoutAudio ? "on the silent clock" : "with its music");
  checkPositions(end ? end.positions : [], "the whole show");
  const skip = end ? firstSkip(end.positions) : 0;
  t.check(skip < 0, skip < 0 ? "every row heard, none skipped" : `a row skipped after ${skip} rows`);
  t.check(page.errors.length === 0, `no uncaught error (${page.errors.join("; ")})`);
  return {page, clicked, end};
}

async function caseFullShow(browser) {
  const {page, clicked} = await wholeShow(browser, false);
  const record = await t.tapRecord(page);
  const onsets = t.flashOnsets(record.frames);
  const firstS = onsets.length ? (onsets[0] - clicked) / 1000 : NaN;
  // The music starts a little after the click (0.25 to 0.45 s here).
  const firstSound = (t.heardAt(record.stamps, record.buffers[0].when) - clicked) / 1000;
  t.check(firstS > FIRST_FLASH_S - 0.4 && firstS < FIRST_FLASH_S + 1,
          `the first flash seen ${firstS.toFixed(3)} s after the click (the music heard from ${firstSound.toFixed(3)} s)`);
  // Each flash cue against its row as heard: the row's first frame, at the
  // time its buffer was started for, on the output's clock.
  const rate = record.buffers[0].rate;
  const cues = execFileSync(referencePath, ["cues", String(rate)]).toString().trim().split("\n")
                 .map((line) => line.split(" ").map(Number)).filter(([, row]) => row !== 62);
  const leads = [];
  for (const [order, row, frame] of cues) {
    const heard = t.heardAt(record.stamps, t.frameStart(record.buffers, frame));
    const seen = onsets.find((time) => time >= heard - 100);
    if (seen !== undefined && seen - heard < 200) leads.push({order, row, ms: seen - heard});
  }
  console.log("flash minus sound, ms: " + leads.map((l) => `${l.order}/${l.row} ${l.ms.toFixed(1)}`).join(", "));
  t.check(leads.length >= 7, `${leads.length} of ${cues.length} flash cues seen on their rows`);
  const early = leads.filter((l) => l.ms < -10);
  t.check(early.length === 0, `no flash before its row is heard (${early.length} more than 10 ms early)`);
  await page.close();
}

async function caseNoAudio(browser) {
  const {page, end} = await wholeShow(browser, true);
  t.check(end !== null && end.positions.includes(15 | (52 << 16)),
          "the silent clock reached the first flash cue's row");
  await page.close();
}

// Every audio context made is suspended and stays so.
function refusedAudio() {
  const Real = window.AudioContext;
  window.AudioContext = function(...args) {
    const context = new Real(...args);
    context.suspend();
    context.resume = () => Promise.resolve();
    return context;
  };
}

// Order and row as one number that grows as the music goes on.
const rank = (p) => (p & 0xffff) * 256 + (p >>> 16);

// The first position in positions that does not follow the one before it
// (the next row, or row 0 of another order): -1 when all do.
function firstSkip(positions) {
  for (let i = 1; i < positions.length; i++) {
    const before = positions[i - 1], now = positions[i];
    const next = (now & 0xffff) === (before & 0xffff) ? (now >>> 16) === (before >>> 16) + 1
                                                       : (now >>> 16) === 0;
    if (!next) return i;
  }
  return -1;
}

async function caseStalled(browser) {
  // Never started: silent from the play call on, so the music is where
  // the page's clock says, after 3 s of waiting for the context; the rows
  // of those 3 s are answered one a tick, none left out.
  const refused = await t.openPage(browser, "file://" + path.resolve(pagePath), {beforeLoad: refusedAudio});
  await t.waitReady(refused);
  await refused.click("#start");
  let s = await t.waitStats(refused, (x) => x.running && x.audioSilent, 15000);
  t.check(s !== null, "a context that never starts hands over to the silent clock");
  // Row 32 of order 0 is heard 2.47 s into the music (32 rows of 77 ms).
  s = await t.waitStats(refused, (x) => x.positions.some((p) => rank(p) >= rank(32 << 16)), 3000);
  t.check(s !== null, "and the music moves on, silent");
  s = s || await t.stats(refused);
  checkPositions(s ? s.positions : [], "refused");
  const refusedSkip = s ? firstSkip(s.positions) : 0;
  t.check(refusedSkip < 0, refusedSkip < 0 ? `all ${s.positions.length} rows heard, none skipped`
                                           : `a row skipped after ${refusedSkip} rows`);
  t.check(refused.errors.length === 0, `no uncaught error (${refused.errors.join("; ")})`);
  await refused.close();

  // Suspended after 3 s: the silent clock goes on from the row heard, at
  // the music's pace. Ticks every 20 ms see every row of 77 ms, so the
  // page's record holds each row once, in order, with no row left out.
  const page = await open(browser, 0, false);
  const playing = await t.waitStats(page, (x) => x.running && performance.now() - x.startClickMs > 3000);
  await t.sleep(2000);
  const before = await t.stats(page);
  await page.evaluate(() => Module.weruleAudio.context.suspend());
  await t.sleep(1500);
  const over = await t.stats(page);
  await t.sleep(2000);
  const after = await t.stats(page);
  t.check(!before.audioSilent && over.audioSilent, "a suspended context hands over to the silent clock");
  checkPositions(after.positions, "suspended");
  const skip = firstSkip(after.positions);
  t.check(skip < 0, skip < 0 ? `all ${after.positions.length} rows heard, none skipped at the hand-over`
                             : `a row skipped after ${skip} rows`);
  const rowsPlaying = before.positions.length - playing.positions.length;
  const rowsSilent = after.positions.length - over.positions.length;
  t.check(Math.abs(rowsSilent - rowsPlaying) <= 4,
          `rows in 2 s with the context: ${rowsPlaying}, on the silent clock: ${rowsSilent}`);
  t.check(page.errors.length === 0, `no uncaught error (${page.errors.join("; ")})`);
  await page.close();
}

const cases = {music: caseMusic, fullshow: caseFullShow, noaudio: caseNoAudio, stalled: caseStalled};

t.runCase(cases, testCase);
