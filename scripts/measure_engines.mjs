// Times a default run in each browser engine against the native build,
// stage by stage, in rounds that alternate the contenders so that the
// machine's drift falls on all alike. Stage times come from when each
// stage's closing line was printed, as the page shows them.
//
//   node scripts/measure_engines.mjs [rounds] [native-binary]
//
// PICALC_ENGINES lists the engines (default chromium,firefox,webkit); an
// entry ENGINE:EXTRA adds Chromium flags, Firefox preferences as JSON, or
// NAME=VALUE settings in WebKit's environment.
// PICALC_BARE=1 adds, per engine, the worker alone with nothing drawn.
// Needs build-wasm/web and a native build (default build/picalc); prints a
// Markdown table of the ranges over the rounds.
import { spawn } from "node:child_process";
import { resolve } from "node:path";
import { engines, waitFor } from "../tests/web/engines.mjs";
import { serve } from "../tests/web/serve.mjs";
import { stageClock, stageNames } from "../wasm/site/stages.js";

const rounds = Number(process.argv[2] ?? 3);
const native = resolve(process.argv[3] ?? "build/picalc");
const names = (process.env.PICALC_ENGINES ?? "chromium,firefox,webkit").split(",");

// Native: line-buffered through stdbuf, each line stamped as it arrives.
function runNative() {
  return new Promise((done, failed) => {
    const child = spawn("stdbuf", ["-oL", native], { stdio: ["pipe", "pipe", "inherit"] });
    const stages = stageClock();
    let text = "";
    child.stdin.end("\n");
    child.stdout.on("data", (chunk) => {
      stages.add(String(chunk), performance.now());
      text += chunk;
    });
    child.on("error", failed);
    child.on("exit", (status) => {
      const durations = stages.durations().map(([, seconds]) => seconds);
      if (status !== 0 || durations.length !== 3) return failed(new Error(`${native} ended with status ${status}`));
      done({ total: Number(/^Total time (\S+) seconds $/m.exec(text)[1]), stages: durations });
    });
  });
}

// The same worker with nothing drawn: what the page's own display costs.
const barePage = `<!doctype html><meta charset="utf-8"><title>bare</title><link rel="icon" href="data:,">
<script type="module">
  import { stageClock } from "./stages.js";
  const worker = new Worker("worker.js", { type: "module" });
  const stages = stageClock();
  let text = "";
  worker.onmessage = ({ data }) => {
    if (data.text !== undefined) {
      stages.add(data.text, data.at);
      text += data.text;
      return;
    }
    const total = Number(/^Total time (\\S+) seconds $/m.exec(text)?.[1] ?? NaN);
    window.result = { total, stages: stages.durations().map(([, seconds]) => seconds) };
  };
  worker.postMessage({ args: [] });
</script>`;

async function runBare(engine, origin) {
  const page = await engine.open(1000, 900);
  try {
    await page.goto(`${origin}/measure-bare.html`);
    await waitFor(page, () => window.result !== undefined, 120000);
    return await page.evaluate(() => window.result);
  } finally {
    await page.close();
  }
}

async function runPage(engine, origin) {
  const page = await engine.open(1000, 900);
  try {
    await page.goto(`${origin}/`);
    await page.click("#run");
    await waitFor(page, () => !document.getElementById("run").disabled, 120000);
    const { score, stages } = await page.evaluate(() => ({
      score: document.getElementById("score").textContent,
      stages: document.getElementById("stages").textContent,
    }));
    return { total: Number(score), stages: stageNames.map((name) => Number(new RegExp(`${name} (\\S+)`).exec(stages)[1])) };
  } finally {
    await page.close();
  }
}

const server = await serve(resolve(process.env.PICALC_WEB_DIR ?? "build-wasm/web"), { "/measure-bare.html": barePage });
const contenders = [{ name: `native (${native})`, run: runNative }];
for (const entry of names) {
  // ENGINE:EXTRA sets an engine against itself with one setting changed.
  const [name, extra] = entry.split(/:(.*)/s);
  const engine = await engines[name](...(extra ? [extra] : []));
  const label = `${name} ${engine.version}${extra ? ` (${extra})` : ""}`;
  contenders.push({ name: label, run: () => runPage(engine, server.origin), engine });
  if (process.env.PICALC_BARE === "1") {
    contenders.push({ name: `${label}, bare worker`, run: () => runBare(engine, server.origin) });
  }
}
const results = contenders.map(() => []);
for (let round = 0; round < rounds; round += 1) {
  for (const [i, contender] of contenders.entries()) {
    results[i].push(await contender.run());
    console.error(`round ${round + 1}: ${contender.name}: ${JSON.stringify(results[i].at(-1))}`);
  }
}
for (const contender of contenders) await contender.engine?.close();
await server.close();

const range = (values, scale, digits) => {
  const sorted = values.map((v) => v * scale).sort((a, b) => a - b);
  return `${sorted[0].toFixed(digits)}–${sorted.at(-1).toFixed(digits)}`;
};
const median = (values) => values.slice().sort((a, b) => a - b)[Math.floor(values.length / 2)];
console.log(`| | ${contenders.map((c) => c.name).join(" | ")} |`);
console.log(`|---|${contenders.map(() => "---").join("|")}|`);
console.log(`| total printed, s | ${results.map((r) => range(r.map((x) => x.total), 1, 2)).join(" | ")} |`);
for (const [s, name] of stageNames.entries()) {
  console.log(`| ${name}, ms | ${results.map((r) => range(r.map((x) => x.stages[s]), 1000, 0)).join(" | ")} |`);
}
const nativeMedian = median(results[0].map((x) => x.total));
console.log(`| median total / native | ${results.map((r) => (median(r.map((x) => x.total)) / nativeMedian).toFixed(2)).join(" | ")} |`);
