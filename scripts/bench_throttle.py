#!/usr/bin/env python3
"""A rate-limited line for `make bench`: relays each connection on 127.0.0.1:LISTEN to
127.0.0.1:UPSTREAM, and everything coming back, over all connections together, passes one
token bucket of RATE bytes per second, as a user's line is one line for all connections.
The bucket holds one chunk: a line left idle (between two parts, say) does not save up
for later, so every gap a client leaves shows in the bytes it gets per second. nginx's own
limit_rate paces each response separately and lets a second's worth through at once.

    bench_throttle.py LISTEN UPSTREAM RATE      (runs until killed)
"""
import select
import socket
import sys
import threading
import time

CHUNK = 16 * 1024


class Line:
    """The shared line: when the next byte may leave, as if all bytes before it had been
    carried one after the other at RATE."""

    def __init__(self, rate):
        self.rate = rate
        self.free_at = 0.0
        self.lock = threading.Lock()

    def due(self, count):
        """The time at which count more bytes have crossed the line."""
        with self.lock:
            now = time.monotonic()
            # An idle line carries nothing: at most one chunk of allowance is left.
            start = max(self.free_at, now - CHUNK / self.rate)
            self.free_at = start + count / self.rate
            return self.free_at


def relay(client, upstream_port, line):
    upstream = socket.create_connection(("127.0.0.1", upstream_port))
    upstream.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    client.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    sources = [client, upstream]
    try:
        while True:
            readable, _, _ = select.select(sources, [], [])
            if client in readable:
                data = client.recv(CHUNK)
                if data:
                    upstream.sendall(data)
                else:
                    upstream.shutdown(socket.SHUT_WR)
                    sources = [upstream]
            if upstream in readable:
                data = upstream.recv(CHUNK)
                if not data:
                    break
                # A chunk leaves when the line would have carried it completely.
                wait = line.due(len(data)) - time.monotonic()
                if wait > 0:
                    time.sleep(wait)
                client.sendall(data)
    except OSError:
        pass
    finally:
        upstream.close()
        client.close()


def main():
    listen_port, upstream_port, rate = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])
    line = Line(rate)
    server = socket.socket()
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", listen_port))
    server.listen(16)
    while True:
        client, _ = server.accept()
        threading.Thread(target=relay, args=(client, upstream_port, line), daemon=True).start()


if __name__ == "__main__":
    main()
