#!/usr/bin/env python3
"""Loopback HTTP proxy for the soak: every navigation of the program ends here.

Listens on 127.0.0.1 at a port the system picks and writes the port to PORT_FILE.
Each connection gets one short HTML answer and is closed; nothing is forwarded, so
nothing leaves the machine. On SIGTERM or SIGINT it writes a JSON summary to
SUMMARY_FILE: the number of requests, of connections, and the count of each request
line, then exits.

    proxy.py PORT_FILE SUMMARY_FILE
"""
import json
import os
import signal
import socket
import sys
import threading

BODY = b"<html><head><title>soak</title></head><body>soak</body></html>"
ANSWER = (
    b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: "
    + str(len(BODY)).encode()
    + b"\r\nConnection: close\r\n\r\n"
    + BODY
)


class Tally:
    def __init__(self):
        self.lock = threading.Lock()
        self.connections = 0
        self.requests = 0
        self.lines = {}

    def connection(self):
        with self.lock:
            self.connections += 1

    def request(self, line):
        with self.lock:
            self.requests += 1
            self.lines[line] = self.lines.get(line, 0) + 1

    def summary(self):
        with self.lock:
            return {
                "connections": self.connections,
                "requests": self.requests,
                "request_lines": self.lines,
            }


def serve_one(client, tally):
    client.settimeout(10)
    data = b""
    try:
        while b"\r\n\r\n" not in data and len(data) < 65536:
            chunk = client.recv(4096)
            if not chunk:
                break
            data += chunk
        if data:
            tally.request(data.split(b"\r\n", 1)[0].decode("latin-1"))
            client.sendall(ANSWER)
    except OSError:
        pass
    finally:
        client.close()


def main():
    port_file, summary_file = sys.argv[1], sys.argv[2]
    tally = Tally()
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(128)

    def finish(*_):
        with open(summary_file, "w") as out:
            json.dump(tally.summary(), out, indent=1, sort_keys=True)
        listener.close()
        sys.exit(0)

    signal.signal(signal.SIGTERM, finish)
    signal.signal(signal.SIGINT, finish)
    with open(port_file + ".tmp", "w") as out:
        out.write(str(listener.getsockname()[1]))
    # Renamed into place so that a reader never sees a half-written number.
    os.replace(port_file + ".tmp", port_file)
    while True:
        try:
            client, _ = listener.accept()
        except OSError:
            break
        tally.connection()
        threading.Thread(target=serve_one, args=(client, tally), daemon=True).start()


if __name__ == "__main__":
    main()
