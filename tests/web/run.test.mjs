// window.d88.run against the native programs: the same command on the same
// files gives the same exit status, standard output, standard error and
// files, byte for byte.
import {
  Rows,
  bytesOf,
  differences,
  image,
  places,
  runInPage,
  runNative,
  startBrowser,
} from './harness.mjs';

const sample = { 'sample.d88': image('sample.d88') };
const names = { 'names.d88': image('names.d88') };
const damaged = { 'damaged.d88': image('damaged.d88') };
const two = { 'two.d88': image('two.d88') };
const big = new Uint8Array(65532).map((_, i) => i % 251);
const toPut = {
  'NEW.BIN': bytesOf('new data\n'),
  README: bytesOf('a README of its own\n'),
  'HUGE.BIN': big,
  'TOOLONG.BIN': bytesOf('x'),
};

const unpackRows = [
  { label: 'no arguments: the old usage line', args: [] },
  { label: '--help', args: ['--help'] },
  { label: '--version', args: ['--version'] },
  { label: 'an unknown option', args: ['-x', 'sample.d88'], files: sample },
  { label: '--to-stdout with --list', args: ['-O', '-l', 'sample.d88'], files: sample },
  { label: 'extraction', args: ['sample.d88'], files: sample },
  { label: 'listing', args: ['-l', 'sample.d88'], files: sample },
  { label: 'JSON listing', args: ['--json', '--list', 'sample.d88'], files: sample },
  { label: 'JSON extraction', args: ['--json', 'sample.d88'], files: sample },
  {
    label: 'disk folders inside -C',
    args: ['-D', '-C', 'out', 'sample.d88'],
    files: { ...sample, 'out/kept.txt': bytesOf('kept') },
  },
  { label: 'a folder for -C that is not there', args: ['-C', 'out', 'sample.d88'], files: sample },
  {
    label: 'two files to standard output',
    args: ['-O', 'sample.d88', 'README', 'MEMO.TXT'],
    files: sample,
  },
  {
    label: 'a disk and patterns, one matching nothing',
    args: ['-l', '-d', '2', 'sample.d88', '*.BIN', 'NOPE'],
    files: sample,
  },
  { label: 'patterns in either case', args: ['-i', 'sample.d88', 'readme', 'g*'], files: sample },
  {
    label: '-k keeps a file that stands at a name',
    args: ['-k', 'sample.d88'],
    files: { ...sample, README: bytesOf('old') },
  },
  {
    label: '--skip-old-files',
    args: ['--skip-old-files', '--json', 'sample.d88'],
    files: { ...sample, README: bytesOf('old') },
  },
  { label: 'a file replaced by a later disk of two', args: ['two.d88'], files: two },
  { label: 'disk folders for two disks', args: ['-D', 'two.d88'], files: two },
  { label: 'a disk the image lacks', args: ['-d', '3', 'two.d88'], files: two },
  { label: 'names as bytes, listed', args: ['-l', 'names.d88'], files: names },
  {
    label: 'names as code page 932, listed in UTF-8',
    args: ['-u', '-l', 'names.d88'],
    files: names,
  },
  { label: 'names as code page 932, written in UTF-8', args: ['-u', 'names.d88'], files: names },
  { label: 'names in JSON', args: ['--json', '--list', 'names.d88'], files: names },
  {
    label: 'names in JSON, written in disk folders',
    args: ['-u', '-D', '--json', 'names.d88'],
    files: names,
  },
  { label: 'a UTF-8 pattern', args: ['-u', '-l', 'names.d88', 'ソ*'], files: names },
  { label: 'damage: extraction', args: ['damaged.d88'], files: damaged },
  { label: 'damage: listing', args: ['-l', 'damaged.d88'], files: damaged },
  { label: 'damage: --salvage', args: ['--salvage', 'damaged.d88'], files: damaged },
  {
    label: 'damage: --salvage in JSON',
    args: ['--json', '--salvage', 'damaged.d88'],
    files: damaged,
  },
  {
    label: 'damage: --salvage to standard output',
    args: ['-O', '--salvage', 'damaged.d88', 'CUT'],
    files: damaged,
  },
  { label: 'not a D88 image', args: ['notes.txt'], files: { 'notes.txt': image('notes.txt') } },
  { label: 'an image that is not there', args: ['missing.d88'] },
  {
    label: 'an empty image',
    args: ['-u', 'empty.d88'],
    files: { 'empty.d88': image('empty.d88') },
  },
].map((row) => ({ program: 'd88unpack', ...row }));

