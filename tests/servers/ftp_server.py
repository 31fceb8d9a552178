#!/usr/bin/python3
"""The FTP worker's real servers: Debian's pyftpdlib, serving STATE-DIRECTORY/ftp
read-only on two loopback addresses of their own, each on an unprivileged port and,
as root, on port 21 too.

    ftp_server.py STATE-DIRECTORY

- the first address offers passive mode as any server does;
- the second refuses PASV and EPSV, so that clients fall back to PORT.
Both accept anonymous logins, the user "corvane" with the password "Ftp-Pass-9", and
the user "paced" with the same password, whose files come at PACED_BYTES_PER_SECOND
so that a person can watch them arrive.
The worker's tests use the unprivileged ports; the installer always asks port 21, so
its runs need the second listener, and port 21 needs root. The addresses are taken from
127.0.21.0/24: as root the first two whose port 21 is free, so that several test runs on
one machine never meet; otherwise two fixed ones (the unprivileged ports keep runs
apart). They go to STATE-DIRECTORY/ftp.addr, one line
"PASSIVE-ADDRESS PASSIVE-PORT ACTIVE-ADDRESS ACTIVE-PORT PORT21" (PORT21 is 1 when port
21 is served too), the process id to STATE-DIRECTORY/ftp.pid. The server ends by itself
after LIFETIME_SECONDS.
"""
import logging
import os
import signal
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer

LIFETIME_SECONDS = 2 * 60 * 60
FIRST_HOST = 5
USER = "corvane"
PASSWORD = "Ftp-Pass-9"
PACED_USER = "paced"
PACED_BYTES_PER_SECOND = 1024 * 1024


class PacedDTPHandler(ThrottledDTPHandler):
    """Data connections at full speed, except those of the paced user."""

    def __init__(self, sock, cmd_channel):
        if cmd_channel.username == PACED_USER:
            self.write_limit = PACED_BYTES_PER_SECOND
        super().__init__(sock, cmd_channel)


class NoPassiveHandler(FTPHandler):
    """A server configured without passive mode, whose preliminary replies to RETR
    announce the byte count as many servers do ("150 ... (N bytes)."); the stock
    replies announce none."""

    announced_size = None

    def ftp_RETR(self, file):
        try:
            self.announced_size = os.path.getsize(file)
        except OSError:
            self.announced_size = None
        return super().ftp_RETR(file)

    def respond(self, resp, *args, **kwargs):
        if resp[:4] in ("150 ", "125 ") and self.announced_size is not None:
            resp = "%s Opening BINARY mode data connection (%d bytes)." % (resp[:3],
                                                                          self.announced_size)
            self.announced_size = None
        return super().respond(resp, *args, **kwargs)

    def ftp_PASV(self, line):
        self.respond("502 Passive mode is disabled on this server.")

    def ftp_EPSV(self, line):
        self.respond("502 Passive mode is disabled on this server.")


port21_servers = []  # held here; the I/O loop serves them with the others


def serve_on_free_address(handler, start, port21):
    """FTPServers of 127.0.21.x, from start on: one on an unprivileged port and, with
    port21, one on port 21 (the first x whose port 21 is free). Gives the unprivileged
    server and x."""
    for host in range(start, 255):
        address = "127.0.21.%d" % host
        if port21:
            try:
                port21_servers.append(FTPServer((address, 21), handler))
            except OSError:
                continue
        return FTPServer((address, 0), handler), host
    raise SystemExit("no free loopback address for an FTP server")


def main():
    state = sys.argv[1]
    root = os.path.join(state, "ftp")
    logging.basicConfig(filename=os.path.join(state, "logs", "ftp.log"), level=logging.INFO)
    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(root)
    authorizer.add_user(USER, PASSWORD, root, perm="elr")
    authorizer.add_user(PACED_USER, PASSWORD, root, perm="elr")
    for handler in (FTPHandler, NoPassiveHandler):
        handler.authorizer = authorizer
        handler.dtp_handler = PacedDTPHandler
    port21 = os.geteuid() == 0
    passive, host = serve_on_free_address(FTPHandler, FIRST_HOST, port21)
    active, _ = serve_on_free_address(NoPassiveHandler, host + 1, port21)
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    with open(os.path.join(state, "ftp.pid"), "w") as f:
        f.write("%d\n" % os.getpid())
    addresses = os.path.join(state, "ftp.addr")
    with open(addresses + ".new", "w") as f:
        f.write("%s %d %s %d %d\n" % (passive.address + active.address + (int(port21),)))
    os.replace(addresses + ".new", addresses)
    threading.Timer(LIFETIME_SECONDS, lambda: os._exit(0)).start()
    # Every server shares one I/O loop.
    passive.serve_forever(handle_exit=False)


if __name__ == "__main__":
    main()
