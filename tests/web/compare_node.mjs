// picalc-compare.wasm of the built site, run under Node's WASI as the page's
// worker runs it: FILES (names to text) in its current folder, and its
// status and both outputs back.
import { closeSync, openSync, readFileSync } from "node:fs";
import { mkdtemp, rm, writeFile } from "node:fs/promises";
import { tmpdir } from "node:os";
import { join, resolve } from "node:path";

const site = resolve(process.env.PICALC_WEB_DIR ?? "build-wasm/web");
let module = null;

export async function compareInNode(args, files) {
  process.removeAllListeners("warning"); // node:wasi's ExperimentalWarning
  const { WASI } = await import("node:wasi");
  module ??= await WebAssembly.compile(readFileSync(join(site, "picalc-compare.wasm")));
  const folder = await mkdtemp(join(tmpdir(), "picalc-compare-"));
  try {
    for (const [name, text] of Object.entries(files)) await writeFile(join(folder, name), text);
    const out = openSync(join(folder, ".out"), "w");
    const err = openSync(join(folder, ".err"), "w");
    const wasi = new WASI({
      version: "preview1", args: ["picalc-compare", ...args], env: {}, preopens: { ".": folder },
      stdout: out, stderr: err, returnOnExit: true,
    });
    const instance = await WebAssembly.instantiate(module, { wasi_snapshot_preview1: wasi.wasiImport });
    const status = wasi.start(instance);
    closeSync(out);
    closeSync(err);
    return {
      status, out: readFileSync(join(folder, ".out"), "utf8"), err: readFileSync(join(folder, ".err"), "utf8"),
    };
  } finally {
    await rm(folder, { recursive: true, force: true });
  }
}
