#!/usr/bin/python3
"""A TCP relay that holds every byte for a given time each way, as a long
link does: latency_relay.py LISTEN_PORT UPSTREAM_HOST UPSTREAM_PORT DELAY_MS
[RATE], RATE the bytes per second each connection passes towards the client
(none: unthrottled), as a server that is slow for this player is.

Bytes are passed on in order and never throttled: a chunk read at time t is
written at t + delay, so the relay adds a round trip of twice the delay to
every exchange (a TCP handshake included, since the upstream connection is
made only when the client's arrives) without lowering the link's rate. It is
transparent to TLS. Loopback has no netem qdisc on these kernels.
"""
import asyncio
import sys
import time


async def pipe(reader, writer, delay, rate=0):
    """Copies reader to writer, each chunk delay seconds after it arrived;
    with a rate, no faster than that."""
    queue = asyncio.Queue()
    size = max(1024, rate // 20) if rate else 65536

    async def read():
        while True:
            chunk = await reader.read(size)
            if rate and chunk:
                await asyncio.sleep(len(chunk) / rate)
            await queue.put((time.monotonic() + delay, chunk))
            if not chunk:
                return

    async def write():
        while True:
            due, chunk = await queue.get()
            wait = due - time.monotonic()
            if wait > 0:
                await asyncio.sleep(wait)
            if not chunk:
                writer.write_eof() if writer.can_write_eof() else writer.close()
                return
            writer.write(chunk)
            await writer.drain()

    try:
        await asyncio.gather(read(), write())
    except (ConnectionError, OSError):
        writer.close()


async def serve(listen_port, host, port, delay, rate):
    async def relay(client_reader, client_writer):
        await asyncio.sleep(delay)  # the client's SYN on its way
        try:
            upstream_reader, upstream_writer = await asyncio.open_connection(host, port)
        except OSError:
            client_writer.close()
            return
        await asyncio.sleep(delay)  # the SYN-ACK on its way back
        await asyncio.gather(pipe(client_reader, upstream_writer, delay),
                             pipe(upstream_reader, client_writer, delay, rate))
        client_writer.close()
        upstream_writer.close()

    server = await asyncio.start_server(relay, "127.0.0.1", listen_port)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    listen, upstream_host, upstream_port, delay_ms = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4]
    rate = int(sys.argv[5]) if len(sys.argv) > 5 else 0
    asyncio.run(serve(int(listen), upstream_host, int(upstream_port), int(delay_ms) / 1000.0, rate))
