// The WebAssembly page in headless Chromium, as a visitor uses it: runs
// through the form must print exactly the command line's text, the page must
// stay responsive during a run, failures must say what happened, and the
// page must work offline and at phone width.
//
//   PICALC_WEB_DIR=build-wasm/web node --test tests/web/
import { after, before, test } from "node:test";
import assert from "node:assert/strict";
import { readFile, mkdir } from "node:fs/promises";
import { createServer } from "node:http";
import { extname, join, normalize, resolve } from "node:path";
import { chromium } from "playwright-core";

const site = resolve(process.env.PICALC_WEB_DIR ?? "build-wasm/web");
const screenshots = resolve(process.env.PICALC_SCREENSHOTS ?? join(site, "..", "page-test"));
const data = new URL("../data/", import.meta.url);
const types = {
  ".html": "text/html; charset=utf-8",
  ".js": "text/javascript",
  ".css": "text/css",
  ".wasm": "application/wasm",
};

let server;
let browser;
let origin;

before(async () => {
  server = createServer(async (request, response) => {
    const path = normalize(decodeURIComponent(new URL(request.url, "http://x").pathname));
    const file = join(site, path.endsWith("/") ? `${path}index.html` : path);
    try {
      if (!file.startsWith(site)) throw new Error("outside the site");
      const body = await readFile(file);
      response.writeHead(200, { "content-type": types[extname(file)] ?? "application/octet-stream" });
      response.end(body);
    } catch {
      response.writeHead(404).end();
    }
  });
  await new Promise((listening) => server.listen(0, "127.0.0.1", listening));
  origin = `http://127.0.0.1:${server.address().port}`;
  browser = await chromium.launch({
    executablePath: process.env.CHROMIUM ?? "/usr/bin/chromium",
    args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
      "--disable-background-networking", "--disable-component-update", "--disable-sync"],
  });
  await mkdir(screenshots, { recursive: true });
});

after(async () => {
  await browser?.close();
  server?.close();
});

const masked = (text) => text.replace(/^Total time -?\d+\.\d{6} seconds $/m, "Total time <seconds> seconds ");

async function runThroughForm(page, digits, stomer) {
  await page.fill("#digits", digits);
  await page.setChecked("#stomer", stomer);
  await page.click("#run");
}

async function waitForEnd(page) {
  await page.waitForSelector("#run:enabled", { timeout: 60000 });
}

const runs = [
  { digits: "0", stomer: false, expected: "run_0.txt" },
  { digits: "763", stomer: true, expected: "run_763_stomer.txt" },
];

for (const run of runs) {
  test(`digits ${run.digits}${run.stomer ? " with Størmer" : ""}: the command line's text and a verdict`, async () => {
    const page = await browser.newPage({ viewport: { width: 1000, height: 900 } });
    await page.goto(`${origin}/`);
    await runThroughForm(page, run.digits, run.stomer);

    // Mid-run, the page still handles a click at once.
    await page.waitForFunction(() => /integration table/.test(document.getElementById("stage").textContent));
    await page.screenshot({ path: join(screenshots, `running_${run.digits}.png`) });
    await page.click("label.formula");
    assert.equal(await page.isChecked("#stomer"), !run.stomer);
    assert.equal(await page.isDisabled("#run"), true, "the click came after the run ended");
    await page.click("label.formula");

    await waitForEnd(page);
    const expected = await readFile(new URL(run.expected, data), "utf8");
    assert.equal(masked(await page.textContent("#output")), expected);
    assert.match(await page.textContent("#verdict"), /^Verified: both verification codes and both products match/);
    const time = /^Total time (\S+) seconds $/m.exec(await page.textContent("#output"))[1];
    assert.equal(await page.textContent("#score"), time);
    assert.equal(await page.isHidden("#failure"), true);
    await page.screenshot({ path: join(screenshots, `run_${run.digits}.png`), fullPage: true });
    await page.close();
  });
}

test("a count too large for 32 bits ends with its exit status in words", async () => {
  const page = await browser.newPage();
  await page.goto(`${origin}/`);
  await runThroughForm(page, "1073741818", false);
  await page.waitForSelector("#failure:visible");
  await waitForEnd(page);
  assert.match(await page.textContent("#failure"), /exit status 1: the term buffer could not be allocated/);
  const banner = (await readFile(new URL("run_0.txt", data), "utf8")).split("\n").slice(0, 3).join("\n");
  assert.equal(await page.textContent("#output"), `${banner}\n`);
  assert.equal(await page.isHidden("#result"), true);
  await page.close();
});

test("once loaded, the page runs offline and fits a phone's width", async () => {
  const context = await browser.newContext({ viewport: { width: 360, height: 740 }, isMobile: true, hasTouch: true });
  const page = await context.newPage();
  await page.goto(`${origin}/`);
  await page.evaluate(() => navigator.serviceWorker.ready);
  await context.setOffline(true);
  await page.reload();
  await runThroughForm(page, "20", false);
  await waitForEnd(page);
  assert.match(await page.textContent("#verdict"), /^Verified/);
  const layout = await page.evaluate(() => ({
    overflow: document.documentElement.scrollWidth - window.innerWidth,
    run: document.getElementById("run").getBoundingClientRect().height,
    digits: document.getElementById("digits").getBoundingClientRect().height,
  }));
  assert.ok(layout.overflow <= 0, `the page is ${layout.overflow} px wider than the screen`);
  assert.ok(layout.run >= 44 && layout.digits >= 44, "tap targets under 44 px");
  await page.screenshot({ path: join(screenshots, "phone.png"), fullPage: true });
  await context.close();
});
