#!/usr/bin/env python3
"""A user's line for `make bench`: relays each connection on 127.0.0.1:LISTEN to
127.0.0.1:UPSTREAM, and models between them a line of RATE bytes per second shared by
all connections, RTT_MS milliseconds of round trip, and each connection's TCP slow start.

    bench_throttle.py LISTEN UPSTREAM RATE [RTT_MS]      (runs until killed)

- Everything coming back from the server, over all connections together, crosses one
  line at RATE, first come first served. An idle line saves up nothing for later (at
  most one chunk), so every gap a client leaves shows in the bytes it gets per second.
- Every byte takes RTT/2 each way on top. A new connection costs one round trip before
  its first byte leaves the client (the handshake), so a request arrives 1.5 RTT after
  connect(); a TLS handshake's own round trips come out of the delays by themselves.
- The server sends on each connection at most its congestion window beyond what the
  client has acknowledged, an acknowledgement coming back RTT/2 after its bytes arrived.
  The window starts at 10 segments of 1,460 bytes and grows by every byte acknowledged
  (slow start: it doubles each round trip); nothing is lost, so it stops growing at twice
  the line's bandwidth-delay product (a bottleneck buffer of one round trip). A
  connection whose sender has been idle longer than the retransmission time-out,
  200 ms + RTT as a Linux server computes it on a steady line, starts again from the
  initial window.
- The client's direction is delayed, not paced: requests and handshakes are small.
With RTT 0 this is the plain shared line: no delay, and acknowledgements come back the
moment the bytes have crossed, so the window never holds anything up.
"""
import collections
import queue
import select
import socket
import sys
import threading
import time

CHUNK = 16 * 1024
SEGMENT = 1460
INITIAL_WINDOW = 10 * SEGMENT
EOF = b""  # the end of a direction


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


class Window:
    """One connection's congestion window on the server's side."""

    def __init__(self, rtt, rto, ceiling):
        self.rtt, self.rto, self.ceiling = rtt, rto, ceiling
        self.size = INITIAL_WINDOW
        self.flight = collections.deque()  # (acknowledged at, bytes), in order
        self.in_flight = 0
        self.last_send = None

    def space(self, now):
        """Bytes the server may send now, after the acknowledgements due by now."""
        while self.flight and self.flight[0][0] <= now:
            count = self.flight.popleft()[1]
            self.in_flight -= count
            self.size = min(self.size + count, self.ceiling)
        if not self.flight and self.last_send is not None and now - self.last_send > self.rto:
            self.size = INITIAL_WINDOW
        return self.size - self.in_flight

    def next_acknowledgement(self):
        return self.flight[0][0] if self.flight else None

    def sent(self, count, now, acknowledged_at):
        self.flight.append((acknowledged_at, count))
        self.in_flight += count
        self.last_send = now


class Courier(threading.Thread):
    """Hands bytes to one socket each at its own time, in order; EOF ends the direction
    (a half close, or the whole connection when close is set)."""

    def __init__(self, sink, close):
        super().__init__(daemon=True)
        self.sink, self.close = sink, close
        self.items = queue.Queue()
        self.failed = False

    def put(self, at, data):
        self.items.put((at, data))

    def run(self):
        while True:
            at, data = self.items.get()
            wait = at - time.monotonic()
            if wait > 0:
                time.sleep(wait)
            try:
                if not data:
                    if self.close:
                        self.sink.close()
                    else:
                        self.sink.shutdown(socket.SHUT_WR)
                    return
                self.sink.sendall(data)
            except OSError:
                self.failed = True
                return


def relay(client, upstream_port, line, rtt):
    accepted = time.monotonic()
    half = rtt / 2
    window = Window(rtt, 0.2 + rtt, int(max(2 * line.rate * rtt, 4 * CHUNK)))
    try:
        upstream = socket.create_connection(("127.0.0.1", upstream_port))
    except OSError:
        client.close()
        return
    upstream.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    client.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    to_server, to_client = Courier(upstream, False), Courier(client, True)
    to_server.start()
    to_client.start()
    client_open, last_arrival = True, 0.0
    try:
        while not to_client.failed:
            now = time.monotonic()
            room = window.space(now)
            sources = [client] if client_open else []
            timeout = None
            if room > 0:
                sources.append(upstream)
            else:
                timeout = max(0.0, window.next_acknowledgement() - now)
            readable, _, _ = select.select(sources, [], [], timeout)
            if client in readable:
                data = client.recv(CHUNK)
                # The handshake's round trip comes first, then half a round trip to the server.
                to_server.put(max(time.monotonic(), accepted + rtt) + half, data or EOF)
                client_open = bool(data)
            if upstream in readable:
                data = upstream.recv(min(CHUNK, room))
                if not data:
                    break
                now = time.monotonic()
                crossed = line.due(len(data))
                window.sent(len(data), now, crossed + rtt)
                last_arrival = crossed + half
                to_client.put(last_arrival, data)
    except OSError:
        pass
    to_client.put(last_arrival, EOF)
    to_client.join()
    upstream.close()
    client.close()


def main():
    listen_port, upstream_port, rate = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])
    rtt = float(sys.argv[4]) / 1000 if len(sys.argv) > 4 else 0.0
    line = Line(rate)
    server = socket.socket()
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", listen_port))
    server.listen(16)
    while True:
        client, _ = server.accept()
        threading.Thread(target=relay, args=(client, upstream_port, line, rtt), daemon=True).start()


if __name__ == "__main__":
    main()