const packRows = [
  { label: 'no image', args: [] },
  { label: '--help', args: ['--help'] },
  { label: 'a new image of two files', args: ['-c', 'new.d88', 'NEW.BIN', 'README'], files: toPut },
  {
    label: 'a new system disk with a label, listed',
    args: ['-c', '-v', '--number=0', '--label=SYSTEM', 'system.d88', 'NEW.BIN'],
    files: toPut,
  },
  {
    label: 'a file put on the second disk',
    args: ['-d', '2', 'sample.d88', 'NEW.BIN'],
    files: { ...sample, ...toPut },
  },
  {
    label: 'an entry replaced at a new start, listed',
    args: ['-v', '-d', '2', '--start=1200', 'sample.d88', 'README'],
    files: { ...sample, ...toPut },
  },
  {
    label: 'a dry run',
    args: ['-n', '-d', '2', 'sample.d88', 'README', 'NEW.BIN'],
    files: { ...sample, ...toPut },
  },
  {
    label: 'entries deleted, one pattern matching nothing',
    args: ['-d', '2', '--delete', 'sample.d88', 'T*', 'NOTHING'],
    files: sample,
  },
  {
    label: 'refused: an existing image without --force',
    args: ['-c', 'sample.d88', 'NEW.BIN'],
    files: { ...sample, ...toPut },
  },
  {
    label: 'an existing image replaced with --force',
    args: ['-c', '--force', 'sample.d88'],
    files: sample,
  },
  {
    label: 'refused: a file too big for a record',
    args: ['-d', '2', 'sample.d88', 'HUGE.BIN'],
    files: { ...sample, ...toPut },
  },
  {
    label: 'refused: a name too long',
    args: ['-d', '2', 'sample.d88', 'TOOLONG.BIN'],
    files: { ...sample, ...toPut },
  },
  {
    label: 'refused: a file that is not there',
    args: ['-d', '2', 'sample.d88', 'GONE.BIN'],
    files: sample,
  },
  {
    label: 'refused: two disks and no -d',
    args: ['sample.d88', 'NEW.BIN'],
    files: { ...sample, ...toPut },
  },
  {
    label: 'refused: a write-protected disk',
    args: ['protected.d88', 'NEW.BIN'],
    files: { 'protected.d88': image('protected.d88'), ...toPut },
  },
  {
    label: 'a write-protected disk with --force',
    args: ['--force', 'protected.d88', 'NEW.BIN'],
    files: { 'protected.d88': image('protected.d88'), ...toPut },
  },
  {
    label: 'refused: a disk without a directory',
    args: ['-d', '2', 'damaged.d88', 'NEW.BIN'],
    files: { ...damaged, ...toPut },
  },
  {
    label: 'refused: not a D88 image',
    args: ['notes.txt', 'NEW.BIN'],
    files: { 'notes.txt': image('notes.txt'), ...toPut },
  },
  {
    label: 'names in UTF-8 stored as code page 932',
    args: ['-u', '-c', '-v', 'kana.d88', 'ｱｲ.ﾃﾞ', 'ソフト.TXT'],
    files: { 'ｱｲ.ﾃﾞ': bytesOf('a'), 'ソフト.TXT': bytesOf('b') },
  },
  {
    label: 'refused: a name without code page 932',
    args: ['-u', '-c', 'x.d88', '€'],
    files: { '€': bytesOf('e') },
  },
  {
    label: 'a UTF-8 pattern deleted',
    args: ['-u', '-v', '--delete', 'names.d88', 'ソ*'],
    files: names,
  },
].map((row) => ({ program: 'd88pack', ...row }));

