#!/usr/bin/env python3
"""A scripted POP3 server with TLS, for the tests of the TLS engine and of
the POP3 dialogue over it. One process serves several modes, each on a port
of its own, and keeps for each mode a log of what its clients did.

  tls_peer.py serve STATE CERTS [--address A] MODE[=PORT]...
      Serves in the foreground; once every mode listens, prints "MODE PORT"
      per mode and "ready", and writes the same lines to STATE/ports.
  tls_peer.py start STATE CERTS [--address A] MODE[=PORT]...
      The same in the background (its output in STATE/peer.out); returns
      once STATE/ports is written. "all" stands for every mode.
  tls_peer.py stop STATE
      Ends a server started with start.

A port of 0 (the default) lets the system pick one. CERTS is a folder made
by test-certs. STATE/MODE.log gets one line per event, prefixed with the
connection's number in that mode: "connected", "< LINE" for each line the
client sent (before or inside TLS), "tls TLSv1.2" once the handshake is done,
"handshake failed: ...", "closed". So a client that sent credentials shows
as a line that starts with "< USER" or "< PASS".

Beside the modes, STATE/issuer-url.log gets "connected" for each connection
to the address that the aia certificate names as its issuer's URL (which is
closed at once): the chain check must never fetch it.

The modes (STAT answers "+OK 0 0" unless said otherwise):
  pop3s          TLS from the first byte, then greeting, CAPA, USER, PASS, STAT, QUIT
  pop3s-mail     as pop3s, STAT "+OK 1 100"
  stls           plain greeting; STLS answered "+OK", then TLS, then the dialogue
  stls-mail      as stls, STAT "+OK 1 100"
  stls-refused   STLS answered "-ERR"; the dialogue goes on in plain text
  stls-inject    STLS answered "+OK" with a further reply in the same segment
  untrusted      as pop3s, certificate from a CA that nobody trusts (sent alone)
  untrusted-chain  as untrusted, the CA sent with it
  wrong-name     as pop3s, certificate for other.test
  expired        as pop3s, certificate expired in 2021
  not-yet-valid  as pop3s, certificate valid from 2040
  wildcard       as pop3s, certificate for *.test and *.example.test
  cn-only        as pop3s, certificate with common name mail.test and no subjectAltName
  aia            as pop3s, certificate from an intermediate CA that is not sent, which
                 the certificate says can be fetched from a URL (see test-certs)
  tls11          as pop3s, TLS 1.1 at most
  plain          plain POP3 on what the client takes for a TLS port
  silent         as pop3s, but stops after the first bytes of its first flight
  bytewise       as pop3s, every byte (handshake and replies) in its own segment
  flood          as pop3s, but after the greeting records of data without end
  close-notify   as pop3s, but after the greeting a close_notify, and the connection
                 stays open until the client closes it
  huge-record    as pop3s, but after the greeting a record header that claims 0xFFFF
                 bytes, and nothing more
"""

import os
import signal
import socket
import ssl
import subprocess
import sys
import threading
import time

GREETING = b"+OK POP3 peer ready.\r\n"
STLS_OK = b"+OK Begin TLS negotiation now.\r\n"
INJECTED = b"+OK 1 100\r\n"
# What `silent` sends of its first flight: the start of ServerHello.
SILENT_AFTER = 60
# The pause after each byte in `bytewise`, so that the segments reach the
# client one by one instead of piling up in its receive buffer.
BYTE_PAUSE = 0.0005

MODES = {
    "pop3s": dict(tls="first"),
    "pop3s-mail": dict(tls="first", stat=b"+OK 1 100"),
    "stls": dict(tls="stls"),
    "stls-mail": dict(tls="stls", stat=b"+OK 1 100"),
    "stls-refused": dict(tls="refused"),
    "stls-inject": dict(tls="stls", inject=True),
    "untrusted": dict(tls="first", cert="untrusted"),
    "untrusted-chain": dict(tls="first", cert="untrusted", chain="untrusted-chain"),
    "wrong-name": dict(tls="first", cert="other"),
    "expired": dict(tls="first", cert="expired"),
    "tls11": dict(tls="first", tls11=True),
    "plain": dict(tls=None),
    "silent": dict(tls="first", silent=True),
    "bytewise": dict(tls="first", bytewise=True),
    "not-yet-valid": dict(tls="first", cert="future"),
    "wildcard": dict(tls="first", cert="wildcard"),
    "cn-only": dict(tls="first", cert="cn-only"),
    "aia": dict(tls="first", cert="aia"),
    "flood": dict(tls="first", after_greeting="flood"),
    "close-notify": dict(tls="first", after_greeting="close-notify"),
    "huge-record": dict(tls="first", after_greeting="huge-record"),
}
# Where the aia certificate says its issuer can be fetched (test-certs).
ISSUER_URL = ("127.0.0.44", 8044)
# Longer than any record may be (2^14 + 2048 bytes); only the header is sent.
HUGE_RECORD_HEADER = b"\x17\x03\x03\xff\xff"


