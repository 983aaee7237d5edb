"""Drives the built page in headless Chromium and holds it to the programs.

For each image the command-line programs are run first, in a scratch folder
of their own; then the image is picked in the page, and what the page says and
offers must match: the recognition line and the warnings word for word, the
summary and the map as d88info prints them, and every download, the .zip's
entries too, byte for byte. One page serves every case in turn, so nothing
may be left over from the image before. A screenshot of each case is saved.

    web_test.py --site DIR --tools BUILD_DIR --screenshots DIR NAME=IMAGE...

An image whose NAME starts with "dropped-" is dropped on the page rather
than picked with the file input.
"""

import argparse
import base64
import functools
import hashlib
import http.server
import io
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import zipfile

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

FETCH_BASE64 = """
const [url, done] = arguments;
fetch(url).then((r) => r.arrayBuffer()).then((buffer) => {
  const bytes = new Uint8Array(buffer);
  let text = '';
  for (let i = 0; i < bytes.length; i += 0x8000)
    text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
  done(btoa(text));
}).catch((error) => done('failed: ' + error));
"""

# A file dropped on the page as a user's drag would drop it.
DROP = """
const [data, name] = arguments;
const bytes = Uint8Array.from(atob(data), (c) => c.charCodeAt(0));
const transfer = new DataTransfer();
transfer.items.add(new File([bytes], name));
const drop = new DragEvent('drop', { dataTransfer: transfer, bubbles: true, cancelable: true });
document.body.dispatchEvent(drop);
"""

failures = []


def check(case, what, expected, actual):
    if expected != actual:
        failures.append((case, f"{what}: expected {expected!r}, page has {actual!r}"))


def run_programs(tools, image, scratch):
    """What zanvo-extract and d88info say and write for the image."""
    name = os.path.basename(image)
    os.makedirs(scratch)
    shutil.copy(image, scratch)

    def run(*args):
        return subprocess.run(args, cwd=scratch, capture_output=True, check=False)

    cut = run(os.path.join(tools, "tool", "zanvo-extract"), name)
    summary = run(os.path.join(tools, "d88info", "d88info"), name)
    listing = run(os.path.join(tools, "d88info", "d88info"), name, "0")
    files = {}
    for entry in sorted(os.listdir(scratch)):
        if entry != name:
            with open(os.path.join(scratch, entry), "rb") as f:
                files[entry] = f.read()
    in_map = False
    map_lines = []
    for line in listing.stdout.decode("ascii").splitlines():
        in_map = in_map or line.startswith("map")
        if in_map and line.startswith("track "):
            map_lines.append(line)
    return {
        "status": cut.returncode,
        "stdout": cut.stdout.decode("cp932").splitlines(),
        "warnings": cut.stderr.decode("ascii").splitlines(),
        "files": files,
        "summary": summary.stdout.decode("ascii") if summary.returncode == 0 else "",
        "refusal": summary.stderr.decode("ascii").strip(),
        "map": "\n".join(map_lines),
    }


def digest(data):
    if data is None:
        return "none"
    return f"{len(data)} bytes, sha256 {hashlib.sha256(data).hexdigest()[:16]}"


def page_bytes(driver, url):
    answer = driver.execute_async_script(FETCH_BASE64, url)
    if answer.startswith("failed: "):
        raise RuntimeError(f"{url}: {answer}")
    return base64.b64decode(answer)


def save_screenshot(driver, path):
    """The whole page, not only what the window shows."""
    width, height = driver.execute_script(
        "const e = document.documentElement; return [Math.max(e.scrollWidth, innerWidth), e.scrollHeight];")
    clip = {"x": 0, "y": 0, "width": width, "height": height, "scale": 1}
    shot = driver.execute_cdp_cmd("Page.captureScreenshot",
                                  {"format": "png", "captureBeyondViewport": True, "clip": clip})
    with open(path, "wb") as f:
        f.write(base64.b64decode(shot["data"]))


def text_of(driver, element_id):
    return driver.find_element(By.ID, element_id).get_attribute("textContent")


def shown(driver, element_id):
    return driver.find_element(By.ID, element_id).get_attribute("hidden") is None


