// The page: runs picalc in Web Workers, so the page never freezes: one run
// or several one after another, then as many copies at once as the browser
// reports logical processors. It shows the first run's output as it is
// printed, and derives the stage, the progress, the times, the verdicts and
// the stage times from the printed lines alone.
import { engineOf } from "./engine.js";
import { stageClock } from "./stages.js";
import {
  loadHistory, pageRecord, parseFragment, recordFileName, saveHistory, shareFragment, systemOf, clientHintsOf,
} from "./record.js";
import { MeasurementFailed, measure, verifiedText } from "./measure.js";
import { comparer, recordFileProblem } from "./compare.js";
import { describeRun, showComparison, showHistory, showStages } from "./results_view.js";

const tableRows = 25;
const tableWork = 4 * (2 ** tableRows - 1); // sine calls of all rows, near enough
const $ = (id) => document.getElementById(id);
const form = $("run-form");
const runButton = $("run");
const output = $("output");

function show(element, visible) {
  element.hidden = !visible;
}

function fail(message) {
  $("failure").textContent = message;
  show($("failure"), true);
  show($("progress-panel"), false);
}

// What the run has reached, read from the complete lines printed so far.
function progressOf(lines) {
  const table = lines.map((line) => /^ +(\d+) +\| +\S+ +\| $/.exec(line)).filter(Boolean);
  const products = lines.filter((line) => line.startsWith("Floating-point precision ")).length;
  if (!lines.some((line) => line.startsWith("DIGITS: "))) {
    return { label: "Step 1 of 3: pi digits", fraction: null };
  }
  if (table.length < tableRows) {
    const done = table.reduce((sum, row) => sum + Number(row[1]), 0);
    return {
      label: `Step 2 of 3: integration table, ${table.length} of ${tableRows} rows`,
      fraction: done / tableWork,
    };
  }
  return { label: `Step 3 of 3: square-root loops, ${products} of 2 done`, fraction: products / 2 };
}

function showProgress(prefix, text, fraction) {
  const progress = progressOf(text.split("\n").slice(0, -1));
  $("stage").textContent = prefix + progress.label;
  // Until the pi stage ends there is no fraction to show, and an
  // indeterminate bar would animate, and repaint, all through the timed
  // run: the bar stays empty instead.
  $("progress").value = fraction ?? progress.fraction ?? 0;
}

// What the browser says of itself, for every record.
const platform = navigator.platform || navigator.userAgentData?.platform || "";
const here = {
  ...engineOf(navigator.userAgent, navigator.userAgentData?.brands),
  platform: platform || "unknown",
  ...systemOf(navigator.userAgent, platform),
  cores: Number.isInteger(navigator.hardwareConcurrency) ? navigator.hardwareConcurrency : "unknown",
  memoryGiB: typeof navigator.deviceMemory === "number" ? navigator.deviceMemory : null,
};
// Client hints arrive later, long before a measurement ends; engines without
// them keep what the user agent string says.
navigator.userAgentData?.getHighEntropyValues?.(["architecture", "bitness", "model", "platformVersion"])
  .then((values) => {
    const hints = clientHintsOf(values);
    Object.assign(here, { platformVersion: hints.platformVersion, model: hints.model },
      hints.architecture ? { architecture: hints.architecture } : {});
  })
  .catch(() => {});
const copiesAtOnce = Number.isInteger(here.cores) && here.cores > 0 ? here.cores : 1;

// Storage can be refused outright (cookies blocked): then nothing is kept.
const storage = (() => {
  try {
    return localStorage;
  } catch {
    return null;
  }
})();
let kept = loadHistory(storage);
const downloads = [];
let known = [];

const shareLink = (run) => new URL(shareFragment(run), location.href.split("#")[0]).href;

// One run in a worker of its own. prepare() compiles picalc; run() gives {text, exit, stages}. Either rejects, in words, if the
// worker cannot run picalc at all.
function picalcWorker() {
  const worker = new Worker("worker.js", { type: "module" });
  let listener = null;
  worker.onmessage = ({ data }) => listener.message(data);
  worker.onerror = (event) => listener.reject(new Error(event.message || "the worker failed to start"));
  const ask = (request, message) =>
    new Promise((resolve, reject) => {
      listener = {
        message(data) {
          if (data.failure !== undefined) reject(new Error(data.failure));
          else message(data, resolve);
        },
        reject,
      };
      worker.postMessage(request);
    });
  return {
    prepare: () => ask({ prepare: true }, (data, resolve) => resolve()),
    run(args, onText) {
      let text = "";
      const stages = stageClock();
      return ask({ args }, (data, resolve) => {
        if (data.text !== undefined) {
          text += data.text;
          stages.add(data.text, data.at);
          onText?.(data.text, text);
        } else if (data.exit !== undefined) {
          resolve({ text, exit: data.exit, stages });
        }
      });
    },
    stop: () => worker.terminate(),
  };
}

