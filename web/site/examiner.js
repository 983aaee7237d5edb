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
export async function examineFile(file, disk = -1) {
  const zanvo = await loadExaminer();
  zanvo.FS.writeFile(IMAGE_PATH, new Uint8Array(await file.arrayBuffer()));
  let result;
  try {
    result = JSON.parse(zanvo.ccall('zanvo_examine', 'string', ['string', 'string', 'number'],
      [IMAGE_PATH, file.name, disk]));
  } finally {
    zanvo.FS.unlink(IMAGE_PATH);
  }
  const files = result.files.map((entry, index) => {
    const at = zanvo._zanvo_file_data(index);
    return { name: entry.name, bytes: zanvo.HEAPU8.slice(at, at + zanvo._zanvo_file_size(index)) };
  });
  return { result, files };
}
