// d88info's summary of an image, written from its JSON document in the lines
// d88info prints, with what it says to type next at a console worded for the
// page: the page draws the map of the disk it cut itself, cuts any disk of
// the file, and runs no command.

const hex = (value, width = 0) => value.toString(16).padStart(width, '0');
const plural = (count, one, many) => (count === 1 ? one : many);

// "0-18, 20-79" for the tracks whose state `pick` accepts; "none" for none.
function ranges(tracks, pick) {
  const picked = tracks.filter(pick).map((track) => track.track);
  const out = [];
  for (let i = 0; i < picked.length;) {
    let last = i;
    while (last + 1 < picked.length && picked[last + 1] === picked[last] + 1) last += 1;
    out.push(last > i ? `${picked[i]}-${picked[last]}` : `${picked[i]}`);
    i = last + 1;
  }
  return out.length ? out.join(', ') : 'none';
}

// The disk name as d88info quotes it: printable ASCII as it is, other bytes
// (and the quote and backslash) as \xhh.
function escapedName(name) {
  let out = '';
  for (let i = 0; i < name.hex.length; i += 2) {
    const byte = parseInt(name.hex.slice(i, i + 2), 16);
    const plain = byte >= 0x20 && byte < 0x7f && byte !== 0x22 && byte !== 0x5c;
    out += plain ? String.fromCharCode(byte) : `\\x${hex(byte, 2)}`;
  }
  return out;
}

function lieLine(disk) {
  const fields = [];
  if (disk.lies.dataSizeRecords > 0) {
    const n = disk.lies.dataSizeRecords;
    fields.push(`the data size field of ${n} ${plural(n, 'record', 'records')}`);
  }
  if (disk.lies.sectorCountTracks > 0) {
    const n = disk.lies.sectorCountTracks;
    fields.push(`sector counts on ${n} ${plural(n, 'track', 'tracks')}`);
  }
  if (disk.lies.noRecordTracks > 0) {
    const n = disk.lies.noRecordTracks;
    fields.push(`bytes that are no record on ${n} ${plural(n, 'track', 'tracks')}`);
  }
  if (disk.lies.diskSize) fields.push('the disk size field');
  const n = disk.recordsReadPastLies;
  return `  lies:       ${n} ${plural(n, 'record', 'records')} read past fields that lied: ${fields.join(', ')}`;
}

// Where d88info points at its listing of the disk: the page shows the map of
// the disk it cut, and of that disk only.
const where = (disk, cut) => (disk.index === cut ? '; the sector map shows where' : '');

function recordLines(disk, cut) {
  const lines = [];
  const records = disk.recordsPerTrack
    .map(({ records, tracks }) => `${records} a track on ${tracks} ${plural(tracks, 'track', 'tracks')}`)
    .join('; ');
  lines.push(`  records:    ${records || 'none'}`);
  if (disk.shortRecords > 0) {
    const n = disk.shortRecords;
    lines.push(`  short:      ${n} ${plural(n, 'record', 'records')} stored shorter than ` +
      `${plural(n, 'its', 'their')} size code`);
  }
  if (disk.uncertainRecords > 0) {
    const n = disk.uncertainRecords;
    lines.push(`  uncertain:  ${n} ${plural(n, 'record', 'records')} whose bytes the image can also be read to ` +
      'hold otherwise');
  }
  if (disk.noRecordBytes > 0) {
    const n = disk.noRecordBytes;
    lines.push(`  no record:  ${n.toLocaleString('en')} ${plural(n, 'byte', 'bytes')} of the tracks ` +
      `${plural(n, 'is', 'are')} no record (skipped${where(disk, cut)})`);
  }
  if (disk.cutTracks > 0) {
    const n = disk.cutTracks;
    lines.push(`  too many:   ${n} ${plural(n, 'track', 'tracks')} read only in part: more candidate headers ` +
      'than a reading weighs');
  }
  if (disk.recordsReadPastLies > 0) lines.push(lieLine(disk));
  const codes = disk.sizeCodes
    .map(({ n, bytes, records }) => `N=${n}${bytes > 0 ? ` (${bytes} bytes)` : ''} x${records}`)
    .join('; ');
  lines.push(`  size codes: ${codes || 'none'}`);
  if (disk.flags.length > 0) {
    const flags = disk.flags.map(({ words, records }) => `${words} x${records}`).join('; ');
    lines.push(`  flags:      ${flags} (set when the disk was dumped${where(disk, cut)})`);
  }
  return lines;
}

