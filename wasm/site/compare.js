// What the page asks of picalc-compare, whose own code, built for
// WebAssembly, does the work: checking every run and copy line by line as
// picalc-check does, telling whether this device's runs differ from a known
// machine's, and comparing them with a record the visitor opens. `call(program,
// args, files)` runs PROGRAM.wasm with FILES (names to text) in its folder
// and resolves with {status, out, err}; the page's runs it in a worker, the
// tests under Node.

// "this-device:9999:Gauss:1.402000,1.456000": times picalc-compare takes
// with --times, already checked.
const timesArgument = (label, run) =>
  `${label}:${run.digits}:${run.formula}:${run.times.map((seconds) => seconds.toFixed(6)).join(",")}`;

// What picalc-compare --json refused, from its JSON: {file, reason} each.
function refusals(out, status) {
  try {
    const { refused } = JSON.parse(out);
    if (Array.isArray(refused) && refused.length > 0) return refused;
  } catch {
    // Not JSON: it could not even say what it refused.
  }
  return [{ file: null, reason: `picalc-compare ended with status ${status} and gave no reason` }];
}

const compareTool = (call, args, files) => call("picalc-compare", args, files);

// The largest file the page reads: a record of picalc-record's 100 runs of
// 100,000 digits is about 12 MB. A larger one is refused before a byte of it
// is read, as the page holds the whole text at once.
export const maxRecordBytes = 16 * 1024 * 1024;

// Why the page will not read FILE (a File, or {name, size}); "" when it will.
export function recordFileProblem(file) {
  if (file.size <= maxRecordBytes) return "";
  const megabytes = (bytes) => `${(bytes / (1024 * 1024)).toFixed(1)} MB`;
  return `${file.name} is ${megabytes(file.size)}, and the page opens records of up to ` +
    `${megabytes(maxRecordBytes)}: compare it with picalc-compare instead`;
}

export function comparer(call) {
  return {
    // Every output, runs then copies, each a file of its own, so that a
    // wrong line is named within its run: null when all are genuine, else
    // what is wrong, naming the run or copy by LABELS.
    async check(outputs, labels) {
      const names = outputs.map((_, i) => `output-${i + 1}.txt`);
      const files = Object.fromEntries(names.map((name, i) => [name, outputs[i]]));
      const { status, out } = await compareTool(call, ["--json", "--", ...names], files);
      if (status === 0) return null;
      const [first] = refusals(out, status);
      const index = names.indexOf(first.file);
      return index >= 0 ? `${labels[index]}: ${first.reason}` : first.reason;
    },

    // This measurement against each known run of its workload: name to
    // {significant, holds, evidence, p, ratio, smallest_p}, or an empty map
    // when none is.
    async significance(run, known) {
      const same = known.filter((other) => other.digits === run.digits && other.formula === run.formula);
      if (same.length === 0 || !Array.isArray(run.times)) return new Map();
      const args = ["--json", "--baseline", "this-device", "--times", timesArgument("this-device", run)];
      for (const other of same) args.push("--times", timesArgument(other.name, other));
      const { status, out } = await compareTool(call, args, {});
      if (status !== 0) throw new Error(refusals(out, status)[0].reason);
      const rows = JSON.parse(out).groups[0].rows;
      return new Map(rows.map((row) => [row.name, row.against_baseline]));
    },

    // This device's last measurement (A) against a record (B): picalc-compare's
    // own words, or its refusal.
    async withRecord(run, name, text) {
      const { status, out, err } = await compareTool(call, ["--times", timesArgument("this-device", run), "--", name],
        { [name]: text });
      return status === 0 ? { compared: true, text: out } : { compared: false, text: err.replace(/\n$/, "") };
    },
  };
}

// A known run's difference from this device's runs, in words. Known runs
// were made in another session: the runs of one session share its state, and
// sessions of one machine differ by more than their runs, so a difference
// from one session of each is no verdict.
export function significanceText(against) {
  if (against === undefined) return "";
  const p = against.p_text;
  if (against.smallest_p >= 0.05) return "too few runs to tell a difference";
  if (!against.significant) return `no difference shown (${p})`;
  const direction = against.ratio > 1 ? "slower" : "faster";
  if (!against.holds) {
    return `${direction} than this device in these runs (${p}), but one session of each gives no ` +
      "verdict: sessions differ by more than their runs";
  }
  return `${direction} than this device, significantly (${p})`;
}
