// Runs picalc.wasm once for the page and posts what it prints as it prints
// it: {text, at} for standard output with the time it was printed, {exit}
// with the status at the end, or {failure} when the module cannot run at
// all. {prepare} compiles the module ahead and answers {ready, build}, so
// that copies meant to run at once can all be started together. It knows
// nothing of the page.
import { ConsoleStdout, File, OpenFile, WASI } from "./wasi-shim/index.js";
import { buildInfoOf } from "./record.js";

let compiled = null;

// The module, and the build line its bytes carry.
function compile() {
  compiled ??= (async () => {
    const response = await fetch("picalc.wasm");
    if (!response.ok) {
      throw new Error(`picalc.wasm could not be loaded (HTTP ${response.status})`);
    }
    const bytes = new Uint8Array(await response.arrayBuffer());
    return { module: await WebAssembly.compile(bytes), build: buildInfoOf(bytes) };
  })();
  return compiled;
}

async function run(args) {
  const { module } = await compile();
  const decoder = new TextDecoder();
  const stdout = new ConsoleStdout((bytes) => {
    // Stamped here, where it is printed, so the stage times do not include
    // the wait for the page's thread.
    postMessage({ text: decoder.decode(bytes, { stream: true }), at: performance.now() });
  });
  const stderr = new ConsoleStdout(() => {});
  // Nobody can press Enter in a page: standard input holds one already.
  const stdin = new OpenFile(new File(new TextEncoder().encode("\n")));
  const wasi = new WASI(["picalc", ...args], [], [stdin, stdout, stderr], { debug: false });
  const instance = await WebAssembly.instantiate(module, { wasi_snapshot_preview1: wasi.wasiImport });
  return wasi.start(instance);
}

onmessage = async ({ data }) => {
  try {
    if (data.prepare) {
      postMessage({ ready: true, build: (await compile()).build });
    } else {
      postMessage({ exit: await run(data.args) });
    }
  } catch (error) {
    postMessage({ failure: String(error?.message ?? error) });
  }
};
