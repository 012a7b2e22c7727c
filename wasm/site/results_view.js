// Draws kept, shared and known runs: the stage bar, the history with its
// chart, and the bars against known machines. Every chart has its words
// beside it, in a table or in the bars' own labels.
import { stageNames } from "./stages.js";

const svgNS = "http://www.w3.org/2000/svg";
const formulaName = { Gauss: "Gauss", Stomer: "Størmer" };

export const describeRun = (run) => `${run.digits} digits, ${formulaName[run.formula]}'s formula`;

function element(tag, attributes = {}, text = "") {
  const node = tag === "svg" || tag === "rect" || tag === "title" ?
    document.createElementNS(svgNS, tag) : document.createElement(tag);
  for (const [name, value] of Object.entries(attributes)) node.setAttribute(name, value);
  if (text) node.textContent = text;
  return node;
}

export function showStages(bar, label, stages) {
  const sum = stages.reduce((a, b) => a + b, 0) || 1;
  [...bar.children].forEach((segment, i) => (segment.style.flexGrow = String(stages[i] / sum)));
  label.textContent = stages.map((seconds, i) => `${stageNames[i]} ${seconds.toFixed(3)}\u00a0s`).join(" · ");
}

// The history, newest first, with a bar per run's total time in an SVG.
export function showHistory(section, runs, { onDelete, onClear, shareLink }) {
  section.hidden = runs.length === 0;
  const rows = section.querySelector("#history-rows");
  rows.replaceChildren();
  for (const run of runs.slice().reverse()) {
    const row = element("tr");
    for (const cell of [run.date, describeRun(run), run.browser, run.total.toFixed(3)]) row.append(element("td", {}, cell));
    const actions = element("td", { class: "row-actions" });
    const link = element("a", { href: shareLink(run) }, "share");
    const remove = element("button", { type: "button", class: "secondary", "aria-label": `Delete the run of ${run.date}, ${run.total.toFixed(3)} s` }, "delete");
    remove.addEventListener("click", () => onDelete(run.id));
    actions.append(link, " ", remove);
    row.append(actions);
    rows.append(row);
  }
  section.querySelector("#clear-history").onclick = onClear;

  const width = 320;
  const height = 80;
  const longest = Math.max(...runs.map((run) => run.total), 0.001);
  const step = width / Math.max(runs.length, 1);
  const chart = element("svg", { viewBox: `0 0 ${width} ${height}`, role: "img", "aria-labelledby": "history-chart-title", class: "history-chart" });
  chart.append(element("title", { id: "history-chart-title" },
    `Total times of this device's ${runs.length} runs, oldest first: ${runs.map((run) => `${run.total.toFixed(3)} s`).join(", ")}.`));
  runs.forEach((run, i) => {
    const barHeight = Math.max(1, (run.total / longest) * (height - 4));
    chart.append(element("rect", { x: (i * step + step * 0.15).toFixed(1), y: (height - barHeight).toFixed(1), width: (step * 0.7).toFixed(1), height: barHeight.toFixed(1) }));
  });
  section.querySelector("#history-chart").replaceChildren(chart);
}

function bars(list, entries, longest) {
  list.replaceChildren();
  for (const entry of entries) {
    const item = element("li", entry.current ? { class: "current", "aria-current": "true" } : {});
    const bar = element("span", { class: "bar" });
    bar.style.width = `${Math.max(2, (entry.total / longest) * 100)}%`;
    item.append(element("span", { class: "bar-label" }, `${entry.total.toFixed(3)} s · ${entry.label}`), bar);
    list.append(item);
  }
}

// The run against the known runs of the same count and formula: browser runs
// of its own engine first, then the rest, with native builds marked.
export function showComparison(section, run, known, currentLabel) {
  const same = known.filter((other) => other.digits === run.digits && other.formula === run.formula);
  const label = (other) =>
    `${other.kind === "native" ? `native: ${other.build.replace(/^native,\s*/, "")}` : other.build}, ${other.cpu}` +
    (other.runs > 1 ? ` (median of ${other.runs} runs)` : "");
  const ownEngine = same.filter((other) => other.kind === "browser" && other.engine === run.engine)
    .map((other) => ({ total: other.total, label: label(other) }));
  ownEngine.push({ total: run.total, label: currentLabel, current: true });
  const others = same.filter((other) => !(other.kind === "browser" && other.engine === run.engine))
    .map((other) => ({ total: other.total, label: label(other) }));
  const longest = Math.max(...[...ownEngine, ...others].map((entry) => entry.total));
  const byTime = (a, b) => a.total - b.total;
  bars(section.querySelector("#compare-same"), ownEngine.sort(byTime), longest);
  bars(section.querySelector("#compare-others"), others.sort(byTime), longest);
  section.querySelector("#compare-others-title").hidden = others.length === 0;
  section.querySelector("#compare-note").textContent = same.length === 0 ?
    `No known run of ${describeRun(run)} yet: the runs in the project's results/ are of other counts.` :
    `${describeRun(run)}: ${run.engine} browser runs first, then the other engines and native builds (shorter is faster).`;
  section.hidden = false;
}