def try_case(driver, case, image, expected, serial, screenshots):
    name = os.path.basename(image)
    if case.startswith("dropped-"):
        with open(image, "rb") as f:
            driver.execute_script(DROP, base64.b64encode(f.read()).decode("ascii"), name)
    else:
        driver.find_element(By.ID, "image").send_keys(os.path.abspath(image))
    body = driver.find_element(By.TAG_NAME, "body")
    WebDriverWait(driver, 30).until(lambda d: body.get_attribute("data-serial") == str(serial))
    verdict = text_of(driver, "verdict")
    why = text_of(driver, "why")

    def texts(selector):
        return [e.get_attribute("textContent") for e in driver.find_elements(By.CSS_SELECTOR, selector)]

    links = {a.get_attribute("download"): a.get_attribute("href")
             for a in driver.find_elements(By.CSS_SELECTOR, "#files a")}

    check(case, "the programs' status", 0, expected["status"])
    check(case, "warnings", expected["warnings"], texts("#warnings li"))
    check(case, "errors", [], texts("#problems li"))
    if expected["stdout"]:
        check(case, "the recognition line", expected["stdout"][0], verdict)
        cut = [line.removeprefix("cutting ... ") for line in expected["stdout"][1:]]
        check(case, "the files, in the tool's order", cut, list(links))
    elif expected["summary"]:
        check(case, "verdict", "Not recognised: nothing was cut", verdict)
        boot = next(line for line in expected["summary"].splitlines() if line.startswith("  boot:"))
        check(case, "why, from the summary", f"{name} is neither Disk A nor Disk F of ZANVO. "
              f"Its first disk's boot sector: {boot.removeprefix('  boot:').strip()}.", why)
    else:
        check(case, "verdict", "Not a D88 image: nothing was cut", verdict)
        check(case, "d88info's reason", expected["refusal"].removeprefix("d88info: "), why)

    check(case, "file names", sorted(expected["files"]), sorted(links))
    for file_name, url in links.items():
        got = page_bytes(driver, url)
        check(case, f"{file_name}'s bytes", digest(expected["files"].get(file_name)), digest(got))
    check(case, "files shown", bool(expected["files"]), shown(driver, "files-box"))
    if expected["files"]:
        zip_url = driver.find_element(By.ID, "zip").get_attribute("href")
        archive = zipfile.ZipFile(io.BytesIO(page_bytes(driver, zip_url)))
        check(case, ".zip entries", sorted(expected["files"]), sorted(archive.namelist()))
        for entry in archive.namelist():
            check(case, f".zip's {entry}", digest(expected["files"].get(entry)), digest(archive.read(entry)))

    summary = text_of(driver, "summary") if shown(driver, "summary-box") else ""
    check(case, "summary", expected["summary"], summary)
    sector_map = text_of(driver, "map-text") if shown(driver, "map-box") else ""
    check(case, "map as text", expected["map"], sector_map)
    save_screenshot(driver, os.path.join(screenshots, f"{case}.png"))
    return float(body.get_attribute("data-pick-to-links-ms") or "nan")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--site", required=True)
    parser.add_argument("--tools", required=True)
    parser.add_argument("--screenshots", required=True)
    parser.add_argument("cases", nargs="+", metavar="NAME=IMAGE")
    args = parser.parse_args()
    os.makedirs(args.screenshots, exist_ok=True)

    quiet = type("Quiet", (http.server.SimpleHTTPRequestHandler,), {"log_message": lambda *a: None})
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(quiet, directory=args.site))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = f"http://127.0.0.1:{server.server_address[1]}/"

    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    profile = tempfile.mkdtemp(prefix="zanvo-web-chromium.")
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--window-size=1100,1200", f"--user-data-dir={profile}"):
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.set_script_timeout(30)
    timings = {}
    with tempfile.TemporaryDirectory(prefix="zanvo-web-test.") as scratch:
        try:
            driver.get(base)
            WebDriverWait(driver, 30).until(
                lambda d: d.find_element(By.TAG_NAME, "body").get_attribute("data-state") == "ready"
            )
            for serial, case_arg in enumerate(args.cases, start=1):
                case, image = case_arg.split("=", 1)
                expected = run_programs(os.path.abspath(args.tools), image, os.path.join(scratch, case))
                before = len(failures)
                timings[case] = try_case(driver, case, image, expected, serial, args.screenshots)
                mark = "ok  " if len(failures) == before else "FAIL"
                print(f"{mark} {case}: {len(expected['files'])} files, {len(expected['warnings'])} warnings, "
                      f"{timings[case]:.1f} ms from the pick to the links")
            # Everything the page asked for came from the site, or from itself.
            fetched = driver.execute_script(
                "return performance.getEntriesByType('resource').map((entry) => entry.name)")
            elsewhere = [url for url in fetched if not url.startswith((base, "blob:" + base[:-1]))]
            check("the page", "requests beyond the site", [], elsewhere)
            errors = [entry["message"] for entry in driver.get_log("browser") if entry["level"] == "SEVERE"]
            check("the page", "console errors", [], errors)
        finally:
            driver.quit()
            server.shutdown()
            shutil.rmtree(profile, ignore_errors=True)

    for case, failure in failures:
        print(f"  {case}: {failure}", file=sys.stderr)
    checked = len(timings) + 1  # each case, and the page as a whole
    failed = len({case for case, _ in failures})
    print(f"screenshots: {args.screenshots}")
    print(f"{checked - failed} passed, {failed} failed")
    return 1 if failures or len(timings) < len(args.cases) else 0


if __name__ == "__main__":
    sys.exit(main())