const rows = new Rows();
const browser = await startBrowser();
try {
  const page = await browser.context.newPage();
  await page.goto(`file://${places.page}`);
  await page.evaluate(() => window.d88.ready);

  for (const row of [...unpackRows, ...packRows]) {
    const label = `${row.program} ${row.label}: ${row.args.join(' ')}`;
    await rows.row(label, async () => {
      const got = await runInPage(page, row.program, row.args, row.files);
      const native = runNative(row.program, row.args, row.files);
      const found = differences(native, got);
      if (!got.typed) found.push('stdout, stderr and the files are not all Uint8Array');
      // A row that says it is refused is one.
      if (row.label.startsWith('refused') && native.status !== 1) found.push('not refused');
      return found;
    });
  }

  // Runs are independent: a run leaves nothing behind for the next, and a
  // run's result is its own.
  await rows.row('each run starts in an empty folder', async () => {
    await runInPage(page, 'd88unpack', ['sample.d88'], sample);
    const got = await runInPage(page, 'd88unpack', ['-l', 'two.d88'], two);
    return differences(runNative('d88unpack', ['-l', 'two.d88'], two), got);
  });
  await rows.row('files in folders, and a file given that the run leaves as it was', async () => {
    const files = { 'a/b/c.txt': bytesOf('deep'), 'sample.d88': image('sample.d88') };
    const got = await runInPage(page, 'd88unpack', ['-l', 'sample.d88'], files);
    return differences(runNative('d88unpack', ['-l', 'sample.d88'], files), got);
  });
  await rows.row(
    "the caller's arrays stay as they were, the files of the run its own",
    async () => {
      const changed = await page.evaluate(async () => {
        const made = await window.d88.run('d88pack', ['-c', 'a.d88', 'README'], {
          README: new Uint8Array([104, 105]),
        });
        const image = made.files['a.d88'];
        const readme = new Uint8Array([111, 108, 100]);
        const before = [image.slice(), readme.slice()];
        const put = await window.d88.run('d88pack', ['a.d88', 'README'], {
          'a.d88': image,
          README: new Uint8Array([110]),
        });
        const out = await window.d88.run('d88unpack', ['a.d88'], {
          'a.d88': image,
          README: readme,
        });
        put.files['a.d88'].fill(0);
        const same = (a, b) => a.length === b.length && a.every((byte, i) => byte === b[i]);
        return [
          !same(image, before[0]) && 'the image given to d88pack',
          !same(readme, before[1]) && 'the README that extraction replaced',
          same(out.files.README, readme) && 'extraction left the old README',
          !same(out.files['a.d88'], before[0]) && 'a changed image in the result',
        ].filter(Boolean);
      });
      return changed.map((what) => `changed: ${what}`);
    },
  );

  await rows.row(
    'refused: an unknown program, a path outside the folder, data not in bytes',
    async () => {
      const refusals = await page.evaluate(async () => {
        const said = [];
        for (const [program, files] of [
          ['tar', {}],
          ['d88unpack', { '../x': new Uint8Array(1) }],
          ['d88unpack', { '/x': new Uint8Array(1) }],
          ['d88unpack', { 'a//x': new Uint8Array(1) }],
          ['d88unpack', { x: 'text' }],
        ]) {
          try {
            await window.d88.run(program, [], files);
            said.push(null);
          } catch (error) {
            said.push(error.message);
          }
        }
        return said;
      });
      return refusals.every((message) => typeof message === 'string')
        ? []
        : [`not refused: ${JSON.stringify(refusals)}`];
    },
  );
} finally {
  await browser.close();
}
rows.finish();