// picalc-compare and picalc-page-record in a worker of their own, kept for
// the page's life: one request at a time.
const callTool = (() => {
  let worker = null;
  let queue = Promise.resolve();
  return (program, args, files, site = []) => {
    const answer = queue.catch(() => {}).then(() => new Promise((resolve, reject) => {
      worker ??= new Worker("worker.js", { type: "module" });
      worker.onmessage = ({ data }) => (data.failure !== undefined ? reject(new Error(data.failure)) : resolve(data.finished));
      worker.onerror = (event) => reject(new Error(event.message || "the worker failed to start"));
      worker.postMessage({ tool: { program, args, files, site } });
    }));
    queue = answer;
    return answer;
  };
})();
const compare = comparer(callTool);

// One measurement; only a complete, verified one is a score to keep, share
// or compare.
async function start(args, runs, everyCore) {
  output.textContent = "";
  show($("result"), false);
  show($("failure"), false);
  show($("progress-panel"), true);
  runButton.disabled = true;
  showProgress("", "");
  const report = {
    output(chunk) {
      output.append(chunk);
      output.scrollTop = output.scrollHeight;
    },
    step: showProgress,
    checking() {
      $("stage").textContent = "Checking every line of every run and copy";
      $("progress").value = 1;
    },
  };
  try {
    const { single, copies } = await measure({
      args, runs, copiesAtOnce: everyCore ? copiesAtOnce : 0, newWorker: picalcWorker, check: compare.check, report,
    });
    await finish(args, single, copies);
  } catch (error) {
    fail(error instanceof MeasurementFailed ? error.message : `picalc could not run: ${error.message}`);
  } finally {
    runButton.disabled = false;
  }
}

async function finish(args, runs, copies) {
  // The stage times shown and shared are the median run's; with an even
  // count, the faster of the two middle runs'.
  const middle = runs.slice().sort((a, b) => a.summary.total - b.summary.total)[Math.floor((runs.length - 1) / 2)];
  const stages = middle.stages.durations().map(([, seconds]) => Number(seconds.toFixed(3)));
  const measured = {
    id: `${Date.now()}-${Math.random().toString(36).slice(2, 8)}`,
    date: new Date().toISOString().slice(0, 10),
    arguments: args,
    digits: runs[0].summary.digits,
    formula: runs[0].summary.formula,
    times: runs.map((run) => run.summary.total),
    copies,
    stages,
    ...here,
    output: runs[0].text,
  };
  // The record holds every single run's output; the history only the first.
  const made = await pageRecord(callTool, { ...measured, outputs: runs.map((run) => run.text) });
  const median = made.median;
  const result = {
    ...measured, total: median,
    ...(made.scaling === undefined ? {} : { atOnce: made.copies_at_once, scaling: made.scaling }),
  };
  show($("progress-panel"), false);

  $("score-label").textContent = runs.length === 1 ? "Total time" : `Median total time of ${runs.length} runs`;
  $("score").textContent = median.toFixed(6);
  $("verdict").textContent = verifiedText(runs.length, copies.flat().length);
  $("verdict").className = "good";
  const lines = runs.length > 1 || copies.length > 0 ? made.summary_lines : [];
  $("summary").replaceChildren(...lines.map((line) => Object.assign(document.createElement("li"), { textContent: line })));
  showStages($("result").querySelector(".stage-bar"), $("stages"), stages);
  $("engine").textContent = `Ran in ${here.browser} (${here.engine} engine). Compare it with browser scores from ` +
    "the same engine: each engine turns the WebAssembly into machine code of its own, so scores differ between " +
    "engines and from native builds on the same machine.";
  show($("result"), true);

  kept.push(result);
  if (!saveHistory(storage, kept)) {
    fail("This run could not be kept: the browser refused to store it (private mode, or its storage is full).");
  }
  downloads.splice(0).forEach((url) => URL.revokeObjectURL(url));
  for (const [id, text, type, extension] of [
    ["download", made.record, "text/plain", "txt"],
    ["download-json", made.json, "application/json", "json"],
  ]) {
    downloads.push(URL.createObjectURL(new Blob([text], { type })));
    Object.assign($(id), { href: downloads.at(-1), download: recordFileName(result, extension) });
  }
  $("share").href = shareLink(result);
  showKnown(result, `this run: ${result.browser} on this device`);
  renderHistory();
  last = result;
  show($("compare-record"), true);
}

