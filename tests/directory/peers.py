#!/usr/bin/env python3
"""Small network peers for adcheck's tests and benchmark, on 127.0.0.1 only.

  peers.py dns RECORDS         a DNS server on 127.0.0.1:53 (UDP and TCP) that answers SRV
                               queries from RECORDS, lines "name priority weight port target";
                               every other query gets NXDOMAIN. A UDP answer over 512 bytes is
                               sent truncated, so the resolver asks again over TCP.
  peers.py proxy HOST PORT [--delay MS] [--record FILE] [--connections FILE]
                               a TCP proxy to HOST:PORT that holds every chunk MS milliseconds
                               in each direction and appends what clients send to FILE, and a
                               line to the connections FILE for each connection it accepts
                               ("connection SECONDS", the wall clock when it came).
  peers.py silent [--record FILE]
                               a TCP listener that accepts every connection and never answers
                               (a controller that hangs); it appends a line to FILE for each
                               connection it accepts.
  peers.py hostile SCENARIO CERT KEY
                               an LDAPS server (a hand-written BER encoder, no LDAP library)
                               that accepts any simple bind and answers searches the way a
                               hostile or broken directory would (see SCENARIOS).

Each peer prints "ready PORT" on standard output once it listens, then serves until killed.
"""
import socket
import ssl
import struct
import sys
import threading
import time

# ---------------------------------------------------------------------------------------
# DNS


def dns_name(name):
    out = b""
    for label in name.strip(".").split("."):
        if label:
            out += bytes([len(label)]) + label.encode()
    return out + b"\0"


def read_name(data, at):
    labels = []
    while data[at] != 0:
        length = data[at]
        labels.append(data[at + 1:at + 1 + length].decode("ascii", "replace"))
        at += 1 + length
    return ".".join(labels).lower(), at + 1


def dns_answer(query, records):
    ident, flags = struct.unpack("!HH", query[:4])
    name, end = read_name(query, 12)
    qtype = struct.unpack("!H", query[end:end + 2])[0]
    question = query[12:end + 4]
    found = [r for r in records if r[0] == name] if qtype == 33 else []
    rcode = 0 if found or any(r[0] == name for r in records) else 3
    header = struct.pack("!HHHHHH", ident, 0x8400 | (flags & 0x0100) | rcode, 1, len(found), 0, 0)
    body = b""
    for _, priority, weight, port, target in found:
        rdata = struct.pack("!HHH", priority, weight, port) + dns_name(target)
        body += b"\xc0\x0c" + struct.pack("!HHIH", 33, 1, 60, len(rdata)) + rdata
    return header + question + body


def serve_dns(records_file):
    records = []
    with open(records_file) as f:
        for line in f:
            parts = line.split()
            if len(parts) == 5:
                records.append((parts[0].strip(".").lower(), int(parts[1]), int(parts[2]), int(parts[3]), parts[4]))
    udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    udp.bind(("127.0.0.1", 53))
    tcp = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    tcp.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    tcp.bind(("127.0.0.1", 53))
    tcp.listen(16)

    def udp_loop():
        while True:
            query, peer = udp.recvfrom(4096)
            try:
                answer = dns_answer(query, records)
            except Exception:
                continue
            if len(answer) > 512:  # truncated: header and question only, TC set
                end = read_name(answer, 12)[1] + 4
                answer = answer[:2] + struct.pack("!H", struct.unpack("!H", answer[2:4])[0] | 0x0200) + \
                    answer[4:6] + b"\0\0\0\0\0\0" + answer[12:end]
            udp.sendto(answer, peer)

    def tcp_client(conn):
        with conn:
            try:
                length = struct.unpack("!H", recv_exactly(conn, 2))[0]
                answer = dns_answer(recv_exactly(conn, length), records)
                conn.sendall(struct.pack("!H", len(answer)) + answer)
            except Exception:
                pass

    threading.Thread(target=udp_loop, daemon=True).start()
    print("ready 53", flush=True)
    while True:
        conn, _ = tcp.accept()
        threading.Thread(target=tcp_client, args=(conn,), daemon=True).start()


def recv_exactly(conn, count):
    data = b""
    while len(data) < count:
        chunk = conn.recv(count - len(data))
        if not chunk:
            raise EOFError
        data += chunk
    return data

# ---------------------------------------------------------------------------------------
# Delaying proxy


