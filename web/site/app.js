// The page: a picked or dropped image is handed to the project's C++ (built
// to WebAssembly) through the module's in-memory file system; its answer is
// shown, and the files it cut are offered for download. Nothing leaves the
// browser.
import createZanvoModule from './zanvo-web.js';
import { zipSync } from './fflate.js';
import { drawMap, fillLegend, mapText } from './map.js';

const $ = (id) => document.getElementById(id);
const IMAGE_PATH = '/image';
const TOOL = 'zanvo-extract';

// The tool's message on recognising a disk, as it reads decoded.
const recognisedLine = (disk) => `ZANVO (Disk ${disk})を認識しました.`;

let zanvo = null;
let links = []; // object URLs of the last downloads, revoked at the next image
let serial = 0;
let picks = 0; // a later pick overtakes one still being read

function show(id, visible) {
  $(id).hidden = !visible;
}

function status(text) {
  $('status').textContent = text;
}

function listItems(list, lines) {
  list.replaceChildren(
    ...lines.map((line) => {
      const item = document.createElement('li');
      item.textContent = line;
      return item;
    }),
  );
}

function downloadLink(name, bytes, type) {
  const url = URL.createObjectURL(new Blob([bytes], { type }));
  links.push(url);
  const link = document.createElement('a');
  link.href = url;
  link.download = name;
  link.textContent = name;
  return link;
}

// The cut files' bytes, copied out of the module's memory.
function cutFiles(result) {
  return result.files.map((file, index) => {
    const at = zanvo._zanvo_file_data(index);
    return { name: file.name, bytes: zanvo.HEAPU8.slice(at, at + zanvo._zanvo_file_size(index)) };
  });
}

function showVerdict(result, files) {
  const verdict = $('verdict');
  const why = $('why');
  verdict.removeAttribute('lang');
  why.textContent = '';
  if (result.disk) {
    verdict.textContent = recognisedLine(result.disk);
    verdict.lang = 'ja';
    const count = files.length === 0 ? 'no file' : files.length === 1 ? '1 file' : `${files.length} files`;
    why.textContent = `Disk ${result.disk} recognised: ${count} cut from ${result.name}.`;
  } else if (result.errors.length > 0) {
    verdict.textContent = 'The image could not be read';
  } else if (!result.looksLikeD88 && result.notD88) {
    verdict.textContent = 'Not a D88 image: nothing was cut';
    why.textContent = `${result.name}: not a D88 image: ${result.notD88}`;
  } else {
    verdict.textContent = 'Not recognised: nothing was cut';
    why.textContent = result.bootLine
      ? `${result.name} is neither Disk A nor Disk F of ZANVO. Its first disk's boot sector: ${result.bootLine}.`
      : `${result.name} is neither Disk A nor Disk F of ZANVO.`;
  }
  show('why', why.textContent !== '');
}

function showFiles(result, files) {
  const list = $('files');
  list.replaceChildren(
    ...files.map((file) => {
      const item = document.createElement('li');
      item.append(downloadLink(file.name, file.bytes, 'application/octet-stream'),
        ` ${file.bytes.length.toLocaleString('en')} bytes`);
      return item;
    }),
  );
  const zip = $('zip');
  if (files.length > 0) {
    const entries = Object.fromEntries(files.map((file) => [file.name, file.bytes]));
    const fresh = downloadLink(`zanvo-disk-${result.disk.toLowerCase()}.zip`, zipSync(entries), 'application/zip');
    zip.href = fresh.href;
    zip.download = fresh.download;
    zip.textContent = `All files (${fresh.download})`;
  }
  show('files-box', files.length > 0);
}

function showMap(result) {
  const map = result.map;
  show('map-box', map !== null);
  if (map === null) return;
  if (map.highR < map.lowR) {
    $('map-text').textContent = 'map: no records';
    $('map').hidden = true;
    return;
  }
  $('map').hidden = false;
  fillLegend($('legend'), map);
  drawMap($('map'), map);
  $('map-text').textContent = mapText(map);
}

function showResult(result) {
  const files = cutFiles(result);
  showVerdict(result, files);
  const problems = [
    ...result.errors.map((line) => `${TOOL}: ${line}`),
    ...(result.infoError ? [`d88info: ${result.infoError}`] : []),
  ];
  listItems($('problems'), problems);
  show('problems-box', problems.length > 0);
  listItems($('warnings'), result.warnings.map((line) => `${TOOL}: warning: ${line}`));
  show('warnings-box', result.warnings.length > 0);
  showFiles(result, files);
  showMap(result);
  $('summary').textContent = result.summary;
  show('summary-box', result.summary !== '');
  show('result', true);
}

async function examine(file) {
  const started = performance.now();
  const pick = ++picks;
  document.body.dataset.state = 'working';
  status(`Reading ${file.name}\u2026`);
  try {
    const bytes = new Uint8Array(await file.arrayBuffer());
    if (pick !== picks) return;
    links.forEach((url) => URL.revokeObjectURL(url));
    links = [];
    zanvo.FS.writeFile(IMAGE_PATH, bytes);
    let result;
    try {
      result = JSON.parse(zanvo.ccall('zanvo_examine', 'string', ['string', 'string'], [IMAGE_PATH, file.name]));
    } finally {
      zanvo.FS.unlink(IMAGE_PATH);
    }
    showResult(result);
    const elapsed = performance.now() - started;
    document.body.dataset.pickToLinksMs = elapsed.toFixed(1);
    status(`${file.name}: examined in ${Math.round(elapsed)} ms.`);
    console.info(`${file.name}: from the pick to the links, ${elapsed.toFixed(1)} ms`);
  } catch (error) {
    show('result', false);
    status(`${file.name} could not be examined: ${error.message ?? error}`);
  }
  serial += 1;
  document.body.dataset.serial = String(serial);
  document.body.dataset.state = 'done';
}

function pickFrom(files) {
  if (zanvo && files && files.length > 0) examine(files[0]);
}

async function start() {
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
  try {
    zanvo = await createZanvoModule();
  } catch (error) {
    status(`The page could not start: ${error.message ?? error}`);
    document.body.dataset.state = 'failed';
    return;
  }
  input.disabled = false;
  status('Ready: choose or drop an image.');
  document.body.dataset.state = 'ready';
}

start();
