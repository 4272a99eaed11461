#!/usr/bin/env python3
"""Idle browser connections for bench/run-web.sh: opens CONNECTIONS keep-alive connections to the
portal, PER_SOURCE from each loopback address from 127.0.0.2 on, sends one `GET /login` on each
and reads the whole answer, as a browser tab left open on the login page would; then holds them
until SIGTERM or SIGINT and says how many the server closed meanwhile.

    web-idle.py PORT CONNECTIONS PER_SOURCE READY_FILE
"""
import ipaddress
import select
import signal
import socket
import sys
import time

REQUEST = b"GET /login HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: keep-alive\r\n\r\n"


def read_answer(sock):
    """Reads one answer with a Content-Length body; returns its status code."""
    data = b""
    while b"\r\n\r\n" not in data:
        piece = sock.recv(65536)
        if not piece:
            raise ConnectionError("closed before the answer's head")
        data += piece
    head, _, body = data.partition(b"\r\n\r\n")
    lines = head.decode("latin-1").split("\r\n")
    status = int(lines[0].split()[1])
    length = 0
    for line in lines[1:]:
        name, _, value = line.partition(":")
        if name.strip().lower() == "content-length":
            length = int(value.strip())
        if name.strip().lower() == "transfer-encoding":
            raise ConnectionError("a chunked answer to GET /login")
    while len(body) < length:
        piece = sock.recv(65536)
        if not piece:
            raise ConnectionError("closed inside the answer's body")
        body += piece
    return status


def closed_by_server(sock):
    readable, _, _ = select.select([sock], [], [], 0)
    if not readable:
        return False
    try:
        return sock.recv(1, socket.MSG_PEEK) == b""
    except OSError:
        return True


def main():
    port, count, per_source, ready_file = (int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]),
                                           sys.argv[4])
    stop = []
    signal.signal(signal.SIGTERM, lambda *_: stop.append(1))
    signal.signal(signal.SIGINT, lambda *_: stop.append(1))
    first = ipaddress.IPv4Address("127.0.0.2")
    sockets = []
    statuses = {}
    started = time.monotonic()
    for i in range(count):
        sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        sock.settimeout(10)
        sock.bind((str(first + i // per_source), 0))
        sock.connect(("127.0.0.1", port))
        sock.sendall(REQUEST)
        status = read_answer(sock)
        statuses[status] = statuses.get(status, 0) + 1
        sockets.append(sock)
    took = time.monotonic() - started
    summary = ", ".join(f"{n} x {s}" for s, n in sorted(statuses.items()))
    sources = (count + per_source - 1) // per_source
    print(f"web-idle: {len(sockets)} connections from {sources} addresses open and answered "
          f"({summary}) in {took:.2f} s", flush=True)
    with open(ready_file, "w") as ready:
        ready.write(f"{len(sockets)}\n")
    held_from = time.monotonic()
    while not stop:
        time.sleep(0.2)
    closed = sum(1 for sock in sockets if closed_by_server(sock))
    print(f"web-idle: held {len(sockets)} connections for {time.monotonic() - held_from:.1f} s, "
          f"{closed} closed by the server", flush=True)
    for sock in sockets:
        sock.close()


if __name__ == "__main__":
    main()
