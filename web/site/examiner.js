// One image examined by the project's C++, built to WebAssembly: the picked
// file goes into the module's in-memory file system, is examined there, and
// the answer comes back with the cut files' bytes copied out. The page runs
// this in its worker (worker.js), never on its own thread: a crafted image
// can keep the module busy for seconds.
import createZanvoModule from './zanvo-web.js';

const IMAGE_PATH = '/image';

let module = null;

// The module, loaded once for this thread.
export function loadExaminer() {
  module ??= createZanvoModule();
  return module;
}

// The answer for `file` (a File) with disk `disk` cut (-1: the first of the
// title's): { result, files }, the result as the module's JSON has it and
// files as [{ name, bytes }] in the tool's order.
export function examineFile(file, disk = -1) {
  return examineFiles([file], disk);
}

// The same for several dumps of one disk (Files), the first the image the
// others are joined to, as `zanvo-extract --also` joins them.
export async function examineFiles(dumps, disk = -1) {
  const zanvo = await loadExaminer();
  const paths = dumps.map((_, index) => `${IMAGE_PATH}${index}`);
  let result;
  try {
    for (const [index, dump] of dumps.entries()) {
      zanvo.FS.writeFile(paths[index], new Uint8Array(await dump.arrayBuffer()));
      if (index > 0) zanvo.ccall('zanvo_add_dump', null, ['string', 'string'], [paths[index], dump.name]);
    }
    result = JSON.parse(zanvo.ccall('zanvo_examine', 'string', ['string', 'string', 'number'],
      [paths[0], dumps[0].name, disk]));
  } finally {
    for (const path of paths) {
      if (zanvo.FS.analyzePath(path).exists) zanvo.FS.unlink(path);
    }
  }
  const files = result.files.map((entry, index) => {
    const at = zanvo._zanvo_file_data(index);
    return { name: entry.name, bytes: zanvo.HEAPU8.slice(at, at + zanvo._zanvo_file_size(index)) };
  });
  return { result, files };
}
