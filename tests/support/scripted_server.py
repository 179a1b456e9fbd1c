#!/usr/bin/env python3
"""Scripted HTTP server for the tests, run on the host beside Wine.

Tests script it through /__control/ requests: reset, serve (queue a reply
for a path), requests (the log, with each request's arrival in ms), other_port (a second port with the same
scripts, where a redirect can lead) and silent_port (a port that takes
connections and never says a word, until the next reset). Every scripted answer carries
"Connection: close" and ends the connection: WinINet reuses connections
otherwise. Usage: scripted_server.py PORT_FILE (binds 127.0.0.1, port 0).
"""
import socket
import socketserver
import sys
import threading
import time
from urllib.parse import parse_qs, urlsplit

lock = threading.Lock()
scripts = {}   # path -> list of [reply, remaining uses or None]
log = []       # (method, path, version, port, arrival ms, [(name, value)])
ports = []     # the main one, then the other
silent = []    # listening sockets whose connections are never accepted


def read_head(conn):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = conn.recv(65536)
        if not chunk:
            return None, b""
        data += chunk
    head, rest = data.split(b"\r\n\r\n", 1)
    lines = head.decode("latin-1").split("\r\n")
    parts = lines[0].split(" ")
    headers = [tuple(x.strip() for x in line.split(":", 1)) for line in lines[1:] if ":" in line]
    return (parts + ["", "", ""])[:3] + [headers], rest


def read_body(conn, headers, rest):
    length = int(dict((k.lower(), v) for k, v in headers).get("content-length", "0") or 0)
    while len(rest) < length:
        chunk = conn.recv(65536)
        if not chunk:
            break
        rest += chunk
    return rest[:length]


def control(conn, method, target, body):
    url = urlsplit(target)
    query = {k: v[-1] for k, v in parse_qs(url.query, keep_blank_values=True).items()}
    answer = b""
    with lock:
        if url.path == "/__control/reset":
            scripts.clear()
            log.clear()
            for s in silent:
                s.close()  # resets what waits on them
            silent.clear()
        elif url.path == "/__control/serve":
            reply = dict(query)
            reply["headers"] = parse_qs(url.query).get("header", [])
            reply["body"] = body
            times = int(query.get("times", "0")) or None
            scripts.setdefault(query["path"], []).append([reply, times])
        elif url.path == "/__control/silent_port":
            s = socket.socket()
            s.bind(("127.0.0.1", 0))
            s.listen(8)
            silent.append(s)
            answer = str(s.getsockname()[1]).encode()
        elif url.path == "/__control/other_port":
            answer = str(ports[1]).encode()
        elif url.path == "/__control/requests":
            for m, p, v, port, at, hs in log:
                answer += f"{m} {p} {v} {port} {at}\n".encode("latin-1")
                answer += b"".join(f"{k}: {val}\n".encode("latin-1") for k, val in hs) + b"\n"
    conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\nConnection: close\r\n\r\n" % len(answer) + answer)


def take_reply(path, method):
    """The first reply queued for the path that answers this method (a reply
    scripted with only=METHOD answers that one alone)."""
    with lock:
        queue = scripts.get(path) or scripts.get(path.split("?", 1)[0]) or []
        entries = [entry for entry in queue if entry[0].get("only", method) == method]
        if not entries:
            return {"status": "404", "reason": "Not Found", "headers": [], "body": b"not found"}
        entry = entries[0]
        if entry[1] is not None:
            entry[1] -= 1
            if entry[1] == 0 and len(queue) > 1:
                queue.remove(entry)
        return entry[0]


BOUNDARY = "VexilScriptedParts"


