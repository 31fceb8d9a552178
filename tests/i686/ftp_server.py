#!/usr/bin/python3
"""Debian's pyftpdlib for the emulated machine: ROOT read-only and anonymous on
127.0.0.1:PORT, its passive replies naming ADDRESS (how the guest reaches this machine).

    ftp_server.py ROOT PORT ADDRESS
"""
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    root, port, address = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(root)
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.masquerade_address = address
    server = FTPServer(("127.0.0.1", port), handler)
    server.serve_forever()


if __name__ == "__main__":
    main()
