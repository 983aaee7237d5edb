"""Drives the built page in headless Chromium and holds it to the programs.

For each image the command-line programs are run first; then the image is
picked in the page, and what the page says and offers must match them
(page_checks.py). One page serves every case in turn, so nothing may be
left over from the image before. Then, with an image just under the page's
128 MiB limit: the page must answer its user while it examines it, show
that it is working, match the programs on it too, and let a later pick end
that examination; a file over the limit must be refused unread. Last, the
same page with its examiner moved onto the page's own thread must fail the
check of answering meanwhile, or that check proves nothing. A screenshot of
each case is saved; the damaged image's page and that of a file of two disks
also at 1280 and 390 pixels wide (a desktop, a phone), where nothing may
stick out sideways.

    web_test.py --site DIR --tools BUILD_DIR --screenshots DIR \
        --near-limit IMAGE --over-limit FILE --joined IMAGE --joined IMAGE... \
        NAME=IMAGE...

An image whose NAME starts with "dropped-" is dropped on the page rather
than picked with the file input. The cases must include disk-a, which is
the later pick. For a case named "a-and-f" (a file of two disks), the other
disk is then cut with its button and held to `zanvo-extract --disk=1`.
The --joined images are chosen together, as dumps of one disk, and held to
`zanvo-extract --also`.
"""

import argparse
import base64
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

import responsiveness
from page_checks import (check, check_answer, digest, failures, page_bytes, run_programs, shown, text_of,
                         warning_for_the_page)
from site_server import SiteServer, requests_elsewhere

# Files dropped on the page as a user's drag would drop them.
DROP = """
const [files] = arguments;
const transfer = new DataTransfer();
for (const [data, name] of files) {
  const bytes = Uint8Array.from(atob(data), (c) => c.charCodeAt(0));
  transfer.items.add(new File([bytes], name));
}
const drop = new DragEvent('drop', { dataTransfer: transfer, bubbles: true, cancelable: true });
document.body.dispatchEvent(drop);
"""


def save_screenshot(driver, path):
    """The whole page, not only what the window shows."""
    width, height = driver.execute_script(
        "const e = document.documentElement; return [Math.max(e.scrollWidth, innerWidth), e.scrollHeight];")
    clip = {"x": 0, "y": 0, "width": width, "height": height, "scale": 1}
    shot = driver.execute_cdp_cmd("Page.captureScreenshot",
                                  {"format": "png", "captureBeyondViewport": True, "clip": clip})
    with open(path, "wb") as f:
        f.write(base64.b64decode(shot["data"]))


def body(driver, attribute):
    return driver.find_element(By.TAG_NAME, "body").get_attribute(attribute)


def drop(driver, images):
    files = []
    for image in images:
        with open(image, "rb") as f:
            files.append([base64.b64encode(f.read()).decode("ascii"), os.path.basename(image)])
    driver.execute_script(DROP, files)


def choose(driver, images):
    """The files chosen with the file input, in place of those chosen before:
    the driver adds to what a multiple-file input already holds."""
    driver.execute_script("document.getElementById('image').value = '';")
    driver.find_element(By.ID, "image").send_keys("\n".join(os.path.abspath(image) for image in images))


def pick(driver, case, image):
    if case.startswith("dropped-"):
        drop(driver, [image])
    else:
        choose(driver, [image])


WIDTHS = (1280, 390)


def at_widths(driver, case, shots):
    """The page as a desktop and a phone show it: nothing wider than the
    window, and a screenshot at each width."""
    for width in WIDTHS:
        driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                               {"width": width, "height": 900, "deviceScaleFactor": 1, "mobile": width < 600})
        time.sleep(0.3)
        overflow = driver.execute_script("return document.documentElement.scrollWidth - innerWidth;")
        check(case, f"the page's sideways overflow at {width} px (pixels)", True, overflow <= 0)
        save_screenshot(driver, os.path.join(shots, f"{case}-{width}.png"))
    driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})


def other_disk(driver, tools, image, scratch, serial, shots):
    """The second disk of a two-disk file, cut with one click."""
    case = "a-and-f, disk 1"
    expected = run_programs(tools, image, scratch, disk=1)
    driver.find_element(By.XPATH, "//ul[@id='disks']//button[text()='Cut disk 1']").click()
    settled(driver, serial)
    check_answer(driver, case, os.path.basename(image), expected)
    save_screenshot(driver, os.path.join(shots, "a-and-f-disk-1.png"))
    at_widths(driver, "a-and-f-disk-1", shots)