def serve_proxy(host, port, delay_ms, record, connections):
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(64)
    lock = threading.Lock()

    # A delay line: each chunk leaves MS milliseconds after it arrived, whatever came before.
    def pump(source, sink, log):
        pending = []
        ready = threading.Condition()
        done = []

        def sender():
            while True:
                with ready:
                    while not pending and not done:
                        ready.wait()
                    if not pending:
                        break
                    due, data = pending.pop(0)
                wait = due - time.monotonic()
                if wait > 0:
                    time.sleep(wait)
                try:
                    sink.sendall(data)
                except OSError:
                    break
            try:
                sink.shutdown(socket.SHUT_WR)
            except OSError:
                pass

        thread = threading.Thread(target=sender, daemon=True)
        thread.start()
        try:
            while True:
                data = source.recv(65536)
                if not data:
                    break
                if log:
                    with lock, open(log, "ab") as f:
                        f.write(data)
                with ready:
                    pending.append((time.monotonic() + delay_ms / 1000.0, data))
                    ready.notify()
        except OSError:
            pass
        with ready:
            done.append(True)
            ready.notify()

    print("ready %d" % listener.getsockname()[1], flush=True)
    while True:
        client, _ = listener.accept()
        if connections:
            with open(connections, "a") as f:
                f.write("connection %.6f\n" % time.time())
        client.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        server = socket.create_connection((host, port))
        server.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        threading.Thread(target=pump, args=(client, server, record), daemon=True).start()
        threading.Thread(target=pump, args=(server, client, None), daemon=True).start()

# ---------------------------------------------------------------------------------------
# A controller that hangs


def serve_silent(record):
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(64)
    held = []
    print("ready %d" % listener.getsockname()[1], flush=True)
    while True:
        conn, _ = listener.accept()
        held.append(conn)
        if record:
            with open(record, "a") as f:
                f.write("connection\n")

# ---------------------------------------------------------------------------------------
# BER and a hostile LDAP server


