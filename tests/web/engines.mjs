// The three browser engines behind one small interface, so that every page
// scenario is written once: Chromium and Firefox through puppeteer-core
// (Firefox over WebDriver BiDi, so no geckodriver), and WebKitGTK's
// MiniBrowser through its classic WebDriver server and selenium-webdriver,
// in an Xvfb display of our own when there is none. All are Debian's.
//
// For experiments, PICALC_CHROMIUM_ARGS adds Chromium flags and
// PICALC_FIREFOX_PREFS (JSON) Firefox preferences; WebKit's JavaScriptCore
// reads its JSC_* options from the environment. Each engine function also
// takes them as its argument: flags, preferences as JSON, or NAME=VALUE.
//
// An engine's start() throws a NotRun error, with the reason, when the
// engine cannot start on this machine.
import { spawn } from "node:child_process";
import { existsSync } from "node:fs";
import { writeFile } from "node:fs/promises";
import { once } from "node:events";
import { connect, createServer } from "node:net";

export class NotRun extends Error {}

const required = (path, packageName) => {
  if (!existsSync(path)) throw new NotRun(`${path} is missing (Debian package ${packageName})`);
  return path;
};

// Every console message and uncaught error a page produces, as text.
function puppeteerPage(page, mobile, options) {
  const console = [];
  page.on("console", (message) => console.push(`${message.type()}: ${message.text()}`));
  page.on("pageerror", (error) => console.push(`uncaught: ${error.message ?? error}`));
  return {
    console,
    async setSize(width, height) {
      await page.setViewport(mobile ? { width, height, isMobile: true, hasTouch: true } : { width, height });
    },
    goto: (url) => page.goto(url, { waitUntil: "load" }),
    reload: () => page.reload({ waitUntil: "load" }),
    evaluate: (fn, ...args) => page.evaluate(fn, ...args),
    click: (selector) => page.click(selector),
    async fill(selector, text) {
      await page.$eval(selector, (element) => (element.value = ""));
      await page.type(selector, text);
    },
    screenshot: (path) => page.screenshot({ path, fullPage: true }),
    // What keeps the page from being installed as an app, where the engine
    // can tell (Chromium); null elsewhere.
    async installabilityErrors() {
      if (options.browser !== "chrome") return null;
      const session = await page.createCDPSession();
      const { installabilityErrors } = await session.send("Page.getInstallabilityErrors");
      // Every fresh context is an incognito one, which is never installable:
      // that says nothing of the page.
      return installabilityErrors.map((error) => error.errorId).filter((id) => id !== "in-incognito");
    },
  };
}

