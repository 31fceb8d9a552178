#!/usr/bin/env python3
"""A rate-limited link for `make bench`: relays each connection on 127.0.0.1:LISTEN to
127.0.0.1:UPSTREAM and paces what comes back at RATE bytes per second per connection,
with a burst of one chunk. nginx's own limit_rate lets a whole second's worth through
unpaced at the start of a response, so parts of a few MiB would never feel the limit.

    bench_throttle.py LISTEN UPSTREAM RATE      (runs until killed)
"""
import select
import socket
import sys
import threading
import time

CHUNK = 16 * 1024


def relay(client, upstream_port, rate):
    upstream = socket.create_connection(("127.0.0.1", upstream_port))
    upstream.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    start = None
    sent = 0
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
                now = time.monotonic()
                if start is None:
                    start = now
                # A chunk leaves when the link would have carried it completely.
                sent += len(data)
                due = start + sent / rate
                if due > now:
                    time.sleep(due - now)
                client.sendall(data)
    except OSError:
        pass
    finally:
        upstream.close()
        client.close()


def main():
    listen_port, upstream_port, rate = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])
    server = socket.socket()
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", listen_port))
    server.listen(16)
    while True:
        client, _ = server.accept()
        threading.Thread(target=relay, args=(client, upstream_port, rate), daemon=True).start()


if __name__ == "__main__":
    main()