def ber_length(n):
    if n < 0x80:
        return bytes([n])
    raw = n.to_bytes((n.bit_length() + 7) // 8, "big")
    return bytes([0x80 | len(raw)]) + raw


def tlv(tag, content):
    return bytes([tag]) + ber_length(len(content)) + content


def ber_int(tag, value):
    raw = value.to_bytes(max(1, (value.bit_length() + 8) // 8), "big", signed=True)
    return tlv(tag, raw)


def octets(text):
    return tlv(0x04, text if isinstance(text, bytes) else text.encode())


def message(ident, op):
    return tlv(0x30, ber_int(0x02, ident) + op)


def result(tag, code=0, diagnostic=""):
    return tlv(tag, ber_int(0x0A, code) + octets("") + octets(diagnostic))


def entry(dn, attributes):
    body = b""
    for name, values in attributes:
        body += tlv(0x30, octets(name) + tlv(0x31, b"".join(octets(v) for v in values)))
    return tlv(0x64, octets(dn) + tlv(0x30, body))


def read_tlv(data, at):
    tag = data[at]
    length = data[at + 1]
    at += 2
    if length & 0x80:
        count = length & 0x7F
        length = int.from_bytes(data[at:at + count], "big")
        at += count
    return tag, data[at:at + length], at + length


def read_message(conn):
    head = recv_exactly(conn, 2)
    length = head[1]
    extra = b""
    if length & 0x80:
        extra = recv_exactly(conn, length & 0x7F)
        length = int.from_bytes(extra, "big")
    return head + extra + recv_exactly(conn, length)


BASE = "DC=adcheck,DC=test"
USER_DN = "CN=Alice," + BASE

# What each scenario hands out for a base-scope read of a group or the user:
#   endless   every group is in two groups never seen before (a supply without end)
#   range     the user's memberOf comes in chunks of one value, for ever ("range=N-N")
#   values    the user is in 200000 groups, all in one answer
#   huge      the user's entry carries a 20 MB value
#   names     the user's groups have names with a line end and a terminal escape
#   account   the account's sAMAccountName holds a line end and terminal escapes
# and to binds: a simple bind succeeds; a SASL bind is refused, with "authentication method not
# supported" for GSS-SPNEGO and, in the scenario gssapi, "invalid credentials" for any other
# mechanism (a server that knows Kerberos only as plain GSSAPI and turns the account down).
SCENARIOS = ("endless", "range", "values", "huge", "names", "account", "gssapi")
FORGED_ACCOUNT = "ali\x1b[31mce\x07\nUser authenticated..."


def group_dn(n):
    return "CN=G%d,OU=Deep,%s" % (n, BASE)


def answer_search(scenario, ident, op):
    fields = []
    at = 0
    while at < len(op):
        tag, value, at = read_tlv(op, at)
        fields.append((tag, value))
    base = fields[0][1].decode("utf-8", "replace")
    scope = int.from_bytes(fields[1][1], "big")
    wanted = []
    _, attrs = fields[7]
    at = 0
    while at < len(attrs):
        _, value, at = read_tlv(attrs, at)
        wanted.append(value.decode("utf-8", "replace"))
    out = []
    if base == "" and scope == 0:
        out.append(entry("", [("defaultNamingContext", [BASE]), ("rootDomainNamingContext", [BASE]),
                              ("configurationNamingContext", ["CN=Configuration," + BASE])]))
    elif scope == 2:  # the translator looks the account up
        out.append(entry(USER_DN, [("sAMAccountName", [FORGED_ACCOUNT if scenario == "account" else "alice"]),
                                   ("objectSid", [bytes([1, 1, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0])])]))
    elif base == USER_DN and scope == 0:
        ranged = [w for w in wanted if w.lower().startswith("memberof;range=")]
        if scenario == "range":
            low = int(ranged[0].split("=")[1].split("-")[0]) if ranged else 0
            out.append(entry(USER_DN, [("objectClass", ["top", "user"]), ("name", ["Alice"]),
                                       ("memberOf;range=%d-%d" % (low, low), [group_dn(low)])]))
        elif scenario == "values":
            out.append(entry(USER_DN, [("objectClass", ["user"]), ("name", ["Alice"]),
                                       ("memberOf", [group_dn(n) for n in range(200000)])]))
        elif scenario == "huge":
            out.append(entry(USER_DN, [("objectClass", ["user"]), ("name", ["A" * (20 << 20)])]))
        elif scenario == "account":
            out.append(entry(USER_DN, [("objectClass", ["user"]), ("name", ["Alice"])]))
        elif scenario == "names":
            out.append(entry(USER_DN, [("objectClass", ["user"]), ("name", ["Alice"]),
                                       ("memberOf", ["CN=Evil1," + BASE, "CN=Evil2," + BASE])]))
        else:
            out.append(entry(USER_DN, [("objectClass", ["user"]), ("name", ["Alice"]),
                                       ("memberOf", [group_dn(1)])]))
    elif scope == 0 and base.startswith("CN=Evil"):
        name = {"CN=Evil1": "Evil\nUser authenticated...", "CN=Evil2": "Red\x1b[31mAlert\x07"}[base.split(",")[0]]
        out.append(entry(base, [("objectClass", ["group"]), ("name", [name])]))
    elif scope == 0 and base.startswith("CN=G"):
        n = int(base[4:base.index(",")])
        out.append(entry(base, [("objectClass", ["group"]), ("name", ["G%d" % n]),
                                ("memberOf", [group_dn(2 * n), group_dn(2 * n + 1)])]))
    return [message(ident, e) for e in out] + [message(ident, result(0x65))]


def answer_bind(scenario, ident, op):
    _, _, at = read_tlv(op, 0)  # version
    _, _, at = read_tlv(op, at)  # name
    kind, authentication, _ = read_tlv(op, at)
    if kind != 0xA3:  # simple
        return message(ident, result(0x61))
    _, mechanism, _ = read_tlv(authentication, 0)
    if mechanism == b"GSS-SPNEGO" or scenario != "gssapi":
        return message(ident, result(0x61, 7, "mechanism not offered"))
    return message(ident, result(0x61, 49, "the account is turned down"))


def serve_hostile(scenario, cert, key):
    if scenario not in SCENARIOS:
        sys.exit("unknown scenario " + scenario)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)

    def client(raw):
        try:
            with context.wrap_socket(raw, server_side=True) as conn:
                while True:
                    data = read_message(conn)
                    _, body, _ = read_tlv(data, 0)
                    _, ident_raw, at = read_tlv(body, 0)
                    ident = int.from_bytes(ident_raw, "big")
                    tag, op, _ = read_tlv(body, at)
                    if tag == 0x60:
                        conn.sendall(answer_bind(scenario, ident, op))
                    elif tag == 0x63:
                        conn.sendall(b"".join(answer_search(scenario, ident, op)))
                    elif tag == 0x42:
                        return
                    else:
                        conn.sendall(message(ident, result(0x78, 2, "not offered")))
        except (OSError, EOFError, ssl.SSLError, IndexError, ValueError):
            pass

    print("ready %d" % listener.getsockname()[1], flush=True)
    while True:
        raw, _ = listener.accept()
        raw.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        threading.Thread(target=client, args=(raw,), daemon=True).start()


def main(args):
    if len(args) >= 2 and args[0] == "dns":
        serve_dns(args[1])
    elif len(args) >= 3 and args[0] == "proxy":
        delay = int(args[args.index("--delay") + 1]) if "--delay" in args else 0
        record = args[args.index("--record") + 1] if "--record" in args else None
        connections = args[args.index("--connections") + 1] if "--connections" in args else None
        serve_proxy(args[1], int(args[2]), delay, record, connections)
    elif len(args) >= 1 and args[0] == "silent":
        serve_silent(args[args.index("--record") + 1] if "--record" in args else None)
    elif len(args) == 4 and args[0] == "hostile":
        serve_hostile(args[1], args[2], args[3])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
