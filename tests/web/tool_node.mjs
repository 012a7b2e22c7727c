// The built site, as the tests use it: its modules, which include what the
// build fills in (limits.js), and its tools (picalc-compare.wasm,
// picalc-page-record.wasm) run under Node's WASI as the page's worker runs
// them: FILES (names to text) and the SITE files named in their current
// folder, and the status and both outputs back.
import { closeSync, openSync, readFileSync } from "node:fs";
import { copyFile, mkdtemp, rm, writeFile } from "node:fs/promises";
import { tmpdir } from "node:os";
import { join, resolve } from "node:path";
import { pathToFileURL } from "node:url";

export const site = resolve(process.env.PICALC_WEB_DIR ?? "build-wasm/web");
const modules = new Map();

// One of the site's JavaScript modules, as the build laid it out.
export const siteModule = (name) => import(pathToFileURL(join(site, name)).href);

export async function toolInNode(program, args, files, siteFiles = []) {
  process.removeAllListeners("warning"); // node:wasi's ExperimentalWarning
  const { WASI } = await import("node:wasi");
  if (!modules.has(program)) modules.set(program, await WebAssembly.compile(readFileSync(join(site, `${program}.wasm`))));
  const folder = await mkdtemp(join(tmpdir(), `${program}-`));
  try {
    for (const [name, text] of Object.entries(files)) await writeFile(join(folder, name), text);
    for (const name of siteFiles) await copyFile(join(site, name), join(folder, name));
    const out = openSync(join(folder, ".out"), "w");
    const err = openSync(join(folder, ".err"), "w");
    const wasi = new WASI({
      version: "preview1", args: [program, ...args], env: {}, preopens: { ".": folder },
      stdout: out, stderr: err, returnOnExit: true,
    });
    const instance = await WebAssembly.instantiate(modules.get(program), { wasi_snapshot_preview1: wasi.wasiImport });
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