// label: how the page names the browser, from the version the driver reports.
async function puppeteerEngine(options, { mobile, label }) {
  const { default: puppeteer } = await import("puppeteer-core");
  let browser;
  try {
    // A browser's first start on a fresh machine can take far longer than
    // puppeteer's default 30 s.
    browser = await puppeteer.launch({ headless: true, timeout: startTimeout, ...options });
  } catch (error) {
    throw new NotRun(`it did not start: ${error.message.split("\n")[0]}`);
  }
  const version = (await browser.version()).replace(/^\D*\//, "");
  return {
    version,
    label: `${label} ${version.split(".")[0]}`,
    // A fresh context per page: its own storage, cache and service workers.
    async open(width, height) {
      const context = await browser.createBrowserContext();
      const page = puppeteerPage(await context.newPage(), mobile && width < 500, options);
      await page.setSize(width, height);
      page.close = () => context.close();
      return page;
    },
    close: () => browser.close(),
  };
}

// WebDriver classic cannot read the console, so the page's console and
// uncaught errors are caught from inside once it has loaded; failed loads are
// seen by the server in every engine.
const catchConsole = () => {
  if (window.pageTestConsole) return;
  window.pageTestConsole = [];
  for (const type of ["log", "info", "warn", "error", "debug"]) {
    const original = console[type];
    console[type] = (...args) => {
      window.pageTestConsole.push(`${type}: ${args.join(" ")}`);
      original.apply(console, args);
    };
  }
  addEventListener("error", (event) => window.pageTestConsole.push(`uncaught: ${event.message}`));
  addEventListener("unhandledrejection", (event) => window.pageTestConsole.push(`uncaught: ${event.reason}`));
};

// How long a browser or its driver may take to start: a first start on a
// fresh, loaded machine reads every library from disk.
const startTimeout = 180000;

// Resolves once something accepts connections on the port.
async function listening(port, what) {
  const deadline = Date.now() + startTimeout;
  for (;;) {
    const socket = connect(port, "127.0.0.1");
    const accepted = await new Promise((settled) => {
      socket.once("connect", () => settled(true));
      socket.once("error", () => settled(false));
    });
    socket.destroy();
    if (accepted) return;
    if (Date.now() > deadline) throw new NotRun(`${what} did not accept connections in ${startTimeout} ms`);
    await new Promise((later) => setTimeout(later, 100));
  }
}

async function freePort() {
  const probe = createServer().listen(0, "127.0.0.1");
  await once(probe, "listening");
  const { port } = probe.address();
  probe.close();
  return port;
}

async function startXvfb() {
  const xvfb = spawn("Xvfb", ["-displayfd", "3", "-nolisten", "tcp", "-screen", "0", "1280x1024x24"], {
    stdio: ["ignore", "ignore", "ignore", "pipe"],
  });
  const [display] = await Promise.race([
    once(xvfb.stdio[3], "data"),
    once(xvfb, "error").then(([error]) => Promise.reject(new NotRun(`Xvfb did not start: ${error.message}`))),
    once(xvfb, "exit").then(([code]) => Promise.reject(new NotRun(`Xvfb exited with status ${code} before it named its display`))),
  ]);
  return { display: `:${String(display).trim()}`, stop: () => xvfb.kill() };
}

// extra: NAME=VALUE pairs for the browser's environment, such as
// WebKitGTK's WEBKIT_DISABLE_COMPOSITING_MODE=1 or JavaScriptCore's options.
async function webkitEngine(extra = "") {
  const browserBinary = required("/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser", "libwebkit2gtk-4.1-0");
  const driverBinary = required("/usr/bin/WebKitWebDriver", "webkit2gtk-driver");
  const { Builder, By, Capabilities } = await import("selenium-webdriver");
  let xvfb = null;
  if (!process.env.DISPLAY) {
    required("/usr/bin/Xvfb", "xvfb");
    xvfb = await startXvfb();
  }
  const env = {
    ...process.env,
    DISPLAY: xvfb?.display ?? process.env.DISPLAY,
    ...Object.fromEntries(extra.split(" ").filter(Boolean).map((pair) => pair.split(/=(.*)/s))),
  };
  let server;
  let port;
  const startDriver = async () => {
    port = await freePort();
    server = spawn(driverBinary, ["--host=127.0.0.1", `--port=${port}`], { env, stdio: "ignore" });
    await listening(port, `WebKitWebDriver on port ${port}`);
  };
  await startDriver();
  const capabilities = new Capabilities({
    browserName: "MiniBrowser",
    "webkitgtk:browserOptions": { binary: browserBinary, args: ["--automation"] },
  });
  // A MiniBrowser that dies while it starts (seen once in ten runs with both
  // cores loaded) leaves WebKitWebDriver waiting for it forever: a session
  // not made within the start bound is given up, with its driver, and asked
  // of a fresh one, three times at most.
  const session = async () => {
    for (let attempt = 1; ; attempt += 1) {
      const building = new Builder().usingServer(`http://127.0.0.1:${port}`).withCapabilities(capabilities).build();
      let timer;
      const bound = new Promise((resolve, reject) => {
        timer = setTimeout(() => reject(new Error(`no session within ${startTimeout} ms`)), startTimeout);
      });
      try {
        return await Promise.race([building, bound]);
      } catch (error) {
        building.catch(() => {});
        if (attempt === 3) throw new NotRun(`MiniBrowser did not start in ${attempt} attempts: ${error.message}`);
        server.kill();
        await startDriver();
      } finally {
        clearTimeout(timer);
      }
    }
  };
  const probe = await session();
  const version = String(await probe.executeScript("return navigator.userAgent")).match(/AppleWebKit\/(\S+)/)[1];
  await probe.quit();

  // A frame that has just loaded or reloaded can replace its document under
  // a command, and WebKit then calls the frame or an element stale: the
  // command ran nothing, so it is made again, after entering the frame anew
  // (recover), for as long as a slow machine may take to settle the document.
  const fresh = async (act, recover = null) => {
    const deadline = Date.now() + 60000;
    for (;;) {
      try {
        return await act();
      } catch (error) {
        if (error.name !== "StaleElementReferenceError" || Date.now() > deadline) throw error;
        await new Promise((later) => setTimeout(later, 100));
        await recover?.().catch(() => {});
      }
    }
  };

  return {
    version,
    label: "a WebKit browser",
    // A session per page, so each starts with empty storage.
    async open(width, height) {
      const driver = await session();
      let framed = false;
      const enterFrame = async () => {
        await driver.switchTo().defaultContent();
        await driver.switchTo().frame(await driver.findElement(By.css("iframe")));
      };
      const retried = (act) => fresh(act, framed ? enterFrame : null);
      const page = {
        console: [],
        async setSize(w, h) {
          await driver.manage().window().setRect({ width: w, height: h + 38 });
          // The MiniBrowser window has a minimum width; narrower screens
          // are a frame of exactly that size, which the page lays itself
          // out in as in a viewport.
          framed = (await driver.executeScript("return innerWidth")) > w;
          width = w;
          height = h;
        },
        async goto(url) {
          if (framed) {
            const host = new URL("/page-test-frame.html", url);
            host.searchParams.set("src", url);
            host.searchParams.set("size", `${width}x${height}`);
            await driver.get(host.href);
            await fresh(enterFrame);
            await waitFor(page, () => document.readyState === "complete" && location.href !== "about:blank");
          } else {
            await driver.get(url);
          }
          await page.evaluate(catchConsole);
        },
        async reload() {
          await page.collect();
          await driver.executeScript("location.reload()");
          await waitFor(page, () => document.readyState === "complete" && !window.pageTestConsole);
          await page.evaluate(catchConsole);
        },
        evaluate: (fn, ...args) => retried(() => driver.executeScript(`return (${fn}).apply(null, arguments)`, ...args)),
        click: (selector) => retried(async () => (await driver.findElement(By.css(selector))).click()),
        fill: (selector, text) => retried(async () => {
          const element = await driver.findElement(By.css(selector));
          await element.clear();
          await element.sendKeys(text);
        }),
        async screenshot(path) {
          // WebKit paints a frame's change a little after the change itself.
          await page.evaluate(() => new Promise((painted) => requestAnimationFrame(() => requestAnimationFrame(painted))));
          let image;
          if (framed) {
            await driver.switchTo().defaultContent();
            image = await fresh(async () => (await driver.findElement(By.css("iframe"))).takeScreenshot());
            await fresh(enterFrame);
          } else {
            image = await driver.takeScreenshot();
          }
          await writeFile(path, image, "base64");
        },
        installabilityErrors: async () => null,
        async collect() {
          page.console.push(...((await page.evaluate(() => window.pageTestConsole)) ?? []));
        },
        async close() {
          await page.collect();
          await driver.quit();
        },
      };
      await page.setSize(width, height);
      return page;
    },
    async close() {
      server.kill();
      xvfb?.stop();
    },
  };
}

// The harness's page for a screen narrower than a browser window can be.
export const harnessPages = {
  "/page-test-frame.html": `<!doctype html><meta charset="utf-8"><title>frame</title><link rel="icon" href="data:,">
<style>body { margin: 0 } iframe { border: 0; display: block }</style>
<iframe></iframe>
<script>
  const query = new URLSearchParams(location.search);
  const frame = document.querySelector("iframe");
  [frame.width, frame.height] = query.get("size").split("x");
  frame.src = query.get("src");
</script>`,
};

const chromiumFlags = ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
  "--disable-background-networking", "--disable-component-update", "--disable-sync"];

