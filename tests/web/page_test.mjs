// The WebAssembly page as a visitor uses it, in every engine: runs through
// the form must print exactly the command line's text, the page must stay
// responsive during a run, failures must say what happened, the page must
// work offline and at phone width, and nothing may reach the console.
//
//   PICALC_WEB_DIR=build-wasm/web node --test tests/web/
//
// PICALC_ENGINES picks engines (default: chromium,firefox,webkit). An engine
// that cannot start says NOT RUN and why, unless PICALC_ENGINES_REQUIRED=1,
// as in CI, makes that a failure.
import { after, before, describe, test } from "node:test";
import assert from "node:assert/strict";
import { execFile } from "node:child_process";
import { existsSync } from "node:fs";
import { mkdir, mkdtemp, readFile, writeFile } from "node:fs/promises";
import { tmpdir } from "node:os";
import { promisify } from "node:util";
import { join, resolve } from "node:path";
import { NotRun, engines, harnessPages, waitFor } from "./engines.mjs";
import { serve } from "./serve.mjs";
import { siteModule } from "./tool_node.mjs";

const site = resolve(process.env.PICALC_WEB_DIR ?? "build-wasm/web");
const screenshots = resolve(process.env.PICALC_SCREENSHOTS ?? join(site, "..", "page-test"));
const data = new URL("../data/", import.meta.url);
const picalcCheck = resolve(process.env.PICALC_CHECK ?? "build/picalc-check");
const { maxDigitCount } = await siteModule("limits.js");
const names = (process.env.PICALC_ENGINES ?? "chromium,firefox,webkit").split(",");

let server;
before(async () => (server = await serve(site, harnessPages)));
after(() => server?.close());

const masked = (text) => text.replace(/^Total time -?\d+\.\d{6} seconds $/m, "Total time <seconds> seconds ");
const text = (page, selector) => page.evaluate((s) => document.querySelector(s).textContent, selector);
const property = (page, selector, name) => page.evaluate((s, n) => document.querySelector(s)[n], selector, name);

async function runThroughForm(page, digits, stomer, { runs = "1", everyCore = false } = {}) {
  await page.fill("#digits", digits);
  if ((await property(page, "#stomer", "checked")) !== stomer) await page.click("#stomer");
  if ((await property(page, "#every-core", "checked")) !== everyCore) await page.click("#every-core");
  await page.evaluate((value) => (document.getElementById("runs").value = value), runs);
  await page.click("#run");
}

// What picalc-check says of a downloaded record, or null where it is not built.
async function checked(t, download) {
  if (!existsSync(picalcCheck)) {
    t.diagnostic(`NOT RUN: the record's check: ${picalcCheck} is not built`);
    console.log(`NOT RUN: the record's check: ${picalcCheck} is not built`);
    return null;
  }
  const file = join(await mkdtemp(join(tmpdir(), "picalc-record-")), download.name);
  await writeFile(file, download.text);
  return (await promisify(execFile)(picalcCheck, [file])).stdout;
}

const downloaded = (page, id) => page.evaluate(async (link) => {
  const element = document.getElementById(link);
  return { name: element.download, text: await (await fetch(element.href)).text() };
}, id);

// Every element's box inside the screen's width, and each date on one line.
const layoutFaults = (page) => page.evaluate(() => {
  const faults = [...document.querySelectorAll("main *")]
    .filter((element) => element.getClientRects().length > 0 && element.getBoundingClientRect().right > innerWidth + 0.5)
    .map((element) => `${element.tagName.toLowerCase()}#${element.id}.${element.className} ends at ${element.getBoundingClientRect().right} px`);
  for (const cell of document.querySelectorAll("#history-rows td:first-child")) {
    const range = document.createRange();
    range.selectNodeContents(cell);
    if (new Set([...range.getClientRects()].map((rect) => Math.round(rect.top))).size > 1) faults.push(`the date ${cell.textContent} breaks`);
  }
  return faults;
});

// Generous for a cold browser on a slow or emulated machine: a 763-digit
// run takes seconds on a warm one.
const runEnded = (page, timeout = 300000) => waitFor(page, () => !document.getElementById("run").disabled, timeout);

