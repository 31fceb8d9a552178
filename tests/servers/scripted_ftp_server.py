#!/usr/bin/env python3
"""A scripted FTP server for the FTP worker's tests: it answers what real servers will
not, or not on demand (a greeting in three segments, replies split across segments or
two in one, a 227 without parentheses, a 150 without a byte count, 226 before or after
the data connection's close, 426, silence, a closed control connection, replies longer
than any client buffer), and what hostile ones do (a 227 naming another address, a third
party connecting to the PORT address first, endless preliminary replies, replies and
data that trickle, a body longer or shorter than announced).

    scripted_ftp_server.py STATE-DIRECTORY

The script of a session is chosen by its user name, a "+"-separated list of flags,
and by the name of the file asked for (see Session). Every byte a session receives is
written, in order, to STATE-DIRECTORY/ftp_scripted/USER.log, after "!early " when it
arrived before the greeting was complete; a session is rewritten when its user name
changes. The server listens on an unprivileged port of 127.0.21.x and, as root, on
port 21 of it too (x: as root the first from 7 on whose port 21 is free, otherwise 7);
it writes "ADDRESS PORT PORT21" (PORT21 is 1 when port 21 is served too) to
STATE-DIRECTORY/ftp_scripted.addr and its process id to
STATE-DIRECTORY/ftp_scripted.pid, and ends by itself after LIFETIME_SECONDS or on
SIGTERM.
"""
import os
import re
import signal
import socket
import socketserver
import sys
import threading
import time

LIFETIME_SECONDS = 2 * 60 * 60
FIRST_HOST = 7
GREETING_PAUSE = 0.15
SPLIT_PAUSE = 0.1
ORDER_PAUSE = 0.4
DATA_WAIT_SECONDS = 10
SILENCE_SECONDS = 30
LONG_REPLY_LINES = 40
TRICKLE_PAUSE = 0.1
# An "endless" body ends after this much all the same, so that a client that fails to
# stop cannot fill the disk of the machine running the tests.
ENDLESS_LIMIT = 64 * 1024 * 1024
# Where the hostile 227 points, and where the third party connects from; a listener on
# the decoy address writes DECOY_LOG when anyone connects to it.
DECOY_HOST = "127.0.23.1"
INTRUDER_HOST = "127.0.23.2"
INTRUDER_BYTES = b"INJECTED BY A THIRD PARTY\r\n"

state_directory = None


