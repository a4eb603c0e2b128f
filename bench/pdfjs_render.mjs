// node pdfjs_render.mjs PDF OUT.png WIDTH HEIGHT
// Draws the first page of PDF with pdf.js (npm: pdfjs-dist and @napi-rs/canvas, installed in the
// folder PDFJS_DIR names) at WIDTH x HEIGHT pixels on white, into OUT.png.
import fs from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';

const [pdfPath, outPath, width, height] = process.argv.slice(2);
const modules = path.join(process.env.PDFJS_DIR ?? '.', 'node_modules');
const pdfjs = await import(path.join(modules, 'pdfjs-dist/legacy/build/pdf.mjs'));
const { createCanvas } = createRequire(path.join(modules, 'x'))('@napi-rs/canvas');

const document = await pdfjs.getDocument({ data: new Uint8Array(fs.readFileSync(pdfPath)), verbosity: 0 }).promise;
const page = await document.getPage(1);
const viewport = page.getViewport({ scale: Number(width) / page.getViewport({ scale: 1 }).width });
const canvas = createCanvas(Number(width), Number(height));
const context = canvas.getContext('2d');
context.fillStyle = 'white';
context.fillRect(0, 0, Number(width), Number(height));
await page.render({ canvasContext: context, viewport }).promise;
fs.writeFileSync(outPath, canvas.toBuffer('image/png'));
