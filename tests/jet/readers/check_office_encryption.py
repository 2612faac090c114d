#!/usr/bin/env python3
"""Checks the password encryption of an .accdb on its own, without our engine.

The keys are derived here from the published rules of the Office document
cryptography ([MS-OFFCRYPTO] 2.3.4.7 to 2.3.4.9 for Standard encryption,
2.3.4.11 to 2.3.4.13 for agile, 2.3.5.2 and 2.3.5.6 for RC4 CryptoAPI), with
hashlib for the hashes, the `openssl enc` command for AES and RC4 written out
here, so a fault shared by our C++ code and this check is unlikely. The
script:

  * reads the EncryptionInfo blob at 0x299 of page 0,
  * derives the key from the password and checks the verifier with it
    (exit 3 and "wrong password" when it does not match),
  * deciphers page 1 with the key for that page and checks that it is a
    usage-map page as Access writes it (first bytes 01 01).

Usage: check_office_encryption.py FILE PASSWORD
Prints the scheme and "ok" on success.
"""

import base64
import hashlib
import struct
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

PAGE_SIZE = 4096
BLOB_OFFSET = 0x299


def aes(mode, key, data, iv=None, encrypt=False):
    """AES in `mode` ("ecb" or "cbc") without padding, by the openssl command."""
    args = ["openssl", "enc", "-aes-%d-%s" % (len(key) * 8, mode), "-nopad",
            "-K", key.hex()]
    args.append("-e" if encrypt else "-d")
    if iv is not None:
        args += ["-iv", iv.hex()]
    done = subprocess.run(args, input=data, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, check=True)
    return done.stdout


def le32(value):
    return struct.pack("<I", value & 0xFFFFFFFF)


def standard_key(password, salt, key_bytes, block, rounds):
    """The key of [MS-OFFCRYPTO] 2.3.4.7 for `block`, after `rounds` hash rounds."""
    h = hashlib.sha1(salt + password.encode("utf-16-le")).digest()
    for iterator in range(rounds):
        h = hashlib.sha1(le32(iterator) + h).digest()
    final = hashlib.sha1(h + le32(block)).digest()
    inner = bytes(b ^ 0x36 for b in final) + b"\x36" * (64 - len(final))
    outer = bytes(b ^ 0x5C for b in final) + b"\x5c" * (64 - len(final))
    x3 = hashlib.sha1(inner).digest() + hashlib.sha1(outer).digest()
    return x3[:key_bytes]


