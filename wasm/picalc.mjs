// picalc under Node: runs picalc.wasm, found beside this file, through Node's
// WASI preview1 with the same arguments, standard streams and exit status as
// the native program, and nothing else on either output.
//
//   node picalc.mjs [digits [formula-switch]]
import { openSync, readFileSync } from "node:fs";
import { isatty } from "node:tty";

// Node announces on standard error that WASI is experimental, once, when it is
// first loaded; picalc itself never writes there. Other warnings still show.
process.removeAllListeners("warning");
process.on("warning", (warning) => {
  if (warning.name !== "ExperimentalWarning") {
    process.stderr.write(`${warning.name}: ${warning.message}\n`);
  }
});
const { WASI } = await import("node:wasi");

// Node leaves a terminal's fd 0 non-blocking, so picalc's final read would
// fail at once with EAGAIN instead of waiting for Enter; the terminal opened
// afresh blocks. Pipes, files and /dev/null are read as they are.
function standardInput() {
  if (!isatty(0)) {
    return 0;
  }
  try {
    return openSync(process.platform === "win32" ? "\\\\.\\CONIN$" : "/dev/tty", "r");
  } catch {
    return 0;
  }
}

const wasi = new WASI({
  version: "preview1",
  args: ["picalc", ...process.argv.slice(2)],
  env: {},
  stdin: standardInput(),
  stdout: 1,
  stderr: 2,
  returnOnExit: true,
});
const module = await WebAssembly.compile(readFileSync(new URL("picalc.wasm", import.meta.url)));
const instance = await WebAssembly.instantiate(module, {
  wasi_snapshot_preview1: wasi.wasiImport,
});
process.exitCode = wasi.start(instance);
