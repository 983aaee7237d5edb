// The sector map as a picture: one row a track, one column a sector number,
// a colour for each mark the examination gives; and the same map as text, in
// the lines d88info prints.

export const KINDS = [
  { mark: '#', name: 'present', colour: '#2b6cb0' },
  { mark: '.', name: 'missing', colour: '#f28b82' },
  { mark: 'D', name: 'duplicated', colour: '#13a89e' },
  { mark: '2', name: 'another size code', colour: '#7b3fa0' },
  { mark: '!', name: 'flagged when the disk was dumped', colour: '#e69f00' },
  { mark: 'x', name: "C or H of another track", colour: '#5f4b00' },
];
const ABSENT = { name: 'track absent', colour: '#ffffff' };
const PAST_END = { name: 'track past the end of the file', colour: '#8a8a8a' };

// Another size code is shown by its digit, or '+' from 10 on.
function kindOf(mark) {
  return KINDS.find((kind) => kind.mark === mark) ?? KINDS[3];
}

export function mapText(map) {
  return map.tracks
    .map((row) => {
      const what = row.state === 'present' ? row.marks : row.state === 'absent' ? 'absent' : 'past the end of the file';
      return `track ${String(row.track).padStart(3)} ${what}`;
    })
    .join('\n');
}

export function fillLegend(list) {
  list.replaceChildren(
    ...[...KINDS, ABSENT, PAST_END].map((kind) => {
      const item = document.createElement('li');
      const swatch = document.createElement('span');
      swatch.className = 'swatch';
      swatch.style.background = kind.colour;
      item.append(swatch, kind.mark ? `${kind.name} (${kind.mark === '2' ? 'a digit' : `'${kind.mark}'`})` : kind.name);
      return item;
    }),
  );
}

// What the picture shows, said in words for a screen reader.
function describe(map) {
  const counts = new Map();
  let absent = 0;
  for (const row of map.tracks) {
    if (row.state !== 'present') absent += 1;
    for (const mark of row.marks) counts.set(kindOf(mark).name, (counts.get(kindOf(mark).name) ?? 0) + 1);
  }
  const parts = [...counts].filter(([name]) => name !== 'present').map(([name, n]) => `${n} ${name}`);
  if (absent) parts.push(`${absent} tracks absent or past the end`);
  return `Sector map: tracks 0-${map.tracks.length - 1}, sector numbers ${map.lowR}-${map.highR}; ` +
    (parts.length ? parts.join(', ') : 'every sector present') + '. The map as text follows.';
}

export function drawMap(canvas, map) {
  const columns = map.highR - map.lowR + 1;
  const cell = Math.max(4, Math.min(18, Math.floor(640 / Math.max(columns, 1))));
  const rowHeight = 8;
  const left = 58;
  const top = 20;
  const width = left + columns * cell + 4;
  const height = top + map.tracks.length * rowHeight + 4;
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
  map.tracks.forEach((row, i) => {
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
      g.fillStyle = kindOf(mark).colour;
      g.fillRect(left + c * cell, y, cell - 1, rowHeight - 1);
    });
  });
}
