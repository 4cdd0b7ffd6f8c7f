#!/usr/bin/env python3
"""A tiny POP3 server for the demo: every login succeeds and the mailbox
always holds the same few messages. Usage: demo-pop3-server.py ADDRESS PORT"""
import socketserver
import sys

MESSAGES = [
    b"From: Ada <ada@example.org>\r\nSubject: Lunch?\r\n\r\nAt noon, as usual.\r\n",
    b"From: Bob <bob@example.org>\r\nSubject: The report\r\n\r\nAttached, finally.\r\n",
    b"From: Cy <cy@example.org>\r\nSubject: Hello\r\n\r\nJust saying hello.\r\n",
]


class Session(socketserver.StreamRequestHandler):
    def reply(self, line):
        self.wfile.write(line + b"\r\n")

    def handle(self):
        self.reply(b"+OK Quillo demo mailbox ready.")
        for raw in self.rfile:
            command = raw.strip().split(b" ", 1)[0].upper()
            if command == b"STAT":
                size = sum(len(m) for m in MESSAGES)
                self.reply(b"+OK %d %d" % (len(MESSAGES), size))
            elif command == b"QUIT":
                self.reply(b"+OK Bye.")
                return
            elif command in (b"USER", b"PASS", b"NOOP"):
                self.reply(b"+OK")
            else:
                self.reply(b"-ERR Not in this demo.")


class Server(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True


if __name__ == "__main__":
    address, port = sys.argv[1], int(sys.argv[2])
    with Server((address, port), Session) as server:
        print("ready", flush=True)
        server.serve_forever()
