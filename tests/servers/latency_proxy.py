#!/usr/bin/env python3
"""A TCP proxy on loopback that delays every byte by a fixed time in each direction, to stand
for an endpoint far away. It listens on 127.0.0.1 (port 0: a free one), forwards to a loopback
target, prints its port on the first line, and counts the connections it accepted in a file
(when --count-file is given) so tests can tell how many connections a client opened.

Usage: latency_proxy.py TARGET_PORT [--up-ms 10] [--down-ms 10] [--port 0] [--count-file F]
"""
import argparse
import asyncio
import sys
import time


async def pump(reader, writer, delay):
    """Copies reader to writer, each chunk sent `delay` seconds after it arrived, in order."""
    queue = asyncio.Queue()

    async def send():
        while True:
            due, data = await queue.get()
            if data is None:
                break
            wait = due - time.monotonic()
            if wait > 0:
                await asyncio.sleep(wait)
            writer.write(data)
            await writer.drain()
        if writer.can_write_eof():
            writer.write_eof()

    sender = asyncio.ensure_future(send())
    try:
        while True:
            data = await reader.read(65536)
            if not data:
                break
            queue.put_nowait((time.monotonic() + delay, data))
    except (ConnectionError, OSError):
        pass
    queue.put_nowait((time.monotonic() + delay, None))
    try:
        await sender
    except (ConnectionError, OSError):
        pass


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("target_port", type=int)
    parser.add_argument("--up-ms", type=float, default=10.0)
    parser.add_argument("--down-ms", type=float, default=10.0)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--count-file")
    args = parser.parse_args()
    accepted = 0

    async def serve(client_reader, client_writer):
        nonlocal accepted
        accepted += 1
        if args.count_file:
            with open(args.count_file, "w") as out:
                out.write(f"{accepted}\n")
        try:
            node_reader, node_writer = await asyncio.open_connection("127.0.0.1", args.target_port)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(pump(client_reader, node_writer, args.up_ms / 1000),
                             pump(node_reader, client_writer, args.down_ms / 1000))
        for writer in (client_writer, node_writer):
            writer.close()

    server = await asyncio.start_server(serve, "127.0.0.1", args.port)
    print(server.sockets[0].getsockname()[1], flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        sys.exit(0)
