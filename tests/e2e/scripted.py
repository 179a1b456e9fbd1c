"""Client of the scripted HTTP server (tests/support/scripted_server.py) that
tools/test.sh starts: replies queued per path, every request logged. Under a
publisher key a document it serves is signed (harness.signed) and its
signature served beside it."""
import hashlib
import os
import urllib.parse
import urllib.request

import harness

# The SHA-256 of what each URL was last served with, in this test.
SERVED_HASHES = {}


class Scripted:
    def __init__(self):
        self.address = os.environ["VEXIL_TEST_SERVER"]
        self.control("reset")
        SERVED_HASHES.clear()

    def control(self, action, body=b"", **query):
        url = f"http://{self.address}/__control/{action}?" + urllib.parse.urlencode(query, doseq=True)
        with urllib.request.urlopen(urllib.request.Request(url, data=body, method="POST"), timeout=10) as answer:
            return answer.read()

    def serve(self, path, body=b"", status=200, reason="OK", times=0, headers=(), signed=True, **options):
        """Queues a reply; options: length ("auto", "none" or a number),
        close_after (bytes of the body sent), stall_ms, trickle_ms (one byte
        each), rate (bytes a second), ranges, refuse, only (the one method
        the reply answers). Under a key, a document answered with 200 is
        signed (unless not signed) and its signature queued as often."""
        if signed and harness.SIGNED and status == 200 and path.split("?")[0].endswith(".xml"):
            body, signature = harness.signed(body)
            self.serve(harness.signature_location(path), signature, times=times, signed=False)
        if status == 200:
            SERVED_HASHES[self.url(path)] = hashlib.sha256(body).hexdigest()
        query = {"path": path, "status": status, "reason": reason, "times": times, "header": list(headers)}
        query.update({name: str(int(value) if isinstance(value, bool) else value) for name, value in options.items()})
        self.control("serve", body, **query)

    def requests(self):
        """(method, path, version, {header: value}) of every request so far."""
        found = []
        for block in self.control("requests").decode("latin-1").split("\n\n"):
            lines = block.strip("\n").split("\n")
            if not lines or not lines[0]:
                continue
            method, path, version = (lines[0].split(" ") + ["", "", ""])[:3]
            headers = dict(line.split(": ", 1) for line in lines[1:] if ": " in line)
            found.append((method, path, version, headers))
        return found

    def url(self, path):
        return f"http://{self.address}/{path.lstrip('/')}"
