// The page: starts each run in a Web Worker, so the page never freezes, shows
// picalc's output as it is printed, and derives the stage, the progress, the
// score, the verdict and the stage times from the printed lines alone.
import { engineOf } from "./engine.js";

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

// Where each stage ends, read from the line that closes it.
const stageEnds = [
  ["pi digits", (line) => line.startsWith("DIGITS: ")],
  ["integration table", (line, count) => count.rows === tableRows],
  ["square-root loops", (line, count) => count.products === 2],
];

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

// Follows the complete lines as they arrive, noting when each stage ended,
// in the worker's clock: the first output, the banner, starts the pi stage.
function stageClock() {
  const ends = [];
  const count = { rows: 0, products: 0 };
  let started = null;
  let pending = "";
  return {
    add(chunk, at) {
      started ??= at;
      const lines = (pending + chunk).split("\n");
      pending = lines.pop();
      for (const line of lines) {
        if (/^ +\d+ +\| +\S+ +\| $/.test(line)) count.rows += 1;
        if (line.startsWith("Floating-point precision ")) count.products += 1;
        const next = stageEnds[ends.length];
        if (next && next[1](line, count)) ends.push(at);
      }
    },
    // Seconds per stage, for the stages that ended.
    durations: () => ends.map((end, i) => [stageEnds[i][0], (end - (i === 0 ? started : ends[i - 1])) / 1000]),
  };
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
  $("stages").textContent = stages.durations().map(([name, seconds]) => `${name} ${seconds.toFixed(3)}\u00a0s`).join(" · ");
  const { browser, engine } = engineOf(navigator.userAgent, navigator.userAgentData?.brands);
  $("engine").textContent = `Ran in ${browser} (${engine} engine). Compare it with browser scores from the same ` +
    "engine: each engine turns the WebAssembly into machine code of its own, so scores differ between engines " +
    "and from native builds on the same machine.";
  show($("result"), true);
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

if (typeof WebAssembly !== "object" || typeof Worker !== "function") {
  runButton.disabled = true;
  fail("This browser cannot run picalc: it lacks WebAssembly or Web Workers.");
} else if ("serviceWorker" in navigator) {
  navigator.serviceWorker.register("service_worker.js").catch(() => {});
}
