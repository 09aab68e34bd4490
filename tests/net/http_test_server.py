#!/usr/bin/env python3
"""HTTP server for the download tests.

Usage: http_test_server.py CORPUS_DIR CERT_FILE
Listens on 127.0.0.1 on two free ports, one HTTP, one HTTPS with the
self-signed certificate and key in CERT_FILE, prints "HTTP_PORT HTTPS_PORT"
and serves until its standard input closes, so it never outlives the test
that started it.

Paths:
  /echo?body=B&type=T&status=S  body B (percent-encoded bytes), Content-Type T
        &retry=R&location=L     and a Retry-After header R, a Location L,
        &cache=C                a Cache-Control C
  /status/CODE                  that status with a short body
  /redirect/N                   N redirects, then 200
  /loop                         redirects to itself
  /to-file                      redirects to a file:// address
  /gzip, /deflate               a compressed body
  /hang                         reads the request and never answers
  /big/N                        N bytes with a Content-Length
  /stream/N                     N bytes without one, ended by closing
  /headers                      with ETag and Last-Modified
  /conditional/etag, /conditional/date
                                a feed with an ETag or a Last-Modified, and 304
                                to a request that sends it back; the feed's item
                                counts the bodies sent
  /moved/N                      N permanent redirects (301 and 308 in turn), then 200
  /busy/KEY                     answers after 0.3 s with the most requests for
                                KEY it saw at once
  /agent                        the request's User-Agent as the body
  /huge-header                  a feed behind a 1 MB header
  /corpus/PATH                  a file of CORPUS_DIR as it is
Any path takes ?type=T to set the Content-Type.
"""
import gzip
import itertools
import os
import socket
import ssl
import sys
import threading
import zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import unquote_to_bytes, urlsplit

FEED = b'<?xml version="1.0"?><rss version="2.0"><channel><title>Plain</title></channel></rss>'
stopping = threading.Event()
busy_lock = threading.Lock()
busy_now = {}
busy_peak = {}
responses = itertools.count(1)


def numbered_feed():
    """A feed whose one item names how many bodies were sent so far."""
    return (b'<?xml version="1.0"?><rss version="2.0"><channel><title>Counted</title>'
            b'<item><title>response %d</title></item></channel></rss>' % next(responses))


def query_args(query):
    args = {}
    for pair in query.split("&"):
        if pair:
            name, _, value = pair.partition("=")
            args[name] = unquote_to_bytes(value.replace("+", " "))
    return args


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    corpus = ""

    def setup(self):
        super().setup()
        # Headers and body go out in two writes; without this the second one
        # waits for the client's delayed acknowledgement.
        self.request.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

    def log_message(self, *args):
        pass

    def reply(self, status, body, content_type, headers=(), length=True):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        for name, value in headers:
            self.send_header(name, value)
        if length:
            self.send_header("Content-Length", str(len(body)))
        else:
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        url = urlsplit(self.path)
        args = query_args(url.query)
        content_type = args.get("type", b"text/xml").decode("latin-1")
        parts = url.path.strip("/").split("/", 1)
        route, rest = parts[0], parts[1] if len(parts) > 1 else ""

        if route == "echo":
            headers = [(name, args[key].decode("latin-1"))
                       for key, name in (("retry", "Retry-After"), ("location", "Location"), ("cache", "Cache-Control"))
                       if key in args]
            self.reply(int(args.get("status", b"200")), args.get("body", b""), content_type, headers)
        elif route == "status":
            self.reply(int(rest), b"<error/>", content_type)
        elif route == "redirect":
            count = int(rest)
            if count == 0:
                self.reply(200, FEED, content_type)
            else:
                self.reply(302, b"", content_type, [("Location", "/redirect/%d" % (count - 1))])
        elif route == "loop":
            self.reply(302, b"", content_type, [("Location", "/loop")])
        elif route == "to-file":
            self.reply(302, b"", content_type, [("Location", "file:///etc/hostname")])
        elif route == "gzip":
            self.reply(200, gzip.compress(FEED), content_type, [("Content-Encoding", "gzip")])
        elif route == "deflate":
            self.reply(200, zlib.compress(FEED), content_type, [("Content-Encoding", "deflate")])
        elif route == "hang":
            stopping.wait(120)
            self.close_connection = True
        elif route == "big":
            self.reply(200, b"a" * int(rest), content_type)
        elif route == "stream":
            self.reply(200, b"a" * int(rest), content_type, length=False)
        elif route == "headers":
            self.reply(200, FEED, content_type,
                       [("ETag", '"v1"'), ("Last-Modified", "Sat, 01 Jun 2024 10:00:00 GMT")])
        elif route == "conditional":
            if rest == "etag":
                validator, header = ("ETag", '"v1"'), "If-None-Match"
            else:
                validator, header = ("Last-Modified", "Sat, 01 Jun 2024 10:00:00 GMT"), "If-Modified-Since"
            if self.headers.get(header) == validator[1]:
                self.reply(304, b"", content_type, [validator])
            else:
                self.reply(200, numbered_feed(), content_type, [validator])
        elif route == "moved":
            count = int(rest)
            if count == 0:
                self.reply(200, FEED, content_type)
            else:
                self.reply(301 if count % 2 == 0 else 308, b"", content_type,
                           [("Location", "/moved/%d" % (count - 1))])
        elif route == "busy":
            with busy_lock:
                busy_now[rest] = busy_now.get(rest, 0) + 1
                busy_peak[rest] = max(busy_peak.get(rest, 0), busy_now[rest])
            stopping.wait(0.3)
            with busy_lock:
                busy_now[rest] -= 1
                peak = busy_peak[rest]
            self.reply(200, str(peak).encode(), content_type)
        elif route == "huge-header":
            self.reply(200, FEED, content_type, [("X-Filler", "a" * (1 << 20))])
        elif route == "agent":
            self.reply(200, self.headers.get("User-Agent", "").encode("latin-1"), content_type)
        elif route == "corpus":
            path = os.path.realpath(os.path.join(self.corpus, rest))
            if not path.startswith(os.path.realpath(self.corpus) + os.sep) or not os.path.isfile(path):
                self.reply(404, b"", content_type)
                return
            with open(path, "rb") as file:
                self.reply(200, file.read(), content_type)
        else:
            self.reply(404, b"", content_type)


def serve(server):
    thread = threading.Thread(target=server.serve_forever, args=(0.05,), daemon=True)
    thread.start()
    return server.server_address[1]


def main():
    Handler.corpus = sys.argv[1]
    ThreadingHTTPServer.daemon_threads = True
    http = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    https = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(sys.argv[2])
    https.socket = context.wrap_socket(https.socket, server_side=True)
    print(serve(http), serve(https), flush=True)
    sys.stdin.read()
    stopping.set()
    http.shutdown()
    https.shutdown()


if __name__ == "__main__":
    main()