def server_context(certs, mode):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    cert = mode.get("cert", "server")
    context.load_cert_chain(os.path.join(certs, mode.get("chain", cert) + ".crt"),
                            os.path.join(certs, cert + ".key"))
    if mode.get("tls11"):
        # OpenSSL 3 refuses TLS 1.1 at its default security level.
        context.set_ciphers("DEFAULT:@SECLEVEL=0")
        context.minimum_version = ssl.TLSVersion.TLSv1
        context.maximum_version = ssl.TLSVersion.TLSv1_1
    return context


class Connection:
    """One client: a plain socket, with TLS through memory buffers so that
    the modes decide how the bytes leave."""

    def __init__(self, sock, mode, context, log):
        self.sock = sock
        self.mode = mode
        self.context = context
        self.log = log
        self.pending = b""  # received, not yet read as a line (plain) or fed to TLS
        self.tls = None
        self.incoming = ssl.MemoryBIO()
        self.outgoing = ssl.MemoryBIO()

    def send_raw(self, data):
        if self.mode.get("bytewise"):
            for byte in data:
                self.sock.send(bytes([byte]))
                time.sleep(BYTE_PAUSE)
        else:
            self.sock.sendall(data)

    def flush(self):
        data = self.outgoing.read()
        if data and self.mode.get("silent"):
            self.send_raw(data[:SILENT_AFTER])
            self.log("silent")
            while self.sock.recv(4096):
                pass
            raise EOFError
        if data:
            self.send_raw(data)

    def receive(self):
        data = self.sock.recv(4096)
        if not data:
            raise EOFError
        return data

    def handshake(self):
        self.tls = self.context.wrap_bio(self.incoming, self.outgoing, server_side=True)
        self.incoming.write(self.pending)
        self.pending = b""
        while True:
            try:
                self.tls.do_handshake()
                self.flush()
                self.log("tls " + self.tls.version())
                return True
            except ssl.SSLWantReadError:
                self.flush()
                self.incoming.write(self.receive())
            except ssl.SSLError as error:
                self.flush()
                self.log("handshake failed: %s" % error.reason)
                return False

    def send_line(self, line):
        if self.tls is None:
            self.send_raw(line)
            return
        self.tls.write(line)
        self.flush()

    def read_line(self):
        while b"\n" not in self.pending:
            if self.tls is None:
                self.pending += self.receive()
                continue
            try:
                data = self.tls.read(4096)
                if not data:
                    raise EOFError
                self.pending += data
            except ssl.SSLWantReadError:
                self.incoming.write(self.receive())
        line, _, self.pending = self.pending.partition(b"\n")
        text = line.rstrip(b"\r").decode("latin-1")
        self.log("< " + text)
        return text

    def dialogue(self):
        """The mailbox's side after the greeting, until QUIT."""
        while True:
            command = self.read_line().split(" ")[0].upper()
            if command == "STAT":
                self.send_line(self.mode.get("stat", b"+OK 0 0") + b"\r\n")
            elif command == "PASS":
                self.send_line(b"+OK Logged in.\r\n")
            elif command == "CAPA":
                self.send_line(b"+OK\r\nUSER\r\n.\r\n")
            elif command == "QUIT":
                self.send_line(b"+OK Logging out.\r\n")
                return
            else:
                self.send_line(b"+OK\r\n")

    def wait_for_close(self):
        while self.sock.recv(4096):
            pass

    def misbehave(self, how):
        """What the modes with after_greeting do instead of the dialogue."""
        if how == "flood":
            while True:
                self.send_line(b"x" * 1000)
        elif how == "close-notify":
            try:
                self.tls.unwrap()
            except ssl.SSLWantReadError:
                pass
            self.flush()
        elif how == "huge-record":
            self.send_raw(HUGE_RECORD_HEADER)
        self.log(how)
        self.wait_for_close()

    def run(self):
        tls = self.mode["tls"]
        if tls == "first" and not self.handshake():
            return
        self.send_line(GREETING)
        if self.mode.get("after_greeting"):
            self.misbehave(self.mode["after_greeting"])
            return
        if tls in ("stls", "refused"):
            command = self.read_line().upper()
            if command != "STLS":
                self.send_line(b"-ERR Say STLS first.\r\n")
                self.dialogue()
                return
            if tls == "refused":
                self.send_line(b"-ERR Unknown command.\r\n")
                self.dialogue()
                return
            self.send_raw(STLS_OK + (INJECTED if self.mode.get("inject") else b""))
            if not self.handshake():
                return
        self.dialogue()


