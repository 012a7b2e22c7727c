// When each stage of a run ended, from the line that closes it, in the clock
// of whoever stamps the output: the page's worker, or the measurement
// script reading the native build. The first output, the banner, starts the
// pi stage.
const tableRows = 25;
const stageEnds = [
  ["pi digits", (line) => line.startsWith("DIGITS: ")],
  ["integration table", (line, count) => count.rows === tableRows],
  ["square-root loops", (line, count) => count.products === 2],
];

export const stageNames = stageEnds.map(([name]) => name);

export function stageClock() {
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
