#!/usr/bin/env python3
"""Records how long each POP3 session lasts as the server's side of the wire
sees it, without standing in the way: a passive capture on the loopback
interface, with the kernel's receive timestamps.

    session_capture.py ADDRESS PORT OUTFILE [TURNS]

A session runs from the client's SYN to the last FIN or RST of the
connection (both sides closed). On SIGTERM the lengths of the complete
sessions, in milliseconds, are written to OUTFILE, one a line.

With TURNS, the same sessions are also split into whose turn it was, written
to TURNS.client, TURNS.server (one reaction a line: from the last packet of
one side to the next packet of the other, in milliseconds), TURNS.shares
(per session the time that was the client's and the time that was the
server's, which add up to the session) and TURNS.close (per session, from
the client's last command to the end). Only packets that a program caused
count: SYN, data, FIN, RST. Pure ACKs are the kernels' and are left out; a
gap between two counted packets is the turn of the side that sent the later
one.
"""
import signal
import socket
import struct
import sys

SO_TIMESTAMPNS = 35
ETH_P_ALL = 0x0003


def turns(packets):
    """From a session's counted packets (time, from_client, carries_data),
    the client's and the server's reactions, their sums, and the time from
    the client's last data to the end."""
    reactions = {True: [], False: []}
    shares = {True: 0.0, False: 0.0}
    for (before, before_client, _), (when, from_client, _) in zip(packets, packets[1:]):
        gap = (when - before) * 1000
        shares[from_client] += gap
        if from_client != before_client:
            reactions[from_client].append(gap)
    last_command = max((when for when, from_client, data in packets if from_client and data), default=packets[0][0])
    return reactions, shares, (packets[-1][0] - last_command) * 1000


def write_lines(path, values):
    with open(path, "w") as out:
        for value in values:
            out.write(f"{value:.3f}\n")


def main():
    address, port, outfile = socket.inet_aton(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
    turns_prefix = sys.argv[4] if len(sys.argv) > 4 else None
    capture = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(ETH_P_ALL))
    capture.bind(("lo", 0))
    capture.setsockopt(socket.SOL_SOCKET, SO_TIMESTAMPNS, 1)
    capture.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 8 << 20)
    # Wakes up now and then, so that a SIGTERM ends the loop.
    capture.settimeout(0.2)
    sessions = {}  # client port -> [start, end, fins, reset, counted packets]
    done = []  # (length, counted packets)
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
        # The IP header's total length, not what was captured (256 bytes at
        # most), tells whether the segment carries data.
        payload = struct.unpack("!H", ip[2:4])[0] - header - (tcp[12] >> 4) * 4
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
        from_client = source_port == client
        if syn and not flags & 0x10:  # the client's SYN opens a session
            sessions[client] = [when, when, set(), False, [(when, True, False)]]
            continue
        session = sessions.get(client)
        if session is None:
            continue
        if syn or fin or rst or payload > 0:
            session[4].append((when, from_client, payload > 0))
        if fin:
            session[1] = max(session[1], when)
            session[2].add(source_port)
        if rst:
            session[1] = max(session[1], when)
            session[3] = True
        if session[3] or len(session[2]) == 2:
            # Further copies of the closing packet may follow; the first
            # completion counts.
            done.append(((session[1] - session[0]) * 1000, session[4]))
            del sessions[client]
    write_lines(outfile, [length for length, _ in done])
    if turns_prefix is None:
        return
    client_reactions, server_reactions, shares, closes = [], [], [], []
    for _, packets in done:
        reactions, share, close = turns(packets)
        client_reactions += reactions[True]
        server_reactions += reactions[False]
        shares.append(f"{share[True]:.3f} {share[False]:.3f}")
        closes.append(close)
    write_lines(turns_prefix + ".client", client_reactions)
    write_lines(turns_prefix + ".server", server_reactions)
    write_lines(turns_prefix + ".close", closes)
    with open(turns_prefix + ".shares", "w") as out:
        out.write("".join(line + "\n" for line in shares))


if __name__ == "__main__":
    main()