for (const name of names) {
  describe(name, () => {
    let engine;
    let notRun;
    let shots;
    before(async () => {
      try {
        engine = await engines[name]();
      } catch (error) {
        if (!(error instanceof NotRun) || process.env.PICALC_ENGINES_REQUIRED === "1") throw error;
        notRun = `NOT RUN: ${name}: ${error.message}`;
        console.log(notRun);
      }
      shots = join(screenshots, name);
      await mkdir(shots, { recursive: true });
    });
    after(() => engine?.close());

    // Each scenario gets a page of its own, and must leave the console empty
    // and the server without a failed request.
    const scenario = (title, size, body) =>
      test(title, async (t) => {
        if (notRun) return t.skip(notRun);
        server.failures.length = 0;
        server.setOffline(false);
        server.setOverride("/known_runs.json", null);
        const page = await engine.open(...size);
        try {
          await body(page, t);
        } finally {
          await page.close();
        }
        assert.deepEqual(page.console, [], `${name}'s console`);
        assert.deepEqual(server.failures, [], "requests that failed");
      });

    const runs = [
      { digits: "0", stomer: false, expected: "run_0.txt" },
      { digits: "763", stomer: true, expected: "run_763_stomer.txt" },
    ];
    for (const run of runs) {
      scenario(`digits ${run.digits}${run.stomer ? " with Størmer" : ""}: the command line's text and a verdict`,
        [1000, 900], async (page) => {
          await page.goto(`${server.origin}/`);
          await runThroughForm(page, run.digits, run.stomer);
          await runEnded(page);
          const output = await text(page, "#output");
          assert.equal(masked(output), await readFile(new URL(run.expected, data), "utf8"));
          assert.match(await text(page, "#verdict"), /^Verified: the run checked line by line, as picalc-check checks them/);
          assert.equal(await text(page, "#score"), /^Total time (\S+) seconds $/m.exec(output)[1]);
          assert.match(await text(page, "#engine"), new RegExp(`^Ran in ${engine.label} `));
          assert.equal(await property(page, "#failure", "hidden"), true);
          await page.screenshot(join(shots, `run_${run.digits}.png`));
        });
    }

    // The pi stage grows with the square of the count: a million digits keep
    // it busy for hours here, and for many minutes on a machine ten times
    // faster, so the click lands mid-run however fast or slow the host is.
    // Closing the page ends the run.
    scenario("mid-run, the page still answers a click", [1000, 900], async (page) => {
      await page.goto(`${server.origin}/`);
      await runThroughForm(page, "1000000", false);
      await waitFor(page, () => document.getElementById("output").textContent.includes("[Gauss]"));
      await page.screenshot(join(shots, "running.png"));
      await page.click("label.formula");
      assert.equal(await property(page, "#stomer", "checked"), true, "the click was not handled");
      assert.equal(await text(page, "#stage"), "Step 1 of 3: pi digits");
      assert.equal(await property(page, "#run", "disabled"), true);
    });

    scenario("a count too large for 32 bits ends with its exit status in words", [1000, 900], async (page) => {
      await page.goto(`${server.origin}/`);
      await runThroughForm(page, String(maxDigitCount + 1), false);
      await runEnded(page);
      assert.match(await text(page, "#failure"), /exit status 1: the term buffer could not be allocated/);
      const banner = (await readFile(new URL("run_0.txt", data), "utf8")).split("\n").slice(0, 3).join("\n");
      assert.equal(await text(page, "#output"), `${banner}\n`);
      assert.equal(await property(page, "#result", "hidden"), true);
      assert.equal(await property(page, "#history", "hidden"), true, "a failed run was kept");
    });

    let shared;
    scenario("verified runs are kept across a reload, deleted, downloaded and shared", [1000, 900], async (page, t) => {
      await page.goto(`${server.origin}/`);
      for (let run = 0; run < 2; run += 1) {
        await runThroughForm(page, "0", false);
        await runEnded(page);
      }
      await page.reload();
      const rows = () => page.evaluate(() => [...document.querySelectorAll("#history-rows tr")].map((row) => row.textContent));
      assert.equal((await rows()).length, 2);
      assert.ok((await rows()).every((row) => row.includes("0 digits, Gauss's formula") && row.includes(engine.label)));
      // The chart labels every bar with its time, and marks the newest.
      const bars = await page.evaluate(() => [...document.querySelectorAll("#history-chart li")].map((bar) => bar.textContent));
      assert.equal(bars.length, 2);
      assert.ok(bars.every((bar) => /^\d+\.\d{3} s · \d{4}-\d\d-\d\d, /.test(bar)), bars.join("\n"));
      assert.match(bars[1], / \(newest\)$/);
      await page.screenshot(join(shots, "history.png"));

      // The record downloads in picalc-record's format, which picalc-check accepts.
      await runThroughForm(page, "0", false);
      await runEnded(page);
      const download = await downloaded(page, "download");
      assert.match(download.name, /^\d{4}-\d\d-\d\d-[a-z0-9-]+-wasm\.txt$/);
      assert.match(download.text, /^CPU: unknown\nCores: \d+ logical processors, unknown physical cores, hypervisor unknown\nHardware: max unknown, base unknown, reported unknown; caches unknown; memory (\d+ MiB|unknown); SMT unknown; governor unknown, boost unknown, energy preference unknown\nSystem: .+\nBuild: picalc \d+\.\d+\.\d+, .+ \(\w+ engine\), WebAssembly page, .+\nRun by: unknown\nDate: \d{4}-\d\d-\d\d\nNotes: .+\n\nRuns: 1 of 0 digits \[Gauss\], one after another\nRun times: .*\nMedian: .*\nDrift: not tested \(1 run: .*\n\npi calc/);
      const verdict = await checked(t, download);
      if (verdict !== null) assert.match(verdict, /^valid: 0 digits \[Gauss\]/);
      shared = { link: await property(page, "#share", "href"), score: await text(page, "#score") };

      assert.equal((await rows()).length, 3);
      await page.click("#history-rows tr:first-child button");
      assert.equal((await rows()).length, 2);
      await page.click("#clear-history");
      await page.reload();
      assert.equal(await property(page, "#history", "hidden"), true);
    });

    // The test machines have 2 logical processors; the page uses as many as
    // the browser reports, so the test asks it too.
    let measured;
    scenario("3 runs and every core: the median, the scaling, a checked record and JSON", [1000, 900], async (page, t) => {
      await page.goto(`${server.origin}/`);
      await runThroughForm(page, "0", false, { runs: "3", everyCore: true });
      await runEnded(page, 1200000); // 3 runs and 3 rounds of copies
      assert.equal(await property(page, "#failure", "hidden"), true, await text(page, "#failure"));
      const copies = await page.evaluate(() => navigator.hardwareConcurrency);
      assert.equal(masked(await text(page, "#output")), await readFile(new URL("run_0.txt", data), "utf8"));
      assert.equal(await text(page, "#score-label"), "Median total time of 3 runs");
      const summary = await page.evaluate(() => [...document.querySelectorAll("#summary li")].map((line) => line.textContent));
      assert.equal(summary[0], "Runs: 3 of 0 digits [Gauss], one after another");
      assert.match(summary[3], /^Drift: not tested \(3 runs: /);
      assert.equal(summary[4], `Copies: ${copies} at once, 3 rounds`);
      assert.match(summary[7], /^Copy drift: not tested \(3 rounds: /);
      assert.match(summary[8], /^Scaling: \d+\.\d\d \(/);
      assert.match(await text(page, "#verdict"), new RegExp(`^Verified: all ${3 + 3 * copies} runs and copies checked line by line`));

      const record = await downloaded(page, "download");
      assert.equal(record.text.split("\npi calc").length - 1, 3, "every single run's output");
      const verdict = await checked(t, record);
      if (verdict !== null) assert.match(verdict, new RegExp(`^valid: 3 runs of 0 digits \\[Gauss\\], median total time ${await text(page, "#score")} `));
      const json = JSON.parse((await downloaded(page, "download-json")).text);
      assert.equal(json.run, "0 digits [Gauss]");
      assert.deepEqual(json.runs.map((run) => run.valid), [true, true, true]);
      assert.deepEqual(json.copies.map((round) => round.length), [copies, copies, copies]);
      assert.equal(json.summary.median.toFixed(6), await text(page, "#score"));
      assert.equal(typeof json.summary.scaling, "number");
      measured = { link: await property(page, "#share", "href"), copies };
      await page.screenshot(join(shots, "every_core.png"));
    });

    // picalc-compare.wasm tests the difference from each known run, and
    // checks and compares an opened record, in the page's own worker.
    scenario("3 runs set against known runs and against an opened record, by picalc-compare", [1000, 900], async (page) => {
      const slow = [9.0, 9.1, 9.2, 9.3, 9.4, 9.5, 9.6, 9.7, 9.8];
      const knownRun = (name, times) => ({ name, digits: 0, formula: "Gauss", runs: times.length, times,
        total: times[Math.floor(times.length / 2)], kind: "browser", engine: "Blink", build: `page in ${name}`, cpu: "a CPU" });
      server.setOverride("/known_runs.json", JSON.stringify({ schema_version: 1,
        records: [knownRun("slow-machine", slow), knownRun("one-run", [1.0])], groups: [] }));
      await page.goto(`${server.origin}/`);
      await runThroughForm(page, "0", false, { runs: "3" });
      await runEnded(page);
      assert.equal(await property(page, "#failure", "hidden"), true, await text(page, "#failure"));
      await waitFor(page, () => document.getElementById("compare").textContent.includes("no verdict"), 120000);
      const labels = await page.evaluate(() => [...document.querySelectorAll("#compare .bar-label")].map((l) => l.textContent));
      assert.ok(labels.some((l) => /page in slow-machine, a CPU \(median of 9 runs\): slower than this device in these runs \(p = 0\.009\), but one session of each gives no verdict/.test(l)), labels.join("\n"));
      assert.ok(labels.some((l) => /page in one-run, a CPU: too few runs to tell a difference$/.test(l)), labels.join("\n"));

      // A record of 9 slow runs: genuine, so compared; then with one digit changed.
      const template = await readFile(new URL("run_0.txt", data), "utf8");
      const record = ["CPU: another machine", "", ...slow.map((t) => template.replace("<seconds>", t.toFixed(6)))].join("\n");
      const open = (name, body) => page.evaluate((n, b) => {
        const input = document.getElementById("record-file");
        const files = new DataTransfer();
        files.items.add(new File([b], n, { type: "text/plain" }));
        input.files = files.files;
        input.dispatchEvent(new Event("change"));
      }, name, body);
      assert.equal(await property(page, "#compare-record", "hidden"), false);
      await open("slow.txt", record);
      await waitFor(page, () => /\n(Single|Differs)/.test(document.getElementById("record-comparison").textContent), 120000);
      const verdict = await text(page, "#record-comparison");
      assert.match(verdict, /^A: this-device: 3 runs of 0 digits \[Gauss\]/);
      assert.match(verdict, /\nB: slow\.txt: 9 runs of 0 digits \[Gauss\], median 9\.400000 s/);
      assert.match(verdict, /\nSingle runs: No verdict: the runs differ \(A is \d+\.\d % faster than B \(95 % interval [\d.]+ to [\d.]+ %; p = 0\.009, 3 and 9 runs\)\), but this is one record of each/);
      // WebKit's driver shows the viewport alone: bring the verdict into it.
      await page.evaluate(() => document.getElementById("compare").scrollIntoView());
      await page.screenshot(join(shots, "compare_record.png"));
      await open("tampered.txt", record.replace("is=:229347328", "is=:229347329"));
      await waitFor(page, () => document.getElementById("record-comparison").textContent.includes("nothing compared"), 120000);
      assert.match(await text(page, "#record-comparison"), /^picalc-compare: tampered\.txt: run 1: line \d+: expected "Anti cheating verification code is=:229347328"/);
    });

    scenario("a share link opened elsewhere shows the shared score beside known runs", [360, 740], async (page) => {
      assert.ok(shared, "the run that makes the link failed");
      await page.goto(shared.link);
      await waitFor(page, () => !document.getElementById("shared").hidden);
      assert.equal(await text(page, "#shared-score"), shared.score);
      assert.match(await text(page, "#shared-summary"), new RegExp(`^Shared result: 0 digits, Gauss's formula, run in ${engine.label} `));
      assert.equal(await property(page, "#compare", "hidden"), false);
      assert.equal(await page.evaluate(() => document.querySelectorAll("#compare-same li.current").length), 1);
      const overflow = await page.evaluate(() => document.documentElement.scrollWidth - innerWidth);
      assert.ok(overflow <= 0, `the page is ${overflow} px wider than the screen`);
      assert.deepEqual(await layoutFaults(page), []);
      await page.screenshot(join(shots, "shared.png"));

      assert.ok(measured, "the measurement that makes the link failed");
      await page.goto(measured.link);
      await waitFor(page, (link) => location.href === link && !document.getElementById("shared").hidden, undefined, measured.link);
      assert.match(await text(page, "#shared-summary"),
        new RegExp(`^Shared result: median of 3 runs of 0 digits, .*; ${measured.copies} copies at once did the work of \\d+\\.\\d\\d single runs\\.$`));
      // A link as the page made it before several runs.
      const old = "v=1&t=3.500000&d=0&f=Gauss&b=Chromium+140&e=Blink&p=Linux+x86_64&s=0.1,3,0.4";
      await page.goto(`${server.origin}/#${old}`);
      await waitFor(page, () => !document.getElementById("shared").hidden);
      assert.equal(await text(page, "#shared-score"), "3.500000");
      assert.match(await text(page, "#shared-summary"), /^Shared result: 0 digits, Gauss's formula, run in Chromium 140 \(Blink engine\) on Linux x86_64\.$/);
    });

    scenario("a share link that is malformed, too long or from a newer page is refused in words", [1000, 900], async (page) => {
      const good = "v=1&t=3.5&d=0&f=Gauss&b=X&e=Blink&p=Linux&s=0.1,3,0.3";
      const cases = [
        [`#${good.replace("t=3.5", "t=fast")}`, /missing or malformed: total time\.$/],
        [`#${good.replace("s=0.1,3,0.3", "s=1").replace("f=Gauss", "f=Euler")}`, /missing or malformed: formula, stage times/],
        [`#${good}&b=${"x".repeat(700)}`, /characters long/],
        [`#${good.replace("v=1", "v=3")}`, /comes from a newer picalc/],
        ["#results", /has no format version/],
      ];
      await page.goto(`${server.origin}/${cases[0][0]}`);
      for (const [fragment, message] of cases) {
        await page.evaluate((f) => (location.hash = f), fragment);
        await waitFor(page, (f) => location.hash === f && !document.getElementById("share-error").hidden, undefined, fragment);
        assert.match(await text(page, "#share-error"), message, fragment);
        assert.equal(await property(page, "#shared", "hidden"), true, fragment);
      }
    });

    scenario("the page can be added to a home screen: manifest and icons", [1000, 900], async (page) => {
      await page.goto(`${server.origin}/`);
      const icons = await page.evaluate(async () => {
        const manifest = await (await fetch(document.querySelector("link[rel=manifest]").href)).json();
        const loaded = await Promise.all(manifest.icons.map((icon) => new Promise((done) => {
          const image = new Image();
          image.onload = () => done(`${icon.src} ${icon.sizes} ${image.naturalWidth}x${image.naturalHeight}`);
          image.onerror = () => done(`${icon.src} did not load`);
          image.src = new URL(icon.src, document.baseURI);
        })));
        return { display: manifest.display, loaded };
      });
      assert.equal(icons.display, "standalone");
      // Every PNG loads at the size it claims, and the phone sizes are there.
      for (const line of icons.loaded.filter((line) => !line.startsWith("icon.svg"))) {
        assert.match(line, /^\S+ (\d+)x\1 \1x\1$/, line);
      }
      assert.ok(["192x192", "512x512"].every((size) => icons.loaded.some((line) => line.includes(` ${size} `))));
      assert.match(icons.loaded.find((line) => line.startsWith("icon.svg")), /^icon\.svg any \d+x\d+$/);
      const errors = await page.installabilityErrors();
      if (errors !== null) assert.deepEqual(errors, [], "what keeps the page from being installed");
    });

    scenario("once loaded, the page runs offline and fits a phone's width", [360, 740], async (page) => {
      await page.goto(`${server.origin}/`);
      // The worker claims the page once active, so the reload comes from it.
      await waitFor(page, () => navigator.serviceWorker.controller !== null);
      server.setOffline(true);
      await page.reload();
      await runThroughForm(page, "20", false, { everyCore: true });
      await runEnded(page);
      assert.match(await text(page, "#verdict"), /^Verified/, await text(page, "#failure"));
      const layout = await page.evaluate(() => ({
        width: innerWidth,
        overflow: document.documentElement.scrollWidth - innerWidth,
        run: document.getElementById("run").getBoundingClientRect().height,
        digits: document.getElementById("digits").getBoundingClientRect().height,
      }));
      assert.equal(layout.width, 360);
      assert.ok(layout.overflow <= 0, `the page is ${layout.overflow} px wider than the screen`);
      assert.ok(layout.run >= 44 && layout.digits >= 44, "tap targets under 44 px");
      assert.deepEqual(await layoutFaults(page), []);
      await page.screenshot(join(shots, "phone.png"));
    });
  });
}
