// The page: a picked or dropped image is examined in a worker that runs the
// project's C++ (built to WebAssembly), and the answer is shown (render.js).
// Nothing leaves the browser. The page's own thread never examines, so it
// stays usable however long an image takes, and a later pick ends the
// examination still running.
import { clearResult, showResult } from './render.js';

const $ = (id) => document.getElementById(id);

// A floppy disk's image is about 1 MiB; the examination holds the whole file
// in the worker's memory, more than once while it is copied in, so a file
// far beyond any disk is refused before a byte of it is read.
const MAX_IMAGE_BYTES = 128 * 1024 * 1024;

let spare = null; // a worker loading the examiner, or ready, for the next pick
let current = null; // the pick being examined: { file, files, disk, worker, started, ticker }
let serial = 0; // picks answered, refused or failed, for anyone watching the page

function status(text) {
  $('status').textContent = text;
}

function setState(state) {
  document.body.dataset.state = state;
  $('working').hidden = state !== 'working';
}

const bytes = (count) => `${count.toLocaleString('en')} bytes`;
const mib = (count) => `${(count / (1024 * 1024)).toFixed(1)} MiB`;

function startWorker() {
  const worker = new Worker(new URL('./worker.js', import.meta.url), { type: 'module' });
  worker.addEventListener('message', ({ data }) => heard(worker, data));
  worker.addEventListener('error', (event) => {
    event.preventDefault();
    heard(worker, { kind: 'failed', reason: event.message || 'the examiner could not be loaded' });
  });
  return worker;
}

// Ends the examination still running, if any: its worker is stopped, so
// its answer can never come.
function endCurrent() {
  if (current === null) return;
  current.worker.terminate();
  clearInterval(current.ticker);
  current = null;
}

// One pick has its outcome on the page.
function settle() {
  serial += 1;
  document.body.dataset.serial = String(serial);
  setState('done');
}

function answered({ result, files }) {
  const { file, files: dumps, started } = current;
  endCurrent();
  try {
    // Another disk of the same file is cut as a new pick of it.
    showResult(result, files, (disk) => pick(dumps, disk));
  } catch (error) {
    clearResult();
    status(`${file.name} could not be shown: ${error.message ?? error}`);
    settle();
    return;
  }
  const elapsed = performance.now() - started;
  document.body.dataset.pickToLinksMs = elapsed.toFixed(1);
  status(`${file.name}: examined in ${Math.round(elapsed)} ms.`);
  console.info(`${file.name}: from the pick to the links, ${elapsed.toFixed(1)} ms`);
  settle();
}

function heard(worker, message) {
  if (current !== null && worker === current.worker) {
    if (message.kind === 'answer') {
      answered(message);
    } else if (message.kind !== 'ready') {
      const { file } = current;
      endCurrent();
      status(`${file.name} could not be examined: ${message.reason}`);
      settle();
    }
    return;
  }
  if (worker !== spare) return;
  if (message.kind === 'ready' && document.body.dataset.state === 'loading') {
    $('image').disabled = false;
    status('Ready: choose or drop an image.');
    setState('ready');
  } else if (message.kind === 'failed') {
    spare.terminate();
    spare = null;
    if (document.body.dataset.state === 'loading') {
      status(`The page could not start: ${message.reason}`);
      setState('failed');
    }
  }
}

function tick() {
  const seconds = Math.floor((performance.now() - current.started) / 1000);
  const { name, size } = current.file;
  const others = current.files.length - 1;
  const joined = others > 0 ? ` with ${others} other dump${others === 1 ? '' : 's'}` : '';
  status(`Examining ${name} (${mib(size)})${joined}\u2026${seconds > 0 ? ` ${seconds} s` : ''}`);
}

// Examines the image `files[0]`, joined with the other dumps of its disk
// `files` holds, cutting disk `disk` (-1: the first of the title's).
function pick(files, disk = -1) {
  endCurrent();
  clearResult();
  const file = files[0];
  const over = files.find((dump) => dump.size > MAX_IMAGE_BYTES);
  if (over) {
    status(`${over.name} is ${bytes(over.size)}, over the ${bytes(MAX_IMAGE_BYTES)} (128 MiB) this page ` +
      'examines; it was not read.');
    settle();
    return;
  }
  const worker = spare ?? startWorker();
  spare = startWorker();
  current = { file, files, disk, worker, started: performance.now(), ticker: setInterval(tick, 250) };
  // One image goes as it always did; several go as a set.
  worker.postMessage(files.length === 1 ? { file, disk } : { files, disk });
  setState('working');
  tick();
}

// Several files picked or dropped at once are dumps of one disk: the first
// is the image, the others are joined to it, in the order the browser gives
// them (at most eight, as the tool takes).
function pickFrom(files) {
  if (document.body.dataset.state !== 'loading' && document.body.dataset.state !== 'failed' && files?.length) {
    if (files.length > 8) {
      clearResult();
      status(`${files.length} files were picked; at most 8 dumps of one disk are joined. None was read.`);
      settle();
      return;
    }
    pick(Array.from(files));
  }
}

function start() {
  const input = $('image');
  input.addEventListener('change', () => pickFrom(input.files));
  document.addEventListener('dragover', (event) => {
    event.preventDefault();
    document.body.classList.add('dragging');
  });
  document.addEventListener('dragleave', (event) => {
    if (event.relatedTarget === null) document.body.classList.remove('dragging');
  });
  document.addEventListener('drop', (event) => {
    event.preventDefault();
    document.body.classList.remove('dragging');
    pickFrom(event.dataTransfer.files);
  });
  spare = startWorker();
}

start();
