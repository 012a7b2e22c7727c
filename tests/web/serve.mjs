// A static server for the built site on 127.0.0.1 only, for the page test and
// the engine measurements. It records every request that did not succeed, so
// a missing icon shows up in any engine, and it can go offline: then every
// request is dropped unanswered, as a network that is gone would.
import { readFile } from "node:fs/promises";
import { createServer } from "node:http";
import { extname, join, normalize } from "node:path";

const types = {
  ".html": "text/html; charset=utf-8",
  ".js": "text/javascript",
  ".css": "text/css",
  ".wasm": "application/wasm",
  ".svg": "image/svg+xml",
  ".png": "image/png",
  ".webmanifest": "application/manifest+json",
};

// `extra` maps paths to pages of the harness's own, served beside the site.
// setOverride(path, json) serves JSON in place of a site file until it is
// cleared with null.
export async function serve(site, extra = {}) {
  const failures = [];
  const overrides = new Map();
  let offline = false;
  const server = createServer(async (request, response) => {
    if (offline) {
      request.socket.destroy();
      return;
    }
    const path = normalize(decodeURIComponent(new URL(request.url, "http://x").pathname));
    if (overrides.has(path)) {
      response.writeHead(200, { "content-type": "application/json" }).end(overrides.get(path));
      return;
    }
    if (extra[path] !== undefined) {
      response.writeHead(200, { "content-type": types[".html"] }).end(extra[path]);
      return;
    }
    const file = join(site, path.endsWith("/") ? `${path}index.html` : path);
    try {
      if (!file.startsWith(site)) throw new Error("outside the site");
      const body = await readFile(file);
      response.writeHead(200, { "content-type": types[extname(file)] ?? "application/octet-stream" });
      response.end(body);
    } catch {
      failures.push(`404 ${path}`);
      response.writeHead(404).end();
    }
  });
  await new Promise((listening) => server.listen(0, "127.0.0.1", listening));
  return {
    origin: `http://127.0.0.1:${server.address().port}`,
    failures,
    setOverride(path, json) {
      if (json === null) overrides.delete(path);
      else overrides.set(path, json);
    },
    setOffline(value) {
      offline = value;
      if (value) server.closeAllConnections();
    },
    close: () => new Promise((closed) => server.close(closed)),
  };
}
