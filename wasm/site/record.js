// A measurement as the page keeps, records and shares it: one or more single
// runs, then rounds of copies run at once, summarized exactly as
// picalc-record summarizes native runs, written in its record and JSON
// formats, kept in localStorage, and shared in the URL fragment, which never
// reaches a server. Nothing here touches the page.
import { stageNames } from "./stages.js";

export const historyKey = "picalc-history-v1";
export const historyLimit = 50; // about 15 kB a default run, well inside any quota
export const fragmentLimit = 600;
const shareVersion = 2;
const maxDigits = 1073741817; // the largest count any build accepts
const maxRuns = 100;
const stageCount = 3;

// What the printed output itself says: count, formula and total time.
export function summaryOf(output) {
  const digits = /^DIGITS: (\d+)$/m.exec(output);
  const formula = /^pi= .*\[(Gauss|Stomer)\]$/m.exec(output);
  const total = /^Total time (-?\d+\.\d+) seconds $/m.exec(output);
  if (!digits || !formula || !total) return null;
  return { digits: Number(digits[1]), formula: formula[1], total: Number(total[1]) };
}

export function medianOf(values) {
  const sorted = values.slice().sort((a, b) => a - b);
  const middle = Math.floor(sorted.length / 2);
  if (sorted.length === 0) return 0;
  return sorted.length % 2 === 1 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

// times: each single run's seconds; copies: each round's copies' seconds.
// The scaling is how many single runs' work the copies did at once.
export function summarize(times, copies = []) {
  const summary = {
    median: medianOf(times), minimum: Math.min(...times), maximum: Math.max(...times),
  };
  if (copies.length === 0) return summary;
  const copyMedian = medianOf(copies.flat());
  const atOnce = copies[0].length;
  return { ...summary, atOnce, copyMedian, scaling: copyMedian > 0 ? (atOnce * summary.median) / copyMedian : 0 };
}

// A kept measurement from before several runs existed is one run.
const timesOf = (result) => result.times ?? [result.total];

const secondsText = (seconds) => seconds.toFixed(6);
const runName = (result) => `${result.digits} digits [${result.formula}]`;

// The lines picalc-record prints at the end, in its words.
export function summaryLines(result) {
  const times = timesOf(result);
  const copies = result.copies ?? [];
  const summary = summarize(times, copies);
  const lines = [
    `Runs: ${times.length} of ${runName(result)}, one after another`,
    `Run times: ${times.map(secondsText).join(" ")} seconds`,
    `Median: ${secondsText(summary.median)} seconds (minimum ${secondsText(summary.minimum)}, maximum ${secondsText(summary.maximum)})`,
  ];
  if (copies.length === 0) return lines;
  const scaling = summary.scaling.toFixed(2);
  return [
    ...lines,
    `Copies: ${summary.atOnce} at once, ${copies.length} rounds`,
    `Copy times: ${copies.map((round) => round.map(secondsText).join(" ")).join(", ")} seconds`,
    `Copy median: ${secondsText(summary.copyMedian)} seconds`,
    `Scaling: ${scaling} (${summary.atOnce} copies x ${secondsText(summary.median)} s / ${secondsText(summary.copyMedian)} s): ` +
      `the work of ${scaling} single runs at once`,
  ];
}

// The line every picalc build carries in its binary, found in picalc.wasm's
// bytes: "picalc build: version=...; compiler=...; ...".
export function buildInfoOf(bytes) {
  const prefix = new TextEncoder().encode("picalc build: ");
  for (let at = bytes.indexOf(prefix[0]); at >= 0; at = bytes.indexOf(prefix[0], at + 1)) {
    if (!prefix.every((byte, i) => bytes[at + i] === byte)) continue;
    const end = bytes.indexOf(0, at);
    const line = new TextDecoder().decode(bytes.subarray(at + prefix.length, end < 0 ? bytes.length : end));
    const fields = Object.fromEntries(line.split("; ").map((field) => field.split(/=(.*)/s).slice(0, 2)));
    return { version: fields.version, compiler: fields.compiler, flags: fields.flags, target: fields.target, libc: fields.libc };
  }
  return null;
}

// The system and architecture, from what the browser says; anything it does
// not say is unknown. Apple's browsers say "MacIntel" on Apple silicon too.
export function systemOf(userAgent, platform) {
  const android = /Android (\d+(?:\.\d+)?)/.exec(userAgent);
  const architecture = /\b(x86_64|aarch64|armv\w+|i686|riscv64|ppc64le|s390x)\b/.exec(platform)?.[1] ?? null;
  const systems = [
    [android !== null, android && `Android ${android[1]}`],
    [/iPhone|iPad|iPod/.test(platform) || /iPhone|iPad/.test(userAgent), "iOS or iPadOS"],
    [/^Mac/.test(platform), "macOS"],
    [/^Win/.test(platform), "Windows"],
    [/CrOS/.test(userAgent), "ChromeOS"],
    [/^Linux/.test(platform), "Linux"],
    [/BSD/.test(platform), platform.split(" ")[0]],
  ];
  return { system: systems.find(([found]) => found)?.[1] ?? null, architecture };
}

const known = (text) => text ?? "unknown";

// What a browser with client hints (getHighEntropyValues) tells of the
// machine: the architecture in picalc-record's words, the platform's version
// and the device's model; null for anything it does not tell.
export function clientHintsOf(values) {
  const names = { x86: { 64: "x86_64", 32: "i686" }, arm: { 64: "aarch64", 32: "armv7l" } };
  return {
    architecture: names[values?.architecture]?.[values?.bitness] ?? null,
    platformVersion: values?.platformVersion || null,
    model: values?.model || null,
  };
}

// The system as the browser names it, with the platform's version and the
// device's model where it tells them.
const systemText = (result) => {
  const details = [
    result.platformVersion && `platform version ${result.platformVersion}`,
    result.model && `model ${result.model}`,
  ].filter(Boolean);
  return result.system == null ? null : result.system + (details.length ? ` (${details.join(", ")})` : "");
};

// A browser rounds the memory it reports to a power of two, and only some
// engines report it at all.
const memoryMiB = (result) => (Number.isFinite(result.memoryGiB) ? Math.round(result.memoryGiB * 1024) : null);

const stageText = (stages) =>
  stages.map((seconds, i) => `${stageNames[i]} ${seconds} s`).join(", ");

const browserText = (result) => `${result.browser} (${result.engine} engine)`;

// The record in picalc-record's format, with the browser in place of the
// compiler and "unknown" for what a browser cannot tell, then every single
// run's output, so picalc-check and scripts/results_table read it as they
// read a native record.
export function recordText(result) {
  const cores = Number.isInteger(result.cores) ? `${result.cores} logical processors` : "unknown logical processors";
  const build = result.build ?? {};
  const outputs = result.outputs ?? [result.output];
  return [
    "CPU: unknown",
    `Cores: ${cores}, unknown physical cores, hypervisor unknown`,
    `Hardware: max unknown, base unknown, reported unknown; caches unknown; memory ${
      memoryMiB(result) === null ? "unknown" : `${memoryMiB(result)} MiB`}; SMT unknown; governor unknown, ` +
      "boost unknown, energy preference unknown",
    `System: ${known(systemText(result))}, ${known(result.architecture)}`,
    `Build: picalc ${known(build.version)}, ${browserText(result)}, WebAssembly page, ${known(build.target)}, ` +
      (build.libc ?? "C library unknown"),
    "Run by: unknown",
    `Date: ${result.date}`,
    `Notes: made by picalc's page running "picalc ${result.arguments.join(" ")}"; the browser reported the ` +
      `logical processors, the memory (rounded) and the platform ("${result.platform}"); the WebAssembly was built by ` +
      `${known(build.compiler)} ${known(build.flags)}; stage times of the median run: ${stageText(result.stages)}`,
    "",
    ...summaryLines(result),
    ...outputs.flatMap((output) => ["", output.replace(/\n$/, "")]),
    "",
  ].join("\n");
}

// The same JSON as picalc-record --json, with the browser's own fields added.
export function recordJson(result) {
  const build = result.build ?? {};
  const summary = summarize(timesOf(result), result.copies ?? []);
  // A browser cannot see other processes: their load is unknown.
  const run = (seconds) => ({ seconds, exit_status: 0, valid: true, verdict: "verified", other_load: null });
  const cores = Number.isInteger(result.cores) ? result.cores : null;
  const json = {
    schema_version: 1,
    picalc_record_version: build.version ?? null,
    date: result.date,
    run_by: "unknown",
    arguments: result.arguments,
    run: runName(result),
    machine: {
      processor: null, logical_processors: cores, usable_processors: cores, physical_cores: null, hypervisor: null,
      system: systemText(result), kernel: null, architecture: result.architecture ?? null,
      vendor: null, family: null, model: null, stepping: null, microarchitecture: null, microcode: null,
      max_mhz: null, base_mhz: null, reported_mhz: null, caches: [], memory_mib: memoryMiB(result), smt: null,
      governor: null, scaling_driver: null, boost: null, energy_preference: null,
    },
    build: {
      picalc_version: build.version ?? null, compiler: browserText(result), flags: null,
      linking: "WebAssembly page", target: build.target ?? null, libc: build.libc ?? null,
      browser: result.browser, engine: result.engine, platform: result.platform,
      webassembly_compiler: build.compiler ?? null, webassembly_flags: build.flags ?? null,
    },
    runs: timesOf(result).map(run),
    copies: (result.copies ?? []).map((round) => round.map(run)),
    summary: {
      median: Number(summary.median.toFixed(6)), minimum: Number(summary.minimum.toFixed(6)),
      maximum: Number(summary.maximum.toFixed(6)),
      ...(summary.atOnce === undefined ? {} : {
        copies_at_once: summary.atOnce, copy_median: Number(summary.copyMedian.toFixed(6)),
        scaling: Number(summary.scaling.toFixed(3)),
      }),
      highest_other_load: null, disturbed: null,
    },
    stage_seconds: Object.fromEntries(stageNames.map((name, i) => [name, result.stages[i]])),
  };
  return `${JSON.stringify(json, null, 2)}\n`;
}

export function recordFileName(result, extension = "txt") {
  const browser = result.browser.toLowerCase().replace(/[^a-z0-9]+/g, "-").replace(/^-|-$/g, "");
  return `${result.date}-${browser}-wasm.${extension}`;
}

// The history, newest last. Storage that is missing, full, corrupt or from
// another version never breaks the page: it reads as empty, and a failed
// write says so. Only the first run's output is kept, to check the entry by.
export function loadHistory(storage) {
  try {
    const runs = JSON.parse(storage.getItem(historyKey) ?? "[]");
    return Array.isArray(runs) ? runs.filter((run) => run && summaryOf(String(run.output)) !== null) : [];
  } catch {
    return [];
  }
}

export function saveHistory(storage, runs) {
  try {
    storage.setItem(historyKey, JSON.stringify(runs.slice(-historyLimit)));
    return true;
  } catch {
    return false;
  }
}

// The share link's fragment: a version, then the median, the run count, the
// count and formula, browser, engine, platform and the median run's three
// stage times, and with copies how many ran at once and the scaling.
export function shareFragment(result) {
  const summary = summarize(timesOf(result), result.copies ?? []);
  const fields = new URLSearchParams({
    v: String(shareVersion),
    t: result.total.toFixed(6),
    n: String(timesOf(result).length),
    d: String(result.digits),
    f: result.formula,
    b: result.browser,
    e: result.engine,
    p: result.platform,
    s: result.stages.join(","),
  });
  if (summary.atOnce !== undefined) {
    fields.set("c", String(summary.atOnce));
    fields.set("x", summary.scaling.toFixed(2));
  }
  return `#${fields}`;
}

const text = (value) => typeof value === "string" && value.length > 0 && value.length <= 80 && !/[\u0000-\u001f<>]/.test(value);
const seconds = (value) => /^\d{1,6}(\.\d{1,6})?$/.test(value);
const count = (value, most) => /^\d{1,4}$/.test(value) && Number(value) >= 1 && Number(value) <= most;

// {run} for a valid fragment, {error} with the reason for any other; null
// when the fragment is not a share link at all. Version 1, one run and no
// copies, is what the page made before; its links still open.
export function parseFragment(fragment) {
  if (!fragment || fragment === "#") return null;
  if (fragment.length > fragmentLimit) return { error: `it is ${fragment.length} characters long, more than a share link can be` };
  let fields;
  try {
    fields = new URLSearchParams(fragment.slice(1));
  } catch {
    return { error: "it could not be read" };
  }
  const version = fields.get("v");
  if (version === null || !/^\d+$/.test(version)) return { error: "it has no format version" };
  if (Number(version) > shareVersion) return { error: "it comes from a newer picalc than this page: reload the page to update it" };
  if (Number(version) < 1) return { error: `its format version ${version} is unknown` };
  const stages = (fields.get("s") ?? "").split(",");
  const digits = fields.get("d") ?? "";
  const runs = version === "1" ? "1" : fields.get("n") ?? "";
  const atOnce = fields.get("c");
  const scaling = fields.get("x");
  const copies = version !== "1" && (atOnce !== null || scaling !== null);
  const checks = [
    [seconds(fields.get("t") ?? ""), "total time"],
    [count(runs, maxRuns), "run count"],
    [/^\d{1,10}$/.test(digits) && Number(digits) <= maxDigits, "digit count"],
    [["Gauss", "Stomer"].includes(fields.get("f")), "formula"],
    [text(fields.get("b")), "browser"],
    [text(fields.get("e")), "engine"],
    [text(fields.get("p")), "platform"],
    [stages.length === stageCount && stages.every(seconds), "stage times"],
    [!copies || count(atOnce ?? "", 9999), "copies at once"],
    [!copies || /^\d{1,4}(\.\d{1,3})?$/.test(scaling ?? ""), "scaling"],
  ];
  const bad = checks.filter(([good]) => !good).map(([, name]) => name);
  if (bad.length > 0) return { error: `missing or malformed: ${bad.join(", ")}` };
  return {
    run: {
      total: Number(fields.get("t")),
      runs: Number(runs),
      digits: Number(digits),
      formula: fields.get("f"),
      browser: fields.get("b"),
      engine: fields.get("e"),
      platform: fields.get("p"),
      stages: stages.map(Number),
      ...(copies ? { atOnce: Number(atOnce), scaling: Number(scaling) } : {}),
    },
  };
}
