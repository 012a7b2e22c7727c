// The page's measurement as it is kept, recorded and shared: its record,
// written by picalc-page-record.wasm, must be picalc-record's, word for
// word, so picalc-check and the same JSON tools read both; a share link must come back as the result
// it was made from, old links must still open, anything else in a fragment
// must be refused with a reason, and storage that is corrupt, missing or
// full must read as empty or report the failed write.
import { test } from "node:test";
import assert from "node:assert/strict";
import { execFile } from "node:child_process";
import { existsSync } from "node:fs";
import { chmod, mkdtemp, readFile, writeFile } from "node:fs/promises";
import { tmpdir } from "node:os";
import { join, resolve } from "node:path";
import { promisify } from "node:util";
import { siteModule, toolInNode } from "./tool_node.mjs";

const {
  clientHintsOf, fragmentLimit, historyLimit, loadHistory, measurementOf, pageRecord, parseFragment, recordFileName,
  saveHistory, shareFragment, summaryOf, systemOf,
} = await siteModule("record.js");
const { maxDigitCount } = await siteModule("limits.js");

const run = promisify(execFile);
const picalcCheck = resolve(process.env.PICALC_CHECK ?? "build/picalc-check");
const picalcRecord = resolve(process.env.PICALC_RECORD ?? "build/picalc-record");
const template = await readFile(new URL("../data/run_763_stomer.txt", import.meta.url), "utf8");
const output = (seconds) => template.replace("<seconds>", seconds);
const result = {
  total: 2.118, times: [2.3, 2.118, 2.0], copies: [[2.5, 2.4], [2.2, 2.6], [2.45, 2.41]], digits: 763,
  formula: "Stomer", browser: "Firefox 153", engine: "Gecko", platform: "Linux x86_64", system: "Linux",
  architecture: "x86_64", cores: 2, stages: [0.012, 1.8, 0.29], arguments: ["763", "s"], date: "2026-12-09",
  atOnce: 2, scaling: (2 * 2.118) / 2.43, output: output("2.300000"), outputs: [output("2.300000"), output("2.118000"), output("2.000000")],
};

const made = (measured) => pageRecord(toolInNode, measured);

test("the summary is picalc-record's, line for line, on a record it made", async () => {
  const record = await readFile(new URL("../../results/2026-12-10-epyc-zen4-native-gcc12-drift.txt", import.meta.url), "utf8");
  // The page cannot see other work, and has no line for it.
  const expected = /^Runs: [^]*?\n\n/m.exec(record)[0].trimEnd().split("\n").filter((line) => !line.startsWith("Other work: "));
  const numbers = (line) => line.replace(/^[^:]*: | seconds$/g, "").split(/ |, /).map(Number);
  const copyLine = expected.find((line) => line.startsWith("Copy times: "));
  const rounds = copyLine.slice(12, -8).split(", ").map((round) => round.split(" ").map(Number));
  const times = numbers(expected.find((line) => line.startsWith("Run times: ")));
  const summary = await made({ ...result, digits: 9999, formula: "Gauss", times, copies: rounds,
    outputs: times.map(() => "") });
  assert.deepEqual(summary.summary_lines, expected);
  assert.equal(summary.median.toFixed(6), /^Median: (\S+)/m.exec(record)[1]);
  const one = await made({ ...result, times: undefined, copies: undefined, total: 1.5, outputs: [""] });
  assert.deepEqual(one.summary_lines.slice(1),
    ["Run times: 1.500000 seconds", "Median: 1.500000 seconds (minimum 1.500000, maximum 1.500000)",
      "Drift: not tested (1 run: a trend needs 5 to 2000)"]);
  assert.equal(one.scaling, undefined);
});

