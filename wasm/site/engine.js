// Which browser and engine run the page, in words, from what the browser says
// of itself. Scores differ by engine, since each compiles the WebAssembly
// into its own machine code, so the engine is what a score is compared by.
// Every browser on iOS and iPadOS is WebKit, whatever its name.
const rules = [
  [/FxiOS\/(\d+)/, "Firefox $1 on iOS", "WebKit"],
  [/CriOS\/(\d+)/, "Chrome $1 on iOS", "WebKit"],
  [/EdgiOS\/(\d+)/, "Edge $1 on iOS", "WebKit"],
  [/Firefox\/(\d+)/, "Firefox $1", "Gecko"],
  [/Edg\/(\d+)/, "Edge $1", "Blink"],
  [/OPR\/(\d+)/, "Opera $1", "Blink"],
  [/SamsungBrowser\/(\d+)/, "Samsung Internet $1", "Blink"],
  [/Chrome\/(\d+)/, "Chrome $1", "Blink"],
  [/(?:Macintosh|iPhone|iPad).*Version\/(\d+(?:\.\d+)?).*Safari\//, "Safari $1", "WebKit"],
  // WebKitGTK and WPE browsers give a Version that is not the engine's own.
  [/AppleWebKit\//, "a WebKit browser", "WebKit"],
];

// brands: navigator.userAgentData.brands where the browser has it, which
// tells Chromium from Chrome, whose user agents are alike.
export function engineOf(userAgent, brands = []) {
  for (const [pattern, browser, engine] of rules) {
    const match = pattern.exec(userAgent);
    if (!match) continue;
    let name = match[0].replace(pattern, browser);
    const names = brands.map((entry) => entry.brand);
    if (engine === "Blink" && name.startsWith("Chrome ") && names.includes("Chromium") &&
        !names.includes("Google Chrome")) {
      name = name.replace("Chrome", "Chromium");
    }
    return { browser: name, engine };
  }
  return { browser: "an unknown browser", engine: "unknown" };
}
