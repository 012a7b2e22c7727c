// A measurement as the page keeps and shares it: one or more single runs,
// then rounds of copies run at once, handed to picalc-page-record.wasm for
// the record, kept in localStorage, and shared in the URL fragment, which
// never reaches a server. Nothing here touches the page.
import { maxDigitCount } from "./limits.js";
import { stageNames } from "./stages.js";

export const historyKey = "picalc-history-v1";
export const historyLimit = 50; // about 15 kB a default run, well inside any quota
export const fragmentLimit = 600;
const shareVersion = 2;
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

// A kept measurement from before several runs existed is one run.
const timesOf = (result) => result.times ?? [result.total];

// What the page hands picalc-page-record.wasm, which writes the record and
// its JSON in picalc-record's format: the runs' times and outputs, the rounds
// of copies, the median run's stage times, and what the browser told.
export function measurementOf(result) {
  const orNull = (value) => value ?? null;
  return {
    date: result.date,
    arguments: result.arguments,
    digits: result.digits,
    formula: result.formula,
    times: timesOf(result),
    copies: result.copies ?? [],
    outputs: result.outputs ?? [result.output],
    stage_seconds: Object.fromEntries(stageNames.map((name, i) => [name, result.stages[i]])),
    browser: result.browser,
    engine: result.engine,
    platform: result.platform,
    system: orNull(result.system),
    platform_version: orNull(result.platformVersion),
    model: orNull(result.model),
    architecture: orNull(result.architecture),
    logical_processors: Number.isInteger(result.cores) ? result.cores : null,
    memory_gib: Number.isFinite(result.memoryGiB) ? result.memoryGiB : null,
  };
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
  if (Number.isFinite(result.scaling)) {
    fields.set("c", String(result.atOnce));
    fields.set("x", result.scaling.toFixed(2));
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
    [/^\d{1,10}$/.test(digits) && Number(digits) <= maxDigitCount, "digit count"],
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

// The record and JSON of a measurement, written by picalc-page-record.wasm
// through `call(program, args, files, site)` (as compare.js runs
// picalc-compare), with the summary the page shows and shares:
// {record, json, summary_lines, median, copies_at_once, scaling}.
export async function pageRecord(call, result) {
  const measurement = JSON.stringify(measurementOf(result));
  const { status, out, err } = await call("picalc-page-record", ["measurement.json", "picalc.wasm"],
    { "measurement.json": measurement }, ["picalc.wasm"]);
  if (status !== 0) throw new Error(err.trim() || `picalc-page-record ended with status ${status}`);
  return JSON.parse(out);
}
