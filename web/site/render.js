// The examination's answer shown on the page: the verdict, the problems and
// warnings, the files to download, the sector map and what d88info says. All
// that turns the answer's JSON into the page is here; what the page shows of
// d88info comes from its JSON document (result.info).
import { zipSync } from './fflate.js';
import { drawMap, fillLegend, mapText } from './map.js';
import { summaryLines } from './summary.js';

const $ = (id) => document.getElementById(id);
const TOOL = 'zanvo-extract';
const KIND_WORDS = { A: 'Disk A', F: 'Disk F', other: 'another disk', notD88: 'not D88' };

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

// Disk `index` of d88info's document, when it is a D88 image whose header
// could be read.
function diskOf(info, index) {
  let disk = info?.disks?.find((entry) => entry.index === index);
  // A disk at the offset of an earlier one is described there.
  if (disk && disk.sameDiskAs !== null && disk.sameDiskAs !== undefined) {
    disk = info.disks.find((entry) => entry.index === disk.sameDiskAs);
  }
  return disk?.readable && disk.d88 ? disk : null;
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
    const joined = result.dumps.length > 1 ? ` joined with ${result.dumps.slice(1).join(', ')}` : '';
    why.textContent = result.tally
      ? `Disk ${result.disk} recognised in ${result.name}${joined}: ${result.tally}.`
      : `Disk ${result.disk} recognised: ${count} cut from ${result.name}${joined}.`;
  } else if (result.errors.length > 0) {
    verdict.textContent = 'The image could not be read';
  } else if (result.info && !result.info.d88) {
    verdict.textContent = 'Not a D88 image: nothing was cut';
    why.textContent = `${result.name}: not a D88 image: ${result.info.notD88}`;
  } else {
    verdict.textContent = 'Not recognised: nothing was cut';
    const boot = diskOf(result.info, result.cut)?.boot.line;
    const whose = result.cut === 0 ? 'Its first disk' : `Disk ${result.cut}`;
    why.textContent = boot
      ? `${result.name} is neither Disk A nor Disk F of ZANVO. ${whose}'s boot sector: ${boot}.`
      : `${result.name} is neither Disk A nor Disk F of ZANVO.`;
  }
  show('why', why.textContent !== '');
}

// What became of a file, in a word or two: complete (every sector found
// whole, none flagged or uncertain), with holes (sectors written as zeros),
// with sectors the dumper flagged, or with sectors the image leaves in doubt.
const sectors = (n) => `${n} sector${n === 1 ? '' : 's'}`;

function fileMark({ holes, flagged, uncertain, disputed }) {
  const marks = [];
  if (holes > 0) marks.push(`with holes: ${sectors(holes)} of zeros`);
  if (flagged > 0) marks.push(`with ${sectors(flagged)} flagged`);
  if (disputed > 0) marks.push(`with ${sectors(disputed)} disputed between dumps`);
  if (uncertain > 0) marks.push(`with ${sectors(uncertain)} uncertain`);
  const mark = document.createElement('span');
  const kind = holes > 0 ? 'holes' : flagged > 0 ? 'flagged' : disputed > 0 ? 'disputed'
    : uncertain > 0 ? 'uncertain' : 'complete';
  mark.className = `mark ${kind}`;
  mark.textContent = marks.length > 0 ? marks.join(', ') : 'complete';
  return mark;
}

// Which dump gave how many of a file's sectors, when several were joined:
// "from a.d88: 12 sectors, b.d88: 9 sectors".
function fileSources(result, entry) {
  const given = result.dumps
    .map((name, index) => [name, entry.from[index] ?? 0])
    .filter(([, count]) => count > 0)
    .map(([name, count]) => `${name}: ${sectors(count)}`);
  const line = document.createElement('span');
  line.className = 'sources';
  line.textContent = given.length > 0 ? `from ${given.join(', ')}` : 'from no dump';
  return line;
}

function showFiles(result, files) {
  $('files').replaceChildren(
    ...files.map((file, index) => {
      const item = document.createElement('li');
      item.append(downloadLink(file.name, file.bytes, 'application/octet-stream'),
        ` ${file.bytes.length.toLocaleString('en')} bytes `, fileMark(result.files[index]));
      if (result.dumps.length > 1) item.append(' ', fileSources(result, result.files[index]));
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

// The disks of a file of several, each with what it is, the one cut marked
// and any other one click from being cut; and a word when a disk beside the
// one cut is the title's, as zanvo-extract says it.
function showDisks(result, cutDisk) {
  const several = result.disks.length > 1;
  show('disks-box', several);
  show('disks-note', false);
  if (!several) return;
  $('disks').replaceChildren(
    ...result.disks.map(({ index, kind }) => {
      const item = document.createElement('li');
      item.append(`disk ${index}: ${KIND_WORDS[kind] ?? kind}`);
      if (index === result.cut) {
        item.className = 'cut';
        item.append(' (cut)');
      } else {
        const button = document.createElement('button');
        button.type = 'button';
        button.textContent = `Cut disk ${index}`;
        button.addEventListener('click', () => cutDisk(index));
        item.append(' ', button);
      }
      return item;
    }),
  );
  const beside = result.disks
    .filter(({ index, kind }) => index !== result.cut && (kind === 'A' || kind === 'F'))
    .map(({ index, kind }) => `disk ${index} is Disk ${kind}`);
  $('disks-note').textContent = beside.length > 0 ? `Beside the disk cut: ${beside.join(', ')}.` : '';
  show('disks-note', beside.length > 0);
}

function showMap(result) {
  const map = diskOf(result.info, result.cut)?.map ?? null;
  show('map-box', map !== null);
  if (map === null) return;
  $('map-heading').textContent = `Sector map of disk ${result.cut}`;
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
function showSummary(info, cut) {
  const lines = info?.d88 ? summaryLines(info, cut) : [];
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
// `files` the cut files' names and bytes in the tool's order; `cutDisk(K)`
// examines the image again, cutting disk K.
export function showResult(result, files, cutDisk) {
  clearResult();
  showVerdict(result, files);
  showDisks(result, cutDisk);
  const problems = [
    ...result.errors.map((line) => `${TOOL}: ${line}`),
    ...(result.infoError ? [`d88info: ${result.infoError}`] : []),
  ];
  listItems($('problems'), problems);
  show('problems-box', problems.length > 0);
  // The warnings without the program's name: here it goes without saying.
  listItems($('warnings'), result.warnings);
  show('warnings-box', result.warnings.length > 0);
  showFiles(result, files);
  showMap(result);
  showSummary(result.info, result.cut);
  show('result', true);
}
