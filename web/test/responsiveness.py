"""Whether the page answers its user while it examines a large image.

A probe in the page notes every animation frame, every key press it
handles, when the page says it is working and when it stops, and which
workers were given an image and which were ended. While the page works, keys
are pressed on it and its state is read, each round timed. A page whose own
thread runs the examination draws no frame, takes no key and answers no
question until it is done.
"""

import time

from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By

# The longest a frame or a key may wait while the page works, and the least
# time the examination must take for the figures to tell anything.
LIMIT_MS = 400
LEAST_WORK_MS = 1000

PROBE = """
if (!window.probe) {
  const probe = window.probe = { frames: [], keys: [], from: 0, to: 0, jobs: [], ended: new Set() };
  const beat = () => { probe.frames.push(performance.now()); requestAnimationFrame(beat); };
  requestAnimationFrame(beat);
  addEventListener('keydown', () => probe.keys.push(performance.now()), true);
  new MutationObserver(() => {
    const working = document.body.dataset.state === 'working';
    if (working && !probe.from) probe.from = performance.now();
    if (!working && probe.from && !probe.to) probe.to = performance.now();
  }).observe(document.body, { attributes: true, attributeFilter: ['data-state'] });
  const post = Worker.prototype.postMessage;
  Worker.prototype.postMessage = function (message, ...rest) {
    if (message && message.file) probe.jobs.push(this);
    return post.call(this, message, ...rest);
  };
  const terminate = Worker.prototype.terminate;
  Worker.prototype.terminate = function () {
    probe.ended.add(this);
    return terminate.call(this);
  };
}
probe.frames.length = 0;
probe.keys.length = 0;
probe.from = probe.to = 0;
"""

# During the examination: its length, the longest time without a frame, and
# how many key presses were handled.
FIGURES = """
const { frames, keys, from, to } = window.probe;
const during = [from, ...frames.filter((t) => t > from && t < to), to];
let gap = 0;
for (let i = 1; i < during.length; i += 1) gap = Math.max(gap, during[i] - during[i - 1]);
return { work: to - from, gap, keys: keys.filter((t) => t >= from && t <= to).length };
"""


def install_probe(driver):
    driver.execute_script(PROBE)


def jobs(driver):
    """For each worker given an image so far, whether it has been ended."""
    return driver.execute_script("return probe.jobs.map((worker) => probe.ended.has(worker));")


def state(driver):
    return driver.find_element(By.TAG_NAME, "body").get_attribute("data-state")


def while_working(driver, timeout=120):
    """Presses keys on the page until it stops working. Returns what was
    seen meanwhile: whether the working indicator was shown, the status
    line, and how long each round of reading the page's state and pressing
    a key took."""
    seen = {"indicator": False, "status": "", "rounds": []}
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        asked = time.monotonic()
        working = state(driver) == "working"
        if working and not seen["indicator"]:
            seen["indicator"] = driver.execute_script(
                "const w = document.getElementById('working'); return !w.hidden && w.offsetHeight > 0;")
            seen["status"] = driver.find_element(By.ID, "status").get_attribute("textContent")
        if working:
            ActionChains(driver).send_keys("z").perform()
        # The last round counts too: its question may have waited out the whole examination.
        seen["rounds"].append((time.monotonic() - asked) * 1000)
        if not working:
            return seen
        time.sleep(0.05)
    return seen


def measure(driver, seen):
    """The figures of the last examination in words, what is wrong with them
    for a page that answers its user (a list of (what, why), empty when
    nothing is), and how long it took in ms. `seen` is what
    while_working() returned."""
    figures = driver.execute_script(FIGURES)
    slowest = max(seen["rounds"], default=0)
    problems = []
    if figures["work"] < LEAST_WORK_MS:
        problems.append(("too quick", f"the examination took {figures['work']:.0f} ms, too little to tell"))
    if figures["gap"] > LIMIT_MS:
        problems.append(("frames", f"no frame drawn for {figures['gap']:.0f} ms"))
    if figures["keys"] < 3:
        problems.append(("keys", f"only {figures['keys']} key presses handled while it worked"))
    if slowest > LIMIT_MS:
        problems.append(("answers", f"a round of reading its state and pressing a key took {slowest:.0f} ms"))
    summary = (f"{figures['work']:.0f} ms of examination, longest time without a frame {figures['gap']:.0f} ms, "
               f"{figures['keys']} key presses handled, the slowest round of state and key {slowest:.0f} ms")
    return summary, problems, figures["work"]
