// The engine a result is labelled with: a wrong one would set scores beside
// scores of another engine. iOS browsers are the trap, being WebKit whatever
// they are named, and Chromium's user agent says Chrome.
import { test } from "node:test";
import assert from "node:assert/strict";
import { siteModule } from "./tool_node.mjs";

const { engineOf } = await siteModule("engine.js");

const chromium = [{ brand: "Chromium", version: "156" }, { brand: "Not=A?Brand", version: "24" }];
const chrome = [...chromium, { brand: "Google Chrome", version: "156" }];
const cases = [
  ["Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/156.0.0.0 Safari/537.36", chromium, "Chromium 156", "Blink"],
  ["Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/156.0.0.0 Safari/537.36", chrome, "Chrome 156", "Blink"],
  ["Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/156.0.0.0 Safari/537.36 Edg/156.0.0.0", chromium, "Edge 156", "Blink"],
  ["Mozilla/5.0 (Linux; Android 14) AppleWebKit/537.36 (KHTML, like Gecko) SamsungBrowser/29.0 Chrome/136.0.0.0 Mobile Safari/537.36", [], "Samsung Internet 29", "Blink"],
  ["Mozilla/5.0 (X11; Linux x86_64; rv:153.0) Gecko/20100101 Firefox/153.0", [], "Firefox 153", "Gecko"],
  ["Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/26.1 Safari/605.1.15", [], "Safari 26.1", "WebKit"],
  ["Mozilla/5.0 (iPhone; CPU iPhone OS 18_5 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/18.5 Mobile/15E148 Safari/604.1", [], "Safari 18.5", "WebKit"],
  ["Mozilla/5.0 (iPhone; CPU iPhone OS 18_5 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) CriOS/140.0.7339.101 Mobile/15E148 Safari/604.1", [], "Chrome 140 on iOS", "WebKit"],
  ["Mozilla/5.0 (iPad; CPU OS 18_5 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) FxiOS/142.0 Mobile/15E148 Safari/605.1.15", [], "Firefox 142 on iOS", "WebKit"],
  ["Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/60.5 Safari/605.1.15", [], "a WebKit browser", "WebKit"],
  ["curl/8.5.0", [], "an unknown browser", "unknown"],
];

test("the browser and engine named from the user agent", () => {
  for (const [userAgent, brands, browser, engine] of cases) {
    assert.deepEqual(engineOf(userAgent, brands), { browser, engine }, userAgent);
  }
});
