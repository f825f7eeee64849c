// The web monitor's page in headless Chromium: the program's window holds a PID setpoint on the
// simulated cell (monitor_page_driver); the page must show the experiment, the mode and its
// setpoint, times in the browser's own zone, plot the rows with uPlot and take new ones from the
// stream, at desktop and phone sizes. Screenshots of both go into the build folder.
//
//   node monitor-page.test.js DRIVER BUILD_FOLDER
// Exit code 0: passed; 1: failed; 77: no Chromium or playwright-core here (skipped).
"use strict";
const { spawn } = require("child_process");
const fs = require("fs");
const net = require("net");
const os = require("os");
const path = require("path");

const CHROMIUM = "/usr/bin/chromium";
const [driver, buildDir] = process.argv.slice(2);

function skip(why) {
  console.log("SKIPPED: " + why);
  process.exit(77);
}

let chromium;
try {
  ({ chromium } = require("playwright-core"));
} catch (e) {
  skip("playwright-core is not installed (npm ci in tests/web)");
}
if (!fs.existsSync(CHROMIUM)) skip(CHROMIUM + " is missing");
if (!driver || !buildDir) {
  console.error("usage: node monitor-page.test.js DRIVER BUILD_FOLDER");
  process.exit(2);
}

function freePort() {
  return new Promise((resolve, reject) => {
    const s = net.createServer();
    s.listen(0, "127.0.0.1", () => {
      const { port } = s.address();
      s.close(() => resolve(port));
    });
    s.on("error", reject);
  });
}

// Starts the driver and resolves with the page's address once it says READY.
function startDriver(port) {
  const child = spawn(driver, [String(port)], { stdio: ["pipe", "pipe", "inherit"] });
  const ready = new Promise((resolve, reject) => {
    let out = "";
    const timer = setTimeout(() => reject(new Error("the driver did not get ready in 120 s")), 120000);
    child.stdout.on("data", (d) => {
      out += d;
      const m = out.match(/READY (\S+)/);
      if (m) { clearTimeout(timer); resolve(m[1]); }
    });
    child.on("exit", (code) => { clearTimeout(timer); reject(new Error("the driver ended with " + code)); });
  });
  return { child, ready };
}

async function stopDriver(child) {
  if (child.exitCode !== null) return;
  const exited = new Promise((resolve) => child.on("exit", resolve));
  child.stdin.end(); // the driver closes the window as the operator does
  const timer = setTimeout(() => child.kill("SIGKILL"), 60000);
  await exited;
  clearTimeout(timer);
}

function check(condition, what) {
  if (!condition) throw new Error(what);
  console.log("ok - " + what);
}

// The browser runs in a zone of its own (UTC+05:30, no daylight saving), apart from the program's.
const ZONE = "Asia/Kolkata", ZONE_OFFSET_MIN = 330;
const two = (v) => String(v).padStart(2, "0");
// An ISO time from the server as the page must show it in ZONE: "2026-12-10 19:32:11".
function inZone(iso) {
  const d = new Date(Date.parse(iso) + ZONE_OFFSET_MIN * 60000);
  return d.getUTCFullYear() + "-" + two(d.getUTCMonth() + 1) + "-" + two(d.getUTCDate()) + " " +
         two(d.getUTCHours()) + ":" + two(d.getUTCMinutes()) + ":" + two(d.getUTCSeconds());
}

// Waits (generously: the machine may be loaded) until every plot is a uPlot with the trace drawn
// in its colour, and gives what it found of the plots.
async function waitForDrawnPlots(page) {
  await page.waitForFunction(() => {
    const plots = document.querySelectorAll("#plotgrid .uplot");
    if (plots.length !== 4) return false;
    // The pO2 trace's colour among the canvas's pixels: the trace itself, not only axes and grid.
    const canvas = plots[0].querySelector("canvas");
    const g = canvas.getContext("2d");
    const px = g.getImageData(0, 0, canvas.width, canvas.height).data;
    let trace = 0;
    for (let i = 0; i < px.length; i += 4)
      if (Math.abs(px[i] - 0x24) < 40 && Math.abs(px[i + 1] - 0x58) < 40 && Math.abs(px[i + 2] - 0xb3) < 40 && px[i + 3] > 100) trace++;
    return trace >= 20;
  }, null, { timeout: 90000, polling: 500 });
  return page.evaluate(() => [...document.querySelectorAll("#plotgrid .uplot")].map((p) => {
    const title = p.querySelector(".u-title").getBoundingClientRect(), canvas = p.querySelector("canvas").getBoundingClientRect();
    return { title: p.querySelector(".u-title").textContent, titleBottom: title.bottom, canvasTop: canvas.top,
             canvasRight: canvas.right };
  }));
}

function checkPlots(plots, width) {
  check(plots.map((p) => p.title).join("|") === "Cell pO2 (atm, log)|Cell T (°C)|Pump I|Pump V",
        "pO2, T, I and V are plotted by uPlot, the pO2 trace drawn");
  check(plots.every((p) => p.titleBottom <= p.canvasTop + 0.5), "no plot's title lies on its plotting area");
  check(plots.every((p) => p.canvasRight <= width + 0.5), "the plots fit the width");
}

