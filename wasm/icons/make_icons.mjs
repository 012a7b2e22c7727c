// Renders the page's PNG icons from icon.svg in headless Chromium. Run it
// after changing the SVG and commit the PNGs; the build only copies them.
//
//   node wasm/icons/make_icons.mjs
import { readFile } from "node:fs/promises";
import puppeteer from "puppeteer-core";

const site = new URL("../site/", import.meta.url);
const svg = await readFile(new URL("icon.svg", site), "utf8");
// The maskable icon fills the square: launchers cut their own shape, and the
// glyph stays inside the middle 80% that every shape keeps.
const fullBleed = svg.replace(/ rx="\d+"/, "").replace("<g ", '<g transform="translate(51 51) scale(0.8)" ');
const icons = [
  ["icon-192.png", 192, svg],
  ["icon-512.png", 512, svg],
  ["apple-touch-icon.png", 180, fullBleed],
  ["icon-maskable-512.png", 512, fullBleed],
];

const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM ?? "/usr/bin/chromium",
  args: ["--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking"],
});
const page = await browser.newPage();
for (const [name, size, source] of icons) {
  await page.setViewport({ width: size, height: size });
  const image = source.replace("<svg ", `<svg width="${size}" height="${size}" `);
  await page.setContent(`<style>body{margin:0}svg{display:block}</style>${image}`);
  await page.screenshot({ path: new URL(name, site).pathname, omitBackground: true });
}
await browser.close();