def joined_sources(warnings, name, length, dumps):
    """What the page must say of a file cut from several dumps: how many of its
    sectors each dump gave, from the tool's warnings (the sectors they name as
    from another dump; the rest, but those missing, from the first)."""
    counts = {dump: 0 for dump in dumps}
    missing = 0
    for line in warnings:
        file_name, _, said = line.removeprefix("zanvo-extract: warning: ").partition(": ")
        if file_name != name:
            continue
        found = re.match(r"(\d+) of \d+ sectors? missing", said)
        missing += int(found.group(1)) if found else 0
        found = re.match(r"(?:complete from \d+ dumps?|\d+ sectors? from other dumps): (.*)$", said)
        for group in found.group(1).split("; ") if found else []:
            places, _, dump = group.rpartition(" from ")
            counts[dump] += sum(int(b) - int(a) + 1 if b else 1
                                for a, b in re.findall(r"sectors? (\d+)(?:-(\d+))?", places))
    counts[dumps[0]] = (length + 255) // 256 - missing - sum(counts[d] for d in dumps[1:])
    given = [f"{dump}: {n} sector{'' if n == 1 else 's'}" for dump, n in counts.items() if n > 0]
    return f"from {', '.join(given)}" if given else "from no dump"


def joined_dumps(driver, tools, images, scratch, serial, shots, dropped=False):
    """Several dumps of one disk chosen (or dropped) at once: the page cuts
    from all of them as `zanvo-extract --also` does, with its warnings and
    tally, and says of each file which dump gave how many of its sectors."""
    case = "joined, dropped" if dropped else "joined"
    names = [os.path.basename(image) for image in images]
    os.makedirs(scratch)
    for image in images:
        os.symlink(os.path.abspath(image), os.path.join(scratch, os.path.basename(image)))
    args = [os.path.join(tools, "tool", "zanvo-extract")]
    for name in names[1:]:
        args += ["--also", name]
    run = subprocess.run(args + [names[0]], cwd=scratch, capture_output=True, check=False)
    said = run.stderr.decode("ascii").splitlines()
    warnings = [line for line in said if line.startswith("zanvo-extract: warning: ")]
    tally = next((line.removeprefix("zanvo-extract: ") for line in said if line.startswith("zanvo-extract: of ")), "")
    cut = [line.removeprefix("cutting ... ") for line in run.stdout.decode("cp932").splitlines()[1:]]
    files = {}
    for name in cut:
        with open(os.path.join(scratch, name), "rb") as f:
            files[name] = f.read()

    (drop if dropped else choose)(driver, images)
    settled(driver, serial)
    check(case, "the tool's status", 0, run.returncode)
    check(case, "warnings", [warning_for_the_page(line) for line in warnings],
          [e.get_attribute("textContent") for e in driver.find_elements(By.CSS_SELECTOR, "#warnings li")])
    check(case, "why", f"Disk A recognised in {names[0]} joined with {', '.join(names[1:])}: {tally}.",
          text_of(driver, "why"))
    items = driver.find_elements(By.CSS_SELECTOR, "#files li")
    check(case, "the files, in the tool's order", cut,
          [e.find_element(By.TAG_NAME, "a").get_attribute("download") for e in items])
    for item in items:
        link = item.find_element(By.TAG_NAME, "a")
        name = link.get_attribute("download")
        check(case, f"{name}'s bytes", digest(files.get(name)), digest(page_bytes(driver, link.get_attribute("href"))))
        check(case, f"{name}'s sources", joined_sources(warnings, name, len(files.get(name, b"")), names),
              item.find_element(By.CLASS_NAME, "sources").get_attribute("textContent"))
    save_screenshot(driver, os.path.join(shots, f"{case.replace(', ', '-')}.png"))
    return len(files), len(warnings)


def settled(driver, serial, timeout=120):
    """Waits for the page's `serial`th outcome."""
    WebDriverWait(driver, timeout).until(lambda d: body(d, "data-serial") == str(serial))


def open_page(driver, url):
    driver.get(url)
    WebDriverWait(driver, 30).until(lambda d: body(d, "data-state") == "ready")


