// The page: what window.d88 runs, shown and offered. The listing comes from
// `d88unpack --json --list -u`, the files from `d88unpack --json -u -D`, the
// edits from `d88pack -u`; nothing else reads or writes an image.
/* global fflate */
(function () {
  'use strict';

  const $ = (id) => document.getElementById(id);
  const text = new TextDecoder();
  // The browser's Shift_JIS reads every two-byte code as code page 932 does
  // (the wave dash 0x8160 as U+FF5E, the IBM kanji up to 0xFC4B).
  const shiftJis = new TextDecoder('shift_jis');
  const kPreviewBytes = 64 * 1024;
  const kMedia = new Map([
    [0x00, '2D'],
    [0x10, '2DD'],
    [0x20, '2HD'],
    [0x30, '1D'],
    [0x40, '1DD'],
  ]);
  const narrow = window.matchMedia('(max-width: 40rem)');

  // The image open, as the last run left it.
  const state = {
    name: null,
    bytes: null,
    changed: false,
    disks: [], // the disk lines of the listing, each with its files
    extraction: null, // a promise of the extraction, made when first asked
    preview: null, // the file shown
  };
  // One run at a time: each action waits for the one before.
  let queue = Promise.resolve();
  function act(task) {
    queue = queue
      .then(task)
      .catch((error) => showMessage(String(error && error.message ? error.message : error)));
    return queue;
  }

  function showMessage(message) {
    $('message').textContent = message;
  }

  function mark(name) {
    performance.clearMarks(name);
    performance.mark(name);
  }

  const escapeHtml = (value) => String(value).replace(/[&<>"']/g, (c) => `&#${c.charCodeAt(0)};`);
  const hex4 = (value) => (value === null ? '' : value.toString(16).padStart(4, '0'));
  const diskFolder = (place) => `disk${String(place).padStart(2, '0')}`;

  function parseLines(bytes) {
    return text
      .decode(bytes)
      .split('\n')
      .filter((line) => line !== '')
      .map((line) => JSON.parse(line));
  }

  // What standard error said, or for a failure without a word, the status.
  function complaint(result) {
    const said = text.decode(result.stderr).trimEnd();
    return said !== '' || result.status === 0 ? said : `exit status ${result.status}`;
  }

  function download(name, bytes, type) {
    const url = URL.createObjectURL(new Blob([bytes], { type }));
    const link = document.createElement('a');
    link.href = url;
    link.download = name;
    link.hidden = true;
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(url), 60000);
  }

  // --- Opening and listing ---

  async function readImage(file) {
    let bytes = new Uint8Array(await file.arrayBuffer());
    let name = file.name;
    if (bytes[0] === 0x1f && bytes[1] === 0x8b) {
      const stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream('gzip'));
      bytes = new Uint8Array(await new Response(stream).arrayBuffer());
      name = name.replace(/\.gz$/i, '');
    }
    return { name, bytes };
  }

  async function open(file) {
    showMessage('');
    let image;
    try {
      image = await readImage(file);
    } catch (error) {
      showMessage(`${file.name}: cannot be read: ${error.message}`);
      return;
    }
    await setImage(image.name, image.bytes, false);
  }

  async function setImage(name, bytes, changed) {
    const result = await window.d88.run('d88unpack', ['--json', '--list', '-u', '--', name], {
      [name]: bytes,
    });
    const lines = parseLines(result.stdout);
    showMessage(complaint(result));
    // A file that is no image lists nothing: what was open stays.
    if (result.status !== 0 && lines.length === 0) return;
    state.name = name;
    state.bytes = bytes;
    state.changed = changed;
    state.extraction = null;
    state.disks = [];
    for (const line of lines) {
      if (line.type === 'disk') {
        state.disks.push({ ...line, files: [], sort: { key: 'order', up: true } });
      } else {
        const disk = state.disks[state.disks.length - 1];
        disk.files.push({ ...line, order: disk.files.length + 1 });
      }
    }
    closePreview(false);
    render();
  }

  // --- The listing ---

  const kColumns = [
    { key: 'order', title: '#', numeric: true },
    { key: 'name', title: 'Name' },
    { key: 'size', title: 'Size', numeric: true },
    { key: 'start', title: 'Start', numeric: true },
    { key: 'end', title: 'End', numeric: true },
    { key: 'note', title: 'Note' },
  ];

  const noteOf = (file) =>
    file.status === 'listed' ? '' : file.reason ? `${file.status}: ${file.reason}` : file.status;

  function renderFacts(disk) {
    const facts = [
      ['Place', disk.disk],
      ['Letter', disk.letter === null ? 'none' : disk.letter],
      ['Number', disk.number === null ? 'none' : disk.number],
      ['Label', disk.label === '' ? 'none' : disk.label],
      ['Write-protected', disk.write_protected ? 'yes' : 'no'],
      [
        'Media',
        `${kMedia.get(disk.media) || 'unknown'} (0x${disk.media.toString(16).padStart(2, '0')})`,
      ],
    ];
    return facts
      .map(([term, value]) => `<div><dt>${term}</dt><dd>${escapeHtml(value)}</dd></div>`)
      .join('');
  }

  function renderRows(disk) {
    const files = disk.files.slice();
    const { key, up } = disk.sort;
    const value = (file) => (key === 'note' ? noteOf(file) : file[key]);
    files.sort((a, b) => {
      const [x, y] = [value(a), value(b)];
      // Entries without numbers stay last either way.
      if (x === null || y === null) return (x === null) - (y === null);
      const order = x < y ? -1 : x > y ? 1 : a.order - b.order;
      return up ? order : -order;
    });
    return files
      .map((file) => {
        const name = escapeHtml(file.name);
        return (
          `<tr data-order="${file.order}">` +
          `<td class="number order">${file.order}</td>` +
          `<th scope="row" class="name">${name}</th>` +
          `<td class="number size">${file.size === null ? '' : file.size}</td>` +
          `<td class="address start">${hex4(file.start)}</td>` +
          `<td class="address end">${hex4(file.end)}</td>` +
          `<td class="note">${escapeHtml(noteOf(file))}</td>` +
          // Each button is named by its row's header, the file's name.
          '<td class="actions">' +
          '<button type="button" data-preview>Preview</button>' +
          '<button type="button" data-download>Download</button>' +
          '<button type="button" data-delete>Delete</button>' +
          '</td></tr>'
        );
      })
      .join('');
  }

  function renderHead(disk) {
    return kColumns
      .map(({ key, title }) => {
        const sorted = disk.sort.key === key;
        const order = sorted ? (disk.sort.up ? 'ascending' : 'descending') : 'none';
        return (
          `<th scope="col" aria-sort="${order}"><button type="button" data-sort="${key}">` +
          `${title}<span aria-hidden="true">${sorted ? (disk.sort.up ? ' ▲' : ' ▼') : ''}</span>` +
          '</button></th>'
        );
      })
      .join('');
  }

  function renderDisk(disk) {
    const place = disk.disk;
    const title = `Disk ${place}` + (disk.letter === null ? '' : ` (${disk.letter})`);
    const reason = disk.directory
      ? ''
      : `<p class="reason">No directory: ${escapeHtml(disk.reason)}</p>`;
    const table = disk.directory
      ? `<table><caption class="hidden">The files of disk ${place}</caption>` +
        `<thead><tr>${renderHead(disk)}<th scope="col">Actions</th></tr></thead>` +
        '<tbody></tbody></table>' +
        (disk.files.length === 0 ? '<p>No files.</p>' : '')
      : '';
    const put = disk.directory
      ? '<div class="controls">' +
        `<input type="file" multiple id="put-${place}" class="chooser" data-put>` +
        `<label for="put-${place}" class="button">Put files on disk ${place}…</label>` +
        '<span class="hint">or drop them onto this disk</span></div>'
      : '';
    return (
      `<section class="disk" data-disk="${place}" aria-labelledby="disk-${place}">` +
      `<h3 id="disk-${place}">${escapeHtml(title)}</h3>` +
      `<dl class="facts">${renderFacts(disk)}</dl>${reason}${put}${table}</section>`
    );
  }

  function showState() {
    const files = state.disks.reduce((sum, disk) => sum + disk.files.length, 0);
    $('image-state').textContent =
      `${state.disks.length} ${state.disks.length === 1 ? 'disk' : 'disks'}, ` +
      `${files} ${files === 1 ? 'file' : 'files'}` +
      (state.changed ? '; changed here and not yet saved' : '');
  }

  // Rows laid out at once: more than a screen holds. The rest follow in a
  // task after the first screen is painted, so that a listing of thousands
  // of files shows without waiting for all of them; #disks is aria-busy
  // until they are in.
  const kFirstRows = 120;
  let rendering = 0;

  function render() {
    $('image-name').textContent = state.name;
    showState();
    $('disks').innerHTML =
      state.disks.length === 0
        ? '<p>The image holds no disk.</p>'
        : state.disks.map(renderDisk).join('');
    $('image').hidden = false;
    const bodies = Array.from($('disks').querySelectorAll('.disk'), (section) => ({
      disk: diskOf(section),
      body: section.querySelector('tbody'),
    })).filter(({ body }) => body !== null);
    let next = 0;
    const fill = (rows) => {
      for (let filled = 0; next < bodies.length && filled < rows; ++next) {
        bodies[next].body.innerHTML = renderRows(bodies[next].disk);
        filled += bodies[next].disk.files.length;
      }
    };
    fill(kFirstRows);
    // Laid out before it counts as shown.
    void $('image').offsetHeight;
    mark('d88-listed');
    const generation = ++rendering;
    const done = () => {
      $('disks').removeAttribute('aria-busy');
      mark('d88-listed-all');
    };
    if (next === bodies.length) {
      done();
      return;
    }
    $('disks').setAttribute('aria-busy', 'true');
    requestAnimationFrame(() =>
      setTimeout(() => {
        if (generation !== rendering) return;
        fill(Infinity);
        done();
      }),
    );
  }

  function diskOf(element) {
    const section = element.closest('.disk');
    return section && state.disks.find((disk) => disk.disk === Number(section.dataset.disk));
  }

  function sortBy(disk, key, section) {
    disk.sort = { key, up: disk.sort.key === key ? !disk.sort.up : true };
    section.querySelector('thead tr').innerHTML = renderHead(disk) + '<th scope="col">Actions</th>';
    section.querySelector('tbody').innerHTML = renderRows(disk);
    section.querySelector(`[data-sort="${key}"]`).focus();
  }

  // --- The files: extraction, downloads, the preview ---

  // `d88unpack -u -D`, once for each state of the image: each entry's file,
  // where the extraction left one for it, and what it said of each.
  function extraction() {
    if (!state.extraction) {
      const { name, bytes } = state;
      state.extraction = window.d88
        .run('d88unpack', ['--json', '-u', '-D', '--', name], { [name]: bytes })
        .then((result) => {
          const files = { ...result.files };
          delete files[name];
          const entries = new Map(); // "place/order" -> the entry's JSON line
          let disk = null;
          let order = 0;
          for (const line of parseLines(result.stdout)) {
            if (line.type === 'disk') {
              disk = line.disk;
              order = 0;
            } else {
              entries.set(`${disk}/${++order}`, line);
            }
          }
          return { result, files, entries };
        });
    }
    return state.extraction;
  }

  const kWritten = ['written', 'truncated', 'salvaged'];

  // The file that the extraction left for the entry, or why there is none.
  async function fileOf(disk, file) {
    const { files, entries } = await extraction();
    const entry = entries.get(`${disk.disk}/${file.order}`);
    const path = `${diskFolder(disk.disk)}/${file.name}`;
    if (!entry || !kWritten.includes(entry.status) || !(path in files)) {
      const why = entry ? noteOf(entry) : 'it is not in the extraction';
      return { why: `${file.name}: d88unpack -D writes no file for it (${why})` };
    }
    const later = disk.files.find(
      (other) =>
        other.order > file.order &&
        other.name === file.name &&
        kWritten.includes((entries.get(`${disk.disk}/${other.order}`) || {}).status),
    );
    if (later) {
      return {
        why: `${file.name}: entry ${later.order} of the same name takes its place on extraction`,
      };
    }
    return { path, data: files[path] };
  }

  async function downloadFile(disk, file) {
    const found = await fileOf(disk, file);
    if (found.why) {
      showMessage(found.why);
      return;
    }
    showMessage('');
    download(file.name, found.data, 'application/octet-stream');
  }

  async function downloadAll() {
    mark('d88-zip');
    const { result, files } = await extraction();
    const zip = fflate.zipSync(files, { level: 6 });
    download(`${state.name.replace(/\.d88$/i, '')}.zip`, zip, 'application/zip');
    mark('d88-zipped');
    showMessage(complaint(result));
  }

  // The character that the two bytes at `at` make in code page 932, or null
  // where they make none (a lead byte is 0x81 to 0x9F or 0xE0 to 0xFC).
  const pairs = new Map();
  function characterAt(bytes, at) {
    const byte = bytes[at];
    const lead = (byte >= 0x81 && byte <= 0x9f) || (byte >= 0xe0 && byte <= 0xfc);
    if (!lead || at + 1 >= bytes.length) return null;
    const code = (byte << 8) | bytes[at + 1];
    if (!pairs.has(code)) {
      const character = shiftJis.decode(bytes.subarray(at, at + 2));
      const one = character.length === 1 && character !== '\uFFFD';
      pairs.set(code, one ? character : null);
    }
    return pairs.get(code);
  }

  // The text column of each row of the dump, `perRow` bytes a row, read as
  // code page 932: a character whose second byte begins the next row ends
  // this one, and that row begins with a space in its place.
  function textColumn(bytes, perRow) {
    const rows = [];
    let row = '';
    for (let i = 0; i < bytes.length; ++i) {
      if (i % perRow === 0 && i > 0) {
        rows.push(row);
        row = '';
      }
      const character = characterAt(bytes, i);
      const byte = bytes[i];
      if (character !== null) {
        row += character;
        if ((i + 1) % perRow === 0) {
          rows.push(row);
          row = ' ';
        }
        ++i;
      } else if (byte >= 0x20 && byte < 0x7f) {
        row += String.fromCharCode(byte);
      } else if (byte >= 0xa1 && byte <= 0xdf) {
        row += String.fromCharCode(0xff61 + byte - 0xa1);
      } else {
        row += '.';
      }
    }
    if (bytes.length > 0) rows.push(row);
    return rows;
  }

  function dump(bytes) {
    const perRow = narrow.matches ? 8 : 16;
    const columns = textColumn(bytes, perRow);
    const rows = [];
    for (let from = 0; from < bytes.length; from += perRow) {
      let hex = '';
      for (let i = from; i < from + perRow; ++i) {
        hex += i < bytes.length ? bytes[i].toString(16).padStart(2, '0') + ' ' : '   ';
      }
      const offset = from.toString(16).padStart(perRow === 8 ? 4 : 8, '0');
      rows.push(`${offset}  ${hex} ${columns[from / perRow]}`);
    }
    return rows.join('\n');
  }

  async function preview(disk, file, button) {
    const found = await fileOf(disk, file);
    if (found.why) {
      showMessage(found.why);
      return;
    }
    showMessage('');
    const shown = found.data.subarray(0, kPreviewBytes);
    state.preview = { bytes: shown, button };
    $('preview-title').textContent = `${file.name}, disk ${disk.disk}`;
    $('preview-note').textContent =
      found.data.length > shown.length
        ? `The first ${shown.length} of its ${found.data.length} bytes, and their text read as code page 932.`
        : `Its ${found.data.length} bytes, and their text read as code page 932.`;
    $('preview-dump').textContent = dump(shown);
    $('preview').hidden = false;
    $('preview-title').focus();
  }

  function closePreview(refocus) {
    if (!state.preview) return;
    const { button } = state.preview;
    state.preview = null;
    $('preview').hidden = true;
    $('preview-dump').textContent = '';
    if (refocus && button && button.isConnected) button.focus();
  }

  // --- Edits, each a run of d88pack on the image as it stands ---

  // A NAME pattern that matches the name alone.
  const exactPattern = (name) => name.replace(/[*?[\\]/g, '\\$&');

  async function pack(args, files) {
    const result = await window.d88.run('d88pack', ['-u', ...args], {
      ...files,
      [state.name]: state.bytes,
    });
    const said = complaint(result);
    if (result.status !== 0 || !(state.name in result.files)) {
      showMessage(said);
      return;
    }
    await setImage(state.name, result.files[state.name], true);
    if (said !== '') showMessage(said);
  }

  async function put(disk, fileList) {
    const files = {};
    for (const file of fileList) {
      if (file.name === state.name) {
        showMessage(
          `${file.name}: a file of the image's own name is not put on a disk; rename it first`,
        );
        return;
      }
      files[file.name] = new Uint8Array(await file.arrayBuffer());
    }
    showMessage('');
    await pack(
      ['-d', String(disk.disk), '--', state.name, ...Array.from(fileList, (f) => f.name)],
      files,
    );
  }

  async function remove(disk, file) {
    showMessage('');
    await pack(
      ['-d', String(disk.disk), '--delete', '--', state.name, exactPattern(file.name)],
      {},
    );
  }

  async function makeImage() {
    const number = $('new-number').value.trim();
    const label = $('new-label').value;
    const name = $('new-name').value.trim();
    if (name === '' || name === '.' || name === '..' || name.includes('/')) {
      showMessage(`'${name}': the image's file name is one name, without '/'`);
      return;
    }
    const args = ['-u', '-c', `--number=${number}`];
    if (label !== '') args.push(`--label=${label}`);
    const result = await window.d88.run('d88pack', [...args, '--', name], {});
    if (result.status !== 0 || !(name in result.files)) {
      showMessage(complaint(result));
      return;
    }
    showMessage('');
    showNewForm(false);
    await setImage(name, result.files[name], true);
    $('image-name').focus();
  }

  function showNewForm(shown) {
    $('new-form').hidden = !shown;
    $('new-image').setAttribute('aria-expanded', String(shown));
    if (shown) $('new-number').focus();
  }

  // --- Wiring ---

  $('open').addEventListener('change', (event) => {
    const [file] = event.target.files;
    event.target.value = '';
    if (!file) return;
    mark('d88-open');
    act(() => open(file).then(() => state.name && $('image-name').focus()));
  });
  $('new-image').addEventListener('click', () => showNewForm($('new-form').hidden));
  $('new-cancel').addEventListener('click', () => {
    showNewForm(false);
    $('new-image').focus();
  });
  $('new-form').addEventListener('submit', (event) => {
    event.preventDefault();
    act(makeImage);
  });
  $('download-all').addEventListener('click', () => act(downloadAll));
  $('save').addEventListener('click', () => {
    download(state.name, state.bytes, 'application/octet-stream');
    state.changed = false;
    showState();
  });
  $('preview-close').addEventListener('click', () => closePreview(true));
  document.addEventListener('keydown', (event) => {
    if (event.key === 'Escape' && state.preview) closePreview(true);
  });
  narrow.addEventListener('change', () => {
    if (state.preview) $('preview-dump').textContent = dump(state.preview.bytes);
  });

  $('disks').addEventListener('click', (event) => {
    const button = event.target.closest('button');
    const disk = button && diskOf(button);
    if (!disk) return;
    const section = button.closest('.disk');
    if (button.dataset.sort) {
      sortBy(disk, button.dataset.sort, section);
      return;
    }
    const row = button.closest('tr');
    const file = row && disk.files.find((f) => f.order === Number(row.dataset.order));
    if (!file) return;
    if ('preview' in button.dataset) act(() => preview(disk, file, button));
    else if ('download' in button.dataset) act(() => downloadFile(disk, file));
    else if ('delete' in button.dataset) act(() => remove(disk, file));
  });
  $('disks').addEventListener('change', (event) => {
    const input = event.target;
    if (!('put' in input.dataset)) return;
    const disk = diskOf(input);
    const files = Array.from(input.files);
    input.value = '';
    if (disk && files.length > 0) act(() => put(disk, files));
  });

  // A drop onto a disk puts the files on it; anywhere else it opens the
  // image.
  let dragged = null;
  function highlight(section) {
    if (dragged === section) return;
    if (dragged) dragged.classList.remove('target');
    dragged = section;
    if (dragged) dragged.classList.add('target');
  }
  document.addEventListener('dragover', (event) => {
    event.preventDefault();
    const section = event.target.closest && event.target.closest('.disk');
    highlight(section && diskOf(section) && diskOf(section).directory ? section : null);
  });
  document.addEventListener('dragleave', (event) => {
    if (event.relatedTarget === null) highlight(null);
  });
  document.addEventListener('drop', (event) => {
    event.preventDefault();
    highlight(null);
    const files = Array.from(event.dataTransfer.files);
    if (files.length === 0) return;
    const section = event.target.closest && event.target.closest('.disk');
    const disk = section && diskOf(section);
    if (disk && disk.directory) {
      act(() => put(disk, files));
    } else if (files.length > 1) {
      showMessage('One image at a time: drop files onto a disk to put them on it.');
    } else {
      mark('d88-open');
      act(() => open(files[0]));
    }
  });

  // Edits live in the page until saved: leaving it asks first.
  window.addEventListener('beforeunload', (event) => {
    if (state.changed) event.preventDefault();
  });

  window.d88.ready.then(
    () => mark('d88-ready'),
    (error) => showMessage(`The programs cannot start in this browser: ${error.message}`),
  );
})();
