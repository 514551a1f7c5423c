#!/usr/bin/env python3
"""A TCP proxy on loopback that gives a connection the round trip of a real
line, for benchmarks on a machine whose kernel has no netem.

  latency_proxy.py --target HOST:PORT [--rtt-ms 50] [--port 0] [--count FILE]

A new connection costs one round trip before its first byte goes either
way (the handshake); after that every chunk takes half a round trip to
cross, in each direction, without limiting how many are under way (the
line's bandwidth is loopback's). The chosen port is printed as "PORT <n>"
on the first line of stdout; with --count, the number of connections
accepted so far is written to FILE at each new one. Stops on SIGTERM or
SIGINT.
"""
import argparse
import asyncio
import signal
import time


class Line:
    def __init__(self, target_host, target_port, rtt, count_path):
        self.target = (target_host, target_port)
        self.half = rtt / 2
        self.rtt = rtt
        self.count_path = count_path
        self.connections = 0

    async def serve(self, client_reader, client_writer):
        self.connections += 1
        if self.count_path:
            with open(self.count_path, "w") as f:
                f.write("%d\n" % self.connections)
        try:
            await asyncio.sleep(self.rtt)  # the handshake
            server_reader, server_writer = await asyncio.open_connection(*self.target)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(self.pump(client_reader, server_writer),
                             self.pump(server_reader, client_writer))

    async def pump(self, reader, writer):
        """Reads chunks as they come and writes each half a round trip
        later, in order, with any number on the way at once."""
        queue = asyncio.Queue()

        async def deliver():
            while True:
                due, data = await queue.get()
                wait = due - time.monotonic()
                if wait > 0:
                    await asyncio.sleep(wait)
                if data is None:
                    break
                writer.write(data)
                await writer.drain()
            try:
                writer.write_eof()
            except (OSError, RuntimeError):
                writer.close()

        delivery = asyncio.ensure_future(deliver())
        try:
            while True:
                data = await reader.read(65536)
                queue.put_nowait((time.monotonic() + self.half, data or None))
                if not data:
                    break
            await delivery
        except (OSError, ConnectionError):
            delivery.cancel()
            writer.close()


async def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--target", required=True, help="HOST:PORT of the real server")
    ap.add_argument("--rtt-ms", type=float, default=50)
    ap.add_argument("--bind", default="127.0.0.1")
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--count")
    args = ap.parse_args()
    host, _, port = args.target.rpartition(":")
    line = Line(host, int(port), args.rtt_ms / 1000, args.count)
    server = await asyncio.start_server(line.serve, args.bind, args.port)
    print("PORT %d" % server.sockets[0].getsockname()[1], flush=True)
    stop = asyncio.Event()
    loop = asyncio.get_running_loop()
    for sig in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(sig, stop.set)
    async with server:
        await stop.wait()


if __name__ == "__main__":
    asyncio.run(main())
