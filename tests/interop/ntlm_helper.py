#!/usr/bin/python3
# squid's NTLM authentication helper for the tests: a real NTLM exchange with one known
# account. It answers squid's "YR <type-1>" with a type-2 challenge of its own and checks
# the client's "KK <type-3>" against the account's password (its NTLMv2 response), answering "AF DOMAIN\user" or "NA". The account is "user:password" in
# the file named by the first argument; any domain is taken. Every decision is logged
# to the file named by the second argument, without a password or a response.
#   ntlm_helper.py ACCOUNT-FILE LOG-FILE
import base64
import hashlib
import hmac
import os
import struct
import sys


def md4(data):
    """MD4 (RFC 1320): the NT hash; hashlib's may be missing with OpenSSL 3."""
    def rotate(x, n):
        return ((x << n) | (x >> (32 - n))) & 0xFFFFFFFF
    message = data + b"\x80" + b"\0" * ((55 - len(data)) % 64) + struct.pack("<Q", len(data) * 8)
    a, b, c, d = 0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476
    for offset in range(0, len(message), 64):
        x = struct.unpack("<16I", message[offset:offset + 64])
        aa, bb, cc, dd = a, b, c, d
        f = lambda x_, y, z: (x_ & y) | (~x_ & z)
        g = lambda x_, y, z: (x_ & y) | (x_ & z) | (y & z)
        h = lambda x_, y, z: x_ ^ y ^ z
        for i in range(16):
            k, s = i, (3, 7, 11, 19)[i % 4]
            a, b, c, d = d, rotate((a + f(b, c, d) + x[k]) & 0xFFFFFFFF, s), b, c
        for i in range(16):
            k, s = (i % 4) * 4 + i // 4, (3, 5, 9, 13)[i % 4]
            a, b, c, d = d, rotate((a + g(b, c, d) + x[k] + 0x5A827999) & 0xFFFFFFFF, s), b, c
        for i in range(16):
            k = (0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15)[i]
            s = (3, 9, 11, 15)[i % 4]
            a, b, c, d = d, rotate((a + h(b, c, d) + x[k] + 0x6ED9EBA1) & 0xFFFFFFFF, s), b, c
        a, b, c, d = (a + aa) & 0xFFFFFFFF, (b + bb) & 0xFFFFFFFF, (c + cc) & 0xFFFFFFFF, (d + dd) & 0xFFFFFFFF
    return struct.pack("<4I", a, b, c, d)


def security_buffer(message, offset):
    length, _, start = struct.unpack_from("<HHI", message, offset)
    return message[start:start + length]


def challenge_message(server_challenge):
    name = "CORVANE".encode("utf-16-le")
    info = struct.pack("<HH", 2, len(name)) + name + struct.pack("<HH", 0, 0)
    flags = 0x00000001 | 0x00000004 | 0x00000200 | 0x00008000 | 0x00010000 | 0x00080000 | \
        0x00800000 | 0x02000000 | 0x20000000 | 0x40000000
    header = 56
    message = b"NTLMSSP\0" + struct.pack("<I", 2)
    message += struct.pack("<HHI", len(name), len(name), header)
    message += struct.pack("<I", flags) + server_challenge + b"\0" * 8
    message += struct.pack("<HHI", len(info), len(info), header + len(name))
    message += bytes([6, 1, 0, 0, 0, 0, 0, 15])
    return message + name + info


def verify(authenticate, server_challenge, account_user, account_password):
    if len(authenticate) < 64 or authenticate[:8] != b"NTLMSSP\0" or authenticate[8] != 3:
        return None, "not an NTLM authenticate message"
    flags = struct.unpack_from("<I", authenticate, 60)[0]
    encoding = "utf-16-le" if flags & 1 else "latin-1"
    nt = security_buffer(authenticate, 20)
    domain = security_buffer(authenticate, 28).decode(encoding, "replace")
    user = security_buffer(authenticate, 36).decode(encoding, "replace")
    if user.lower() != account_user.lower():
        return None, "unknown user %r" % user
    nt_hash = md4(account_password.encode("utf-16-le"))
    if len(nt) <= 24:
        return None, "no NTLMv2 response from %r" % user
    v2_hash = hmac.new(nt_hash, (user.upper() + domain).encode("utf-16-le"), hashlib.md5).digest()
    proof = hmac.new(v2_hash, server_challenge + nt[16:], hashlib.md5).digest()
    if not hmac.compare_digest(proof, nt[:16]):
        return None, "wrong password for %r" % user
    return "%s\\%s" % (domain, user) if domain else user, "accepted"


def main():
    with open(sys.argv[1]) as f:
        account_user, _, account_password = f.read().strip().partition(":")
    log = open(sys.argv[2], "a")
    server_challenge = b""
    for line in sys.stdin:
        command, _, argument = line.strip().partition(" ")
        try:
            token = base64.b64decode(argument) if argument else b""
        except ValueError:
            token = b""
        if command == "YR":
            server_challenge = os.urandom(8)
            print("TT " + base64.b64encode(challenge_message(server_challenge)).decode(), flush=True)
            print("challenge sent", file=log, flush=True)
        elif command == "KK" and server_challenge:
            who, why = verify(token, server_challenge, account_user, account_password)
            print(("AF " + who) if who else "NA " + why.replace(" ", "_"), flush=True)
            print(why, file=log, flush=True)
        else:
            print("BH unexpected", flush=True)
            print("unexpected " + command, file=log, flush=True)


if __name__ == "__main__":
    main()
