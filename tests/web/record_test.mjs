// The share link and the kept history: a link must come back as the run it
// was made from, anything else in a fragment must be refused with a reason
// (never thrown), and storage that is corrupt, missing or full must read as
// empty or report the failed write instead of breaking the page.
import { test } from "node:test";
import assert from "node:assert/strict";
import { readFile } from "node:fs/promises";
import {
  fragmentLimit, historyLimit, loadHistory, parseFragment, recordFileName, saveHistory, shareFragment, summaryOf,
} from "../../wasm/site/record.js";

const output = (await readFile(new URL("../data/run_763_stomer.txt", import.meta.url), "utf8"))
  .replace("<seconds>", "2.118000");
const run = {
  total: 2.118, digits: 763, formula: "Stomer", browser: "Firefox 153", engine: "Gecko",
  platform: "Linux x86_64", stages: [0.012, 1.8, 0.29],
};

test("a share link reads back as the run it was made from", () => {
  assert.deepEqual(parseFragment(shareFragment(run)), { run });
  assert.equal(parseFragment(""), null);
  assert.equal(parseFragment("#"), null);
});

test("fragments that are not a valid link are refused with the reason", () => {
  const good = shareFragment(run).slice(1);
  const cases = [
    [`#${good.replace("v=1", "v=9")}`, /newer picalc/],
    [`#${good.replace("v=1", "v=0")}`, /version 0 is unknown/],
    ["#v=one", /no format version/],
    [`#${good.replace("d=763", "d=1073741818")}`, /malformed: .*digit count/],
    [`#${good.replace("t=2.118000", "t=-1")}`, /malformed: .*total time/],
    [`#${good.replace("t=2.118000", "t=1e308")}`, /malformed: .*total time/],
    [`#${good.replace("f=Stomer", "f=Euler")}`, /malformed: .*formula/],
    [`#${good.replace("b=Firefox+153", "b=%3Cimg+src%3Dx%3E")}`, /malformed: .*browser/],
    [`#${good.replace(/&s=[^&]*/, "&s=0.1,0.2")}`, /malformed: .*stage times/],
    [`#${good.replace(/&e=[^&]*/, "")}`, /malformed: .*engine/],
    [`#${good}&p2=${"x".repeat(fragmentLimit)}`, /characters long/],
    ["#%E0%A4%A", /no format version|could not be read/],
  ];
  for (const [fragment, reason] of cases) {
    const parsed = parseFragment(fragment);
    assert.equal(parsed.run, undefined, fragment);
    assert.match(parsed.error, reason, fragment);
  }
});

const storage = (initial) => {
  const items = new Map(initial === undefined ? [] : [["picalc-history-v1", initial]]);
  return {
    getItem: (key) => items.get(key) ?? null,
    setItem(key, value) {
      if (value.length > 200000) throw new Error("QuotaExceededError");
      items.set(key, value);
    },
  };
};

test("the history survives bad storage and keeps the newest runs", () => {
  const kept = { ...run, id: "a", date: "2026-12-08", output };
  for (const initial of [undefined, "not json", "{}", "null", JSON.stringify([null, { output: "pi calc" }])]) {
    assert.deepEqual(loadHistory(storage(initial)), [], String(initial));
  }
  assert.deepEqual(loadHistory(null), []);
  assert.equal(saveHistory(null, [kept]), false);

  const store = storage();
  const many = Array.from({ length: historyLimit + 5 }, (_, i) => ({ ...kept, id: String(i) }));
  assert.equal(saveHistory(store, many), true);
  assert.deepEqual(loadHistory(store).map((entry) => entry.id), many.slice(5).map((entry) => entry.id));
  // Too large for the quota: the write fails in words, the old history stays.
  assert.equal(saveHistory(store, [{ ...kept, output: output.repeat(200) }]), false);
  assert.equal(loadHistory(store).length, historyLimit);
});

test("the record's summary and file name come from the output", () => {
  assert.deepEqual(summaryOf(output), { digits: 763, formula: "Stomer", total: 2.118 });
  assert.equal(summaryOf(output.split("DIGITS")[0]), null);
  assert.equal(recordFileName({ date: "2026-12-08", browser: "Chrome 140 on iOS" }), "2026-12-08-chrome-140-on-ios-wasm.txt");
});