test("picalc-check accepts the record, and its JSON has picalc-record's keys", async (t) => {
  const page = await made(result);
  const text = page.record;
  assert.match(text, /^CPU: unknown\nCores: 2 logical processors, unknown physical cores, hypervisor unknown\nHardware: max unknown, base unknown, reported unknown; caches unknown; memory unknown; SMT unknown; governor unknown, boost unknown, energy preference unknown\nSystem: Linux, x86_64\nBuild: picalc 1\.0\.0, Firefox 153 \(Gecko engine\), WebAssembly page, generic-wasm32, wasi-libc\nRun by: unknown\nDate: 2026-12-09\nNotes: .*"picalc 763 s".*\n\nRuns: 3 of 763 digits \[Stomer\]/);
  // The build is the picalc.wasm that ran, found in its bytes.
  assert.match(text, /\nBuild: picalc \d+\.\d+\.\d+, Firefox 153 \(Gecko engine\), WebAssembly page, \S*wasm32\S*, wasi-libc/);
  const json = JSON.parse(page.json);
  assert.match(json.build.webassembly_compiler, /^Clang /);
  assert.equal(json.summary.median, 2.118);
  assert.equal(page.scaling, (2 * 2.118) / 2.43);
  assert.equal(json.summary.scaling, Number(((2 * 2.118) / 2.43).toFixed(3)));
  assert.deepEqual(json.copies.map((round) => round.length), [2, 2, 2]);
  if (!existsSync(picalcCheck) || !existsSync(picalcRecord)) {
    t.diagnostic(`NOT RUN: the native check: ${picalcCheck} or ${picalcRecord} is not built`);
    console.log(`NOT RUN: the native check of the page's record: ${picalcCheck} or ${picalcRecord} is not built`);
    return;
  }
  const dir = await mkdtemp(join(tmpdir(), "picalc-page-record-"));
  await writeFile(join(dir, "page.txt"), text);
  const { stdout } = await run(picalcCheck, [join(dir, "page.txt")]);
  assert.equal(stdout, "valid: 3 runs of 763 digits [Stomer], median total time 2.118000 seconds (2.000000 to 2.300000)\n");
  // picalc-record's own JSON, of a stand-in picalc that prints a genuine run.
  await writeFile(join(dir, "out.txt"), output("2.000000"));
  await writeFile(join(dir, "picalc"), `#!/bin/sh\ncat '${join(dir, "out.txt")}'\n`);
  await chmod(join(dir, "picalc"), 0o755);
  await run(picalcRecord, ["--runs", "1", "--copies", "2", "--picalc", join(dir, "picalc"), "--record",
    join(dir, "native.txt"), "--json", join(dir, "native.json"), "763", "s"]);
  const native = JSON.parse(await readFile(join(dir, "native.json"), "utf8"));
  const keys = (object) => Object.keys(object).filter((key) => !["stage_seconds"].includes(key)).sort();
  for (const [page, made] of [[json, native], [json.machine, native.machine], [json.summary, native.summary],
    [json.runs[0], native.runs[0]]]) {
    assert.deepEqual(keys(page), keys(made));
  }
  assert.ok(Object.keys(native.build).every((key) => key in json.build));
});

test("a share link reads back as the result it was made from, and old links still open", () => {
  const { run: shared } = parseFragment(shareFragment(result));
  assert.deepEqual(shared, {
    total: 2.118, runs: 3, digits: 763, formula: "Stomer", browser: "Firefox 153", engine: "Gecko",
    platform: "Linux x86_64", stages: [0.012, 1.8, 0.29], atOnce: 2, scaling: 1.74,
  });
  const single = { ...result, times: undefined, copies: undefined, atOnce: undefined, scaling: undefined };
  assert.equal(parseFragment(shareFragment(single)).run.atOnce, undefined);
  // A link as the page made it before several runs, copied from one.
  const { atOnce, scaling, ...one } = shared;
  assert.deepEqual(parseFragment("#v=1&t=2.118000&d=763&f=Stomer&b=Firefox+153&e=Gecko&p=Linux+x86_64&s=0.012,1.8,0.29").run,
    { ...one, runs: 1 });
  assert.equal(parseFragment(""), null);
  assert.equal(parseFragment("#"), null);
});

