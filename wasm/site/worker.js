// Runs picalc.wasm once for the page and posts what it prints as it prints
// it: {text, at} for standard output with the time it was printed, {exit}
// with the status at the end, or {failure} when the module cannot run at
// all. {prepare} compiles the module ahead and answers {ready}, so that
// copies meant to run at once can all be started together. {tool: {program,
// args, files, site}} runs PROGRAM.wasm instead (picalc-compare or
// picalc-page-record), with FILES (names to text) and the SITE files named
// (fetched as they are) in its current folder, and answers {finished:
// {status, out, err}}. It knows nothing of the page.
import { ConsoleStdout, File, OpenFile, PreopenDirectory, WASI } from "./wasi-shim/index.js";

let compiled = null;

// A file of the site, as bytes.
async function fetched(name) {
  const response = await fetch(name);
  if (!response.ok) throw new Error(`${name} could not be loaded (HTTP ${response.status})`);
  return new Uint8Array(await response.arrayBuffer());
}

function compile() {
  compiled ??= fetched("picalc.wasm").then((bytes) => WebAssembly.compile(bytes));
  return compiled;
}

const tools = new Map();

async function tool({ program, args, files, site = [] }) {
  if (!tools.has(program)) tools.set(program, fetched(`${program}.wasm`).then((bytes) => WebAssembly.compile(bytes)));
  const module = await tools.get(program);
  const encoder = new TextEncoder();
  const contents = new Map(Object.entries(files).map(([name, text]) => [name, new File(encoder.encode(text))]));
  for (const name of site) contents.set(name, new File(await fetched(name)));
  const written = { out: "", err: "" };
  const decoders = { out: new TextDecoder(), err: new TextDecoder() };
  const stream = (name) => new ConsoleStdout((bytes) => (written[name] += decoders[name].decode(bytes, { stream: true })));
  const folder = new PreopenDirectory(".", contents);
  const stdin = new OpenFile(new File(new Uint8Array()));
  const wasi = new WASI([program, ...args], [], [stdin, stream("out"), stream("err"), folder], { debug: false });
  const instance = await WebAssembly.instantiate(module, { wasi_snapshot_preview1: wasi.wasiImport });
  const status = wasi.start(instance);
  return { status, out: written.out, err: written.err };
}

async function run(args) {
  const module = await compile();
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
    if (data.tool) {
      postMessage({ finished: await tool(data.tool) });
    } else if (data.prepare) {
      await compile();
      postMessage({ ready: true });
    } else {
      postMessage({ exit: await run(data.args) });
    }
  } catch (error) {
    postMessage({ failure: String(error?.message ?? error) });
  }
};
