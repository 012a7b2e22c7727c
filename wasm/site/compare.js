// What the page asks of picalc-compare, whose own code, built for
// WebAssembly, does the work: checking every run and copy line by line as
// picalc-check does, telling whether this device's runs differ from a known
// machine's, and comparing them with a record the visitor opens. `call(args,
// files)` runs picalc-compare with FILES (names to text) in its folder and
// resolves with {status, out, err}; the page's runs it in a worker, the
// tests under Node.

// "this-device:9999:Gauss:1.402000,1.456000": times picalc-compare takes
// with --times, already checked.
const timesArgument = (label, run) =>
  `${label}:${run.digits}:${run.formula}:${run.times.map((seconds) => seconds.toFixed(6)).join(",")}`;

// The first line of what picalc-compare said, without its name and the file's.
const reason = (err, file) =>
  err.split("\n")[0].replace(/^picalc-compare: /, "").replace(`${file}: `, "");

export function comparer(call) {
  return {
    // Every output, runs then copies, each a file of its own, so that a
    // wrong line is named within its run: null when all are genuine, else
    // what is wrong, naming the run or copy by LABELS.
    async check(outputs, labels) {
      const names = outputs.map((_, i) => `output-${i + 1}.txt`);
      const files = Object.fromEntries(names.map((name, i) => [name, outputs[i]]));
      const { status, err } = await call(["--json", "--", ...names], files);
      if (status === 0) return null;
      const bad = /^picalc-compare: output-(\d+)\.txt: (.*)$/m.exec(err);
      return bad ? `${labels[Number(bad[1]) - 1]}: ${bad[2]}` : reason(err, "");
    },

    // This measurement against each known run of its workload: name to
    // {significant, p, ratio, smallest_p}, or an empty map when none is.
    async significance(run, known) {
      const same = known.filter((other) => other.digits === run.digits && other.formula === run.formula);
      if (same.length === 0 || !Array.isArray(run.times)) return new Map();
      const args = ["--json", "--baseline", "this-device", "--times", timesArgument("this-device", run)];
      for (const other of same) args.push("--times", timesArgument(other.name, other));
      const { status, out, err } = await call(args, {});
      if (status !== 0) throw new Error(reason(err, ""));
      const rows = JSON.parse(out).groups[0].rows;
      return new Map(rows.map((row) => [row.name, row.against_baseline]));
    },

    // This device's last measurement (A) against a record (B): picalc-compare's
    // own words, or its refusal.
    async withRecord(run, name, text) {
      const { status, out, err } = await call(["--times", timesArgument("this-device", run), "--", name],
        { [name]: text });
      return status === 0 ? { compared: true, text: out } : { compared: false, text: err.replace(/\n$/, "") };
    },
  };
}

// A known run's difference from this device's runs, in words.
export function significanceText(against) {
  if (against === undefined) return "";
  const p = against.p < 0.001 ? "p < 0.001" : `p = ${against.p.toFixed(against.p < 0.01 ? 3 : 2)}`;
  if (against.smallest_p >= 0.05) return "too few runs to tell a difference";
  if (!against.significant) return `no difference shown (${p})`;
  return `${against.ratio > 1 ? "slower" : "faster"} than this device, significantly (${p})`;
}
