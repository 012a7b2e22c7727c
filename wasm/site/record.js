// A verified run as the page keeps and shares it: the record in the results/
// file format, the history in localStorage, and the share link, which
// carries a summary in the URL fragment and so never reaches a server.
// Nothing here touches the page.

export const historyKey = "picalc-history-v1";
export const historyLimit = 50; // about 15 kB a default run, well inside any quota
export const fragmentLimit = 600;
const shareVersion = 1;
const maxDigits = 1073741817; // the largest count any build accepts
const stageCount = 3;

// What the printed output itself says: count, formula and total time.
export function summaryOf(output) {
  const digits = /^DIGITS: (\d+)$/m.exec(output);
  const formula = /^pi= .*\[(Gauss|Stomer)\]$/m.exec(output);
  const total = /^Total time (-?\d+\.\d+) seconds $/m.exec(output);
  if (!digits || !formula || !total) return null;
  return { digits: Number(digits[1]), formula: formula[1], total: Number(total[1]) };
}

const stageText = (stages) =>
  `stage times from the page: pi digits ${stages[0]} s, integration table ${stages[1]} s, square-root loops ${stages[2]} s`;

// The run as a results/ file: the header from what the browser knows, with
// what it cannot know left for the sender to fill in, then the output.
export function recordText(run) {
  return [
    "CPU: (the browser cannot tell: write the processor's model and clock here)",
    `Cores: ${run.cores} (as the browser reports them)`,
    `System: ${run.platform}`,
    `Build: WebAssembly page in ${run.browser} (${run.engine} engine)`,
    "Run by: (your name)",
    `Date: ${run.date}`,
    `Notes: ${stageText(run.stages)}`,
    "",
    run.output,
  ].join("\n");
}

export function recordFileName(run) {
  const browser = run.browser.toLowerCase().replace(/[^a-z0-9]+/g, "-").replace(/^-|-$/g, "");
  return `${run.date}-${browser}-wasm.txt`;
}

// The history, newest last. Storage that is missing, full, corrupt or from
// another version never breaks the page: it reads as empty, and a failed
// write says so.
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

// The share link's fragment: a version, then the score, count, formula,
// browser, engine, platform and the three stage times.
export function shareFragment(run) {
  const fields = new URLSearchParams({
    v: String(shareVersion),
    t: run.total.toFixed(6),
    d: String(run.digits),
    f: run.formula,
    b: run.browser,
    e: run.engine,
    p: run.platform,
    s: run.stages.join(","),
  });
  return `#${fields}`;
}

const text = (value) => typeof value === "string" && value.length > 0 && value.length <= 80 && !/[\u0000-\u001f<>]/.test(value);
const seconds = (value) => /^\d{1,6}(\.\d{1,6})?$/.test(value);

// {run} for a valid fragment, {error} with the reason for any other; null
// when the fragment is not a share link at all.
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
  if (Number(version) !== shareVersion) return { error: `its format version ${version} is unknown` };
  const stages = (fields.get("s") ?? "").split(",");
  const digits = fields.get("d") ?? "";
  const checks = [
    [seconds(fields.get("t") ?? ""), "total time"],
    [/^\d{1,10}$/.test(digits) && Number(digits) <= maxDigits, "digit count"],
    [["Gauss", "Stomer"].includes(fields.get("f")), "formula"],
    [text(fields.get("b")), "browser"],
    [text(fields.get("e")), "engine"],
    [text(fields.get("p")), "platform"],
    [stages.length === stageCount && stages.every(seconds), "stage times"],
  ];
  const bad = checks.filter(([good]) => !good).map(([, name]) => name);
  if (bad.length > 0) return { error: `missing or malformed: ${bad.join(", ")}` };
  return {
    run: {
      total: Number(fields.get("t")),
      digits: Number(digits),
      formula: fields.get("f"),
      browser: fields.get("b"),
      engine: fields.get("e"),
      platform: fields.get("p"),
      stages: stages.map(Number),
    },
  };
}
