// Runs picalc.wasm once for the page and posts what it prints as it prints
// it: {text, at} for standard output with the time it was printed, {exit} with the status at the end, or
// {failure} when the module cannot run at all. It knows nothing of the page.
import { ConsoleStdout, File, OpenFile, WASI } from "./wasi-shim/index.js";

async function compile() {
  const response = await fetch("picalc.wasm");
  if (!response.ok) {
    throw new Error(`picalc.wasm could not be loaded (HTTP ${response.status})`);
  }
  try {
    return await WebAssembly.compileStreaming(response.clone());
  } catch {
    // A server that does not say application/wasm defeats streaming only.
    return WebAssembly.compile(await response.arrayBuffer());
  }
}

async function run(args) {
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
  const instance = await WebAssembly.instantiate(await compile(), {
    wasi_snapshot_preview1: wasi.wasiImport,
  });
  return wasi.start(instance);
}

onmessage = async ({ data }) => {
  try {
    postMessage({ exit: await run(data.args) });
  } catch (error) {
    postMessage({ failure: String(error?.message ?? error) });
  }
};
