// The examination's answer shown on the page: the verdict, the problems and
// warnings, the files to download, the sector map and what d88info says. All
// that turns the answer's JSON into the page is here; what the page shows of
// d88info comes from its JSON document (result.info).
import { zipSync } from './fflate.js';
import { drawMap, fillLegend, mapText } from './map.js';
import { summaryLines } from './summary.js';

const $ = (id) => document.getElementById(id);
const TOOL = 'zanvo-extract';

let links = []; // object URLs of the downloads shown, revoked when they go

function show(id, visible) {
  $(id).hidden = !visible;
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

// The first disk of d88info's document, when it is a D88 image whose header
// could be read.
function firstDisk(info) {
  const disk = info?.disks?.[0];
  return disk?.readable ? disk : null;
}

function showVerdict(result, files) {
  const verdict = $('verdict');
  const why = $('why');
  verdict.removeAttribute('lang');
  why.textContent = '';
  if (result.disk) {
    // The tool's own message, its Japanese glyphs from the page's font
    // (scripts/heading-font.sh).
    verdict.textContent = result.recognised;
    verdict.lang = 'ja';
    const count = files.length === 0 ? 'no file' : files.length === 1 ? '1 file' : `${files.length} files`;
    // The tool's last word when a file is not all there: how many came out whole.
    why.textContent = result.tally
      ? `Disk ${result.disk} recognised in ${result.name}: ${result.tally}.`
      : `Disk ${result.disk} recognised: ${count} cut from ${result.name}.`;
  } else if (result.errors.length > 0) {
    verdict.textContent = 'The image could not be read';
  } else if (result.info && !result.info.d88) {
    verdict.textContent = 'Not a D88 image: nothing was cut';
    why.textContent = `${result.name}: not a D88 image: ${result.info.notD88}`;
  } else {
    verdict.textContent = 'Not recognised: nothing was cut';
    const boot = firstDisk(result.info)?.boot.line;
    why.textContent = boot
      ? `${result.name} is neither Disk A nor Disk F of ZANVO. Its first disk's boot sector: ${boot}.`
      : `${result.name} is neither Disk A nor Disk F of ZANVO.`;
  }
  show('why', why.textContent !== '');
}

function showFiles(result, files) {
  $('files').replaceChildren(
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
  const map = firstDisk(result.info)?.map ?? null;
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

// d88info's summary, one block a line: a long line wraps under its own value
// (style.css indents what wraps) rather than making the box scroll sideways.
function showSummary(info) {
  const lines = info?.d88 ? summaryLines(info) : [];
  show('summary-box', lines.length > 0);
  $('summary').replaceChildren(
    ...lines.map((line) => {
      const block = document.createElement('span');
      block.textContent = `${line}\n`;
      return block;
    }),
  );
}

// Takes the last answer and its downloads off the page.
export function clearResult() {
  show('result', false);
  links.forEach((url) => URL.revokeObjectURL(url));
  links = [];
}

// Shows the answer for one image: `result` is the examination's JSON,
// `files` the cut files' names and bytes in the tool's order.
export function showResult(result, files) {
  clearResult();
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
  showSummary(result.info);
  show('result', true);
}
