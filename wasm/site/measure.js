// How the page measures, as picalc-record does: the single runs one after
// another, then rounds of copies at once, each run in a worker of its own,
// and every output checked. A run or copy that fails fails it all, in words.
// Nothing here touches the page: it is given a way to make workers and to
// report progress.
import { summaryOf } from "./record.js";

// The lines every complete run prints, on every machine.
const verification = [
  ["first verification code", "Anti cheating verification code is=:229347328"],
  ["first product", "Floating-point precision 1362979602959.09033203125000000000000000000000000000"],
  ["second verification code", "Anti cheating verification code is=??274347328"],
  ["second product", "Floating-point precision 1490709044570.75024414062500000000000000000000000000"],
];
const statusMeaning = {
  1: "the term buffer could not be allocated. WebAssembly is a 32-bit platform: counts of 1,073,741,818 digits or more never fit, and smaller ones may exceed the memory this browser gives a page.",
  2: "the sum buffer could not be allocated: this browser gave the page too little memory for two buffers of this many digits.",
};

export class MeasurementFailed extends Error {}

// What the page says of a measurement of `count` runs and copies that all
// printed the right lines.
export const verifiedText = (count) =>
  `Verified: ${count > 1 ? `in all ${count} runs and copies, ` : ""}both verification codes and both products ` +
  "match the fixed values.";

// A run's count, formula and time, or the reason the measurement fails.
function judge(name, { text, exit }) {
  if (exit !== 0) {
    throw new MeasurementFailed(`${name}picalc ended with exit status ${exit}: ${statusMeaning[exit] ?? "the run did not complete."}`);
  }
  const lines = text.split("\n");
  const wrong = verification.filter(([, line]) => !lines.includes(line)).map(([what]) => what);
  if (wrong.length > 0) throw new MeasurementFailed(`${name}Not verified: the ${wrong.join(", ")} differ from the fixed values.`);
  const summary = summaryOf(text);
  if (!summary) throw new MeasurementFailed(`${name}its output has no count, formula or total time.`);
  return summary;
}

// newWorker() gives {prepare, run, stop}: prepare() compiles picalc and
// resolves with its build, run(args, onText) resolves with {text, exit,
// stages}; either rejects if picalc cannot run at all. report.output gets
// the first run's output as it is printed, report.step what is running.
// Resolves with the single runs and each round's copy times.
export async function measure({ args, runs, copiesAtOnce, newWorker, report }) {
  const numbered = runs > 1 || copiesAtOnce > 0;
  const single = [];
  for (let i = 0; i < runs; i += 1) {
    const worker = newWorker();
    try {
      const build = await worker.prepare();
      const result = await worker.run(args, (chunk, text) => {
        if (i === 0) report.output(chunk);
        report.step(numbered ? `Run ${i + 1} of ${runs} · ` : "", text);
      });
      single.push({ ...result, build, summary: judge(runs > 1 ? `Run ${i + 1} of ${runs}: ` : "", result) });
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
        return judge(`Copy ${i + 1} of ${copiesAtOnce} in round ${round + 1} of ${runs}: `, result).total;
      })));
    } finally {
      workers.forEach((worker) => worker.stop());
    }
  }
  return { single, copies };
}
