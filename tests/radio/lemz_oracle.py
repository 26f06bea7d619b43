#!/usr/bin/env python3
"""Packs LEMZ signalling packets from text descriptions with Python's struct, independently of
the daemon's codec, so that the codec's test vectors are checked by a second implementation.

Each line of standard input describes one packet as blank-separated key=value pairs (type, prio,
the flags t p r s b rv sh pw rs c, status, and the payload keys id freq cid n iface chan byte addr
ssrc quality sq rte state group rstate); each line of output is that packet in upper-case hex.
"""
import socket
import struct
import sys

FLAGS1 = (('t', 3), ('p', 2), ('r', 1), ('s', 0))
FLAGS2 = (('b', 7), ('rv', 6), ('sh', 5), ('pw', 4))


def pad(data):
    return data + b'\0' * (-len(data) % 4)


def addr(text):
    return socket.inet_aton(text)[::-1]  # octets reversed on the wire


def pack(d):
    num = lambda k: int(d.get(k, '0'), 0)
    status = num('status')
    b1 = (num('prio') & 15) << 4 | sum((num(k) & 1) << bit for k, bit in FLAGS1)
    b2 = sum((num(k) & 1) << bit for k, bit in FLAGS2) | (status >> 5) & 15
    b3 = (status & 31) << 3 | (num('c') & 3) << 1 | num('rs') & 1
    t = num('type')
    head = struct.pack('>BBBB', t & 255, b1, b2, b3)
    cid = d.get('cid', '').encode()
    n = num('n') if 'n' in d else len(cid)
    freq = float(d.get('freq', '0'))
    if t == 2:
        return head + struct.pack('>If', num('id'), freq)
    if t == 9:
        return pad(head + struct.pack('>B', n) + cid[:n].ljust(n, b'\0'))
    if t in (10, 134):
        return head + struct.pack('>BBxx', num('iface'), num('chan'))
    if t in (11, 12, 13):
        return head + struct.pack('>Bxxx', num('byte'))
    if t == 130:
        return head + addr(d['addr']) + struct.pack('>I', num('ssrc'))
    if t == 131:
        return head + struct.pack('>f', float(d['quality']))
    if t == 132:
        return head + struct.pack('>IfBBxx', num('id'), freq, num('sq') & 255, num('rte') & 255)
    if t == 133:
        return pad(head + addr(d['addr']) + struct.pack('>IB', num('ssrc'), n) +
                   cid[:n].ljust(n, b'\0'))
    if t == 135:
        return head + struct.pack('>BBBx', num('state'), num('group'), num('rstate'))
    return head


for line in sys.stdin:
    fields = dict(item.split('=', 1) for item in line.split())
    print(pack(fields).hex().upper())
