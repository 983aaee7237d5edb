"""What the page must show for one image, held to what the programs say.

run_programs() runs zanvo-extract and d88info on the image in a scratch
folder; check_answer() then requires the page's answer to match: the
recognition line and the warnings word for word, the summary (its console
advice worded for the page) and the map as d88info prints them, and every
download, the .zip's entries too, byte for byte.
"""

import base64
import hashlib
import io
import os
import re
import shutil
import subprocess
import zipfile

from selenium.webdriver.common.by import By

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

failures = []


def check(case, what, expected, actual):
    if expected != actual:
        failures.append((case, f"{what}: expected {expected!r}, page has {actual!r}"))


def run_programs(tools, image, scratch):
    """What zanvo-extract and d88info say and write for the image."""
    name = os.path.basename(image)
    os.makedirs(scratch)
    os.symlink(os.path.abspath(image), os.path.join(scratch, name))

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
    shutil.rmtree(scratch)
    said = cut.stderr.decode("ascii").splitlines()
    tally = [line for line in said if line.startswith("zanvo-extract: of ")]
    return {
        "status": cut.returncode,
        "stdout": cut.stdout.decode("cp932").splitlines(),
        "warnings": [line for line in said if line.startswith("zanvo-extract: warning: ")],
        "said": [line for line in said if not line.startswith("zanvo-extract: warning: ")],
        "tally": tally[0].removeprefix("zanvo-extract: ") if tally else "",
        "files": files,
        "summary": summary.stdout.decode("ascii") if summary.returncode == 0 else "",
        "refusal": summary.stderr.decode("ascii").strip(),
        "map": "\n".join(map_lines),
    }


def for_the_page(summary):
    """d88info's summary as the page words it: the page draws disk 0's map
    itself and runs no command, so the commands d88info suggests are not
    repeated there."""
    disk, lines = None, []
    for line in summary.split("\n"):
        start = re.match(r"disk (\d+) at offset ", line)
        disk = int(start.group(1)) if start else disk
        where = "; the sector map shows where)" if disk == 0 else ")"
        line = re.sub(r"; `d88info \S+ \d+` shows where\)$", where, line)
        line = re.sub(r"`zanvo-extract --disk=(\d+) .+` cuts this disk$",
                      r"only disk 0 is cut here; zanvo-extract --disk=\1, at a console, cuts this disk", line)
        lines.append(line)
    return "\n".join(lines)


def digest(data):
    if data is None:
        return "none"
    return f"{len(data)} bytes, sha256 {hashlib.sha256(data).hexdigest()[:16]}"


def page_bytes(driver, url):
    answer = driver.execute_async_script(FETCH_BASE64, url)
    if answer.startswith("failed: "):
        raise RuntimeError(f"{url}: {answer}")
    return base64.b64decode(answer)


def text_of(driver, element_id):
    return driver.find_element(By.ID, element_id).get_attribute("textContent")


def shown(driver, element_id):
    return driver.find_element(By.ID, element_id).get_attribute("hidden") is None


def heading_glyphs(driver):
    """How many glyphs of the verdict heading the page's own font draws, and
    how many characters outside ASCII the heading has."""
    driver.execute_cdp_cmd("DOM.enable", {})
    driver.execute_cdp_cmd("CSS.enable", {})
    root = driver.execute_cdp_cmd("DOM.getDocument", {"depth": 0})["root"]["nodeId"]
    node = driver.execute_cdp_cmd("DOM.querySelector", {"nodeId": root, "selector": "#verdict"})["nodeId"]
    fonts = driver.execute_cdp_cmd("CSS.getPlatformFontsForNode", {"nodeId": node})["fonts"]
    ours = sum(font["glyphCount"] for font in fonts if font["isCustomFont"])
    return ours, sum(1 for c in text_of(driver, "verdict") if ord(c) > 0x7F)


def check_answer(driver, case, name, expected):
    """The page's answer for the image `name`, held to the programs'."""
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
        ours, wanted = heading_glyphs(driver)
        check(case, "heading glyphs drawn from the page's own font", wanted, ours)
        cut = [line.removeprefix("cutting ... ") for line in expected["stdout"][1:]]
        check(case, "the files, in the tool's order", cut, list(links))
        disk = "A" if "Disk A" in verdict else "F"
        check(case, "why", f"Disk {disk} recognised in {name}: {expected['tally']}." if expected["tally"]
              else f"Disk {disk} recognised: {len(cut)} file{'s' if len(cut) != 1 else ''} cut from {name}.", why)
        check(case, "what else the tool said", [f"zanvo-extract: {expected['tally']}"] if expected["tally"] else [],
              expected["said"])
    elif expected["summary"]:
        check(case, "verdict", "Not recognised: nothing was cut", verdict)
        boot = next(line for line in expected["summary"].splitlines() if line.startswith("  boot:"))
        check(case, "why, from the summary", f"{name} is neither Disk A nor Disk F of ZANVO. "
              f"Its first disk's boot sector: {boot.removeprefix('  boot:').strip()}.", why)
    else:
        check(case, "verdict", "Not a D88 image: nothing was cut", verdict)
        check(case, "d88info's reason", expected["refusal"].removeprefix("d88info: "), why)
        check(case, "the tool's reason", expected["said"], [f"zanvo-extract: {why}"])

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
    check(case, "summary", for_the_page(expected["summary"]), summary)
    check(case, "console commands in the summary", [], re.findall(r"`[^`]*`", summary))
    if summary:
        overflow = driver.execute_script("const e = document.getElementById('summary');"
                                         "return e.scrollWidth - e.clientWidth;")
        check(case, "the summary's sideways scroll (pixels)", 0, overflow)
    sector_map = text_of(driver, "map-text") if shown(driver, "map-box") else ""
    check(case, "map as text", expected["map"], sector_map)
