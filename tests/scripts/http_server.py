#!/usr/bin/env python3
"""Loopback HTTP server for the transfer tests.

usage: http_server.py ROOT

Listens on 127.0.0.1 on a free port, prints "PORT <n>" on its first line and serves until its
standard input is closed (so it never outlives the test that started it).

Every request is appended to ROOT/_requests.log (one line "<METHOD> <target>", then one line per
header, indented by a tab, then the body length as "\tbody <n>") before it is answered.

Paths:
  /_hang          reads the request and never answers
  /_echo          answers "<METHOD>\\n<Content-Type>\\n" followed by the request body
  /_redirect      answers 302 with Location taken from the query parameter "to"
  anything else   the file ROOT/<path>, or a 404 page when there is none

Query parameters for files:
  framing=length  (default) with a Content-Length header
  framing=close   without Content-Length; the connection is closed after the body
  framing=chunked chunked transfer coding
  cl=<text>       sends "Content-Length: <text>" as given (with framing=close)
  status=<n>      answers with this status code
  piece=<n>       writes the body in pieces of n bytes, flushing after each
"""

import os
import socketserver
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler

ROOT = ""
LOG_LOCK = threading.Lock()
NOT_FOUND_PAGE = (b"<html><head><title>404 Not Found</title></head>\r\n"
                  b"<body><h1>Not Found</h1><p>The requested resource was not found.</p></body></html>\r\n")


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, format, *args):  # keep the test output quiet
        pass

    def _read_body(self):
        length = self.headers.get("Content-Length")
        if length is None:
            return b""
        return self.rfile.read(int(length))

    def _log(self, body):
        lines = ["%s %s" % (self.command, self.path)]
        for name, value in self.headers.items():
            lines.append("\t%s: %s" % (name, value))
        lines.append("\tbody %d" % len(body))
        with LOG_LOCK:
            with open(os.path.join(ROOT, "_requests.log"), "a", encoding="latin-1") as log:
                log.write("\n".join(lines) + "\n")

    def _send(self, status, body, framing="length", cl=None, piece=0, extra=()):
        self.send_response(status)
        self.send_header("Content-Type", "text/html" if status >= 400 else "application/octet-stream")
        for name, value in extra:
            self.send_header(name, value)
        if framing == "chunked":
            self.send_header("Transfer-Encoding", "chunked")
        elif framing == "close":
            if cl is not None:
                self.send_header("Content-Length", cl)
            self.send_header("Connection", "close")
            self.close_connection = True
        else:
            self.send_header("Content-Length", str(len(body)) if cl is None else cl)
        self.end_headers()
        step = piece if piece > 0 else max(len(body), 1)
        for start in range(0, len(body), step):
            part = body[start:start + step]
            if framing == "chunked":
                self.wfile.write(b"%x\r\n%s\r\n" % (len(part), part))
            else:
                self.wfile.write(part)
            self.wfile.flush()
        if framing == "chunked":
            self.wfile.write(b"0\r\n\r\n")
            self.wfile.flush()

    def _handle(self):
        body = self._read_body()
        self._log(body)
        url = urllib.parse.urlsplit(self.path)
        query = dict(urllib.parse.parse_qsl(url.query))
        if url.path == "/_hang":
            while True:  # the client gives up; the thread dies with the process
                time.sleep(3600)
        if url.path == "/_echo":
            text = ("%s\n%s\n" % (self.command, self.headers.get("Content-Type", ""))).encode("latin-1")
            self._send(200, text + body)
            return
        if url.path == "/_redirect":
            self._send(302, b"moved", extra=[("Location", query.get("to", "/"))])
            return
        name = os.path.normpath(urllib.parse.unquote(url.path)).lstrip("/")
        file_name = os.path.join(ROOT, name)
        if name.startswith("..") or not os.path.isfile(file_name):
            self._send(404, NOT_FOUND_PAGE)
            return
        with open(file_name, "rb") as f:
            content = f.read()
        self._send(int(query.get("status", "200")), content, framing=query.get("framing", "length"),
                   cl=query.get("cl"), piece=int(query.get("piece", "0")))

    do_GET = _handle
    do_POST = _handle


class Server(socketserver.ThreadingMixIn, socketserver.TCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    global ROOT
    ROOT = sys.argv[1]
    server = Server(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    sys.stdout.write("PORT %d\n" % server.server_address[1])
    sys.stdout.flush()
    sys.stdin.read()  # returns when the test closes our input
    os._exit(0)


if __name__ == "__main__":
    main()
