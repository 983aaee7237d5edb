// The sector map as a picture: one row a track, one column a sector number,
// a colour for each mark the examination gives; and the same map as text, in
// the lines d88info prints. What each mark means comes with the map, in
// d88info's words; only the colours are the page's.

const COLOURS = {
  '#': '#2b6cb0', // present
  '.': '#f28b82', // missing
  D: '#13a89e', // duplicated
  x: '#5f4b00', // C or H of another track
  0: '#7b3fa0', // another size code (every digit, and '+')
  i: '#d55e00', // ID CRC error
  c: '#e69f00', // data CRC error
  a: '#b8860b', // no address mark
  m: '#cc79a7', // no data mark
  '!': '#000000', // another controller status
  e: '#56b4e9', // deleted data
};
const ABSENT = { words: 'track absent', colour: '#ffffff' };
const PAST_END = { words: 'track past the end of the file', colour: '#8a8a8a' };

// The legend's entry for a mark, with its colour.
function kindOf(map, mark) {
  const kind = map.legend.find((entry) => entry.marks.includes(mark)) ?? { marks: mark, words: mark };
  return { ...kind, colour: COLOURS[kind.marks[0]] ?? '#000000' };
}

export function mapText(map) {
  return map.rows
    .map((row) => {
      const what = row.state === 'present' ? row.marks : row.state === 'absent' ? 'absent' : 'past the end of the file';
      return `track ${String(row.track).padStart(3)} ${what}`;
    })
    .join('\n');
}

export function fillLegend(list, map) {
  list.replaceChildren(
    ...[...map.legend.map((entry) => kindOf(map, entry.marks[0])), ABSENT, PAST_END].map((kind) => {
      const item = document.createElement('li');
      const swatch = document.createElement('span');
      swatch.className = 'swatch';
      swatch.style.background = kind.colour;
      const mark = kind.marks === undefined ? '' : kind.marks.length > 1 ? ' (a digit)' : ` ('${kind.marks}')`;
      item.append(swatch, `${kind.words}${mark}`);
      return item;
    }),
  );
}

// What the picture shows, said in words for a screen reader.
function describe(map) {
  const counts = new Map();
  let absent = 0;
  for (const row of map.rows) {
    if (row.state !== 'present') absent += 1;
    for (const mark of row.marks) counts.set(kindOf(map, mark).words, (counts.get(kindOf(map, mark).words) ?? 0) + 1);
  }
  const parts = [...counts].filter(([words]) => words !== 'present').map(([words, n]) => `${n} ${words}`);
  if (absent) parts.push(`${absent} tracks absent or past the end`);
  return `Sector map: tracks 0-${map.rows.length - 1}, sector numbers ${map.lowR}-${map.highR}; ` +
    (parts.length ? parts.join(', ') : 'every sector present') + '. The map as text follows.';
}

export function drawMap(canvas, map) {
  const columns = map.highR - map.lowR + 1;
  const cell = Math.max(4, Math.min(18, Math.floor(640 / Math.max(columns, 1))));
  const rowHeight = 8;
  const left = 58;
  const top = 20;
  const width = left + columns * cell + 4;
  const height = top + map.rows.length * rowHeight + 4;
  const scale = window.devicePixelRatio || 1;
  canvas.width = Math.ceil(width * scale);
  canvas.height = Math.ceil(height * scale);
  canvas.style.width = `${width}px`;
  canvas.style.height = `${height}px`;
  canvas.setAttribute('aria-label', describe(map));

  const g = canvas.getContext('2d');
  g.scale(scale, scale);
  g.fillStyle = '#ffffff';
  g.fillRect(0, 0, width, height);
  g.fillStyle = '#1a1a1a';
  g.font = '10px system-ui, sans-serif';
  g.textBaseline = 'middle';
  const every = cell >= 14 ? 1 : Math.ceil(14 / cell) * 2;
  g.textAlign = 'center';
  for (let r = map.lowR; r <= map.highR; r += 1) {
    if ((r - map.lowR) % every === 0) g.fillText(String(r), left + (r - map.lowR + 0.5) * cell, top / 2);
  }
  g.textAlign = 'right';
  map.rows.forEach((row, i) => {
    const y = top + i * rowHeight;
    if (row.track % 5 === 0) {
      g.fillStyle = '#1a1a1a';
      g.fillText(`track ${row.track}`, left - 6, y + rowHeight / 2);
    }
    if (row.state !== 'present') {
      g.fillStyle = row.state === 'absent' ? ABSENT.colour : PAST_END.colour;
      g.fillRect(left, y, columns * cell - 1, rowHeight - 1);
      g.strokeStyle = '#8a8a8a';
      g.strokeRect(left + 0.5, y + 0.5, columns * cell - 2, rowHeight - 2);
      return;
    }
    [...row.marks].forEach((mark, c) => {
      g.fillStyle = kindOf(map, mark).colour;
      g.fillRect(left + c * cell, y, cell - 1, rowHeight - 1);
    });
  });
}
