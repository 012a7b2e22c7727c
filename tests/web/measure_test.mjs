// The page's measurement with stand-in workers: the single runs and then
// each round's copies, all compiled before any copy starts; the first run's
// output alone reaches the output panel; and any run or copy that ends
// badly, prints a wrong line or cannot start fails the whole measurement
// with its name, leaving no worker running. Every output is checked by the
// site's own picalc-compare.wasm, as the page checks it.
import { test } from "node:test";
import assert from "node:assert/strict";
import { readFile } from "node:fs/promises";
import { siteModule, toolInNode } from "./tool_node.mjs";

const { MeasurementFailed, measure } = await siteModule("measure.js");
const { comparer, maxRecordBytes, recordFileProblem, significanceText } = await siteModule("compare.js");

const compare = comparer(toolInNode);

const template = await readFile(new URL("../data/run_0.txt", import.meta.url), "utf8");

// Each worker made prints the next of `plan`: seconds, or {exit}, {text} or
// {failure}, and logs what it was asked in order.
function workers(plan) {
  const log = [];
  let made = 0;
  const newWorker = () => {
    const id = made;
    const step = plan[made++] ?? 1;
    return {
      async prepare() {
        log.push(`prepare ${id}`);
        if (step.failure) throw new Error(step.failure);
        return { version: "1.0.0" };
      },
      async run(args, onText) {
        log.push(`run ${id}`);
        await null; // every copy is running before the first ends
        const text = step.text ?? template.replace("<seconds>", Number(step).toFixed(6));
        onText?.(text, text);
        return { text, exit: step.exit ?? 0, stages: null };
      },
      stop: () => log.push(`stop ${id}`),
    };
  };
  const shown = [];
  const report = { output: (chunk) => shown.push(chunk), step() {} };
  return { newWorker, check: compare.check, report, log, shown };
}

test("single runs, then rounds of copies started together", async () => {
  const fake = workers([3, 1, 2, 5, 6, 7, 8, 9, 4]);
  const { single, copies } = await measure({ args: ["0"], runs: 3, copiesAtOnce: 2, ...fake });
  assert.deepEqual(single.map((run) => run.summary.total), [3, 1, 2]);
  assert.deepEqual(copies, [[5, 6], [7, 8], [9, 4]]);
  assert.equal(fake.shown.length, 1, "only the first run's output is shown");
  assert.deepEqual(fake.log.slice(9, 15), ["prepare 3", "prepare 4", "run 3", "run 4", "stop 3", "stop 4"]);
  const none = await measure({ args: ["0"], runs: 1, copiesAtOnce: 0, ...workers([2]) });
  assert.deepEqual(none.copies, []);
});

test("one bad run or copy fails the measurement, by name, and stops every worker", async () => {
  const wrong = template.replace("is=??274347328", "is=??274347329").replace("<seconds>", "1.000000");
  const digit = template.replace("pi= 3.", "pi= 4.").replace("<seconds>", "1.000000");
  const cases = [
    [[1, { exit: 2 }], /^Run 2 of 3: picalc ended with exit status 2: the sum buffer/],
    [[1, 1, 1, 1, { text: wrong }], /^Not verified: Copy 2 of 2 in round 1 of 3: line 62: expected "Anti cheating verification code is=\?\?274347328"/],
    [[1, 1, 1, 1, 1, { exit: 9 }], /^Copy 1 of 2 in round 2 of 3: picalc ended with exit status 9: the run did not complete/],
    [[1, 1, 1, { text: "pi calc\n" }], /^Copy 1 of 2 in round 1 of 3: Not verified: its output has no count/],
    [[{ text: digit }, 1, 1], /^Not verified: Run 1 of 3: line 4: expected "pi= 3\.", found "pi= 4\."/],
  ];
  for (const [plan, message] of cases) {
    const fake = workers(plan);
    await assert.rejects(measure({ args: ["0"], runs: 3, copiesAtOnce: 2, ...fake }),
      (error) => error instanceof MeasurementFailed && message.test(error.message), String(message));
    const made = fake.log.filter((entry) => entry.startsWith("prepare")).length;
    assert.equal(fake.log.filter((entry) => entry.startsWith("stop")).length, made, String(message));
  }
  // A worker that cannot run picalc is not a verdict on picalc.
  await assert.rejects(measure({ args: ["0"], runs: 1, copiesAtOnce: 2, ...workers([1, 1, { failure: "no wasm" }]) }),
    (error) => !(error instanceof MeasurementFailed) && error.message === "no wasm");
});