test("fragments that are not a valid link are refused with the reason", () => {
  const good = shareFragment(result).slice(1);
  const cases = [
    [`#${good.replace("v=2", "v=9")}`, /newer picalc/],
    [`#${good.replace("v=2", "v=0")}`, /version 0 is unknown/],
    ["#v=one", /no format version/],
    [`#${good.replace("d=763", `d=${maxDigitCount + 1}`)}`, /malformed: .*digit count/],
    [`#${good.replace("t=2.118000", "t=-1")}`, /malformed: .*total time/],
    [`#${good.replace("t=2.118000", "t=1e308")}`, /malformed: .*total time/],
    [`#${good.replace("f=Stomer", "f=Euler")}`, /malformed: .*formula/],
    [`#${good.replace("b=Firefox+153", "b=%3Cimg+src%3Dx%3E")}`, /malformed: .*browser/],
    [`#${good.replace(/&s=[^&]*/, "&s=0.1,0.2")}`, /malformed: .*stage times/],
    [`#${good.replace(/&e=[^&]*/, "")}`, /malformed: .*engine/],
    [`#${good.replace("n=3", "n=0")}`, /malformed: run count$/],
    [`#${good.replace(/&n=3/, "")}`, /malformed: run count$/],
    [`#${good.replace(/&x=[^&]*/, "")}`, /malformed: scaling$/],
    [`#${good.replace("c=2", "c=two")}`, /malformed: copies at once$/],
    [`#${good}&p2=${"x".repeat(fragmentLimit)}`, /characters long/],
    ["#%E0%A4%A", /no format version|could not be read/],
  ];
  for (const [fragment, reason] of cases) {
    const parsed = parseFragment(fragment);
    assert.equal(parsed.run, undefined, fragment);
    assert.match(parsed.error, reason, fragment);
  }
  assert.equal(parseFragment(`#${good.replace("d=763", `d=${maxDigitCount}`)}`).run.digits, maxDigitCount);
});

test("the system is read from the browser's words", () => {
  const systems = [
    ["X11; Linux x86_64", "Linux x86_64", { system: "Linux", architecture: "x86_64" }],
    ["Linux; Android 14; Pixel 8", "Linux aarch64", { system: "Android 14", architecture: "aarch64" }],
    ["Windows NT 10.0; Win64; x64", "Win32", { system: "Windows", architecture: null }],
    ["Macintosh; Intel Mac OS X 10_15_7", "MacIntel", { system: "macOS", architecture: null }],
    ["iPhone; CPU iPhone OS 18_0 like Mac OS X", "iPhone", { system: "iOS or iPadOS", architecture: null }],
    ["X11; CrOS x86_64 14541.0.0", "Linux x86_64", { system: "ChromeOS", architecture: "x86_64" }],
    ["", "", { system: null, architecture: null }],
  ];
  for (const [agent, platform, expected] of systems) assert.deepEqual(systemOf(agent, platform), expected, agent);
});

