#!/usr/bin/python3
"""Prints the payload of the one text/vcard record an emulated chip holds, as raw bytes.

    read_chip.py type2 FILE   FILE: the data area of a Type 2 tag (from page 4)
    read_chip.py type4 FILE   FILE: the NDEF file of a Type 4 tag

Written apart from the program's own reader, straight from the NFC Forum layouts, so the tests
compare what the chip holds against the QR's bytes with a second opinion. Exits 1 when the chip
holds no such record.
"""
import sys


def message_type2(area):
    i = 0
    while i < len(area):
        tag = area[i]
        if tag == 0x00:
            i += 1
            continue
        if tag == 0xFE:
            break
        length = area[i + 1]
        i += 2
        if length == 0xFF:
            length = int.from_bytes(area[i:i + 2], "big")
            i += 2
        if tag == 0x03:
            return area[i:i + length]
        i += length
    sys.exit("no NDEF TLV")


def message_type4(data):
    length = int.from_bytes(data[:2], "big")
    return data[2:2 + length]


def records(message):
    i = 0
    while i < len(message):
        header = message[i]
        short, has_id = header & 0x10, header & 0x08
        type_length = message[i + 1]
        i += 2
        if short:
            payload_length = message[i]
            i += 1
        else:
            payload_length = int.from_bytes(message[i:i + 4], "big")
            i += 4
        id_length = message[i] if has_id else 0
        i += 1 if has_id else 0
        record_type = message[i:i + type_length]
        i += type_length + id_length
        yield header & 0x07, record_type, message[i:i + payload_length]
        i += payload_length
        if header & 0x40:
            break


kind, path = sys.argv[1], sys.argv[2]
data = open(path, "rb").read()
message = message_type2(data) if kind == "type2" else message_type4(data)
found = [p for tnf, t, p in records(message) if tnf == 2 and t == b"text/vcard"]
if len(found) != 1:
    sys.exit("no single text/vcard record")
sys.stdout.buffer.write(found[0])