def check_binary(blob, password, page0, page1):
    flags, header_size = struct.unpack_from("<II", blob, 4)
    header = blob[12:12 + header_size]
    (h_flags, size_extra, alg_id, alg_id_hash, key_bits,
     provider_type) = struct.unpack_from("<IIIIII", header, 0)
    if h_flags != flags or size_extra != 0 or alg_id_hash != 0x8004:
        raise SystemExit("bad EncryptionHeader: flags %#x/%#x, size extra %d, hash %#x"
                         % (flags, h_flags, size_extra, alg_id_hash))
    verifier = blob[12 + header_size:]
    salt_size, = struct.unpack_from("<I", verifier, 0)
    salt = verifier[4:4 + salt_size]
    encrypted_verifier = verifier[4 + salt_size:20 + salt_size]
    hash_size, = struct.unpack_from("<I", verifier, 20 + salt_size)
    encrypted_hash = verifier[24 + salt_size:]
    if alg_id == 0x6801:
        return check_rc4(salt, key_bits, encrypted_verifier, encrypted_hash, password,
                         page0, page1)
    expected_alg = {128: 0x660E, 192: 0x660F, 256: 0x6610}.get(key_bits)
    if alg_id != expected_alg or provider_type != 0x18:
        raise SystemExit("AES header names algorithm %#x, %d bits, provider type %#x"
                         % (alg_id, key_bits, provider_type))
    standard = bool(flags & 0x20)
    if standard and flags & 0x04 == 0:
        raise SystemExit("Standard encryption without the CryptoAPI flag")
    if salt_size != 16 or hash_size != 20 or len(encrypted_hash) != 32:
        raise SystemExit("verifier sizes: salt %d, hash %d, encrypted hash %d"
                         % (salt_size, hash_size, len(encrypted_hash)))
    rounds = 50000 if standard else 0
    key = standard_key(password, salt, key_bits // 8, 0, rounds)
    plain = aes("ecb", key, encrypted_verifier)
    plain_hash = aes("ecb", key, encrypted_hash)[:hash_size]
    if hashlib.sha1(plain).digest() != plain_hash:
        print("wrong password")
        sys.exit(3)
    page_key = unmasked_page_key(page0)
    key1 = standard_key(password, salt, key_bits // 8, page_key ^ 1, rounds)
    return ("standard" if standard else "nonstandard") + "-aes%d" % key_bits, \
        aes("ecb", key1, page1)


def rc4_key(password, salt, key_bits, block):
    """The RC4 CryptoAPI key of [MS-OFFCRYPTO] 2.3.5.2 for `block`; a 40-bit
    key goes into RC4 as 16 bytes, the rest zero."""
    h = hashlib.sha1(salt + password.encode("utf-16-le")).digest()
    key = hashlib.sha1(h + le32(block)).digest()[:key_bits // 8]
    return key + b"\0" * 11 if key_bits == 40 else key


def check_rc4(salt, key_bits, encrypted_verifier, encrypted_hash, password, page0, page1):
    if len(encrypted_hash) != 20:
        raise SystemExit("RC4 verifier hash of %d bytes" % len(encrypted_hash))
    # Verifier and hash run through one key stream.
    plain = rc4(rc4_key(password, salt, key_bits, 0), encrypted_verifier + encrypted_hash)
    if hashlib.sha1(plain[:16]).digest() != plain[16:]:
        print("wrong password")
        sys.exit(3)
    key1 = rc4_key(password, salt, key_bits, unmasked_page_key(page0) ^ 1)
    return "rc4-%d" % key_bits, rc4(key1, page1)


def check_agile(blob, password, page0, page1):
    root = ElementTree.fromstring(blob[8:].rstrip(b"\0"))
    ns = {"e": "http://schemas.microsoft.com/office/2006/encryption",
          "p": "http://schemas.microsoft.com/office/2006/keyEncryptor/password"}
    key_data = root.find("e:keyData", ns)
    encrypted_key = root.find("e:keyEncryptors/e:keyEncryptor/p:encryptedKey", ns)

    def digest(name):
        return {"SHA1": hashlib.sha1, "SHA256": hashlib.sha256,
                "SHA384": hashlib.sha384, "SHA512": hashlib.sha512}[name]

    def b64(element, name):
        return base64.b64decode(element.get(name))

    hash_fn = digest(encrypted_key.get("hashAlgorithm"))
    salt = b64(encrypted_key, "saltValue")
    key_bytes = int(encrypted_key.get("keyBits")) // 8
    block_size = int(encrypted_key.get("blockSize"))
    h = hash_fn(salt + password.encode("utf-16-le")).digest()
    for iterator in range(int(encrypted_key.get("spinCount"))):
        h = hash_fn(le32(iterator) + h).digest()

    def fit(value, size):
        return value[:size] + b"\x36" * max(0, size - len(value))

    def key_for(block_key):
        return fit(hash_fn(h + block_key).digest(), key_bytes)

    iv = fit(salt, block_size)
    verifier_input = aes("cbc", key_for(bytes.fromhex("fea7d2763b4b9e79")),
                         b64(encrypted_key, "encryptedVerifierHashInput"), iv)
    verifier_input = verifier_input[:len(salt)]
    verifier_hash = aes("cbc", key_for(bytes.fromhex("d7aa0f6d3061344e")),
                        b64(encrypted_key, "encryptedVerifierHashValue"), iv)
    if hash_fn(verifier_input).digest() != verifier_hash[:hash_fn().digest_size]:
        print("wrong password")
        sys.exit(3)
    data_key_bytes = int(key_data.get("keyBits")) // 8
    data_key = aes("cbc", key_for(bytes.fromhex("146e0be7abacd0d6")),
                   b64(encrypted_key, "encryptedKeyValue"), iv)[:data_key_bytes]
    page_hash = digest(key_data.get("hashAlgorithm"))
    page_iv = fit(page_hash(b64(key_data, "saltValue") +
                            le32(unmasked_page_key(page0) ^ 1)).digest(),
                  int(key_data.get("blockSize")))
    name = "agile-aes%d-%s" % (data_key_bytes * 8, key_data.get("hashAlgorithm").lower())
    return name, aes("cbc", data_key, page1, page_iv)


def rc4(key, data):
    s = list(range(256))
    j = 0
    for i in range(256):
        j = (j + s[i] + key[i % len(key)]) & 0xFF
        s[i], s[j] = s[j], s[i]
    out = bytearray()
    i = j = 0
    for byte in data:
        i = (i + 1) & 0xFF
        j = (j + s[i]) & 0xFF
        s[i], s[j] = s[j], s[i]
        out.append(byte ^ s[(s[i] + s[j]) & 0xFF])
    return bytes(out)


def unmasked_page_key(page0):
    """The page key at 0x3E: the header from 0x18 on is masked with RC4 under
    the fixed key 0x6B39DAC7 (128 bytes in an ACE file)."""
    masked = page0[0x18:0x18 + 128]
    plain = rc4(le32(0x6B39DAC7), masked)
    return struct.unpack_from("<I", plain, 0x3E - 0x18)[0]


def main():
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    with open(sys.argv[1], "rb") as f:
        page0 = f.read(PAGE_SIZE)
        page1 = f.read(PAGE_SIZE)
    length, = struct.unpack_from("<H", page0, BLOB_OFFSET)
    blob = page0[BLOB_OFFSET + 2:BLOB_OFFSET + 2 + length]
    major, minor = struct.unpack_from("<HH", blob, 0)
    if (major, minor) == (4, 4):
        name, plain1 = check_agile(blob, sys.argv[2], page0, page1)
    elif minor == 2 and major in (2, 3, 4):
        name, plain1 = check_binary(blob, sys.argv[2], page0, page1)
    else:
        raise SystemExit("unknown EncryptionInfo version %d.%d" % (major, minor))
    if plain1[:2] != b"\x01\x01":
        raise SystemExit("%s: page 1 deciphers to %s, not a usage-map page"
                         % (name, plain1[:8].hex()))
    print(name, "ok")


if __name__ == "__main__":
    main()