class ModeLog:
    def __init__(self, path):
        self.file = open(path, "a", buffering=1)
        self.lock = threading.Lock()
        self.count = 0

    def connection(self):
        with self.lock:
            self.count += 1
            number = self.count
        return lambda event: self.write("%d %s" % (number, event))

    def write(self, line):
        with self.lock:
            self.file.write(line + "\n")


def serve_client(sock, mode, context, log):
    log("connected")
    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    try:
        Connection(sock, mode, context, log).run()
    except (EOFError, OSError, ssl.SSLError):
        pass
    finally:
        log("closed")
        sock.close()


def accept_forever(listener, mode, context, log):
    while True:
        sock, _ = listener.accept()
        threading.Thread(target=serve_client, args=(sock, mode, context, log.connection()), daemon=True).start()


def record_fetches(listener, log):
    while True:
        sock, _ = listener.accept()
        log.connection()("connected")
        sock.close()


def parse_modes(requests):
    if requests == ["all"]:
        return [(name, 0) for name in MODES]
    modes = []
    for request in requests:
        name, _, port = request.partition("=")
        if name not in MODES:
            sys.exit("tls_peer: unknown mode %s" % name)
        modes.append((name, int(port or 0)))
    return modes


def serve(state, certs, address, requests):
    os.makedirs(state, exist_ok=True)
    family = socket.AF_INET6 if ":" in address else socket.AF_INET
    lines = []
    for name, port in parse_modes(requests):
        mode = MODES[name]
        listener = socket.socket(family, socket.SOCK_STREAM)
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        listener.bind((address, port))
        listener.listen(16)
        log = ModeLog(os.path.join(state, name + ".log"))
        threading.Thread(target=accept_forever, args=(listener, mode, server_context(certs, mode), log),
                         daemon=True).start()
        lines.append("%s %d\n" % (name, listener.getsockname()[1]))
    fetches = socket.create_server(ISSUER_URL)
    threading.Thread(target=record_fetches, args=(fetches, ModeLog(os.path.join(state, "issuer-url.log"))),
                     daemon=True).start()
    with open(os.path.join(state, "ports.part"), "w") as ports:
        ports.writelines(lines)
    os.rename(os.path.join(state, "ports.part"), os.path.join(state, "ports"))
    sys.stdout.write("".join(lines) + "ready\n")
    sys.stdout.flush()
    signal.sigwait([signal.SIGTERM, signal.SIGINT])


def start(state, arguments):
    stop(state)
    os.makedirs(state, exist_ok=True)
    for name in os.listdir(state):
        os.remove(os.path.join(state, name))
    with open(os.path.join(state, "peer.out"), "w") as out:
        process = subprocess.Popen([sys.executable, os.path.abspath(__file__), "serve", state] + arguments,
                                   stdin=subprocess.DEVNULL, stdout=out, stderr=out, start_new_session=True)
    with open(os.path.join(state, "pid"), "w") as pid:
        pid.write("%d\n" % process.pid)
    for _ in range(200):
        if os.path.exists(os.path.join(state, "ports")):
            return
        if process.poll() is not None:
            break
        time.sleep(0.05)
    sys.exit("tls_peer: the server did not start; see %s/peer.out" % state)


def stop(state):
    try:
        with open(os.path.join(state, "pid")) as pid:
            number = int(pid.read())
    except (OSError, ValueError):
        return
    try:
        os.kill(number, signal.SIGTERM)
        for _ in range(100):
            if not alive(number):
                break
            time.sleep(0.05)
    except ProcessLookupError:
        pass
    os.remove(os.path.join(state, "pid"))


def alive(number):
    """Whether the process still runs: an ended one that nobody reaps (as on
    a machine whose init does not) counts as ended."""
    try:
        with open("/proc/%d/stat" % number) as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def main(argv):
    if len(argv) >= 2 and argv[0] == "stop":
        stop(argv[1])
        return
    if len(argv) < 4 or argv[0] not in ("serve", "start"):
        sys.exit(__doc__)
    state, certs, rest = argv[1], argv[2], argv[3:]
    address = "127.0.0.1"
    if rest[0] == "--address":
        address, rest = rest[1], rest[2:]
    if argv[0] == "start":
        start(state, [certs, "--address", address] + rest)
    else:
        signal.pthread_sigmask(signal.SIG_BLOCK, [signal.SIGTERM, signal.SIGINT])
        serve(state, certs, address, rest)


if __name__ == "__main__":
    main(sys.argv[1:])
