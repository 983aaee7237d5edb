"""What the page must show for one image, held to what the programs say.

run_programs() runs zanvo-extract and d88info on the image in a scratch
folder; check_answer() then requires the page's answer to match: the
recognition line and the warnings word for word (without the program's
name), the list of disks of a file of several, with what each is, the mark
of each file, the summary (its console advice worded for the page) and the
map and its legend as d88info prints them, and every download, the .zip's entries too,
byte for byte.
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


def disks_of(summary):
    """Each disk d88info's summary names, with what its boot label makes it:
    [(index, "A" | "F" | "other")], a disk said "again" left out."""
    disks, index = [], None
    for line in summary.splitlines():
        start = re.match(r"disk (\d+) at offset ", line)
        if start:
            index = int(start.group(1))
        elif line.startswith("  boot:") and index is not None:
            label = re.search(r"ZANVO Disk ([AF]) label", line)
            disks.append((index, label.group(1) if label else "other"))
    return disks


def title_disk(summary):
    """The disk the page cuts unasked: the first that is Disk A or Disk F, else 0."""
    return next((index for index, kind in disks_of(summary) if kind != "other"), 0)


def run_programs(tools, image, scratch, disk=None):
    """What zanvo-extract and d88info say and write for disk `disk` of the
    image (None: the one the page cuts unasked)."""
    name = os.path.basename(image)
    os.makedirs(scratch)
    os.symlink(os.path.abspath(image), os.path.join(scratch, name))

    def run(*args):
        return subprocess.run(args, cwd=scratch, capture_output=True, check=False)

    summary = run(os.path.join(tools, "d88info", "d88info"), name)
    if disk is None:
        disk = title_disk(summary.stdout.decode("ascii")) if summary.returncode == 0 else 0
    cut = run(os.path.join(tools, "tool", "zanvo-extract"), f"--disk={disk}", name)
    listing = run(os.path.join(tools, "d88info", "d88info"), name, str(disk))
    files = {}
    for entry in sorted(os.listdir(scratch)):
        if entry != name:
            with open(os.path.join(scratch, entry), "rb") as f:
                files[entry] = f.read()
    in_map = False
    map_lines, said = [], []
    for line in listing.stdout.decode("ascii").splitlines():
        if line.startswith("map of sector numbers"):
            in_map = True
        elif in_map and (line.startswith("track ") or line.startswith(" " * 10)):
            map_lines.append(line)
        elif in_map and line.startswith("  "):
            said.append(line[2:])  # the legend, wrapped
    # "'#' present, '.' missing, then the first that applies: 'D' duplicated,
    # ..., a digit: size code other than 1, ..."
    said = " ".join(said).replace(" then the first that applies:", "")
    legend = [("0-9" if digit else mark, words) for mark, digit, words in
              re.findall(r"(?:'(.)'|(a digit):) (.*?)(?=, (?:'.'|a digit:) |$)", said)]
    shutil.rmtree(scratch)
    said = cut.stderr.decode("ascii").splitlines()
    tally = [line for line in said if line.startswith("zanvo-extract: of ")]
    return {
        "disk": disk,
        "status": cut.returncode,
        "stdout": cut.stdout.decode("cp932").splitlines(),
        "warnings": [line for line in said if line.startswith("zanvo-extract: warning: ")],
        "said": [line for line in said if not line.startswith("zanvo-extract: warning: ")],
        "tally": tally[0].removeprefix("zanvo-extract: ") if tally else "",
        "files": files,
        "summary": summary.stdout.decode("ascii") if summary.returncode == 0 else "",
        "refusal": summary.stderr.decode("ascii").strip(),
        "map": "\n".join(map_lines),
        "legend": legend,
    }


def for_the_page(summary, cut):
    """d88info's summary as the page words it: the page draws the map of the
    disk it cut itself, cuts any disk of the file and runs no command, so the
    commands d88info suggests are not repeated there."""
    disk, lines = None, []
    for line in summary.split("\n"):
        start = re.match(r"disk (\d+) at offset ", line)
        disk = int(start.group(1)) if start else disk
        where = "; the sector map shows where)" if disk == cut else ")"
        line = re.sub(r"; `d88info \S+ \d+` shows where\)$", where, line)
        line = re.sub(r"`zanvo-extract --disk=(\d+) .+` cuts this disk$",
                      r"zanvo-extract --disk=\1 cuts this disk; here, the list of disks cuts any disk", line)
        lines.append(line)
    return "\n".join(lines)


def warning_for_the_page(line):
    """A warning of zanvo-extract as the page shows it: without the program's
    name, and pointing at the map the page draws rather than at a command."""
    line = line.removeprefix("zanvo-extract: warning: ")
    return re.sub(r"; `d88info \S+ \d+` shows where$", "; the sector map shows where", line)


def file_marks(warnings, names):
    """Each file's mark, from what zanvo-extract warns of it: complete, with
    holes (its sectors missing or stored short, written as zeros), with
    flagged sectors, with uncertain sectors."""
    holes = {name: 0 for name in names}
    flagged = dict(holes)
    uncertain = dict(holes)
    for line in warnings:
        name, _, said = line.removeprefix("zanvo-extract: warning: ").partition(": ")
        for count in re.findall(r"(\d+)(?: of \d+)? sectors? (?:missing|stored short)", said):
            holes[name] += int(count)
        found = re.match(r"(\d+) sectors? flagged", said)
        if found:
            flagged[name] += int(found.group(1))
        found = re.match(r"(\d+) of \d+ sectors? uncertain", said)
        if found:
            uncertain[name] += int(found.group(1))

    def sectors(n):
        return f"{n} sector{'' if n == 1 else 's'}"
    marks = {}
    for name in names:
        words = ([f"with holes: {sectors(holes[name])} of zeros"] if holes[name] else []) + \
            ([f"with {sectors(flagged[name])} flagged"] if flagged[name] else []) + \
            ([f"with {sectors(uncertain[name])} uncertain"] if uncertain[name] else [])
        marks[name] = ", ".join(words) or "complete"
    return marks


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
    check(case, "warnings", [warning_for_the_page(line) for line in expected["warnings"]], texts("#warnings li"))
    # The tool's word on the title's disks beside the one it cut.
    beside = [line for line in expected["said"] if " was cut; disk " in line]
    said = [line for line in expected["said"] if line not in beside]
    pairs = re.findall(r"disk (\d+) is Disk ([AF])", beside[0]) if beside else []
    check(case, "the title's disks beside the one cut",
          f"Beside the disk cut: {', '.join(f'disk {k} is Disk {x}' for k, x in pairs)}." if pairs else "",
          text_of(driver, "disks-note") if shown(driver, "disks-note") else "")
    words = {"A": "Disk A", "F": "Disk F", "other": "another disk"}
    listed = disks_of(expected["summary"])
    check(case, "the disks listed", [f"disk {k}: {words[x]}" + (" (cut)" if k == expected["disk"] else f" Cut disk {k}")
                                     for k, x in listed] if len(listed) > 1 else [],
          texts("#disks li") if shown(driver, "disks-box") else [])
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
              said)
        check(case, "each file's mark", file_marks(expected["warnings"], cut),
              {e.find_element(By.TAG_NAME, "a").get_attribute("download"):
               e.find_element(By.CLASS_NAME, "mark").get_attribute("textContent")
               for e in driver.find_elements(By.CSS_SELECTOR, "#files li")})
    elif expected["summary"]:
        check(case, "verdict", "Not recognised: nothing was cut", verdict)
        boot = next(line for line in expected["summary"].splitlines() if line.startswith("  boot:"))
        whose = "Its first disk" if expected["disk"] == 0 else f"Disk {expected['disk']}"
        check(case, "why, from the summary", f"{name} is neither Disk A nor Disk F of ZANVO. "
              f"{whose}'s boot sector: {boot.removeprefix('  boot:').strip()}.", why)
    else:
        check(case, "verdict", "Not a D88 image: nothing was cut", verdict)
        check(case, "d88info's reason", expected["refusal"].removeprefix("d88info: "), why)
        check(case, "the tool's reason", said, [f"zanvo-extract: {why}"])

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
    check(case, "summary", for_the_page(expected["summary"], expected["disk"]), summary)
    check(case, "console commands in the summary", [], re.findall(r"`[^`]*`", summary))
    if summary:
        overflow = driver.execute_script("const e = document.getElementById('summary');"
                                         "return e.scrollWidth - e.clientWidth;")
        check(case, "the summary's sideways scroll (pixels)", 0, overflow)
    sector_map = text_of(driver, "map-text") if shown(driver, "map-box") else ""
    check(case, "map as text", expected["map"], sector_map)
    if sector_map:
        check_legend(driver, case, expected["legend"])


def check_legend(driver, case, legend):
    """The legend: d88info's marks with their letters and words, then the
    two kinds of track that is not there; each entry a colour (or pattern)
    of its own."""
    entries = driver.execute_script("""
      return [...document.querySelectorAll('#legend li')].map((item) => {
        const swatch = getComputedStyle(item.querySelector('.swatch'));
        return [swatch.backgroundColor + ' ' + swatch.backgroundImage,
                item.querySelector('.letter').textContent, item.textContent];
      });""")
    check(case, "the legend's letters and words",
          [f"{mark} {words}" for mark, words in legend] + [" track absent", " track past the end of the file"],
          [text for _, _, text in entries])
    looks = [look for look, _, _ in entries]
    check(case, "legend entries sharing a colour", [], sorted({look for look in looks if looks.count(look) > 1}))
