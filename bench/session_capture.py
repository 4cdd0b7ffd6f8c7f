#!/usr/bin/env python3
"""Records how long each POP3 session lasts as the server's side of the wire
sees it, without standing in the way: a passive capture on the loopback
interface, with the kernel's receive timestamps.

    session_capture.py ADDRESS PORT OUTFILE

A session runs from the client's SYN to the last FIN or RST of the
connection (both sides closed). On SIGTERM the lengths of the complete
sessions, in milliseconds, are written to OUTFILE, one a line.
"""
import signal
import socket
import struct
import sys

SO_TIMESTAMPNS = 35
ETH_P_ALL = 0x0003


def main():
    address, port, outfile = socket.inet_aton(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
    capture = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(ETH_P_ALL))
    capture.bind(("lo", 0))
    capture.setsockopt(socket.SOL_SOCKET, SO_TIMESTAMPNS, 1)
    capture.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 8 << 20)
    # Wakes up now and then, so that a SIGTERM ends the loop.
    capture.settimeout(0.2)
    sessions = {}  # client port -> [start, end, fins, reset]
    done = []
    stopping = False

    def stop(*_):
        nonlocal stopping
        stopping = True

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    print("ready", flush=True)
    while not stopping:
        try:
            data, ancillary, _, origin = capture.recvmsg(256, socket.CMSG_SPACE(16))
        except (InterruptedError, socket.timeout):
            continue
        # On loopback every packet shows up twice, outgoing and incoming;
        # the incoming copy is the one the receiving side gets.
        if origin[2] == socket.PACKET_OUTGOING:
            continue
        if len(data) < 14 + 20 + 20 or data[12:14] != b"\x08\x00":
            continue
        ip = data[14:]
        header = (ip[0] & 0x0F) * 4
        if ip[9] != 6:
            continue
        source, destination = ip[12:16], ip[16:20]
        tcp = ip[header:]
        source_port, destination_port = struct.unpack("!HH", tcp[:4])
        flags = tcp[13]
        if source == address and source_port == port:
            client = destination_port
        elif destination == address and destination_port == port:
            client = source_port
        else:
            continue
        when = None
        for level, kind, value in ancillary:
            if level == socket.SOL_SOCKET and kind == SO_TIMESTAMPNS:
                seconds, nanoseconds = struct.unpack("qq", value[:16])
                when = seconds + nanoseconds / 1e9
        if when is None:
            continue
        syn, fin, rst = flags & 0x02, flags & 0x01, flags & 0x04
        if syn and not flags & 0x10:  # the client's SYN opens a session
            sessions[client] = [when, when, set(), False]
            continue
        session = sessions.get(client)
        if session is None:
            continue
        if fin:
            session[1] = max(session[1], when)
            session[2].add(source_port)
        if rst:
            session[1] = max(session[1], when)
            session[3] = True
        if session[3] or len(session[2]) == 2:
            # Further copies of the closing packet may follow; the first
            # completion counts.
            done.append((session[1] - session[0]) * 1000)
            del sessions[client]
    with open(outfile, "w") as out:
        for milliseconds in done:
            out.write(f"{milliseconds:.3f}\n")


if __name__ == "__main__":
    main()