export const engines = {
  chromium: (extra = process.env.PICALC_CHROMIUM_ARGS ?? "") => puppeteerEngine({
    browser: "chrome",
    executablePath: required(process.env.CHROMIUM ?? "/usr/bin/chromium", "chromium"),
    args: [...chromiumFlags, ...extra.split(" ").filter(Boolean)],
  }, { mobile: true, label: "Chromium" }),
  firefox: (extra = process.env.PICALC_FIREFOX_PREFS ?? "{}") => puppeteerEngine({
    browser: "firefox",
    executablePath: required(process.env.FIREFOX ?? "/usr/bin/firefox-esr", "firefox-esr"),
    protocol: "webDriverBiDi",
    // No update checks, telemetry or remote settings: this network is closed.
    extraPrefsFirefox: {
      "network.dns.disableIPv6": true,
      "browser.shell.checkDefaultBrowser": false,
      ...JSON.parse(extra),
    },
  }, { mobile: false, label: "Firefox" }),
  webkit: webkitEngine,
};

// Polls fn in the page until it returns true.
export async function waitFor(page, fn, timeout = 60000, ...args) {
  const deadline = Date.now() + timeout;
  for (;;) {
    if (await page.evaluate(fn, ...args)) return;
    if (Date.now() > deadline) throw new Error(`timed out after ${timeout} ms waiting for ${fn}`);
    await new Promise((later) => setTimeout(later, 50));
  }
}
