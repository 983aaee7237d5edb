// For the browser test only, never part of the site: stands in for the
// browser's Worker so that the page's examiner runs on the page's own
// thread. web_test.py serves the page with this once more to show that its
// responsiveness check fails a page that examines on its own thread.
import { examineFile, loadExaminer } from './examiner.js';

class MainThreadWorker extends EventTarget {
  constructor() {
    super();
    this.ended = false;
    loadExaminer().then(() => this.answer({ kind: 'ready' }));
  }

  answer(data) {
    if (!this.ended) this.dispatchEvent(new MessageEvent('message', { data }));
  }

  postMessage({ file }) {
    examineFile(file).then(
      (answer) => this.answer({ kind: 'answer', ...answer }),
      (error) => this.answer({ kind: 'error', reason: String(error) }),
    );
  }

  terminate() {
    this.ended = true;
  }
}

window.Worker = MainThreadWorker;
