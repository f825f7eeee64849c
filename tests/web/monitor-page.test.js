// The web monitor's page in headless Chromium: the program's window runs a galvanostatic run on
// the simulated cell (monitor_page_driver); the page must show the running mode, plot the rows and
// take new ones from the stream. Screenshots (desktop and phone size) go into the build folder.
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
      viewport: { width: 1280, height: 1000 },
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
    await page.waitForFunction(() => document.getElementById("state").dataset.state === "SetCurrent",
                               null, { timeout: 60000 });
    check(true, "the status shows the galvanostatic run");
    await page.waitForFunction(() => Number(document.getElementById("plot").dataset.points) >= 3 * 4,
                               null, { timeout: 90000 });
    const first = Number(await page.getAttribute("#plot", "data-points"));
    check(first >= 12, "the plot has drawn the rows (" + first + " points in 4 panels)");
    check((await page.textContent("#conn")) === "live", "the stream is live");
    check(/OK/.test(await page.textContent("#smu")) && /OK/.test(await page.textContent("#dmm")),
          "both links OK");
    check(/°C/.test(await page.textContent("#lT")), "the latest point's cell T is shown");
    await page.waitForFunction(() => /set to SetCurrent/.test(document.getElementById("eventlist").textContent),
                               null, { timeout: 30000 });
    check(true, "the event list has the mode change");

    // New rows arrive through the stream without reloading.
    await page.waitForFunction((n) => Number(document.getElementById("plot").dataset.points) > n,
                               first, { timeout: 30000 });
    check(true, "new rows are plotted as they come");

    for (const h of ["1", "12", "0"]) await page.click(`#range button[data-h="${h}"]`);
    check(Number(await page.getAttribute("#plot", "data-points")) >= first, "the time ranges redraw");
    await page.screenshot({ path: path.join(buildDir, "monitor-page.png"), fullPage: true });

    await page.setViewportSize({ width: 390, height: 844 });
    await page.waitForTimeout(300);
    const overflow = await page.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
    check(overflow <= 1, "no sideways scrolling on a phone-sized screen (" + overflow + " px)");
    await page.screenshot({ path: path.join(buildDir, "monitor-page-phone.png"), fullPage: true });

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
