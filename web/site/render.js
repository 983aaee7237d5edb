// The examination's answer shown on the page: the verdict, the problems and
// warnings, the files to download, the sector map and what d88info says. All
// that turns the answer's JSON into the page is here.
import { zipSync } from './fflate.js';
import { drawMap, fillLegend, mapText } from './map.js';

const $ = (id) => document.getElementById(id);
const TOOL = 'zanvo-extract';

// The tool's message on recognising a disk, as it reads decoded. Its Japanese
// glyphs come from the page's own font (scripts/heading-font.sh).
const recognisedLine = (disk) => `ZANVO (Disk ${disk})を認識しました.`;

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

// d88info's summary says what to type next at a console; the page shows the
// map itself and cannot run d88info, so that advice is worded for the page.
export function pageWording(summary) {
  let disk = -1;
  return summary
    .split('\n')
    .map((line) => {
      const start = /^disk (\d+) at offset /.exec(line);
      if (start) disk = Number(start[1]);
      return line
        .replace(/; `d88info .*` shows where\)$/, disk === 0 ? '; the sector map shows where)' : ')')
        .replace(/zanvo-extract cuts only disk 0; `d88info --split .*` writes this disk alone$/,
          'only disk 0 is cut here; d88info --split, at a console, writes this disk alone');
    })
    .join('\n');
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

// d88info's summary, one block a line: a long line wraps under its own value
// (style.css indents what wraps) rather than making the box scroll sideways.
function showSummary(text) {
  const lines = text.endsWith('\n') ? text.slice(0, -1).split('\n') : text.split('\n');
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
  showSummary(pageWording(result.summary));
  show('summary-box', result.summary !== '');
  show('result', true);
}
