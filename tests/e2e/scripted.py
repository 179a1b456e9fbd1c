"""Client of the scripted HTTP server (tests/support/scripted_server.py) that
tools/test.sh starts: replies queued per path, every request logged."""
import os
import urllib.parse
import urllib.request


class Scripted:
    def __init__(self):
        self.address = os.environ["VEXIL_TEST_SERVER"]
        self.control("reset")

    def control(self, action, body=b"", **query):
        url = f"http://{self.address}/__control/{action}?" + urllib.parse.urlencode(query, doseq=True)
        with urllib.request.urlopen(urllib.request.Request(url, data=body, method="POST"), timeout=10) as answer:
            return answer.read()

    def serve(self, path, body=b"", status=200, reason="OK", times=0, headers=(), **options):
        """Queues a reply; options: length ("auto", "none" or a number),
        close_after (bytes of the body sent), stall_ms, trickle_ms (one byte
        each), rate (bytes a second), ranges, refuse, only (the one method
        the reply answers)."""
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
