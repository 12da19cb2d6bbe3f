#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora (seeds/<target>/) from the inputs the
tests use, each laid out the way its target reads its input."""
import os
import random
import shutil
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "seeds")


def put(target, name, data):
    os.makedirs(os.path.join(OUT, target), exist_ok=True)
    with open(os.path.join(OUT, target, name), "wb") as f:
        f.write(data)


def short(b, limit=255):
    """A length byte and the bytes, as fuzz::Input::Bytes reads them."""
    b = b[:limit]
    return bytes([len(b)]) + b


def packet(records, first, good=True, kind=0xA1):
    body = b"".join(bytes([(first + r) & 0xFF]) * 20 for r in range(records))
    p = bytes([0x02, 0x24, 8 + 20 * records, kind, 0, first & 0xFF]) + body
    check = 0
    for c in p[2:]:
        check ^= c
    return p + bytes([check if good else check ^ 0x55, 0x21])


def record(t, lat, lon, alt, speed, status, course, hdop, battery):
    return struct.pack("<IiiHHBBBB", t, lat, lon, alt, speed, status, course, hdop, battery)


def main():
    shutil.rmtree(OUT, ignore_errors=True)

    # Replies as the tests send them.
    replies = [
        b"KVs,B2=111*QQ!\r\n", b"KVs,OU=99*QQ!\r\n", b"KVs,B2=222,OU=4071*QQ!\r\n",
        b"xx KVs,OU=1,B2=111*QQ!\r\n", b"KVs,B0=1,B1=2,F4=mm-dd-yy,F5=7,F6=1*QQ!\r\n",
        b"KVs,B2=356895037533210,OU=1234,F5=2,E1=80,XX=9*QQ!\r\n", b"KVs,B2x=1,OUT=2*QQ!\r\n",
        b"KVs,D1=*ab!,D2=z*QQ!\r\n", b"KVs,D1=a=b*QQ!\r\n", b"KVs,F5=1,F6=1\0,F7=1*QQ!\r\n",
        b"KVs,x,,F7=1,junk*QQ!\r\n", b"KVs,OU=*QQ!\r\n", b"KVs\r\n",
        b"KVs,Va=" + "名前".encode("cp932") + b",VA=*31#0912345678,H2=60,O6=28800,XB=90123*QQ!\r\n",
        b"$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n",
    ]
    for i, r in enumerate(replies):
        put("reply", "line%02d" % i, r)

    # Line assembly: a piece seed, then the stream.
    lines = [
        b"ab\r\ncd\r\nef", b"a" * 250, b"ab\r" + b"c" * 247, b"ab\n" + b"c" * 247, b"ab\ncd",
        b"x" * 249 + b"\r\n", b"$GPGSV,1,1,00*44\r\n" * 12 + b"KVs,B2=111*QQ!\r\n",
    ]
    for i, s in enumerate(lines):
        put("lines", "stream%02d" % i, bytes([7 + 13 * i]) + s)

    # The log stream: first byte even for raw bytes (second byte 0: no
    # count line added), odd for a clean stream shaped by the bytes after it.
    streams = [
        b"hello\r\ndataCount=2\r\ninfo\r\n===\r\n" + packet(2, 1),
        b"junk line\r\nsome more\r\ndataCount=3\r\n===\r\n" + packet(3, 7),
        b"dataCount=0\r\n",
        b"dataCount=10\r\n===\r\n" + b"".join(packet(3, 1 + 3 * p) for p in range(4)),
        b"dataCount=3\r\n===\r\n" + packet(2, 1, False) + b"\x02$\x03\x02$\x00" + packet(0, 0)
        + packet(1, 9, True, 0xB2) + b"noise!" + packet(3, 20),
        b"dataCount=1\r\n" + b"x" * 256 + b"===\r\n" + packet(1, 3),
        b"dataCount=24\r\n===\r\n" + packet(12, 100) + packet(12, 1),
    ]
    for i, s in enumerate(streams):
        put("log_stream", "raw%02d" % i, b"\x00\x00" + s)
    rng = random.Random(573)
    for i in range(6):
        put("log_stream", "clean%02d" % i, b"\x01" + bytes(rng.randrange(256) for _ in range(300 + 200 * i)))

    # Ini files: section, key and value, then the file as it was.
    inis = [
        (b"SYSTEM", b"DefaultLanguage", b"TChinese", b""),
        (b"SYSTEM", b"DefaultLanguage", b"TChinese", b"; settings\n[system]\n  defaultlanguage = English  \nother=1\n"),
        (b"USERNAME", b"222", b"b", b"[USERNAME]\n111=a\n\n; next\n[SYSTEM]\nDefaultLanguage=English\n"),
        (b"USERNAME", b"111", b"a", b"[SYSTEM]\nDefaultLanguage=English"),
        (b"A", b"j", b"2", b"[A]\r\nk=1\r\n"),
        (b"A", b"k", b"2", b"\xEF\xBB\xBF[A]\nk=1\n"),
        (b"A", b"k", b" padded ", b"[A]\n[B]\n"),
        (b"A", b"k", b"\"q\"", b"[A]\nk=1\nk=2\n[ A ]\nk=3\n"),
        (b"SYSTEM", b"DeviceCodePage", b"950", b"[A]\nk=\"  Loginout\"\n;k=1\nk\n[B]\nk='x '\n"),
        (b"USERNAME", b"356895037533210", "爺爺".encode(), b"[USERNAME]\n356895037533210=ZD573\n"),
    ]
    for i, (sec, key, val, content) in enumerate(inis):
        put("ini", "write%02d" % i, short(sec, 12) + short(key, 12) + short(val, 80) + content)

    # Raw logs: drop-no-fix flag, offset, then records.
    recs = [
        record(0, 0, 0, 0, 0, 0, 0, 0, 0),
        record(90123, 25047500, 121517000, 12, 1234, 0xC8, 45, 12, 95),
        record(0xFFFFFFFF, -90000000, -180000000, 65535, 65535, 0x7F, 255, 255, 255),
        record(631152000, 51507400, -127800, 35, 0, 0x45, 179, 9, 50),
    ]
    put("raw_log", "one", b"\x00\x10" + recs[1])
    put("raw_log", "mixed", b"\x01\x40" + b"".join(recs))
    put("raw_log", "ragged", b"\x00\x00" + b"".join(recs)[:-3])
    put("raw_log", "empty", b"\x00\x00")
    rng = random.Random(4071)
    track = b"".join(record(600000000 + 5 * i, 25000000 + rng.randrange(-500, 500) * i,
                            121000000 + 37 * i, rng.randrange(300), rng.randrange(12000),
                            rng.choice([0x08, 0x48, 0x89, 0xC5]), rng.randrange(180), rng.randrange(60), 80)
                     for i in range(40))
    put("raw_log", "track", b"\x00\x21" + track)

    # The language file and formats: which language, a format, the file.
    with open(os.path.join(HERE, "..", "..", "resources", "Languages.lng"), "rb") as f:
        lng = f.read()
    formats = [b"IMEI: %s", b"IMEI:%s", b"%d records written to", b"100%% of %s, %d%%", b"%s%s%d%x%", b"%"]
    for i, fmt in enumerate(formats):
        put("language", "lng%02d" % i, bytes([i]) + short(fmt, 40) + (lng if i < 2 else lng[: 600 * i]))
    put("language", "small", b"\x00" + short(b"%s") + b"[English]\nSTR_GLOBAL_ON=On\n[TChinese]\nstr_global_on=\xe9\x96\x8b\n")

    # Values typed for keys: key index, code page choice, date-format flag, the text.
    keys = ["B0", "B1", "F4", "F5", "F6", "F7", "O6", "Va", "Vb", "Vc", "Vd", "Ve", "Vf", "Vg", "Vh", "Vi",
            "Vj", "Vk", "Vl", "Vm", "Vn", "Vo", "Vp", "Vq", "Vr", "Vs", "Vt", "VA", "VB", "VC", "VD", "VE",
            "VF", "VG", "VH", "VI", "VJ", "VK", "VL", "VM", "VN", "VO", "VP", "VQ", "VR", "VS", "VT", "F0",
            "H2", "G0", "G1", "G2", "G3", "G4", "G5", "D1", "D2", "D3", "D4", "D5", "E0", "E1", "E2", "E3",
            "F8", "FB", "FE", "XB", "XC", "XD", "YB", "YC", "YD", "ZB", "ZC", "ZD", "O2", "OX", "F2", "XA",
            "YA", "ZA", "OZ"]
    sendable = [k for k in ["B2", "OU"] + keys if k not in ("B2", "E0", "E1", "E2", "E3", "OZ")]
    typed = [("F5", "1"), ("O6", "46800"), ("FE", "255"), ("XB", "-5"), ("H2", " 12abc"), ("O2", "30"),
             ("B0", "1234"), ("OU", "4071"), ("Va", "Ann"), ("VA", "*31#0912345678"), ("VB", "#21#"),
             ("F4", "dd.mm.yy"), ("D1", "internet.example"), ("Vb", "名前"), ("Vc", "Zoë"), ("F0", "+886")]
    for i, (key, text) in enumerate(typed):
        put("sentence", "%s-%02d" % (key, i), bytes([sendable.index(key), 2 * i + 1, i & 1]) + text.encode())

    # Rosters as the tests give them: the file as it is.
    rosters = [
        b"IMEI,name,Va,VA,B0\r\n356000000000001,Ann,Ann's son,+15550000001,1111\r\n\r\n"
        b"356000000000003, Cy ,\"Cy \"\"Jr\"\"\",+15550000003,\r\n",
        b"IMEI,name\n356000000000001,Ann\n356000000000002,Bartholomew Montgomery\n",
        b"\xef\xbb\xbfIMEI,G0,G1,F0,B1\n356000000000001,+1555,\" +1556 \",,{imei}\n",
        b"IMEI,Va,VA\n356000000000001,\"a\nb\",1\n", b"IMEI,Va\n356000000000001,\"Ann\n",
    ]
    for i, r in enumerate(rosters):
        put("roster", "roster%02d" % i, r)


if __name__ == "__main__":
    main()