def near_limit(driver, image, expected, serial, shots):
    """The page works on a large image, showing so and answering its user,
    then matches the programs on it. Returns the figures measured, and how
    long the examination took in ms."""
    case = "near-limit"
    responsiveness.install_probe(driver)
    pick(driver, case, image)
    save_screenshot(driver, os.path.join(shots, f"{case}-working.png"))
    seen = responsiveness.while_working(driver)
    settled(driver, serial)
    check(case, "the working indicator shown", True, seen["indicator"])
    check(case, "the status while working", True,
          seen["status"].startswith(f"Examining {os.path.basename(image)} ("))
    figures, problems, work = responsiveness.measure(driver, seen)
    check(case, "the page answering while it works", [], [why for _, why in problems])
    check(case, "the working indicator after", False, shown(driver, "working"))
    check_answer(driver, case, os.path.basename(image), expected)
    save_screenshot(driver, os.path.join(shots, f"{case}.png"))
    return figures, work


def later_pick(driver, heavy, work, disk_a, expected, serial, shots):
    """A pick while the large image is examined ends that examination: its
    worker is stopped and its answer never shows. (`heavy` must not be the
    file picked last: picking the same file again changes nothing. `work`:
    how long its examination took before, in ms.)"""
    case = "later-pick"
    pick(driver, case, heavy)
    WebDriverWait(driver, 30).until(lambda d: body(d, "data-state") == "working")
    time.sleep(0.5)
    pick(driver, case, disk_a)
    settled(driver, serial)
    check_answer(driver, case, os.path.basename(disk_a), expected)
    check(case, "the large image's worker, then disk-a's, ended", [True, True], responsiveness.jobs(driver)[-2:])
    time.sleep(1.5 * work / 1000)
    check(case, "outcomes after waiting longer than the large image takes", str(serial), body(driver, "data-serial"))
    check(case, "the verdict after waiting", expected["stdout"][0], text_of(driver, "verdict"))
    save_screenshot(driver, os.path.join(shots, f"{case}.png"))


def over_limit(driver, too_big, serial, shots):
    case = "over-limit"
    given = len(responsiveness.jobs(driver))
    pick(driver, case, too_big)
    settled(driver, serial)
    size = os.path.getsize(too_big)
    check(case, "the refusal", f"{os.path.basename(too_big)} is {size:,} bytes, over the 134,217,728 bytes "
          "(128 MiB) this page examines; it was not read.", text_of(driver, "status"))
    check(case, "the result shown", False, shown(driver, "result"))
    check(case, "workers given the file", given, len(responsiveness.jobs(driver)))
    save_screenshot(driver, os.path.join(shots, f"{case}.png"))


def main_thread_control(driver, base, heavy):
    """The page with its examiner on its own thread must fail the check."""
    case = "main-thread control"
    open_page(driver, base + "main-thread/")
    responsiveness.install_probe(driver)
    pick(driver, case, heavy)
    seen = responsiveness.while_working(driver)
    settled(driver, 1)
    figures, problems, _ = responsiveness.measure(driver, seen)
    if not {"frames", "keys", "answers"} & {what for what, _ in problems}:
        failures.append((case, f"the page examining on its own thread passed the check ({figures})"))
    return figures


def main_thread_site(site, scratch):
    """The site with the test's stand-in for Worker loaded before the page's script."""
    folder = os.path.join(scratch, "main-thread")
    shutil.copytree(site, folder)
    shutil.copy(os.path.join(os.path.dirname(os.path.abspath(__file__)), "main_thread_shim.js"), folder)
    index = os.path.join(folder, "index.html")
    with open(index, encoding="utf-8") as f:
        html = f.read()
    shim = '<script type="module" src="main_thread_shim.js"></script>\n  <script type="module" src="app.js">'
    with open(index, "w", encoding="utf-8") as f:
        f.write(html.replace('<script type="module" src="app.js">', shim))
    return folder


def browser(net_log, profile):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--window-size=1100,1200", f"--user-data-dir={profile}", f"--log-net-log={net_log}"):
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.set_script_timeout(60)
    return driver


