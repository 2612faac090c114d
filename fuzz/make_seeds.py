#!/usr/bin/env python3
"""Writes a small seed corpus for fuzz_open into a folder.

Seeds are made here rather than kept in the repository: bare headers of each
format, and, when the shared Access fixtures are at hand, copies of a few of
the smallest ones (whole, and cut after the catalogue). Given vellquist-sql,
also a new file of each format it writes, and a cut .accdb (or the new one)
encrypted with each scheme (password "password", as
fuzz_open opens every input, and few agile hash rounds so each run is quick),
besides the encrypted fixtures themselves.

    make_seeds.py OUT_DIR [FIXTURES_DIR [VELLQUIST_SQL]]
"""
import os
import struct
import subprocess
import sys

SMALL_FIXTURES = [
    "jackcess/src/test/data/V1997/delTestV1997.mdb",
    "jackcess/src/test/data/V1997/overflowTestV1997.mdb",
    "jackcess/src/test/data/V1997/delColTestV1997.mdb",
    "jackcess/src/test/data/adox_jet4.mdb",
    "jackcess/src/test/data/V2000/delColTestV2000.mdb",
    "jackcess/src/test/data/V2000/overflowTestV2000.mdb",
]

# Larger files of which only the first pages (catalogue included) are kept.
CUT_FIXTURES = [
    "mdb-reader/test/data/V2007/empty.accdb",
    "mdb-reader/test/data/V2016/empty.accdb",
    "mdb-reader/test/encryption/data/office-agile-4.2.accdb",
    "mdb-reader/test/password/data/V2010_with-password.accdb",
]

# Encryption schemes for copies of the first CUT_FIXTURES entry.
SCHEMES = ["rc4-40", "rc4-128", "standard-aes128", "nonstandard-aes128",
           "agile-aes128-sha1", "agile-aes256-sha512"]


def rc4(key, n):
    s = list(range(256))
    j = 0
    for i in range(256):
        j = (j + s[i] + key[i % len(key)]) & 255
        s[i], s[j] = s[j], s[i]
    i = j = 0
    out = []
    for _ in range(n):
        i = (i + 1) & 255
        j = (j + s[i]) & 255
        s[i], s[j] = s[j], s[i]
        out.append(s[(s[i] + s[j]) & 255])
    return out


def header(version):
    """Page 0 of an empty file of `version`, masked as Access masks it."""
    size = 2048 if version == 0 else 4096
    page = bytearray(size)
    page[1] = 1
    page[4:19] = b"Standard ACE DB" if version >= 2 else b"Standard Jet DB"
    page[0x14] = version
    struct.pack_into("<H", page, 0x3C, 1252)
    length = 126 if version == 0 else 128
    for k, b in enumerate(rc4([0xC7, 0xDA, 0x39, 0x6B], length)):
        page[0x18 + k] ^= b
    return bytes(page) * 3


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for version in (0, 1, 3):
        with open(os.path.join(out, f"header_v{version}"), "wb") as f:
            f.write(header(version))
    fixtures = sys.argv[2] if len(sys.argv) > 2 else ""
    for rel in SMALL_FIXTURES:
        path = os.path.join(fixtures, rel)
        if not os.path.exists(path):
            continue
        data = open(path, "rb").read()
        name = os.path.basename(rel)
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
        page = 2048 if data[0x14] == 0 else 4096
        with open(os.path.join(out, name + ".cut"), "wb") as f:
            f.write(data[: 8 * page])
    for rel in CUT_FIXTURES:
        path = os.path.join(fixtures, rel)
        if os.path.exists(path):
            with open(os.path.join(out, rel.replace("/", "_") + ".cut"), "wb") as f:
                f.write(open(path, "rb").read()[: 32 * 4096])
    tool = sys.argv[3] if len(sys.argv) > 3 else ""
    # New files of each format the engine writes, with a small table, so a
    # clone without the fixtures still starts from whole databases.
    if tool:
        for fmt, ext in (("jet4-2000", "mdb"), ("jet4", "mdb"), ("ace12", "accdb")):
            seed = os.path.join(out, f"new_{fmt}.{ext}")
            subprocess.run([tool, "--create", seed, "--format", fmt,
                            "--execute", "CREATE TABLE t (id LONG, name TEXT(20), note MEMO)",
                            "--execute", "INSERT INTO t VALUES (1, 'one', 'a memo')"],
                           check=True)
    plain = os.path.join(out, CUT_FIXTURES[0].replace("/", "_") + ".cut")
    if tool and not os.path.exists(plain):
        plain = os.path.join(out, "new_ace12.accdb")
    if tool and os.path.exists(plain):
        for scheme in SCHEMES:
            seed = os.path.join(out, "encrypted_" + scheme)
            with open(seed, "wb") as f:
                f.write(open(plain, "rb").read())
            subprocess.run([tool, "--encrypt", seed, "--scheme", scheme, "--password", "password",
                            "--spin-count", "1000"], check=True)


if __name__ == "__main__":
    main()
