#!/usr/bin/python3
"""The browser of the OAuth tests. Wine's winebrowser runs it as a Unix
program with the address to open as its last argument, once it is named in
HKCU\\Software\\Wine\\WineBrowser, value Browsers:

  /usr/bin/python3 /abs/standin_browser.py DIR

DIR/mode says what the user does (one line; USER defaults to
alice@quillo.test):
  approve USER    signs in as USER and lets Quillo in
  deny            refuses
  wrong-state     signs in as USER, but the browser returns to the loopback
    [USER]        listener with another state than Quillo sent
  ignore          does nothing (a browser the user closed)

A sign-in address is followed like a browser would: the authorization
server's page with the consent cookie (trusting DIR/ca.crt), then its
redirect to the loopback listener. A device verification address
(/device?user_code=...) approves or refuses that code. Each step goes to
DIR/browser.log as host, path and status, and the page the listener answered
with; never a code or a token.
"""

import http.client
import os
import ssl
import sys
import time
import urllib.parse

DEFAULT_USER = "alice@quillo.test"
# Nobody waits on a browser, but neither may it linger when the listener or
# the server does not answer.
TIMEOUT = 10
KEPT_PAGE = 2000


def main(argv):
    if len(argv) < 3:
        sys.stderr.write(__doc__)
        return 2
    folder, url = argv[1], argv[-1]
    log = open(os.path.join(folder, "browser.log"), "a", buffering=1)

    def note(line):
        log.write(time.strftime("%H:%M:%S ") + line + "\n")

    try:
        words = open(os.path.join(folder, "mode")).read().split()
    except OSError:
        words = []
    mode = words[0] if words else "ignore"
    user = words[1] if len(words) > 1 else DEFAULT_USER
    target = urllib.parse.urlsplit(url)
    note(f"open {target.scheme}://{target.netloc}{target.path} mode={mode}")
    if mode == "ignore":
        return 0
    cookie = "quillo_test_deny=1" if mode == "deny" else "quillo_test_approve=" + urllib.parse.quote(user)
    try:
        status, headers, page = fetch(url, cookie, os.path.join(folder, "ca.crt"))
        note(f"server answered {status}")
        location = headers.get("location")
        if target.path.endswith("/device") or not location:
            note("page: " + page[:KEPT_PAGE])
            return 0
        back = urllib.parse.urlsplit(location)
        if mode == "wrong-state":
            query = urllib.parse.parse_qsl(back.query, keep_blank_values=True)
            query = [(k, v + "x" if k == "state" else v) for k, v in query]
            location = urllib.parse.urlunsplit(back._replace(query=urllib.parse.urlencode(query)))
        returned = sorted(k for k, _ in urllib.parse.parse_qsl(back.query))
        note(f"return to {back.scheme}://{back.netloc}{back.path} with {' '.join(returned)}")
        status, _, page = fetch(location, None, None)
        note(f"listener answered {status}")
        note("page: " + page[:KEPT_PAGE])
    except (OSError, http.client.HTTPException) as error:
        note(f"failed: {error!r}")
        return 1
    return 0


def fetch(url, cookie, ca_file):
    """One GET, redirects not followed: (status, headers, page)."""
    parts = urllib.parse.urlsplit(url)
    if parts.scheme == "https":
        context = ssl.create_default_context(cafile=ca_file)
        connection = http.client.HTTPSConnection(parts.hostname, parts.port or 443, timeout=TIMEOUT,
                                                 context=context)
    else:
        connection = http.client.HTTPConnection(parts.hostname, parts.port or 80, timeout=TIMEOUT)
    headers = {"User-Agent": "QuilloStandinBrowser/1"}
    if cookie:
        headers["Cookie"] = cookie
    try:
        path = parts.path or "/"
        connection.request("GET", path + ("?" + parts.query if parts.query else ""), headers=headers)
        response = connection.getresponse()
        page = response.read().decode("utf-8", "replace")
        return response.status, {k.lower(): v for k, v in response.getheaders()}, page
    finally:
        connection.close()


if __name__ == "__main__":
    sys.exit(main(sys.argv))