test("this device against known runs, and against an opened record", async () => {
  const run = { digits: 0, formula: "Gauss", times: [1.4, 1.41, 1.42] };
  const known = [
    { name: "slow", digits: 0, formula: "Gauss", times: [9, 9.1, 9.2, 9.3, 9.4, 9.5, 9.6, 9.7, 9.8] },
    { name: "alike", digits: 0, formula: "Gauss", times: [1.39, 1.405, 1.43, 1.38, 1.415, 1.425, 1.41, 1.4, 1.44] },
    { name: "once", digits: 0, formula: "Gauss", times: [1.0] },
    // 3 % slower: every run slower, but from another session, as every known run is.
    { name: "near", digits: 0, formula: "Gauss", times: [1.45, 1.451, 1.452, 1.453, 1.454, 1.455, 1.456, 1.457, 1.458] },
    { name: "other", digits: 130, formula: "Gauss", times: [1.0, 1.1, 1.2, 1.3] },
  ];
  const differences = await compare.significance(run, known);
  assert.deepEqual([...differences.keys()].sort(), ["alike", "near", "once", "slow", "this-device"]);
  // However large, a difference from one session of each is no verdict.
  for (const name of ["near", "slow"]) {
    assert.equal(differences.get(name).evidence, "runs");
    assert.equal(significanceText(differences.get(name)), "slower than this device in these runs (p = 0.009), " +
      "but one session of each gives no verdict: sessions differ by more than their runs");
  }
  assert.equal(significanceText({ significant: true, holds: true, ratio: 0.8, p_text: "p = 0.03", smallest_p: 0.03 }),
    "faster than this device, significantly (p = 0.03)");
  assert.match(significanceText(differences.get("alike")), /^no difference shown \(p = /);
  assert.equal(significanceText(differences.get("once")), "too few runs to tell a difference");

  const record = ["CPU: elsewhere", "", ...known[0].times.map((t) => template.replace("<seconds>", t.toFixed(6)))].join("\n");
  const compared = await compare.withRecord(run, "-elsewhere.txt", record);
  assert.equal(compared.compared, true, compared.text);
  assert.match(compared.text, /^A: this-device: 3 runs of 0 digits \[Gauss\]/);
  assert.match(compared.text, /\nSingle runs: No verdict: the runs differ \(A is 5\d\d\.\d % faster than B \(95 % interval .*; p = 0\.009, 3 and 9 runs\)\), but this is one record of each/);
  const tampered = await compare.withRecord(run, "r.txt", record.replace("DIGITS: 0", "DIGITS: 1"));
  assert.deepEqual(tampered, { compared: false, text: "picalc-compare: r.txt: run 1: line 7: DIGITS: 1 does not match the listing above it, which holds 0 decimal places\npicalc-compare: nothing compared" });
  // A file too large to hold is refused by its size, before it is read.
  for (const [size, problem] of [[maxRecordBytes, ""], [maxRecordBytes + 4 * 1024 * 1024, "big.txt is 20.0 MB, and the page opens records of up to 16.0 MB: compare it with picalc-compare instead"], [3 * maxRecordBytes, "big.txt is 48.0 MB, and the page opens records of up to 16.0 MB: compare it with picalc-compare instead"]]) {
    assert.equal(recordFileProblem({ name: "big.txt", size }), problem);
  }
});