// The known runs, and then whether each differs from this one.
function showKnown(run, label) {
  showComparison($("compare"), run, known, label);
  compare.significance(run, known)
    .then((differences) => showComparison($("compare"), run, known, label, differences))
    .catch((error) => {
      $("compare-note").textContent += ` (Whether each differs could not be tested: ${error.message}.)`;
    });
}

// The last measurement against a record the visitor opens.
let last = null;
$("record-file").addEventListener("change", async () => {
  const [file] = $("record-file").files;
  if (!file || !last) return;
  const panel = $("record-comparison");
  show(panel, true);
  const problem = recordFileProblem(file);
  if (problem) {
    panel.textContent = problem;
    panel.className = "bad";
    $("record-file").value = "";
    return;
  }
  panel.textContent = `Checking ${file.name} and comparing…`;
  try {
    const { compared, text } = await compare.withRecord(last, file.name, await file.text());
    panel.textContent = text;
    panel.className = compared ? "" : "bad";
  } catch (error) {
    panel.textContent = `The record could not be compared: ${error.message}`;
    panel.className = "bad";
  }
  $("record-file").value = "";
});

function renderHistory() {
  showHistory($("history"), kept, {
    shareLink,
    onDelete(id) {
      kept = kept.filter((run) => run.id !== id);
      saveHistory(storage, kept);
      renderHistory();
    },
    onClear() {
      kept = [];
      saveHistory(storage, kept);
      renderHistory();
    },
  });
}

// A share link's result, shown beside this device's runs; anything else in
// the fragment is refused in words.
function showShared() {
  const shared = parseFragment(location.hash);
  show($("shared"), shared?.run !== undefined);
  show($("share-error"), shared?.error !== undefined);
  if (shared === null) return;
  if (shared.error) {
    $("share-error").textContent = `This share link cannot be shown: ${shared.error}.`;
    return;
  }
  const { run } = shared;
  $("shared-score").textContent = run.total.toFixed(6);
  const copies = run.atOnce === undefined ? "" :
    `; ${run.atOnce} copies at once did the work of ${run.scaling.toFixed(2)} single runs`;
  $("shared-summary").textContent = `Shared result: ${run.runs > 1 ? `median of ${run.runs} runs of ` : ""}` +
    `${describeRun(run)}, run in ${run.browser} (${run.engine} engine) on ${run.platform}${copies}.`;
  showStages($("shared").querySelector(".stage-bar"), $("shared-stages"), run.stages);
  // A share link holds the median alone, not the times a test needs.
  showComparison($("compare"), run, known, `the shared run: ${run.browser}, ${run.platform}`);
}

form.addEventListener("submit", (event) => {
  event.preventDefault();
  // The digits go to picalc as typed; the formula switch is a second
  // argument whose presence alone selects Størmer's formula.
  const digits = $("digits").value.trim() || "9999";
  start($("stomer").checked ? [digits, "s"] : [digits], Number($("runs").value), $("every-core").checked);
});

$("copies-at-once").textContent = String(copiesAtOnce);
renderHistory();
addEventListener("hashchange", showShared);
fetch("known_runs.json")
  .then((response) => (response.ok ? response.json() : []))
  .catch(() => [])
  .then((runs) => {
    // picalc-compare's JSON of results/: every run's time of each record.
    known = Array.isArray(runs?.records) ? runs.records : [];
    showShared();
  });

if (typeof WebAssembly !== "object" || typeof Worker !== "function") {
  runButton.disabled = true;
  fail("This browser cannot run picalc: it lacks WebAssembly or Web Workers.");
} else if ("serviceWorker" in navigator) {
  navigator.serviceWorker.register("service_worker.js").catch(() => {});
}
