// How the page measures, as picalc-record does: the single runs one after
// another, then rounds of copies at once, each run in a worker of its own,
// and every output checked line by line at the end, by picalc-compare's
// checker. A run or copy that fails fails it all, in words. Nothing here
// touches the page: it is given a way to make workers, to check outputs and
// to report progress.
import { summaryOf } from "./record.js";
const statusMeaning = {
  1: "the term buffer could not be allocated. WebAssembly is a 32-bit platform: counts of 1,073,741,818 digits or more never fit, and smaller ones may exceed the memory this browser gives a page.",
  2: "the sum buffer could not be allocated: this browser gave the page too little memory for two buffers of this many digits.",
};

export class MeasurementFailed extends Error {}

// What the page says of a measurement of RUNS runs and COPIES copies that
// all passed the check.
export const verifiedText = (runs, copies) =>
  `Verified: ${runs + copies === 1 ? "the run" : `all ${runs + copies} ${copies > 0 ? "runs and copies" : "runs"}`} ` +
  "checked line by line, as picalc-check checks them: every line but the time is the one picalc must print.";

// A run's count, formula and time, or the reason the measurement fails.
function judge(name, { text, exit }) {
  if (exit !== 0) {
    throw new MeasurementFailed(`${name}picalc ended with exit status ${exit}: ${statusMeaning[exit] ?? "the run did not complete."}`);
  }
  const summary = summaryOf(text);
  if (!summary) throw new MeasurementFailed(`${name}Not verified: its output has no count, formula or total time.`);
  return summary;
}

// newWorker() gives {prepare, run, stop}: prepare() compiles picalc,
// run(args, onText) resolves with {text, exit,
// stages}; either rejects if picalc cannot run at all. check(outputs,
// labels) resolves with null when every output is genuine, or what is
// wrong. report.output gets the first run's output as it is printed,
// report.step what is running, report.checking that the check has begun. Resolves with the single runs and each
// round's copy times.
export async function measure({ args, runs, copiesAtOnce, newWorker, check, report }) {
  const outputs = [];
  const labels = [];
  const numbered = runs > 1 || copiesAtOnce > 0;
  const single = [];
  for (let i = 0; i < runs; i += 1) {
    const worker = newWorker();
    try {
      await worker.prepare();
      const result = await worker.run(args, (chunk, text) => {
        if (i === 0) report.output(chunk);
        report.step(numbered ? `Run ${i + 1} of ${runs} · ` : "", text);
      });
      const name = runs > 1 ? `Run ${i + 1} of ${runs}` : "The run";
      single.push({ ...result, summary: judge(runs > 1 ? `${name}: ` : "", result) });
      outputs.push(result.text);
      labels.push(name);
    } finally {
      worker.stop();
    }
  }

  // Each round's copies are all compiled before any starts, so they compete
  // for the processor for the whole of their runs. The first copy that
  // fails ends the round at once.
  const copies = [];
  for (let round = 0; round < (copiesAtOnce > 0 ? runs : 0); round += 1) {
    const prefix = `Every core, round ${round + 1} of ${runs}, ${copiesAtOnce} copies at once · `;
    const workers = [];
    let finished = 0;
    try {
      report.step(prefix, "", 0);
      // One at a time: WebKit fails to start module workers that load
      // together from a service worker, as they do offline.
      while (workers.length < copiesAtOnce) {
        workers.push(newWorker());
        await workers.at(-1).prepare();
      }
      copies.push(await Promise.all(workers.map(async (worker, i) => {
        const result = await worker.run(args, i === 0 ? (chunk, text) => report.step(prefix, text, finished / copiesAtOnce) : null);
        finished += 1;
        const name = `Copy ${i + 1} of ${copiesAtOnce} in round ${round + 1} of ${runs}`;
        const { total } = judge(`${name}: `, result);
        outputs.push(result.text);
        labels.push(name);
        return total;
      })));
    } finally {
      workers.forEach((worker) => worker.stop());
    }
  }
  report.checking?.();
  const wrong = await check(outputs, labels);
  if (wrong !== null) throw new MeasurementFailed(`Not verified: ${wrong}`);
  return { single, copies };
}
