// The sector map as a picture: one row a track, one column a sector number,
// a colour for each mark the examination gives; and the same map as text, in
// the lines d88info prints. What each mark means comes with the map, in
// d88info's words; only the colours are the page's.

// Every kind of mark a colour of its own, told apart by colour-blind eyes
// too: the Okabe-Ito palette's eight, then the same hues darkened for the
// rarer flags. Sectors present are a quiet grey, so that damage stands out.
const COLOURS = {
  '#': '#d4d4d4', // present
  '.': '#d55e00', // missing: vermillion
  s: '#e69f00', // stored short: orange
  '?': '#999933', // uncertain: olive
  '~': '#56b4e9', // read past a field that lied: sky blue
  D: '#009e73', // duplicated: bluish green
  x: '#cc79a7', // C or H of another track: reddish purple
  0: '#0072b2', // another size code (every digit, and '+'): blue
  c: '#f0e442', // data CRC error: yellow
  '!': '#000000', // another controller status: black
  i: '#6b2f00', // ID CRC error: dark vermillion
  a: '#735000', // no address mark: dark orange
  m: '#663d54', // no data mark: dark reddish purple
  e: '#004f59', // deleted data: dark bluish green
};
// A track that is not there at all is the worst damage: drawn in the
// missing colour, striped so that it is not taken for sectors.
const STRIPES = `repeating-linear-gradient(135deg, ${COLOURS['.']} 0 3px, #ffffff 3px 6px)`;
const ABSENT = { words: 'track absent', colour: COLOURS['.'], pattern: STRIPES };
const PAST_END = { words: 'track past the end of the file', colour: '#8a8a8a' };

// The legend's entry for a mark, with its colour.
function kindOf(map, mark) {
  const kind = map.legend.find((entry) => entry.marks.includes(mark)) ?? { marks: mark, words: mark };
  const digit = /[0-9+]/.test(kind.marks[0]) ? '0' : kind.marks[0];
  return { ...kind, colour: COLOURS[digit] ?? '#000000' };
}

// As d88info prints it, in bands of at most 80 sector numbers: the numbers
// down the columns (hundreds, tens, units as far as the band's highest
// needs), then a line a track.
const BAND = 80;

export function mapText(map) {
  const lines = [];
  for (let low = map.lowR; low <= map.highR; low += BAND) {
    const high = Math.min(map.highR, low + BAND - 1);
    for (const divisor of [100, 10, 1].filter((d) => d <= high)) {
      let line = ' '.repeat(10);
      for (let r = low; r <= high; r += 1) line += String(Math.floor(r / divisor) % 10);
      lines.push(line);
    }
    for (const row of map.rows) {
      const what = row.state === 'present' ? row.marks.slice(low - map.lowR, high - map.lowR + 1)
        : row.state === 'absent' ? 'absent' : 'past the end of the file';
      lines.push(`track ${String(row.track).padStart(3)} ${what}`);
    }
  }
  return lines.join('\n');
}

export function fillLegend(list, map) {
  list.replaceChildren(
    ...[...map.legend.map((entry) => kindOf(map, entry.marks[0])), ABSENT, PAST_END].map((kind) => {
      const item = document.createElement('li');
      const swatch = document.createElement('span');
      swatch.className = 'swatch';
      swatch.style.background = kind.pattern ?? kind.colour;
      // The mark's letter beside its colour, as the map as text writes it.
      const letter = document.createElement('span');
      letter.className = 'letter';
      letter.textContent = kind.marks === undefined ? '' : kind.marks.length > 1 ? '0-9' : kind.marks;
      item.append(swatch, letter, ` ${kind.words}`);
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

// The absent track's stripes, as its legend entry shows them.
function stripes(g, x, y, width, height) {
  g.save();
  g.beginPath();
  g.rect(x, y, width, height);
  g.clip();
  g.fillStyle = '#ffffff';
  g.fillRect(x, y, width, height);
  g.strokeStyle = ABSENT.colour;
  g.lineWidth = 2;
  for (let at = x - height; at < x + width; at += 5) {
    g.beginPath();
    g.moveTo(at, y + height);
    g.lineTo(at + height, y);
    g.stroke();
  }
  g.restore();
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
    if (row.state === 'absent') {
      stripes(g, left, y, columns * cell - 1, rowHeight - 1);
      return;
    }
    if (row.state !== 'present') {
      g.fillStyle = PAST_END.colour;
      g.fillRect(left, y, columns * cell - 1, rowHeight - 1);
      return;
    }
    [...row.marks].forEach((mark, c) => {
      g.fillStyle = kindOf(map, mark).colour;
      g.fillRect(left + c * cell, y, cell - 1, rowHeight - 1);
    });
  });
}
