// The page's worker: loads the examiner, says when it is ready, and answers
// one picked image, or several dumps of one disk picked together. The page ends it when a later pick overtakes it or when
// its answer is in, so memory a large image took goes with it.
import { examineFiles, loadExaminer } from './examiner.js';

loadExaminer().then(
  () => postMessage({ kind: 'ready' }),
  (error) => postMessage({ kind: 'failed', reason: String(error?.message ?? error) }),
);

onmessage = async ({ data }) => {
  try {
    const { result, files } = await examineFiles(data.files ?? [data.file], data.disk ?? -1);
    postMessage({ kind: 'answer', result, files }, files.map((file) => file.bytes.buffer));
  } catch (error) {
    postMessage({ kind: 'error', reason: String(error?.message ?? error) });
  }
};
