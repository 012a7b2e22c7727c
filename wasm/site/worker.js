// Runs picalc.wasm once for the page and posts what it prints as it prints
// it: {text, at} for standard output with the time it was printed, {exit}
// with the status at the end, or {failure} when the module cannot run at
// all. {prepare} compiles the module ahead and answers {ready, build}, so
// that copies meant to run at once can all be started together.
// {compare: {args, files}} runs picalc-compare.wasm instead, with FILES (names
// to text) in its current folder, and answers {compared: {status, out, err}}.
// It knows nothing of the page.
import { ConsoleStdout, File, OpenFile, PreopenDirectory, WASI } from "./wasi-shim/index.js";
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

let comparer = null;

async function compare({ args, files }) {
  comparer ??= fetch("picalc-compare.wasm").then(async (response) => {
    if (!response.ok) throw new Error(`picalc-compare.wasm could not be loaded (HTTP ${response.status})`);
    return WebAssembly.compile(await response.arrayBuffer());
  });
  const module = await comparer;
  const encoder = new TextEncoder();
  const written = { out: "", err: "" };
  const decoders = { out: new TextDecoder(), err: new TextDecoder() };
  const stream = (name) => new ConsoleStdout((bytes) => (written[name] += decoders[name].decode(bytes, { stream: true })));
  const folder = new PreopenDirectory(".", new Map(Object.entries(files).map(([name, text]) => [name, new File(encoder.encode(text))])));
  const stdin = new OpenFile(new File(new Uint8Array()));
  const wasi = new WASI(["picalc-compare", ...args], [], [stdin, stream("out"), stream("err"), folder], { debug: false });
  const instance = await WebAssembly.instantiate(module, { wasi_snapshot_preview1: wasi.wasiImport });
  const status = wasi.start(instance);
  return { status, out: written.out, err: written.err };
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
    if (data.compare) {
      postMessage({ compared: await compare(data.compare) });
    } else if (data.prepare) {
      postMessage({ ready: true, build: (await compile()).build });
    } else {
      postMessage({ exit: await run(data.args) });
    }
  } catch (error) {
    postMessage({ failure: String(error?.message ?? error) });
  }
};
