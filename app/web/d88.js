// window.d88: the two programs, run as on a command line.
//
//   await d88.ready;
//   const { status, stdout, stderr, files } =
//       await d88.run('d88unpack', ['-l', 'games.d88'], { 'games.d88': bytes });
//
// `files` (relative path -> Uint8Array, '/' between folders) is laid into an
// empty in-memory folder, the run's current folder; the result holds the
// exit status, standard output and error as bytes, and every regular file of
// that folder after the run. Each program is a module of its own, and each
// run a fresh instance of it, from a binary compiled once.
/* global d88Binaries */
(function () {
  'use strict';

  // Each program's module factory, defined by the scripts after this one.
  const programs = ['d88unpack', 'd88pack'];
  const factory = (program) => window[`${program}Module`];
  const compiled = {};

  function decodeBase64(text) {
    const bytes = atob(text);
    const out = new Uint8Array(bytes.length);
    for (let i = 0; i < bytes.length; ++i) out[i] = bytes.charCodeAt(i);
    return out;
  }

  const ready = Promise.all(
    programs.map(async (program) => {
      compiled[program] = await WebAssembly.compile(decodeBase64(d88Binaries[program]));
    }),
  ).then(() => undefined);

  // Bytes as a stream delivers them, one at a time.
  class ByteSink {
    constructor() {
      this.bytes = new Uint8Array(4096);
      this.length = 0;
    }
    push(byte) {
      if (this.length === this.bytes.length) {
        const grown = new Uint8Array(this.bytes.length * 2);
        grown.set(this.bytes);
        this.bytes = grown;
      }
      this.bytes[this.length++] = byte;
    }
    take() {
      return this.bytes.slice(0, this.length);
    }
  }

  // The folder each run starts in, empty.
  const kFolder = '/run';

  function checkFiles(files) {
    for (const [path, data] of Object.entries(files)) {
      const parts = path.split('/');
      if (
        path.startsWith('/') ||
        parts.some((part) => part === '' || part === '.' || part === '..')
      ) {
        throw new Error(`not a relative path to a file: '${path}'`);
      }
      if (!(data instanceof Uint8Array)) throw new Error(`'${path}': its data is no Uint8Array`);
    }
  }

  // The caller's arrays become the files' contents as they are, without a
  // copy: neither program writes into a file it did not make (d88unpack
  // removes what stands at a name before it writes there, d88pack writes a
  // new image beside the old one and renames it), so they stay as they were.
  function layFiles(FS, files) {
    for (const [path, data] of Object.entries(files)) {
      const parts = path.split('/');
      let folder = kFolder;
      for (const part of parts.slice(0, -1)) {
        folder += '/' + part;
        if (!FS.analyzePath(folder).exists) FS.mkdir(folder);
      }
      FS.writeFile(`${kFolder}/${path}`, data, { canOwn: true });
    }
  }

  // A file's bytes: the in-memory file system's own array where it keeps
  // one, which no one else holds once the run is over.
  function bytesOf(FS, path) {
    const node = FS.lookupPath(path).node;
    if (node.contents instanceof Uint8Array && typeof node.usedBytes === 'number') {
      return node.contents.subarray(0, node.usedBytes);
    }
    return FS.readFile(path);
  }

  // Every regular file below the folder, by its path from there.
  function collectFiles(FS, folder, prefix, out) {
    for (const name of FS.readdir(folder)) {
      if (name === '.' || name === '..') continue;
      const path = `${folder}/${name}`;
      const mode = FS.lstat(path).mode;
      if (FS.isFile(mode)) {
        out[prefix + name] = bytesOf(FS, path);
      } else if (FS.isDir(mode)) {
        collectFiles(FS, path, `${prefix}${name}/`, out);
      }
    }
    return out;
  }

  async function run(program, args, files = {}) {
    if (!programs.includes(program)) {
      throw new Error(`no program '${program}': d88unpack or d88pack`);
    }
    if (!Array.isArray(args) || args.some((arg) => typeof arg !== 'string')) {
      throw new Error('the arguments are an array of strings');
    }
    checkFiles(files);
    await ready;
    const stdout = new ByteSink();
    const stderr = new ByteSink();
    const instance = await factory(program)({
      thisProgram: program,
      noInitialRun: true,
      instantiateWasm(imports, receive) {
        WebAssembly.instantiate(compiled[program], imports).then((made) => receive(made));
        return {};
      },
      stdin: () => null,
      stdout: (byte) => stdout.push(byte),
      stderr: (byte) => stderr.push(byte),
      // What the runtime itself would say, should the program be stopped.
      print: () => {},
      printErr: (text) => console.warn(`${program}: ${text}`),
    });
    const FS = instance.FS;
    FS.mkdir(kFolder);
    FS.chdir(kFolder);
    layFiles(FS, files);
    const status = instance.callMain(args);
    return {
      status,
      stdout: stdout.take(),
      stderr: stderr.take(),
      files: collectFiles(FS, kFolder, '', {}),
    };
  }

  window.d88 = Object.freeze({ ready, run });
})();