async function main() {
  const port = await freePort();
  const { child, ready } = startDriver(port);
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), "ondrix-chromium-"));
  let context;
  try {
    const url = await ready;
    context = await chromium.launchPersistentContext(profile, {
      executablePath: CHROMIUM,
      headless: true,
      args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync"],
      viewport: { width: 1920, height: 1080 },
      timezoneId: ZONE,
      bypassCSP: true, // the test's own probes are evaluated in the page; the page itself needs no eval
    });
    const page = context.pages()[0] || (await context.newPage());
    const problems = [];
    page.on("pageerror", (e) => problems.push("page error: " + e.message));
    page.on("console", (m) => { if (m.type() === "error") problems.push("console: " + m.text()); });
    page.on("requestfailed", (r) => {
      if (!r.url().includes("/api/stream")) problems.push("request failed: " + r.url());
    });
    // Nothing may come from outside the program.
    page.on("request", (r) => {
      if (!r.url().startsWith("http://127.0.0.1:" + port + "/")) problems.push("outside request: " + r.url());
    });

    await page.goto(url);
    await page.waitForFunction(() => document.getElementById("state").dataset.state === "PIDSet",
                               null, { timeout: 60000 });
    check(true, "the status shows the PID setpoint run");
    check((await page.textContent("#experiment")) === "LSCF rig 2", "the experiment's name is shown");
    check(!(await page.isHidden("#setpointline")) && (await page.textContent("#setpoint")) === "1.000×10⁻³ atm",
          "the PID setpoint is shown (" + (await page.textContent("#setpoint")) + ")");

    await page.waitForFunction(() => Number(document.getElementById("plots").dataset.points) >= 3,
                               null, { timeout: 90000 });
    const first = Number(await page.getAttribute("#plots", "data-points"));
    checkPlots(await waitForDrawnPlots(page), 1920);
    check((await page.textContent("#conn")) === "live", "the stream is live");
    check(/OK/.test(await page.textContent("#smu")) && /OK/.test(await page.textContent("#dmm")),
          "both links OK");
    check(/^\d+\.\d °C$/.test(await page.textContent("#lT")), "the latest point's cell T is shown");
    const current = await page.textContent("#lI"), voltage = await page.textContent("#lV");
    check(/^-?\d{1,3}\.\d+ [pnµm]?A$|^0 A$/.test(current) && /^-?\d{1,3}\.\d+ [µm]?V$|^0 V$/.test(voltage),
          "the pump's I and V carry SI prefixes (" + current + ", " + voltage + ")");
    check(/^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d$/.test(await page.textContent("#ltime")),
          "the latest point's time is an ISO time (" + (await page.textContent("#ltime")) + ")");

    // The mode change's event, at its time in the browser's zone.
    await page.waitForFunction(() => /set to PIDSet/.test(document.getElementById("eventlist").textContent),
                               null, { timeout: 30000 });
    const events = await page.evaluate(async () => (await (await fetch("api/events" + location.search)).json()).events);
    const change = events.find((e) => e.text === "set to PIDSet");
    const shown = await page.evaluate(() => [...document.querySelectorAll("#eventlist li")]
      .filter((li) => li.textContent.includes("set to PIDSet")).map((li) => li.querySelector("time").textContent)[0]);
    check(change && shown === inZone(change.time),
          "the mode change is listed at its 24-hour time in the browser's zone (" + shown + " for " + (change && change.time) + ")");

    // New rows arrive through the stream without reloading.
    await page.waitForFunction((n) => Number(document.getElementById("plots").dataset.points) > n,
                               first, { timeout: 60000 });
    check(true, "new rows are plotted as they come");

    for (const h of ["1", "12", "0"]) await page.click(`#range button[data-h="${h}"]`);
    check(Number(await page.getAttribute("#plots", "data-points")) >= first, "the time ranges redraw");
    await page.screenshot({ path: path.join(buildDir, "monitor-page.png"), fullPage: false });

    // A phone: the first screen has the mode, pO2, T and the links; the files come further down.
    await page.setViewportSize({ width: 390, height: 844 });
    await page.evaluate(() => window.scrollTo(0, 0));
    await page.waitForFunction(() => {
      const c = document.querySelector("#plotgrid .uplot canvas");
      return c && c.getBoundingClientRect().right <= window.innerWidth;
    }, null, { timeout: 30000 });
    const overflow = await page.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
    check(overflow <= 1, "no sideways scrolling on a phone-sized screen (" + overflow + " px)");
    const below = await page.evaluate(() => {
      const bottom = (id) => document.getElementById(id).getBoundingClientRect().bottom;
      return { first: Math.max(...["state", "setpoint", "lpO2", "lT", "smu", "dmm"].map(bottom)),
               files: document.getElementById("files").getBoundingClientRect().top };
    });
    check(below.first <= 844, "mode, setpoint, pO2, T and links on the phone's first screen (down to " + below.first + " px)");
    check(below.files > below.first, "the file paths further down");
    checkPlots(await waitForDrawnPlots(page), 390);
    await page.screenshot({ path: path.join(buildDir, "monitor-page-phone.png"), fullPage: false });
    await page.screenshot({ path: path.join(buildDir, "monitor-page-phone-full.png"), fullPage: true });

    check(problems.length === 0, "no page errors or outside requests" + (problems.length ? ": " + problems.join("; ") : ""));
  } finally {
    if (context) await context.close();
    await stopDriver(child);
    fs.rmSync(profile, { recursive: true, force: true });
  }
}

main().then(() => process.exit(0), (e) => {
  console.error("FAILED: " + e.message);
  process.exit(1);
});