function diskLines(disk, cut) {
  const present = (track) => track.state === 'present';
  const lines = [
    `disk ${disk.index} at offset ${disk.offset} (0x${hex(disk.offset)})`,
    `  name:       "${escapedName(disk.name)}"`,
    `  media type: 0x${hex(disk.mediaType, 2)} (${disk.media ?? 'unknown'})`,
    `  protect:    0x${hex(disk.writeProtect, 2)} (${disk.protect})`,
    disk.diskSizeLies
      ? `  disk size:  ${disk.diskSize} (0x${hex(disk.diskSize)}), which lies: the disk's records end at offset ` +
        `${disk.offset + disk.extent} (0x${hex(disk.offset + disk.extent)})`
      : `  disk size:  ${disk.diskSize} (0x${hex(disk.diskSize)})` +
        (disk.diskSize === 0 ? ' (it bounds nothing: the tracks are read up to the end of the file)' : ''),
  ];
  if (disk.fileEndsAt !== null) {
    lines.push(`  truncated:  the file ends at offset ${disk.fileEndsAt} (0x${hex(disk.fileEndsAt)}), ` +
      `${disk.offset + disk.diskSize - disk.fileEndsAt} bytes before the end of this disk`);
  }
  const count = (state) => disk.tracks.filter((track) => track.state === state).length;
  lines.push(`  tracks:     ${count('present')} present: ${ranges(disk.tracks, present)}`);
  if (count('past-end') > 0) {
    lines.push(`  past end:   ${count('past-end')} in the table but past the end of the file: ` +
      `${ranges(disk.tracks, (track) => track.state === 'past-end')}`);
  }
  const strays = count('into-header');
  if (strays > 0) {
    lines.push(`  strays:     ${strays} table ${plural(strays, 'entry points', 'entries point')} into the disk ` +
      `header, naming no track: ${ranges(disk.tracks, (track) => track.state === 'into-header')}`);
  }
  // A track that reads a lower track's records names it (an earlier disk's
  // track is no lower track of this disk).
  const shared = ranges(disk.tracks, (track) => present(track) && track.sameRecordsAs?.disk === disk.index);
  if (shared !== 'none') lines.push(`  shared:     tracks that hold the same records as a lower track: ${shared}`);
  if (disk.tableEntries < 164) {
    lines.push(`  table:      ${disk.tableEntries} entries (the first track starts at ` +
      `0x${hex(0x20 + 4 * disk.tableEntries)}; the rest is sector data)`);
  }
  lines.push(...recordLines(disk, cut));
  if (disk.geometryLooksLike !== null && disk.geometryLooksLike !== disk.media) {
    const highest = Math.max(-1, ...disk.tracks.filter(present).map((track) => track.track));
    lines.push(`  note:       the media byte says ${disk.media ?? 'nothing known'}, but ${disk.largestTrackBytes}-byte ` +
      `tracks on positions up to ${highest} look like ${disk.geometryLooksLike}`);
  }
  if (disk.oddFields !== null) lines.push(`  note:       ${disk.oddFields}: not a D88 disk's, though its records are`);
  lines.push(`  boot:       ${disk.boot.line}`);
  if (disk.boot.disk !== null && disk.index !== 0) {
    lines.push(`  note:       zanvo-extract --disk=${disk.index} cuts this disk; here, the list of disks cuts any disk`);
  }
  return lines;
}

// The summary's lines for the document `doc` of an image that may be a D88
// image (doc.d88).
export function summaryLines(doc, cut = 0) {
  const lines = [`disks: ${doc.diskCount}`];
  const { disks } = doc;
  for (let i = 0; i < disks.length;) {
    const disk = disks[i];
    lines.push('');
    if (disk.insideDisk) {
      lines.push(`disk ${disk.index} at offset ${disk.offset}: not a disk: ${disk.notD88}`);
    } else if (disk.readable && !disk.d88) {
      lines.push(`disk ${disk.index} at offset ${disk.offset}: not a D88 disk: ${disk.notD88}`);
    } else if (disk.readable) {
      lines.push(...diskLines(disk, cut));
    } else {
      lines.push(`disk ${disk.index} at offset ${disk.offset}: its header cannot be read`);
    }
    // A disk size of 0 makes every next disk start where this one did.
    let same = i + 1;
    while (same < disks.length && disks[same].offset === disk.offset) same += 1;
    if (same > i + 2) {
      lines.push('', `disks ${i + 1}-${same - 1}: disk ${i} again (its disk size is 0, so the next disk starts where it did)`);
    } else if (same === i + 2) {
      lines.push('', `disk ${i + 1}: disk ${i} again (its disk size is 0, so the next disk starts where it did)`);
    }
    i = same;
  }
  if (doc.moreDisksAt !== null) {
    lines.push('', `more disks follow from offset ${doc.moreDisksAt} (0x${hex(doc.moreDisksAt)}): ` +
      `only the first ${disks.length} are indexed`);
  }
  return lines;
}
