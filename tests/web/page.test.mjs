// The page in headless Chromium: opened by the chooser, by a drop and from
// a .d88.gz; its listing, preview, downloads and edits against the native
// programs; its alert; the keyboard alone; 360 px wide; no request beyond
// its own file. Saves screenshots into D88_OUTPUT.
import { statSync, readFileSync } from 'node:fs';
import { gzipSync } from 'node:zlib';
import { unzipSync } from 'fflate';
import {
  Rows,
  bytesOf,
  differences,
  image,
  places,
  recordRequests,
  runNative,
  saveScreenshot,
  servePage,
  startBrowser,
  textOf,
} from './harness.mjs';

const kMostBytes = 700 * 1000;
const hex4 = (value) => (value === null ? '' : value.toString(16).padStart(4, '0'));
const noteOf = (file) =>
  file.status === 'listed' ? '' : file.reason ? `${file.status}: ${file.reason}` : file.status;

// The lines of `d88unpack --json ...` as objects.
const jsonLines = (bytes) =>
  textOf(bytes)
    .split('\n')
    .filter((line) => line !== '')
    .map((line) => JSON.parse(line));

// What the page shows of each disk: its facts and its rows, cell by cell.
function shownListing(page) {
  return page.$$eval('.disk', (sections) =>
    sections.map((section) => ({
      facts: Array.from(section.querySelectorAll('.facts div'), (div) => [
        div.querySelector('dt').textContent,
        div.querySelector('dd').textContent,
      ]),
      reason: (section.querySelector('.reason') || { textContent: null }).textContent,
      rows: Array.from(section.querySelectorAll('tbody tr'), (row) =>
        Array.from(row.querySelectorAll('td:not(.actions), th'), (cell) => cell.textContent),
      ),
    })),
  );
}

// What the page should show for the lines of `d88unpack --json --list -u`.
function expectedListing(lines) {
  const disks = [];
  for (const line of lines) {
    if (line.type === 'disk') {
      const media = `0x${line.media.toString(16).padStart(2, '0')}`;
      disks.push({
        facts: [
          ['Place', String(line.disk)],
          ['Letter', line.letter === null ? 'none' : line.letter],
          ['Number', line.number === null ? 'none' : String(line.number)],
          ['Label', line.label === '' ? 'none' : line.label],
          ['Write-protected', line.write_protected ? 'yes' : 'no'],
          ['Media', `${{ 0: '2D', 16: '2DD', 32: '2HD' }[line.media] || 'unknown'} (${media})`],
        ],
        reason: line.directory ? null : `No directory: ${line.reason}`,
        rows: [],
      });
    } else {
      const rows = disks[disks.length - 1].rows;
      rows.push([
        String(rows.length + 1),
        line.name,
        line.size === null ? '' : String(line.size),
        hex4(line.start),
        hex4(line.end),
        noteOf(line),
      ]);
    }
  }
  return disks;
}

const same = (what, got, expected) =>
  JSON.stringify(got) === JSON.stringify(expected)
    ? []
    : [`${what}: ${JSON.stringify(got)}, expected ${JSON.stringify(expected)}`];

async function openByChooser(page, name, bytes) {
  await page.setInputFiles('#open', {
    name,
    mimeType: 'application/octet-stream',
    buffer: Buffer.from(bytes),
  });
}

// A drop of files onto the element `selector` names, as a user's drag of
// files from the desktop ends.
async function drop(page, selector, files) {
  const encoded = files.map(({ name, bytes }) => ({
    name,
    data: Buffer.from(bytes).toString('base64'),
  }));
  const dataTransfer = await page.evaluateHandle((files) => {
    const transfer = new DataTransfer();
    for (const { name, data } of files) {
      transfer.items.add(new File([Uint8Array.from(atob(data), (c) => c.charCodeAt(0))], name));
    }
    return transfer;
  }, encoded);
  await page.dispatchEvent(selector, 'drop', { dataTransfer });
}

// Opens the image `name` with the chooser, and waits for its listing.
async function openImage(page, name, bytes = image(name)) {
  await openByChooser(page, name, bytes);
  await listed(page, name);
}