def pattern(size):
    """Bytes that differ along the file, so that a misplaced block shows."""
    return bytes((i * 7 + i // 251) & 0xFF for i in range(size))


class Session(socketserver.BaseRequestHandler):
    """One control connection.

    User flags: user230 (230 to USER), refuse (530 to PASS), silent-pass (no answer to
    PASS), close-pass (hang up on PASS), longreply (a 230 reply of more than 1024
    bytes), split (replies in several segments), noparen (227 without parentheses),
    nopasv (502 to PASV), refuse-port (502 to PASV, 500 to PORT), endless1xx (USER
    answered by a 150 every TRICKLE_PAUSE, for ever), trickle-pass (the 230 to PASS one
    byte every TRICKLE_PAUSE), elsewhere (the 227 names DECOY_HOST, where a decoy
    listens on the same port), intrude (with nopasv: before the 200 to PORT a third
    party connects to the PORT address from INTRUDER_HOST and sends INTRUDER_BYTES).
    File names (RETR), SIZE being the byte count: data-SIZE, nosize-SIZE (150 without a
    count), file2.bin (150 ending in that name, 1000 bytes), early226-SIZE (226 before
    the data connection closes), late226-SIZE (after), abort-SIZE (half the data, 426),
    pair-SIZE (data first, then 150 and 226 in one segment), silent-SIZE (150, then
    nothing), closectl-SIZE (150, half the data, the control connection closed),
    longfinal-SIZE (a final reply of more than 1024 bytes), endless-SIZE (150
    announcing SIZE bytes, then data without end, or rather up to ENDLESS_LIMIT; 426
    once the client hangs up), flood-SIZE (the same data from the moment the data
    connection is open, and the 150 announcing SIZE bytes only ORDER_PAUSE later),
    short-SIZE (150 announcing SIZE bytes, half of them, 226), trickle-SIZE (one byte
    every TRICKLE_PAUSE), missing (550).
    """

    def setup(self):
        self.user = None
        self.flags = set()
        self.received = b""
        self.passive = None
        self.decoy = None
        self.port_address = None

    # -- transcript and replies ------------------------------------------------

    def record(self, data):
        self.received += data
        if self.user is None:
            return
        directory = os.path.join(state_directory, "ftp_scripted")
        os.makedirs(directory, exist_ok=True)
        name = re.sub(r"[^A-Za-z0-9+_.-]", "_", self.user) or "empty"
        with open(os.path.join(directory, name + ".log"), "wb") as f:
            f.write(self.received)

    def send(self, text):
        data = text.encode("latin-1")
        if "split" in self.flags and len(data) > 4:
            # Cut inside the code and inside the text.
            for part in (data[:2], data[2:len(data) // 2], data[len(data) // 2:]):
                self.request.sendall(part)
                time.sleep(SPLIT_PAUSE)
        else:
            self.request.sendall(data)

    def greet(self):
        lines = ["220-Corvane scripted FTP server\r\n", "220-for the worker's tests\r\n",
                 "220 Ready.\r\n"]
        for line in lines[:-1]:
            self.request.sendall(line.encode())
            time.sleep(GREETING_PAUSE)
        self.request.setblocking(False)
        try:
            early = self.request.recv(4096)
        except BlockingIOError:
            early = b""
        self.request.setblocking(True)
        if early:
            self.received += b"!early " + early
        self.request.sendall(lines[-1].encode())

    def lines(self):
        buffered = b""
        while True:
            while b"\n" not in buffered:
                chunk = self.request.recv(4096)
                if not chunk:
                    return
                buffered += chunk
            line, buffered = buffered.split(b"\n", 1)
            yield line + b"\n"

    # -- data connection ------------------------------------------------------

    def open_passive(self):
        self.close_passive()
        listener = socket.socket()
        listener.bind((self.request.getsockname()[0], 0))
        listener.listen(1)
        self.passive = listener
        host = self.request.getsockname()[0].replace(".", ",")
        port = listener.getsockname()[1]
        return "%s,%d,%d" % (host, port >> 8, port & 0xFF)

    def close_passive(self):
        if self.passive is not None:
            self.passive.close()
            self.passive = None
        if self.decoy is not None:
            self.decoy.close()
            self.decoy = None

    def open_decoy(self, port):
        """A listener on DECOY_HOST with the passive port, answering like a service of
        its own and writing DECOY_LOG when contacted."""
        decoy = socket.socket()
        decoy.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        decoy.bind((DECOY_HOST, port))
        decoy.listen(1)
        decoy.settimeout(DATA_WAIT_SECONDS)
        self.decoy = decoy

        def serve():
            try:
                connection, _ = decoy.accept()
            except OSError:
                return
            with open(os.path.join(state_directory, "ftp_scripted", "decoy.log"), "ab") as f:
                f.write(b"contacted\n")
            connection.sendall(b"SSH-2.0-decoy banner\r\n")
            connection.close()

        threading.Thread(target=serve, daemon=True).start()

    def intrude(self):
        """A third party connects to the PORT address first and offers its own bytes."""
        try:
            intruder = socket.create_connection(self.port_address, DATA_WAIT_SECONDS,
                                                (INTRUDER_HOST, 0))
            intruder.sendall(INTRUDER_BYTES)
            time.sleep(ORDER_PAUSE)
            intruder.close()
        except OSError:
            pass

    def data_connection(self):
        """The data connection of a RETR, or None."""
        if self.passive is not None:
            self.passive.settimeout(DATA_WAIT_SECONDS)
            try:
                connection, _ = self.passive.accept()
            except OSError:
                connection = None
            self.close_passive()
            return connection
        if self.port_address is not None:
            try:
                # From the server's own address, as servers connect.
                return socket.create_connection(self.port_address, DATA_WAIT_SECONDS,
                                                (self.request.getsockname()[0], 0))
            except OSError:
                return None
        return None

    # -- the script -----------------------------------------------------------

    def handle(self):
        try:
            self.greet()
            for line in self.lines():
                self.record(line)
                if not self.command(line.decode("latin-1").rstrip("\r\n")):
                    break
        except OSError:
            pass
        finally:
            self.close_passive()

    def command(self, line):
        verb, _, argument = line.partition(" ")
        verb = verb.upper()
        if verb == "USER":
            self.user = argument
            self.flags = set(argument.split("+"))
            self.record(b"")
            if "user230" in self.flags:
                self.send("230 Logged in without a password.\r\n")
            elif "endless1xx" in self.flags:
                self.request.settimeout(TRICKLE_PAUSE)
                while self.client_still_there():
                    self.send("150 Still looking you up.\r\n")
            else:
                self.send("331 Password required for %s.\r\n" % argument)
        elif verb == "PASS":
            if "refuse" in self.flags:
                self.send("530 Login incorrect.\r\n")
            elif "silent-pass" in self.flags:
                pass
            elif "close-pass" in self.flags:
                return False
            elif "trickle-pass" in self.flags:
                for byte in b"230 Logged in at last.\r\n":
                    self.request.sendall(bytes([byte]))
                    time.sleep(TRICKLE_PAUSE)
            elif "longreply" in self.flags:
                text = "".join("230-%02d %s\r\n" % (i, "w" * 40) for i in range(LONG_REPLY_LINES))
                self.send(text + "230 Logged in.\r\n")
            else:
                self.send("230 Logged in.\r\n")
        elif verb == "TYPE":
            self.send("200 Type set to %s.\r\n" % argument)
        elif verb == "PASV":
            if self.flags & {"nopasv", "refuse-port"}:
                self.send("502 Passive mode not offered.\r\n")
            elif "noparen" in self.flags:
                self.send("227 Entering Passive Mode %s\r\n" % self.open_passive())
                self.close_passive()
            elif "elsewhere" in self.flags:
                own = self.open_passive().split(",")
                self.open_decoy(self.passive.getsockname()[1])
                other = DECOY_HOST.replace(".", ",")
                self.send("227 Entering Passive Mode (%s,%s,%s).\r\n" % (other, own[4], own[5]))
            else:
                self.send("227 Entering Passive Mode (%s).\r\n" % self.open_passive())
        elif verb == "PORT":
            numbers = [int(n) for n in argument.split(",")]
            if "refuse-port" in self.flags or len(numbers) != 6:
                self.send("500 PORT refused.\r\n")
            else:
                self.port_address = (".".join(map(str, numbers[:4])), numbers[4] * 256 + numbers[5])
                if "intrude" in self.flags:
                    self.intrude()
                self.send("200 PORT command successful.\r\n")
        elif verb == "RETR":
            return self.retrieve(argument)
        elif verb == "QUIT":
            self.send("221 Goodbye.\r\n")
            return False
        else:
            self.send("500 Unknown command.\r\n")
        return True

    def retrieve(self, path):
        name = path.rsplit("/", 1)[-1]
        kind, _, size_text = name.partition("-")
        size = int(size_text.split(".")[0]) if size_text.split(".")[0].isdigit() else 1000
        body = pattern(size)
        announce = "150 Opening BINARY mode data connection for %s (%d bytes).\r\n" % (name, size)
        done = "226 Transfer complete.\r\n"
        if kind == "missing":
            self.close_passive()
            self.send("550 %s: No such file.\r\n" % name)
            return True
        if kind == "pair":
            data = self.data_connection()
            if data is None:
                self.send("425 Cannot open data connection.\r\n")
                return True
            data.sendall(body)
            data.close()
            time.sleep(ORDER_PAUSE)
            self.request.sendall((announce + done).encode())
            return True
        if kind == "flood":
            return self.flood(body, announce)
        if kind == "nosize":
            announce = "150 Here it comes.\r\n"
        elif name == "file2.bin":
            announce = "150 Opening BINARY mode data connection for file2.bin.\r\n"
        self.send(announce)
        data = self.data_connection()
        if data is None:
            self.send("425 Cannot open data connection.\r\n")
            return True
        try:
            if kind == "early226":
                data.sendall(body)
                self.send(done)
                time.sleep(ORDER_PAUSE)
            elif kind == "late226":
                data.sendall(body)
                data.close()
                time.sleep(ORDER_PAUSE)
                self.send(done)
            elif kind == "abort":
                data.sendall(body[: size // 2])
                self.send("426 Connection closed; transfer aborted.\r\n")
                time.sleep(ORDER_PAUSE)
            elif kind in ("silent", "closectl"):
                data.sendall(body[: size // 2])
                if kind == "closectl":
                    time.sleep(ORDER_PAUSE)
                    return False
                self.wait_for_close(SILENCE_SECONDS)
            elif kind == "endless":
                try:
                    for _ in range(ENDLESS_LIMIT // len(body)):
                        data.sendall(body)
                except OSError:
                    pass
                self.send("426 Connection closed; transfer aborted.\r\n")
            elif kind == "short":
                data.sendall(body[: size // 2])
                data.close()
                self.send(done)
            elif kind == "trickle":
                try:
                    for byte in body:
                        data.sendall(bytes([byte]))
                        time.sleep(TRICKLE_PAUSE)
                except OSError:
                    self.send("426 Connection closed; transfer aborted.\r\n")
                    return True
                data.close()
                self.send(done)
            elif kind == "longfinal":
                data.sendall(body)
                data.close()
                text = "".join("226-%02d %s\r\n" % (i, "w" * 40) for i in range(LONG_REPLY_LINES))
                self.send(text + done)
            else:
                data.sendall(body)
                data.close()
                self.send(done)
        finally:
            data.close()
        return True

    def flood(self, body, announce):
        """Data without end before the 150, which comes late."""
        data = self.data_connection()
        if data is None:
            self.send("425 Cannot open data connection.\r\n")
            return True

        def pour():
            try:
                for _ in range(ENDLESS_LIMIT // len(body)):
                    data.sendall(body)
            except OSError:
                pass

        sender = threading.Thread(target=pour, daemon=True)
        sender.start()
        time.sleep(ORDER_PAUSE)
        self.send(announce)
        sender.join(SILENCE_SECONDS)
        data.close()
        self.send("426 Connection closed; transfer aborted.\r\n")
        return True

    def client_still_there(self):
        """False once the client has hung up (the socket's time-out paces the caller)."""
        try:
            return self.request.recv(4096) != b""
        except socket.timeout:
            return True
        except OSError:
            return False

    def wait_for_close(self, seconds):
        """Stays silent until the client hangs up or the time is over."""
        self.request.settimeout(1)
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            try:
                if not self.request.recv(4096):
                    return
            except socket.timeout:
                continue
            except OSError:
                return


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    global state_directory
    state_directory = sys.argv[1]
    port21 = os.geteuid() == 0
    servers = []
    for host in range(FIRST_HOST, 255):
        if port21:
            try:
                servers.append(Server(("127.0.21.%d" % host, 21), Session))
            except OSError:
                continue
        servers.append(Server(("127.0.21.%d" % host, 0), Session))
        break
    if not servers:
        raise SystemExit("no free loopback address for the scripted FTP server")
    server = servers[-1]
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    with open(os.path.join(state_directory, "ftp_scripted.pid"), "w") as f:
        f.write("%d\n" % os.getpid())
    address_file = os.path.join(state_directory, "ftp_scripted.addr")
    with open(address_file + ".new", "w") as f:
        f.write("%s %d %d\n" % (server.server_address + (int(port21),)))
    os.replace(address_file + ".new", address_file)
    for each in servers:
        threading.Thread(target=each.serve_forever, daemon=True).start()
    time.sleep(LIFETIME_SECONDS)
    os._exit(0)


if __name__ == "__main__":
    main()
