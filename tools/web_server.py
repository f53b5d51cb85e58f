#!/usr/bin/env python3
"""Serves a folder on 127.0.0.1 only, with the headers a page of threads
needs (cross-origin isolation: Cross-Origin-Opener-Policy and
Cross-Origin-Embedder-Policy) and without caching.

    tools/web_server.py DIR [PORT [PAGE]]   (PORT 0 or none: any free port)

Prints the address, "http://127.0.0.1:PORT/PAGE", on one line once it
listens."""
import functools
import http.server
import sys


class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      ".wasm": "application/wasm", ".js": "text/javascript"}

    def end_headers(self):
        self.send_header("Cross-Origin-Opener-Policy", "same-origin")
        self.send_header("Cross-Origin-Embedder-Policy", "require-corp")
        self.send_header("Cache-Control", "no-store")
        super().end_headers()

    def log_message(self, *args):
        pass  # one line per request would bury the address


def main():
    if len(sys.argv) not in (2, 3, 4):
        sys.exit("usage: web_server.py DIR [PORT [PAGE]]")
    port = int(sys.argv[2]) if len(sys.argv) >= 3 else 0
    page = sys.argv[3] if len(sys.argv) == 4 else ""
    handler = functools.partial(Handler, directory=sys.argv[1])
    with http.server.ThreadingHTTPServer(("127.0.0.1", port), handler) as server:
        print(f"http://127.0.0.1:{server.server_address[1]}/{page}", flush=True)
        try:
            server.serve_forever()
        except KeyboardInterrupt:
            pass


if __name__ == "__main__":
    main()