def try_page(driver, base, args, scratch, report):
    """Every case in one page, then the page on its own thread. Returns the
    page's console errors from before the latter."""
    tools = os.path.abspath(args.tools)
    cases = dict(case.split("=", 1) for case in args.cases)
    open_page(driver, base)
    expected = {}
    serial = 0
    for case, image in cases.items():
        before = len(failures)
        expected[case] = run_programs(tools, image, os.path.join(scratch, case))
        pick(driver, case, image)
        serial += 1
        settled(driver, serial)
        check_answer(driver, case, os.path.basename(image), expected[case])
        save_screenshot(driver, os.path.join(args.screenshots, f"{case}.png"))
        if case == "damaged-a":
            at_widths(driver, case, args.screenshots)
        report(case, f"{len(expected[case]['files'])} files, {len(expected[case]['warnings'])} warnings, "
               f"{float(body(driver, 'data-pick-to-links-ms') or 'nan'):.1f} ms from the pick to the links", before)
        if case == "a-and-f":
            before = len(failures)
            serial += 1
            other_disk(driver, tools, image, os.path.join(scratch, "a-and-f-1"), serial, args.screenshots)
            report("a-and-f, disk 1", "the other disk cut with its button, as zanvo-extract --disk=1 cuts it", before)

    before = len(failures)
    serial += 1
    count, warned = joined_dumps(driver, tools, args.joined, os.path.join(scratch, "joined"), serial,
                                 args.screenshots)
    report("joined", f"{len(args.joined)} dumps chosen together: {count} files, {warned} warnings", before)
    before = len(failures)
    serial += 1
    joined_dumps(driver, tools, args.joined, os.path.join(scratch, "joined-dropped"), serial, args.screenshots,
                 dropped=True)
    report("joined, dropped", f"the same {len(args.joined)} dumps dropped together", before)

    before = len(failures)
    heavy = run_programs(tools, args.near_limit, os.path.join(scratch, "near-limit"))
    figures, work = near_limit(driver, args.near_limit, heavy, serial + 1, args.screenshots)
    report("near-limit", f"{os.path.getsize(args.near_limit):,} bytes: {figures}", before)
    before = len(failures)
    again = os.path.join(scratch, "near-limit-again.d88")
    os.symlink(os.path.abspath(args.near_limit), again)
    later_pick(driver, again, work, cases["disk-a"], expected["disk-a"], serial + 2, args.screenshots)
    report("later-pick", "the running examination ended, the later pick's answer shown", before)
    before = len(failures)
    over_limit(driver, args.over_limit, serial + 3, args.screenshots)
    report("over-limit", f"{os.path.getsize(args.over_limit):,} bytes refused unread", before)
    errors = [entry["message"] for entry in driver.get_log("browser") if entry["level"] == "SEVERE"]

    before = len(failures)
    figures = main_thread_control(driver, base, args.near_limit)
    report("main-thread control", f"the check fails it as it should: {figures}", before)
    return errors


def main():
    parser = argparse.ArgumentParser()
    for option in ("--site", "--tools", "--screenshots", "--near-limit", "--over-limit"):
        parser.add_argument(option, required=True)
    parser.add_argument("--joined", action="append", required=True, metavar="IMAGE",
                        help="a dump of a set chosen together, the image first")
    parser.add_argument("cases", nargs="+", metavar="NAME=IMAGE")
    args = parser.parse_args()
    os.makedirs(args.screenshots, exist_ok=True)
    done = []

    def report(case, text, before):
        done.append(case)
        print(f"{'ok  ' if len(failures) == before else 'FAIL'} {case}: {text}", flush=True)

    scratch = tempfile.mkdtemp(prefix="zanvo-web-test.")
    try:
        server = SiteServer({"/": args.site, "/main-thread/": main_thread_site(args.site, scratch)})
        net_log = os.path.join(scratch, "net-log.json")
        driver = browser(net_log, os.path.join(scratch, "chromium-profile"))
        try:
            errors = try_page(driver, server.base, args, scratch, report)
        finally:
            driver.quit()  # which also closes the network log
            server.shutdown()
        before = len(failures)
        check("the page", "console errors", [], errors)
        check("the page", "requests beyond the site, from the page or its workers", [],
              requests_elsewhere(net_log, server.origin))
        report("the page", "no console error, nothing asked of any other server", before)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)

    for case, failure in failures:
        print(f"  {case}: {failure}", file=sys.stderr)
    failed = len({case for case, _ in failures})
    print(f"screenshots: {args.screenshots}")
    print(f"{len(done) - failed} passed, {failed} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