// Waits until the page shows the whole listing of the image `name`, after
// whatever was shown before.
async function listed(page, name) {
  await page.waitForFunction(
    (name) =>
      !document.getElementById('image').hidden &&
      document.getElementById('image-name').textContent === name &&
      !document.getElementById('disks').hasAttribute('aria-busy'),
    name,
  );
  await page.evaluate(() => new Promise((resolve) => requestAnimationFrame(resolve)));
}

async function downloaded(page, click) {
  const [download] = await Promise.all([page.waitForEvent('download'), click()]);
  return {
    name: download.suggestedFilename(),
    bytes: new Uint8Array(readFileSync(await download.path())),
  };
}

const rowButton = (disk, name, kind) =>
  `.disk[data-disk="${disk}"] tbody tr:has(.name:text-is("${name}")) [data-${kind}]`;
const alertText = (page) => page.textContent('[role="alert"]');
// Waits for the alert to say `text`; what it said instead, if it does not
// within a few seconds.
async function waitForAlert(page, text) {
  try {
    await page.waitForFunction(
      (text) => document.querySelector('[role="alert"]').textContent === text,
      text,
      {
        timeout: 5000,
      },
    );
    return [];
  } catch {
    return same('alert', await alertText(page), text);
  }
}

const rows = new Rows();
const browser = await startBrowser();
const server = await servePage();
try {
  await rows.row(`the page is one file of at most ${kMostBytes} bytes`, () => {
    const size = statSync(places.page).size;
    console.log(`        index.html: ${size} bytes`);
    return size <= kMostBytes ? [] : [`${size} bytes`];
  });

  await rows.row('opened from the disk (file://), it runs the programs', async () => {
    const page = await browser.context.newPage();
    await page.goto(`file://${places.page}`);
    const status = await page.evaluate(async () => {
      await window.d88.ready;
      return (await window.d88.run('d88unpack', ['--version'], {})).status;
    });
    await page.close();
    return status === 0 ? [] : [`--version: status ${status}`];
  });

  const page = await browser.context.newPage();
  const requests = recordRequests(page);
  const errors = [];
  page.on('pageerror', (error) => errors.push(error.message));
  page.on('console', (message) => message.type() === 'error' && errors.push(message.text()));
  await page.setViewportSize({ width: 1100, height: 900 });
  await page.goto(server.url);
  await page.evaluate(() => window.d88.ready);

  await rows.row("a file that is no image: the alert holds the tool's message", async () => {
    const notes = image('notes.txt');
    await openByChooser(page, 'notes.txt', notes);
    const native = runNative('d88unpack', ['--json', '--list', '-u', '--', 'notes.txt'], {
      'notes.txt': notes,
    });
    const problems = await waitForAlert(page, textOf(native.stderr).trimEnd());
    return (await page.isHidden('#image')) ? problems : [...problems, 'an image is shown'];
  });

  const sampleLines = jsonLines(
    runNative('d88unpack', ['--json', '--list', '-u', 'sample.d88'], {
      'sample.d88': image('sample.d88'),
    }).stdout,
  );
  await rows.row("opened by the chooser: the listing is d88unpack's", async () => {
    await openImage(page, 'sample.d88');
    return [
      ...same('listing', await shownListing(page), expectedListing(sampleLines)),
      ...same('alert', await alertText(page), ''),
    ];
  });

  await rows.row('sorted by size, then the other way, then in disk order', async () => {
    const order = () =>
      page.$$eval('.disk[data-disk="2"] tbody .name', (cells) => cells.map((c) => c.textContent));
    const files = sampleLines.filter((line) => line.type === 'file' && line.disk === 2);
    const bySize = files
      .slice()
      .sort((a, b) => a.size - b.size)
      .map((file) => file.name);
    const problems = [];
    await page.click('.disk[data-disk="2"] [data-sort="size"]');
    problems.push(...same('ascending', await order(), bySize));
    const sorted = await page.getAttribute(
      '.disk[data-disk="2"] th:has([data-sort="size"])',
      'aria-sort',
    );
    problems.push(...same('aria-sort', sorted, 'ascending'));
    await page.click('.disk[data-disk="2"] [data-sort="size"]');
    problems.push(...same('descending', await order(), bySize.slice().reverse()));
    await page.click('.disk[data-disk="2"] [data-sort="order"]');
    problems.push(
      ...same(
        'disk order',
        await order(),
        files.map((file) => file.name),
      ),
    );
    return problems;
  });

  await rows.row('a preview: hex dump and code page 932 text, keyboard focus on it', async () => {
    await page.click(rowButton(2, 'MEMO.TXT', 'preview'));
    await page.waitForSelector('#preview:not([hidden])');
    const dump = await page.textContent('#preview-dump');
    const problems = [];
    const firstRow = '00000000  4d 65 6d 6f 3a 20 6b 61 74 61 6b 61 6e 61 20 b6  Memo: katakana ｶ';
    if (!dump.startsWith(firstRow))
      problems.push(`first row ${JSON.stringify(dump.split('\n')[0])}`);
    // U+FF5E, not U+301C, as code page 932 reads 0x81 0x60.
    for (const text of ['kanji 漢字檗\n', '  漾黑, a wave', 'sh ～..']) {
      if (!dump.includes(text)) problems.push(`no ${text} in ${JSON.stringify(dump)}`);
    }
    const focused = await page.evaluate(() => document.activeElement.id);
    problems.push(...same('focus', focused, 'preview-title'));
    await page.screenshot({ path: saveScreenshot('page.png'), fullPage: true });
    return problems;
  });

  await rows.row('a preview: a character split between two rows ends the first', async () => {
    await page.click(rowButton(2, 'KANJI.TXT', 'preview'));
    await page.waitForFunction(() =>
      document.getElementById('preview-title').textContent.startsWith('KANJI.TXT'),
    );
    const dump = (await page.textContent('#preview-dump')).split('\n');
    return same('rows', dump, [
      '00000000  4b 61 6e 6a 69 20 61 63 72 6f 73 73 20 61 20 8a  Kanji across a 漢',
      `00000010  bf 20 72 6f 77 2e 0d 0a ${' '.repeat(24)}   row...`,
    ]);
  });

  const nativeExtraction = runNative('d88unpack', ['-u', '-D', 'sample.d88'], {
    'sample.d88': image('sample.d88'),
  });
  delete nativeExtraction.files['sample.d88'];
  await rows.row('a download is the file of the native extraction', async () => {
    const problems = [];
    for (const name of ['GAME.BIN', 'MEMO.TXT', 'EMPTY.DAT']) {
      const file = await downloaded(page, () => page.click(rowButton(2, name, 'download')));
      problems.push(...same('name', file.name, name));
      const expected = nativeExtraction.files[`disk02/${name}`];
      if (Buffer.compare(Buffer.from(file.bytes), Buffer.from(expected)) !== 0)
        problems.push(`${name} differs`);
    }
    return problems;
  });

  await rows.row('the zip holds the files of the -D extraction', async () => {
    const zip = await downloaded(page, () => page.click('#download-all'));
    const members = Object.fromEntries(
      Object.entries(unzipSync(zip.bytes)).map(([path, bytes]) => [path, new Uint8Array(bytes)]),
    );
    return [
      ...same('name', zip.name, 'sample.zip'),
      ...differences(
        { ...nativeExtraction, status: 0, stdout: new Uint8Array(), stderr: new Uint8Array() },
        {
          status: 0,
          stdout: new Uint8Array(),
          stderr: new Uint8Array(),
          files: members,
        },
      ),
    ];
  });

  await rows.row('downloads of a name taken twice and of a name no file can have', async () => {
    await openImage(page, 'names.d88');
    const problems = [];
    // Entries 6 and 7 are both DUP: the extraction leaves the second's file.
    await page.click('.disk[data-disk="1"] tr[data-order="6"] [data-download]');
    problems.push(
      ...(await waitForAlert(page, 'DUP: entry 7 of the same name takes its place on extraction')),
    );
    const second = await downloaded(page, () =>
      page.click('.disk[data-disk="1"] tr[data-order="7"] [data-download]'),
    );
    problems.push(...same('DUP', textOf(second.bytes), 'second'));
    await page.click(rowButton(1, 'A/B', 'download'));
    problems.push(
      ...(await waitForAlert(
        page,
        "A/B: d88unpack -D writes no file for it (not written: the name contains '/')",
      )),
    );
    return problems;
  });

  await rows.row('five disks of 40 files: the rows past the first screen follow', async () => {
    const files = {};
    for (let k = 0; k < 40; ++k)
      files[`F${String(k).padStart(2, '0')}.DAT`] = bytesOf(`file ${k}\n`);
    const disk = runNative('d88pack', ['-c', 'one.d88', ...Object.keys(files)], files).files[
      'one.d88'
    ];
    const five = new Uint8Array(Buffer.concat(Array(5).fill(Buffer.from(disk))));
    await openImage(page, 'five.d88', five);
    const lines = jsonLines(
      runNative('d88unpack', ['--json', '--list', '-u', 'five.d88'], { 'five.d88': five }).stdout,
    );
    const marks = await page.evaluate(() =>
      ['d88-listed', 'd88-listed-all'].map(
        (name) => performance.getEntriesByName(name)[0].startTime,
      ),
    );
    return [
      ...same('listing', await shownListing(page), expectedListing(lines)),
      ...(marks[1] > marks[0] ? [] : ['all rows laid out at once']),
    ];
  });

  await rows.row('opened by a drop anywhere on the page', async () => {
    await drop(page, 'header', [{ name: 'two.d88', bytes: image('two.d88') }]);
    await listed(page, 'two.d88');
    const lines = jsonLines(
      runNative('d88unpack', ['--json', '--list', '-u', 'two.d88'], { 'two.d88': image('two.d88') })
        .stdout,
    );
    return same('listing', await shownListing(page), expectedListing(lines));
  });

  await rows.row("a .d88.gz opened through the browser's gzip", async () => {
    await openByChooser(page, 'sample.d88.gz', gzipSync(image('sample.d88')));
    await listed(page, 'sample.d88');
    return same('listing', await shownListing(page), expectedListing(sampleLines));
  });

  await rows.row(
    'a damaged image and a protected one: listings, and complaints in the alert',
    async () => {
      const problems = [];
      for (const name of ['damaged.d88', 'protected.d88']) {
        await openImage(page, name);
        const native = runNative('d88unpack', ['--json', '--list', '-u', name], {
          [name]: image(name),
        });
        problems.push(
          ...same(name, await shownListing(page), expectedListing(jsonLines(native.stdout))),
          ...same(`${name} alert`, await alertText(page), textOf(native.stderr).trimEnd()),
        );
      }
      return problems;
    },
  );

  await rows.row('entries without numbers stay last, sorted either way', async () => {
    await openImage(page, 'damaged.d88');
    const order = () =>
      page.$$eval('.disk[data-disk="4"] tbody .name', (cells) => cells.map((c) => c.textContent));
    const problems = [];
    const fillers = ['P1', 'P2', 'P3', 'P4', 'P5', 'P6', 'P7'];
    await page.click('.disk[data-disk="4"] [data-sort="size"]');
    problems.push(...same('ascending', await order(), [...fillers, 'HALF', 'OUT']));
    await page.click('.disk[data-disk="4"] [data-sort="size"]');
    problems.push(...same('descending', await order(), [...fillers.reverse(), 'HALF', 'OUT']));
    return problems;
  });

  await rows.row(
    'a file the image holds in part: its download is what extraction writes of it',
    async () => {
      const damaged = image('damaged.d88');
      await openImage(page, 'damaged.d88', damaged);
      const cut = await downloaded(page, () => page.click(rowButton(1, 'CUT', 'download')));
      const native = runNative('d88unpack', ['-u', '-D', 'damaged.d88'], {
        'damaged.d88': damaged,
      });
      return Buffer.compare(Buffer.from(cut.bytes), Buffer.from(native.files['disk01/CUT'])) === 0
        ? []
        : [`CUT: ${cut.bytes.length} bytes, expected ${native.files['disk01/CUT'].length}`];
    },
  );

  await rows.row('edits saved: native d88unpack lists what native d88pack makes', async () => {
    await openImage(page, 'sample.d88');
    const note = bytesOf('put on the disk in the page\n');
    await drop(page, '.disk[data-disk="2"]', [{ name: 'NOTE.TXT', bytes: note }]);
    await page.waitForSelector(rowButton(2, 'NOTE.TXT', 'delete'));
    await page.click(rowButton(2, 'EMPTY.DAT', 'delete'));
    await page.waitForSelector(rowButton(2, 'EMPTY.DAT', 'delete'), { state: 'detached' });
    const saved = await downloaded(page, () => page.click('#save'));
    const put = runNative('d88pack', ['-u', '-d', '2', 'sample.d88', 'NOTE.TXT'], {
      'sample.d88': image('sample.d88'),
      'NOTE.TXT': note,
    });
    const deleted = runNative('d88pack', ['-u', '-d', '2', '--delete', 'sample.d88', 'EMPTY.DAT'], {
      'sample.d88': put.files['sample.d88'],
    });
    const listing = textOf(
      runNative('d88unpack', ['-l', 'saved.d88'], { 'saved.d88': saved.bytes }).stdout,
    );
    const problems = same('name', saved.name, 'sample.d88');
    if (Buffer.compare(Buffer.from(saved.bytes), Buffer.from(deleted.files['sample.d88'])) !== 0) {
      problems.push('the saved image is not what native d88pack makes');
    }
    if (
      !/^NOTE\.TXT +28 {2}START=0000 {2}END=001c$/m.test(listing) ||
      listing.includes('EMPTY.DAT')
    ) {
      problems.push(`listing ${JSON.stringify(listing)}`);
    }
    return problems;
  });

  await rows.row("a name with a pattern's character deleted, and no other", async () => {
    await openImage(page, 'names.d88');
    await page.click(rowButton(1, 'D?P', 'delete'));
    await page.waitForSelector(rowButton(1, 'D?P', 'delete'), { state: 'detached' });
    const deleted = runNative('d88pack', ['-u', '--delete', 'names.d88', 'D\\?P'], {
      'names.d88': image('names.d88'),
    });
    const lines = jsonLines(
      runNative('d88unpack', ['--json', '--list', '-u', 'names.d88'], deleted.files).stdout,
    );
    return same('listing', await shownListing(page), expectedListing(lines));
  });

  await rows.row("refusals: d88pack's message, and a file of the image's name", async () => {
    await openImage(page, 'sample.d88');
    // One byte more than a record holds.
    const huge = new Uint8Array(65532);
    await drop(page, '.disk[data-disk="2"]', [{ name: 'HUGE.BIN', bytes: huge }]);
    const native = runNative('d88pack', ['-u', '-d', '2', '--', 'sample.d88', 'HUGE.BIN'], {
      'sample.d88': image('sample.d88'),
      'HUGE.BIN': huge,
    });
    const problems = native.status === 1 ? [] : ['native d88pack takes HUGE.BIN'];
    problems.push(...(await waitForAlert(page, textOf(native.stderr).trimEnd())));
    // The image stays as it was.
    problems.push(...same('state', await page.textContent('#image-state'), '2 disks, 8 files'));
    await drop(page, '.disk[data-disk="2"]', [{ name: 'sample.d88', bytes: bytesOf('x') }]);
    problems.push(
      ...(await waitForAlert(
        page,
        "sample.d88: a file of the image's own name is not put on a disk; rename it first",
      )),
    );
    return problems;
  });

  await rows.row('a new image, with its number and label', async () => {
    await page.click('#new-image');
    await page.fill('#new-number', '3');
    await page.fill('#new-label', 'WORK');
    await page.fill('#new-name', 'work.d88');
    await page.click('#new-form button[type="submit"]');
    await listed(page, 'work.d88');
    const facts = (await shownListing(page)).map((disk) => disk.facts);
    return same('facts', facts, [
      [
        ['Place', '1'],
        ['Letter', 'D'],
        ['Number', '3'],
        ['Label', 'WORK'],
        ['Write-protected', 'no'],
        ['Media', '2D (0x00)'],
      ],
    ]);
  });

  await rows.row('360 px wide: nothing scrolls sideways', async () => {
    const problems = [];
    await page.setViewportSize({ width: 360, height: 740 });
    for (const name of ['sample.d88', 'names.d88', 'damaged.d88']) {
      await openImage(page, name);
      if (name === 'sample.d88') {
        await page.click(rowButton(2, 'TITLE.SCR', 'preview'));
        await page.waitForSelector('#preview:not([hidden])');
        await page.screenshot({ path: saveScreenshot('page-360.png'), fullPage: true });
        // Eight bytes a row.
        const second = (await page.textContent('#preview-dump')).split('\n')[1];
        if (!second.startsWith('0008  32 33 34 35 36 37 38 39 '))
          problems.push(`second row ${second}`);
      }
      const widths = await page.evaluate(() => [
        document.documentElement.scrollWidth,
        document.documentElement.clientWidth,
      ]);
      if (widths[0] > widths[1]) problems.push(`${name}: ${widths[0]} px wide in ${widths[1]}`);
    }
    await page.setViewportSize({ width: 1100, height: 900 });
    return problems;
  });

  await rows.row('the keyboard alone: open, preview, close', async () => {
    const keyboard = await browser.context.newPage();
    await keyboard.goto(server.url);
    await keyboard.evaluate(() => window.d88.ready);
    const problems = [];
    const tabTo = async (selector) => {
      for (let i = 0; i < 60; ++i) {
        await keyboard.keyboard.press('Tab');
        if (await keyboard.evaluate((s) => document.activeElement.matches(s), selector))
          return true;
      }
      problems.push(`Tab never reaches ${selector}`);
      return false;
    };
    if (await tabTo('#open')) {
      const [chooser] = await Promise.all([
        keyboard.waitForEvent('filechooser'),
        keyboard.keyboard.press('Space'),
      ]);
      await chooser.setFiles({
        name: 'sample.d88',
        mimeType: 'application/octet-stream',
        buffer: Buffer.from(image('sample.d88')),
      });
      await listed(keyboard, 'sample.d88');
    }
    if (await tabTo('[data-preview]')) {
      await keyboard.keyboard.press('Enter');
      await keyboard.waitForSelector('#preview:not([hidden])');
      await keyboard.keyboard.press('Escape');
      await keyboard.waitForSelector('#preview', { state: 'hidden' });
      if (!(await keyboard.evaluate(() => document.activeElement.matches('[data-preview]')))) {
        problems.push('focus does not go back to the preview button');
      }
    }
    if (await tabTo('[data-sort="name"]')) {
      await keyboard.keyboard.press('Enter');
      const sorted = await keyboard.evaluate(() =>
        document.activeElement.closest('th').getAttribute('aria-sort'),
      );
      problems.push(...same('sorted by the keyboard', sorted, 'ascending'));
    }
    await keyboard.close();
    return problems;
  });

  await rows.row('leaving with edits not saved asks first; after saving it does not', async () => {
    const asked = [];
    for (const save of [false, true]) {
      const edited = await browser.context.newPage();
      await edited.goto(server.url);
      await edited.click('#new-image');
      await edited.click('#new-form button[type="submit"]');
      await listed(edited, 'new.d88');
      if (save) await downloaded(edited, () => edited.click('#save'));
      // Chromium asks only after the user has touched the page.
      await edited.click('h1');
      const dialog = new Promise((resolve) => {
        edited.on('dialog', async (shown) => {
          resolve(shown.type());
          await shown.accept();
        });
        edited.on('close', () => resolve('none'));
      });
      await edited.close({ runBeforeUnload: true });
      asked.push(await dialog);
      if (!edited.isClosed()) await edited.close();
    }
    return same('asked', asked, ['beforeunload', 'none']);
  });

  await rows.row("no request beyond the page's own file, no error", async () => [
    ...same('requests', requests, [server.url]),
    ...same('asked of the server', [...new Set(server.asked)], ['/index.html']),
    ...same('errors', errors, []),
  ]);
} finally {
  await browser.close();
  await server.close();
}
rows.finish();
