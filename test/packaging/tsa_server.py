"""A time-stamp authority on the loopback interface for the signing tests: answers RFC 3161 requests that
arrive by HTTP POST with `openssl ts -reply`, using the TSA section of an OpenSSL configuration.

    python3 tsa_server.py <openssl config> <port file>

Listens on 127.0.0.1 at a free port, which it writes to <port file> once it is ready. It stops by itself
after 10 requests or after 120 seconds, whichever comes first.
"""

import http.server
import os
import subprocess
import sys
import tempfile
import time

MAX_REQUESTS = 10
LIFETIME_SECONDS = 120


class TimeStampHandler(http.server.BaseHTTPRequestHandler):
    config = None

    def do_POST(self):
        query = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        with tempfile.TemporaryDirectory() as scratch:
            query_file = os.path.join(scratch, "query.tsq")
            reply_file = os.path.join(scratch, "reply.tsr")
            with open(query_file, "wb") as file:
                file.write(query)
            result = subprocess.run(["openssl", "ts", "-reply", "-config", self.config, "-queryfile", query_file,
                                     "-out", reply_file], capture_output=True)
            if result.returncode != 0 or not os.path.exists(reply_file):
                sys.stderr.write(result.stderr.decode(errors="replace"))
                self.send_error(500, "openssl ts -reply failed")
                return
            with open(reply_file, "rb") as file:
                reply = file.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, format, *args):
        sys.stderr.write("tsa: " + format % args + "\n")


class Server(http.server.HTTPServer):
    timeout = 1  # seconds that handle_request waits before it gives the loop a turn
    timed_out = False

    def handle_timeout(self):
        self.timed_out = True


def main(config, port_file):
    TimeStampHandler.config = config
    server = Server(("127.0.0.1", 0), TimeStampHandler)
    with open(port_file + ".tmp", "w") as file:
        file.write(str(server.server_address[1]))
    os.replace(port_file + ".tmp", port_file)
    deadline = time.monotonic() + LIFETIME_SECONDS
    handled = 0
    while handled < MAX_REQUESTS and time.monotonic() < deadline:
        server.timed_out = False
        server.handle_request()
        if not server.timed_out:
            handled += 1
    server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
