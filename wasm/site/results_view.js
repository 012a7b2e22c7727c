// Draws kept, shared and known runs: the stage bar, the history with its
// charts, and the bars against known machines. Every chart has its words
// beside it, in a table or in the bars' own labels.
import { significanceText } from "./compare.js";
import { stageNames } from "./stages.js";

const formulaName = { Gauss: "Gauss", Stomer: "Størmer" };

export const describeRun = (run) => `${run.digits} digits, ${formulaName[run.formula]}'s formula`;

function element(tag, attributes = {}, text = "") {
  const node = document.createElement(tag);
  for (const [name, value] of Object.entries(attributes)) node.setAttribute(name, value);
  if (text) node.textContent = text;
  return node;
}

export function showStages(bar, label, stages) {
  const sum = stages.reduce((a, b) => a + b, 0) || 1;
  [...bar.children].forEach((segment, i) => (segment.style.flexGrow = String(stages[i] / sum)));
  label.textContent = stages.map((seconds, i) => `${stageNames[i]} ${seconds.toFixed(3)}\u00a0s`).join(" · ");
}

const historyColumns = ["date", "run", "browser", "total, s"];
const chartLimit = 10;

// A kept run's total: one run's time, or the median of several, and the
// scaling of its copies.
function totalText(run) {
  const notes = [];
  if (run.times?.length > 1) notes.push(`median of ${run.times.length}`);
  if (Number.isFinite(run.scaling)) notes.push(`scaling ${run.scaling.toFixed(2)}`);
  return run.total.toFixed(3) + (notes.length > 0 ? ` (${notes.join(", ")})` : "");
}

// The history, newest first, in a table, and a bar chart per count and
// formula, since only runs of one count and formula can be set side by side.
export function showHistory(section, runs, { onDelete, onClear, shareLink }) {
  section.hidden = runs.length === 0;
  const rows = section.querySelector("#history-rows");
  rows.replaceChildren();
  for (const run of runs.slice().reverse()) {
    const row = element("tr");
    [run.date, describeRun(run), run.browser, totalText(run)].forEach((cell, i) =>
      row.append(element("td", { "data-label": historyColumns[i] }, cell)));
    const actions = element("td", { class: "row-actions" });
    const link = element("a", { href: shareLink(run) }, "share");
    const remove = element("button", { type: "button", class: "secondary", "aria-label": `Delete the run of ${run.date}, ${run.total.toFixed(3)} s` }, "delete");
    remove.addEventListener("click", () => onDelete(run.id));
    actions.append(link, " ", remove);
    row.append(actions);
    rows.append(row);
  }
  section.querySelector("#clear-history").onclick = onClear;

  // The newest run's group first; in each, the last runs oldest first.
  const groups = new Map();
  for (const run of runs.slice().reverse()) {
    const key = describeRun(run);
    if (!groups.has(key)) groups.set(key, []);
    groups.get(key).unshift(run);
  }
  const newest = runs.at(-1);
  const charts = [...groups].map(([name, group]) => {
    const shown = group.slice(-chartLimit);
    const figure = element("figure", { class: "history-chart" });
    figure.append(element("figcaption", {}, `${name}: total time of ${shown.length < group.length ?
      `the last ${shown.length} of ${group.length} runs` : group.length === 1 ? "the run" : `the ${group.length} runs`}, oldest first (shorter is faster)`));
    const list = element("ol", { class: "bars chart" });
    bars(list, shown.map((run) => ({
      total: run.total,
      label: `${run.date}, ${run.browser}${run.times?.length > 1 ? `, median of ${run.times.length}` : ""}` +
        (run === newest ? " (newest)" : ""),
      current: run === newest,
    })), Math.max(...shown.map((run) => run.total)));
    figure.append(list);
    return figure;
  });
  section.querySelector("#history-chart").replaceChildren(...charts);
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
// of its own engine first, then the rest, with native builds marked, and
// once DIFFERENCES (name to picalc-compare's test) are known, whether each
// differs from the run.
export function showComparison(section, run, known, currentLabel, differences = null) {
  const same = known.filter((other) => other.digits === run.digits && other.formula === run.formula);
  const label = (other) =>
    `${other.kind === "native" ? `native: ${other.build.replace(/^native,\s*/, "")}` : other.build}, ${other.cpu}` +
    (other.runs > 1 ? ` (median of ${other.runs} runs)` : "") +
    (differences ? `: ${significanceText(differences.get(other.name))}` : "");
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
