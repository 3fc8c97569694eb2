// Writes the page: index.html from its template, with the style, the zip
// writer, each program's module (its script and its binary, in base64) and
// the page's own scripts inline, and a content security policy that lets
// the page run those scripts and nothing else, and fetch nothing at all.
//
//   node build_page.mjs --version V --fflate FFLATE.js
//        --module NAME=NAME.js ... --out index.html
import { createHash } from 'node:crypto';
import { mkdirSync, readFileSync, writeFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));

function parseArguments(argv) {
  const options = { modules: [] };
  for (let i = 0; i < argv.length; i += 2) {
    const [name, value] = [argv[i], argv[i + 1]];
    if (value === undefined) throw new Error(`${name} wants a value`);
    if (name === '--module') {
      const equals = value.indexOf('=');
      options.modules.push({ name: value.slice(0, equals), script: value.slice(equals + 1) });
    } else if (['--version', '--fflate', '--out'].includes(name)) {
      options[name.slice(2)] = value;
    } else {
      throw new Error(`unknown argument ${name}`);
    }
  }
  for (const key of ['version', 'fflate', 'out']) {
    if (!options[key]) throw new Error(`--${key} is needed`);
  }
  return options;
}

// Text that goes between <script> and </script> or <style> and </style>
// must not end the element early.
function inline(text, tag, origin) {
  if (text.toLowerCase().includes(`</${tag}`)) throw new Error(`${origin} holds </${tag}`);
  return text;
}

const hash = (text) => `'sha256-${createHash('sha256').update(text, 'utf8').digest('base64')}'`;

const options = parseArguments(process.argv.slice(2));
const read = (path) => readFileSync(path, 'utf8');

// The binaries, compiled once by the page and instantiated for each run.
const binaries = options.modules.map(({ name, script }) => {
  const wasm = readFileSync(script.replace(/\.js$/, '.wasm'));
  return `  ${JSON.stringify(name)}: ${JSON.stringify(wasm.toString('base64'))},`;
});
// The binaries first, so that they compile while the rest is read; the zip
// writer last, as it is wanted last.
const scripts = [
  ['binaries', `var d88Binaries = {\n${binaries.join('\n')}\n};\n`],
  ['d88.js', read(join(here, 'd88.js'))],
  ...options.modules.map(({ name, script }) => [name, read(script)]),
  ['page.js', read(join(here, 'page.js'))],
  ['fflate', read(options.fflate)],
].map(([origin, text]) => inline(text, 'script', origin));
const style = inline(read(join(here, 'page.css')), 'style', 'page.css');

const policy = [
  "default-src 'none'",
  `script-src ${scripts.map(hash).join(' ')} 'wasm-unsafe-eval'`,
  `style-src ${hash(style)}`,
  'img-src data:',
  "base-uri 'none'",
  "form-action 'none'",
].join('; ');

let page = read(join(here, 'index.html'));
const fill = (placeholder, text) => {
  if (!page.includes(placeholder)) throw new Error(`index.html lacks ${placeholder}`);
  page = page.replace(placeholder, () => text);
};
fill('@POLICY@', policy);
fill('@VERSION@', options.version);
fill('@STYLE@', `<style>${style}</style>`);
fill('@SCRIPTS@', scripts.map((text) => `<script>${text}</script>`).join('\n'));

mkdirSync(dirname(options.out), { recursive: true });
writeFileSync(options.out, page);
console.log(`${options.out}: ${Buffer.byteLength(page)} bytes`);
