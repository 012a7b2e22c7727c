// picalc-compare under Node: runs picalc-compare.wasm, found beside this
// file, through Node's WASI preview1, with the files named on its command
// line readable: those in the current folder or below it, named from there
// or in full.
//
//   node picalc-compare.mjs [OPTIONS] FILE...
import { readFileSync } from "node:fs";

process.removeAllListeners("warning");
process.on("warning", (warning) => {
  if (warning.name !== "ExperimentalWarning") {
    process.stderr.write(`${warning.name}: ${warning.message}\n`);
  }
});
const { WASI } = await import("node:wasi");

const wasi = new WASI({
  version: "preview1",
  args: ["picalc-compare", ...process.argv.slice(2)],
  env: {},
  // wasi-libc takes the last preopen that fits a path, and "." fits any.
  preopens: { [process.cwd()]: process.cwd(), ".": process.cwd() },
  returnOnExit: true,
});
const module = await WebAssembly.compile(readFileSync(new URL("picalc-compare.wasm", import.meta.url)));
const instance = await WebAssembly.instantiate(module, { wasi_snapshot_preview1: wasi.wasiImport });
process.exitCode = wasi.start(instance);
