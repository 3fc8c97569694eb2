// What the browser tests share: the system's Chromium started headless in a
// fresh profile, the page served from its folder, the native programs run
// as the page runs its own, and rows checked and reported one by one.
//
// The tests take their places from the environment, as CTest sets them, or
// where the web preset puts them: D88_PAGE (the page's index.html),
// D88_NATIVE (the folder of the native d88unpack and d88pack), D88_IMAGES
// (the images make_web_images wrote), D88_CHROMIUM (the browser) and
// D88_OUTPUT (where screenshots go).
import { spawnSync } from 'node:child_process';
import { createServer } from 'node:http';
import {
  lstatSync,
  mkdirSync,
  mkdtempSync,
  readdirSync,
  readFileSync,
  rmSync,
  writeFileSync,
} from 'node:fs';
import { tmpdir } from 'node:os';
import { basename, dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const root = join(dirname(fileURLToPath(import.meta.url)), '..', '..');
const built = join(root, 'build', 'web-build');
export const places = {
  page: process.env.D88_PAGE || join(root, 'build', 'web', 'index.html'),
  native: process.env.D88_NATIVE || join(built, 'native', 'app'),
  images: process.env.D88_IMAGES || join(built, 'tests', 'web', 'images'),
  chromium: process.env.D88_CHROMIUM || '/usr/bin/chromium',
  output: process.env.D88_OUTPUT || join(built, 'tests', 'web', 'output'),
};

export const image = (name) => new Uint8Array(readFileSync(join(places.images, name)));
export const bytesOf = (text) => new Uint8Array(Buffer.from(text, 'utf8'));
export const textOf = (bytes) => Buffer.from(bytes).toString('utf8');

// --- The browser and the page ---

export async function startBrowser() {
  const profile = mkdtempSync(join(tmpdir(), 'd88-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: places.chromium,
    headless: true,
    acceptDownloads: true,
    args: [
      '--headless',
      '--no-sandbox',
      '--disable-gpu',
      '--disable-quic',
      '--no-first-run',
      '--disable-background-networking',
      '--disable-component-update',
      '--disable-sync',
    ],
  });
  return {
    context,
    async close() {
      await context.close();
      rmSync(profile, { recursive: true, force: true });
    },
  };
}

// Serves the page's folder, and nothing else, on a port of its own; counts
// what was asked of it.
export async function servePage() {
  const folder = dirname(places.page);
  const asked = [];
  const server = createServer((request, response) => {
    asked.push(request.url);
    const path = request.url === '/' ? '/index.html' : request.url;
    try {
      const body = readFileSync(join(folder, basename(decodeURIComponent(path))));
      response.writeHead(200, { 'Content-Type': 'text/html; charset=utf-8' });
      response.end(body);
    } catch {
      response.writeHead(404);
      response.end();
    }
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return {
    url: `http://127.0.0.1:${server.address().port}/index.html`,
    asked,
    close: () =>
      new Promise((resolve) => {
        server.close(resolve);
        server.closeAllConnections();
      }),
  };
}

// Every request a page makes, by URL.
export function recordRequests(page) {
  const requests = [];
  page.on('request', (request) => requests.push(request.url()));
  return requests;
}

// Bytes cross into the page and back as base64.
const toBase64 = (bytes) => Buffer.from(bytes).toString('base64');
const fromBase64 = (text) => new Uint8Array(Buffer.from(text, 'base64'));

// window.d88.run in the page, its bytes brought back.
export async function runInPage(page, program, args, files = {}) {
  const encoded = Object.fromEntries(Object.entries(files).map(([k, v]) => [k, toBase64(v)]));
  const result = await page.evaluate(
    async ({ program, args, encoded }) => {
      const decode = (text) => Uint8Array.from(atob(text), (c) => c.charCodeAt(0));
      const encode = (bytes) => {
        let binary = '';
        for (let i = 0; i < bytes.length; i += 0x8000) {
          binary += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
        }
        return btoa(binary);
      };
      const files = Object.fromEntries(Object.entries(encoded).map(([k, v]) => [k, decode(v)]));
      const result = await window.d88.run(program, args, files);
      const kinds = [result.stdout, result.stderr, ...Object.values(result.files)];
      return {
        status: result.status,
        stdout: encode(result.stdout),
        stderr: encode(result.stderr),
        files: Object.fromEntries(Object.entries(result.files).map(([k, v]) => [k, encode(v)])),
        typed: kinds.every((bytes) => bytes instanceof Uint8Array),
      };
    },
    { program, args, encoded },
  );
  return {
    status: result.status,
    stdout: fromBase64(result.stdout),
    stderr: fromBase64(result.stderr),
    files: Object.fromEntries(Object.entries(result.files).map(([k, v]) => [k, fromBase64(v)])),
    typed: result.typed,
  };
}

// --- The native programs ---

function layFiles(folder, files) {
  for (const [path, data] of Object.entries(files)) {
    mkdirSync(dirname(join(folder, path)), { recursive: true });
    writeFileSync(join(folder, path), data);
  }
}

// Every regular file below the folder, by its path from there.
export function filesBelow(folder, prefix = '', out = {}) {
  for (const name of readdirSync(folder).sort()) {
    const path = join(folder, name);
    const info = lstatSync(path);
    if (info.isFile()) out[prefix + name] = new Uint8Array(readFileSync(path));
    else if (info.isDirectory()) filesBelow(path, `${prefix}${name}/`, out);
  }
  return out;
}

// The native program run in a fresh folder holding `files`, invoked by its
// bare name, with an empty environment and its streams going to pipes.
export function runNative(program, args, files = {}) {
  const folder = mkdtempSync(join(tmpdir(), 'd88-native-'));
  try {
    layFiles(folder, files);
    const result = spawnSync(join(places.native, program), args, {
      cwd: folder,
      argv0: program,
      env: {},
      maxBuffer: 1 << 30,
    });
    if (result.error) throw result.error;
    return {
      status: result.status,
      stdout: new Uint8Array(result.stdout),
      stderr: new Uint8Array(result.stderr),
      files: filesBelow(folder),
    };
  } finally {
    rmSync(folder, { recursive: true, force: true });
  }
}

// --- Comparing and reporting ---

const shown = (bytes) => JSON.stringify(textOf(bytes.subarray(0, 400)));

function firstDifference(a, b) {
  const length = Math.min(a.length, b.length);
  for (let i = 0; i < length; ++i) if (a[i] !== b[i]) return i;
  return a.length === b.length ? -1 : length;
}

// What differs between two results, one line each; none when they agree.
export function differences(expected, got) {
  const found = [];
  if (expected.status !== got.status)
    found.push(`status ${got.status}, expected ${expected.status}`);
  for (const stream of ['stdout', 'stderr']) {
    if (firstDifference(expected[stream], got[stream]) >= 0) {
      found.push(`${stream} ${shown(got[stream])}, expected ${shown(expected[stream])}`);
    }
  }
  const names = (files) => Object.keys(files).sort().join(', ');
  if (names(expected.files) !== names(got.files)) {
    found.push(`files [${names(got.files)}], expected [${names(expected.files)}]`);
  } else {
    for (const [path, bytes] of Object.entries(expected.files)) {
      const at = firstDifference(bytes, got.files[path]);
      if (at >= 0) found.push(`${path}: differs at byte ${at} of ${bytes.length}`);
    }
  }
  return found;
}

// The rows of one test file: each passes, or fails with what went wrong.
export class Rows {
  constructor() {
    this.failed = 0;
    this.passed = 0;
  }

  async row(label, check) {
    let problems;
    const started = performance.now();
    try {
      problems = (await check()) || [];
    } catch (error) {
      problems = [String(error && error.stack ? error.stack : error)];
    }
    if (problems.length === 0) {
      ++this.passed;
      console.log(`ok      ${label} (${Math.round(performance.now() - started)} ms)`);
    } else {
      ++this.failed;
      console.log(`FAILED  ${label}`);
      for (const problem of problems) console.log(`        ${problem}`);
    }
  }

  // Fails the process when a row failed.
  finish() {
    console.log(`${this.passed} passed, ${this.failed} failed`);
    if (this.failed > 0) process.exitCode = 1;
  }
}

export function saveScreenshot(name) {
  mkdirSync(places.output, { recursive: true });
  return join(places.output, name);
}
