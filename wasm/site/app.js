// The page: starts each run in a Web Worker, so the page never freezes, shows
// picalc's output as it is printed, and derives the stage, the progress, the
// score, the verdict and the stage times from the printed lines alone.
import { engineOf } from "./engine.js";
import { stageClock } from "./stages.js";
import {
  loadHistory, parseFragment, recordFileName, recordText, saveHistory, shareFragment, summaryOf,
} from "./record.js";
import { describeRun, showComparison, showHistory, showStages } from "./results_view.js";

// The lines every complete run prints, on every machine.
const verification = [
  ["first verification code", "Anti cheating verification code is=:229347328"],
  ["first product", "Floating-point precision 1362979602959.09033203125000000000000000000000000000"],
  ["second verification code", "Anti cheating verification code is=??274347328"],
  ["second product", "Floating-point precision 1490709044570.75024414062500000000000000000000000000"],
];
const tableRows = 25;
const tableWork = 4 * (2 ** tableRows - 1); // sine calls of all rows, near enough
const statusMeaning = {
  1: "the term buffer could not be allocated. WebAssembly is a 32-bit platform: counts of 1,073,741,818 digits or more never fit, and smaller ones may exceed the memory this browser gives a page.",
  2: "the sum buffer could not be allocated: this browser gave the page too little memory for two buffers of this many digits.",
};

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

function verdictOf(lines) {
  const wrong = verification.filter(([, line]) => !lines.includes(line)).map(([name]) => name);
  if (wrong.length === 0) {
    return { good: true, text: "Verified: both verification codes and both products match the fixed values." };
  }
  return { good: false, text: `Not verified: the ${wrong.join(", ")} differ from the fixed values.` };
}

function showProgress(text) {
  const { label, fraction } = progressOf(text.split("\n").slice(0, -1));
  $("stage").textContent = label;
  // Until the pi stage ends there is no fraction to show, and an
  // indeterminate bar would animate, and repaint, all through the timed
  // run: the bar stays empty instead.
  $("progress").value = fraction ?? 0;
}

function finish(text, status, stages) {
  runButton.disabled = false;
  if (status !== 0) {
    const meaning = statusMeaning[status] ?? "the run did not complete.";
    fail(`picalc ended with exit status ${status}: ${meaning}`);
    return;
  }
  show($("progress-panel"), false);
  const lines = text.split("\n");
  const time = lines.map((line) => /^Total time (\S+) seconds $/.exec(line)).find(Boolean);
  $("score").textContent = time ? time[1] : "?";
  const verdict = verdictOf(lines);
  $("verdict").textContent = verdict.text;
  $("verdict").className = verdict.good ? "good" : "bad";
  const durations = stages.durations().map(([, seconds]) => Number(seconds.toFixed(3)));
  showStages($("result").querySelector(".stage-bar"), $("stages"), durations);
  $("engine").textContent = `Ran in ${here.browser} (${here.engine} engine). Compare it with browser scores from ` +
    "the same engine: each engine turns the WebAssembly into machine code of its own, so scores differ between " +
    "engines and from native builds on the same machine.";
  show($("result"), true);

  // Only a complete, verified run is a score to keep, share or compare.
  const summary = summaryOf(text);
  const run = verdict.good && summary && durations.length === 3 ? {
    id: `${Date.now()}-${Math.random().toString(36).slice(2, 8)}`,
    date: new Date().toISOString().slice(0, 10),
    ...summary, ...here, stages: durations, output: text,
  } : null;
  show($("download"), run !== null);
  show($("share"), run !== null);
  if (run === null) return;
  kept.push(run);
  if (!saveHistory(storage, kept)) {
    fail("This run could not be kept: the browser refused to store it (private mode, or its storage is full).");
  }
  if (record) URL.revokeObjectURL(record);
  record = URL.createObjectURL(new Blob([recordText(run)], { type: "text/plain" }));
  Object.assign($("download"), { href: record, download: recordFileName(run) });
  $("share").href = shareLink(run);
  showComparison($("compare"), run, known, `this run: ${run.browser} on this device`);
  renderHistory();
}

// What this browser says of itself, for every run's record.
const here = {
  ...engineOf(navigator.userAgent, navigator.userAgentData?.brands),
  platform: navigator.platform || navigator.userAgentData?.platform || "unknown",
  cores: navigator.hardwareConcurrency ?? "unknown",
};
// Storage can be refused outright (cookies blocked): then nothing is kept.
const storage = (() => {
  try {
    return localStorage;
  } catch {
    return null;
  }
})();
let kept = loadHistory(storage);
let record = null;
let known = [];

const shareLink = (run) => new URL(shareFragment(run), location.href.split("#")[0]).href;

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
  $("shared-summary").textContent =
    `Shared result: ${describeRun(run)}, run in ${run.browser} (${run.engine} engine) on ${run.platform}.`;
  showStages($("shared").querySelector(".stage-bar"), $("shared-stages"), run.stages);
  showComparison($("compare"), run, known, `the shared run: ${run.browser}, ${run.platform}`);
}

function start(args) {
  let text = "";
  const stages = stageClock();
  output.textContent = "";
  show($("result"), false);
  show($("failure"), false);
  show($("progress-panel"), true);
  runButton.disabled = true;
  showProgress(text);

  const worker = new Worker("worker.js", { type: "module" });
  const stop = () => worker.terminate();
  worker.onmessage = ({ data }) => {
    if (data.text !== undefined) {
      text += data.text;
      stages.add(data.text, data.at);
      output.append(data.text);
      output.scrollTop = output.scrollHeight;
      showProgress(text);
    } else if (data.exit !== undefined) {
      stop();
      finish(text, data.exit, stages);
    } else {
      stop();
      runButton.disabled = false;
      fail(`picalc could not run: ${data.failure}`);
    }
  };
  worker.onerror = (event) => {
    stop();
    runButton.disabled = false;
    fail(`picalc could not run: ${event.message || "the worker failed to start"}.`);
  };
  worker.postMessage({ args });
}

form.addEventListener("submit", (event) => {
  event.preventDefault();
  // The digits go to picalc as typed; the formula switch is a second
  // argument whose presence alone selects Størmer's formula.
  const digits = $("digits").value.trim() || "9999";
  start($("stomer").checked ? [digits, "s"] : [digits]);
});

renderHistory();
addEventListener("hashchange", showShared);
fetch("known_runs.json")
  .then((response) => (response.ok ? response.json() : []))
  .catch(() => [])
  .then((runs) => {
    known = Array.isArray(runs) ? runs : [];
    showShared();
  });

if (typeof WebAssembly !== "object" || typeof Worker !== "function") {
  runButton.disabled = true;
  fail("This browser cannot run picalc: it lacks WebAssembly or Web Workers.");
} else if ("serviceWorker" in navigator) {
  navigator.serviceWorker.register("service_worker.js").catch(() => {});
}