test("client hints and the memory a browser reports fill the record's machine fields", async () => {
  const hints = [
    [{ architecture: "x86", bitness: "64", model: "", platformVersion: "15.0.0" },
      { architecture: "x86_64", platformVersion: "15.0.0", model: null }],
    [{ architecture: "arm", bitness: "64", model: "Pixel 8", platformVersion: "14.0.0" },
      { architecture: "aarch64", platformVersion: "14.0.0", model: "Pixel 8" }],
    [{ architecture: "arm", bitness: "32" }, { architecture: "armv7l", platformVersion: null, model: null }],
    [{ architecture: "x86", bitness: "32" }, { architecture: "i686", platformVersion: null, model: null }],
    [{ architecture: "", bitness: "" }, { architecture: null, platformVersion: null, model: null }],
    [undefined, { architecture: null, platformVersion: null, model: null }],
  ];
  for (const [values, expected] of hints) assert.deepEqual(clientHintsOf(values), expected, JSON.stringify(values));
  const phone = { ...result, system: "Android 14", architecture: "aarch64", platformVersion: "14.0.0", model: "Pixel 8",
    memoryGiB: 8 };
  const page = await made(phone);
  assert.match(page.record, /\nHardware: [^\n]*; memory 8192 MiB; [^\n]*\nSystem: Android 14 \(platform version 14\.0\.0, model Pixel 8\), aarch64\n/);
  const json = JSON.parse(page.json);
  assert.equal(json.machine.memory_mib, 8192);
  assert.equal(json.machine.system, "Android 14 (platform version 14.0.0, model Pixel 8)");
  assert.equal(JSON.parse((await made(result)).json).machine.memory_mib, null);
  // A browser that tells neither: unknown, not 0 or "undefined".
  assert.deepEqual(Object.entries(measurementOf({ ...result, cores: "unknown", system: undefined }))
    .filter(([key]) => ["logical_processors", "system", "memory_gib", "model"].includes(key)),
  [["system", null], ["model", null], ["logical_processors", null], ["memory_gib", null]]);
});

const storage = (initial) => {
  const items = new Map(initial === undefined ? [] : [["picalc-history-v1", initial]]);
  return {
    getItem: (key) => items.get(key) ?? null,
    setItem(key, value) {
      if (value.length > 200000) throw new Error("QuotaExceededError");
      items.set(key, value);
    },
  };
};

test("the history survives bad storage and keeps the newest runs", () => {
  const kept = { ...result, id: "a", outputs: undefined };
  for (const initial of [undefined, "not json", "{}", "null", JSON.stringify([null, { output: "pi calc" }])]) {
    assert.deepEqual(loadHistory(storage(initial)), [], String(initial));
  }
  assert.deepEqual(loadHistory(null), []);
  assert.equal(saveHistory(null, [kept]), false);

  const store = storage();
  const many = Array.from({ length: historyLimit + 5 }, (_, i) => ({ ...kept, id: String(i) }));
  assert.equal(saveHistory(store, many), true);
  assert.deepEqual(loadHistory(store).map((entry) => entry.id), many.slice(5).map((entry) => entry.id));
  // Too large for the quota: the write fails in words, the old history stays.
  assert.equal(saveHistory(store, [{ ...kept, output: kept.output.repeat(200) }]), false);
  assert.equal(loadHistory(store).length, historyLimit);
});

test("the record's file names come from the date and browser", () => {
  assert.deepEqual(summaryOf(result.output), { digits: 763, formula: "Stomer", total: 2.3 });
  assert.equal(summaryOf(result.output.split("DIGITS")[0]), null);
  assert.equal(recordFileName({ date: "2026-12-08", browser: "Chrome 140 on iOS" }), "2026-12-08-chrome-140-on-ios-wasm.txt");
  assert.equal(recordFileName({ date: "2026-12-08", browser: "Firefox 153" }, "json"), "2026-12-08-firefox-153-wasm.json");
});

test("the record and JSON of fixed inputs are the committed ones", async () => {
  const golden = (name) => readFile(new URL(`../data/golden/${name}`, import.meta.url), "utf8");
  const fixed = { ...result, memoryGiB: 8 };
  // A stand-in for picalc.wasm, so that the build is the golden record's.
  const build = "\0asm picalc build: version=1.0.0; compiler=Clang 14.0.6; flags=-O2; linking=static; " +
    "target=generic-wasm32; libc=wasi-libc\0";
  const fixedBuild = (program, args, files) => toolInNode(program, args, { ...files, "picalc.wasm": build });
  const page = await pageRecord(fixedBuild, fixed);
  assert.equal(page.record, await golden("page_record.txt"));
  assert.deepEqual(JSON.parse(page.json), JSON.parse(await golden("page_record.json")));
});
