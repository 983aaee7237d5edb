"""The site on 127.0.0.1, and what the page asked of any server.

The server answers from several folders by URL prefix ("/main-thread/"
before "/"). The browser's network log (--log-net-log) names the origin that
started each request, so the page's and its workers' requests (which the
page's own resource timing never lists for a worker) can be told from the
browser's own traffic, and any of them outside the site found.
"""

import functools
import http.server
import json
import os
import threading
import urllib.parse


class Handler(http.server.SimpleHTTPRequestHandler):
    def __init__(self, *args, folders, **kwargs):
        self.folders = folders
        super().__init__(*args, directory=folders["/"], **kwargs)

    def log_message(self, *args):
        pass

    def translate_path(self, path):
        path = urllib.parse.urlsplit(path).path
        prefix = max((p for p in self.folders if path.startswith(p)), key=len)
        folder = self.folders[prefix]
        target = os.path.normpath(os.path.join(folder, urllib.parse.unquote(path[len(prefix):])))
        return target if target == folder or target.startswith(folder + os.sep) else os.path.join(folder, "-")


class SiteServer:
    def __init__(self, folders):
        """folders: URL prefix to the folder it serves; "/" is the site."""
        folders = {prefix: os.path.abspath(folder) for prefix, folder in folders.items()}
        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Handler, folders=folders))
        self.origin = f"http://127.0.0.1:{self.httpd.server_address[1]}"
        self.base = self.origin + "/"
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def shutdown(self):
        self.httpd.shutdown()


def requests_elsewhere(net_log, origin):
    """The URLs that pages or workers of `origin` asked for outside it."""
    with open(net_log, encoding="utf-8") as f:
        text = f.read()
    try:
        log = json.loads(text)
    except json.JSONDecodeError:
        # A log the browser did not get to close lacks its last brackets.
        log = json.loads(text.rstrip().rstrip(",") + "]}")
    start = log["constants"]["logEventTypes"]["URL_REQUEST_START_JOB"]
    asked = [event["params"] for event in log["events"]
             if event["type"] == start and event.get("params", {}).get("initiator") == origin]
    if not asked:
        raise RuntimeError(f"{net_log} names no request of {origin}: the log cannot tell anything")
    return [params["url"] for params in asked if not params["url"].startswith(origin + "/")]