def several_ranges(specs, body):
    """A multipart/byteranges answer with a part per range, as nginx writes it."""
    parts = b""
    for spec in specs:
        first, last = spec.split("-")
        start, end = int(first), min(int(last), len(body) - 1) if last else len(body) - 1
        if start >= len(body):
            return ("416", "Range Not Satisfiable", b"", [f"Content-Range: bytes */{len(body)}"])
        parts += (f"\r\n--{BOUNDARY}\r\nContent-Type: application/octet-stream\r\n"
                  f"Content-Range: bytes {start}-{end}/{len(body)}\r\n\r\n").encode() + body[start:end + 1]
    parts += f"\r\n--{BOUNDARY}--\r\n".encode()
    return ("206", "Partial Content", parts, [f"Content-Type: multipart/byteranges; boundary={BOUNDARY}"])


def byte_range(reply, headers, body):
    """Honours a "Range: bytes=N-" request when the reply asks for it; with
    ranges=exact a "bytes=N-M" one too, else that gets the rest of the body
    from N (and says so), as servers do that mishandle closed ranges. Several
    ranges in one request get a part each with ranges=multi, and the whole
    body otherwise, as servers that ignore them send."""
    wanted = dict((k.lower(), v) for k, v in headers).get("range", "")
    if reply.get("ranges") not in ("1", "exact", "multi") or not wanted.startswith("bytes="):
        return None
    if "," in wanted:
        return several_ranges(wanted[6:].split(","), body) if reply["ranges"] == "multi" else None
    first, last = (wanted[6:].split("-") + [""])[:2]
    start = int(first or 0)
    end = min(int(last), len(body) - 1) if last and reply["ranges"] in ("exact", "multi") else len(body) - 1
    if start >= len(body):
        return ("416", "Range Not Satisfiable", b"", [f"Content-Range: bytes */{len(body)}"])
    return ("206", "Partial Content", body[start:end + 1], [f"Content-Range: bytes {start}-{end}/{len(body)}"])


def send_body(conn, body, rate, trickle_ms):
    """All at once, paced to rate bytes per second so a transfer lasts, or
    one byte every trickle_ms."""
    if not rate and not trickle_ms:
        conn.sendall(body)
        return
    step = 1 if trickle_ms else 65536
    for start in range(0, len(body), step):
        conn.sendall(body[start:start + step])
        time.sleep(trickle_ms / 1000.0 if trickle_ms else step / rate)


def answer(conn, method, target, headers):
    reply = take_reply(target, method)
    if int(reply.get("stall_ms", "0")):
        time.sleep(int(reply["stall_ms"]) / 1000.0)
    if reply.get("refuse") == "1":
        return
    status, reason, body = reply.get("status", "200"), reply.get("reason", "OK"), reply["body"]
    extra = list(reply["headers"])
    ranged = byte_range(reply, headers, body)
    if ranged:
        status, reason, body, more = ranged
        extra += more
    head = f"HTTP/1.1 {status} {reason}\r\n" + "".join(h + "\r\n" for h in extra)
    length = reply.get("length", "auto")
    if length == "auto":
        head += f"Content-Length: {len(body)}\r\n"
    elif length != "none":
        head += f"Content-Length: {length}\r\n"
    conn.sendall((head + "Connection: close\r\n\r\n").encode("latin-1"))
    if method != "HEAD":
        send_body(conn, body[: int(reply.get("close_after", len(body)))], int(reply.get("rate", "0")),
                  int(reply.get("trickle_ms", "0")))


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        conn = self.request
        first, rest = read_head(conn)
        if first is None:
            return
        method, target, version, headers = first
        body = read_body(conn, headers, rest)
        if target.startswith("/__control/"):
            control(conn, method, target, body)
            return
        with lock:
            log.append((method, target, version, self.server.server_address[1], int(time.monotonic() * 1000), headers))
        try:
            answer(conn, method, target, headers)
            conn.shutdown(socket.SHUT_WR)
        except OSError:
            pass  # the client went away first, as cancel and time-out tests make it


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    server, other = Server(("127.0.0.1", 0), Handler), Server(("127.0.0.1", 0), Handler)
    ports.extend([server.server_address[1], other.server_address[1]])
    threading.Thread(target=other.serve_forever, daemon=True).start()
    with open(sys.argv[1], "w") as f:
        f.write(str(server.server_address[1]))
    server.serve_forever()


if __name__ == "__main__":
    main()
