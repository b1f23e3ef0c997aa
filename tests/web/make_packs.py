#!/usr/bin/env python3
"""Writes the packs the browser test gives the page, from the repository's
art and generated inputs, and what it expects of them:

  pack.zip        nested folders, DOS and absolute names, a code page 437
                  name, a UTF-8 name with and without the flag, two names
                  that differ only in case, a name that a whole piece
                  takes, a skipped picture, a file whose
                  conversion fails, folder entries and __MACOSX/
  loose/          the same files as loose files (their base names)
  broken/         a damaged zip, an encrypted entry, a damaged entry, an
                  empty zip, zips inside zips
  many.zip        1,000 small files
  big.zip         a file of 40 MB
  timed.zip       200 files for the timing figures
  claims.zip      a 10 MiB entry whose headers claim 4 GiB, beside a valid one
  zeros.zip       five entries of 128 MiB of zeros (about 640 KB)
  play/           files of about 100 KB and 1 MB for the player's figures
  manifest.json   pack.zip's entries: expected path and the file of its bytes

Usage: make_packs.py <repository> <generated inputs folder> <output folder>
"""

import json
import os
import sys
import zipfile


class RawName(zipfile.ZipInfo):
    """An entry whose name is stored as given bytes, without the UTF-8 flag."""

    def __init__(self, raw, **kwargs):
        super().__init__(raw.decode("latin-1"), **kwargs)
        self.raw = raw

    def _encodeFilenameFlags(self):
        return self.raw, self.flag_bits


def entry(name, stored=False):
    info = RawName(name) if isinstance(name, bytes) else zipfile.ZipInfo(name)
    info.date_time = (2001, 2, 3, 4, 5, 6)
    info.compress_type = zipfile.ZIP_STORED if stored else zipfile.ZIP_DEFLATED
    return info


def mark_encrypted(path, name):
    """Sets the encryption flag of the entry Name in both of its headers
    (zipfile clears the flags it is given)."""
    data = bytearray(open(path, "rb").read())
    for signature, name_at, flags_at in ((b"PK\x03\x04", 30, 6), (b"PK\x01\x02", 46, 8)):
        at = data.index(signature)
        while data[at + name_at:at + name_at + len(name)] != name:
            at = data.index(signature, at + 1)
        data[at + flags_at] |= 1
    open(path, "wb").write(bytes(data))


def write_zip(path, entries):
    with zipfile.ZipFile(path, "w") as pack:
        for info, data in entries:
            pack.writestr(info, data)


def main():
    repo, generated, out = sys.argv[1:4]
    os.makedirs(out, exist_ok=True)
    read = lambda *parts: open(os.path.join(*parts), "rb").read()
    art = lambda name: read(repo, "bench", "art", name)
    example = lambda name: read(repo, "examples", name)
    made = lambda name: read(generated, name)

    # (name in the zip, path the page should give it, bytes)
    contents = [
        ("ART/", None, b""),
        ("ART/BS-ALOVE.ANS", "ART/BS-ALOVE.ANS", art("bs-alove.ans")),
        ("ART/SUB/cl!-al02.ans", "ART/SUB/cl!-al02.ans", art("cl!-al02.ans")),
        ("C:\\DOS\\N-SILOVE.ANS", "DOS/N-SILOVE.ANS", art("n-silove.ans")),
        ("./x/../colours.ans", "x/colours.ans", example("colours.ans")),
        ("/blocks.ans", "blocks.ans", example("blocks.ans")),
        (b"M\x9aLLER.ANS", "MÜLLER.ANS", example("cursor.ans")),
        ("café.ans".encode("utf-8"), "café.ans", made("dense-00.ans")),
        ("ÅRT/smörgås.ans", "ÅRT/smörgås.ans", made("unfinished-00.ans")),
        ("case/Foo.ans", "case/Foo.ans", made("text-00.ans")),
        ("case/FOO.ANS", "case/FOO.ANS", made("random-01.ans")),
        ("case/foo.whole.ans", "case/foo.whole.ans", example("cursor.ans")),  # its picture meets FOO's whole piece
        ("PREVIEW.PNG", "PREVIEW.PNG", read(repo, "docs", "colours.png")),
        ("logo.gif", "logo.gif", b"GIF89a" + bytes(range(64))),
        ("notbmp.ans", "notbmp.ans", b"BM\x05\x00\x00\x00 not a bitmap: its size does not match\r\n"),
        ("picture.png", "picture.png", b"\x1b[31mnot a picture\r\n"),  # its output would be itself
        ("FILE_ID.DIZ", "FILE_ID.DIZ", b"\x1b[1;33mtarvex test pack\x1b[0m\r\n2 0 2 6\r\n"),
        ("bs-ansilove.ans", "bs-ansilove.ans", art("bs-ansilove.ans")),
        ("__MACOSX/ART/._BS-ALOVE.ANS", None, b"\x00\x05\x16\x07 resource fork"),
    ]
    write_zip(os.path.join(out, "pack.zip"),
              [(entry(name, stored=i % 2 == 0), data) for i, (name, _, data) in enumerate(contents)])
    entries = os.path.join(out, "entries")
    loose = os.path.join(out, "loose")
    os.makedirs(entries, exist_ok=True)
    os.makedirs(loose, exist_ok=True)
    manifest = []
    for i, (_, path, data) in enumerate(contents):
        if path is None:
            continue
        name = path.rsplit("/", 1)[-1]
        os.makedirs(os.path.join(entries, str(i)), exist_ok=True)
        with open(os.path.join(entries, str(i), name), "wb") as f:
            f.write(data)
        with open(os.path.join(loose, name), "wb") as f:
            f.write(data)
        skip = {"PREVIEW.PNG": "a PNG picture", "logo.gif": "a GIF picture"}.get(path)
        manifest.append({"path": path, "file": os.path.join(entries, str(i), name), "skip": skip})
    with open(os.path.join(out, "manifest.json"), "w") as f:
        json.dump(manifest, f, indent=1, ensure_ascii=False)

    broken = os.path.join(out, "broken")
    os.makedirs(broken, exist_ok=True)
    whole = read(out, "pack.zip")
    with open(os.path.join(broken, "damaged.zip"), "wb") as f:
        f.write(whole[: len(whole) // 2])
    write_zip(os.path.join(broken, "encrypted.zip"),
              [(entry("secret.ans", stored=True), example("blocks.ans")),
               (entry("open.ans"), example("cursor.ans"))])
    mark_encrypted(os.path.join(broken, "encrypted.zip"), b"secret.ans")
    with zipfile.ZipFile(os.path.join(broken, "crc.zip"), "w") as pack:
        pack.writestr(entry("flipped.ans", stored=True), example("cursor.ans"))
    crc = bytearray(read(broken, "crc.zip"))
    at = crc.index(example("cursor.ans")[:20])
    crc[at + 5] ^= 0x20
    with open(os.path.join(broken, "crc.zip"), "wb") as f:
        f.write(crc)
    write_zip(os.path.join(broken, "empty.zip"), [])
    inner = os.path.join(out, "inner.zip")
    write_zip(inner, [(entry("INNER/blocks.ans"), example("blocks.ans"))])
    deeper = os.path.join(out, "deeper.zip")
    write_zip(deeper, [(entry("third.zip"), read(inner))])
    write_zip(os.path.join(broken, "nested.zip"),
              [(entry("inner.zip"), read(inner)), (entry("deeper.zip"), read(deeper)),
               (entry("cursor.ans"), example("cursor.ans"))])

    # 1,000 small files, each different.
    write_zip(os.path.join(out, "many.zip"),
              [(entry("many/%04d.ans" % i), b"\x1b[%dm file %d\r\n" % (30 + i % 8, i)) for i in range(1000)])
    bs = art("bs-alove.ans")
    write_zip(os.path.join(out, "big.zip"),
              [(entry("BIG.ANS"), bs * (40 * 1024 * 1024 // len(bs))), (entry("small.ans"), example("cursor.ans"))])

    # An entry that claims an impossible size: 4 GiB in both of its headers.
    claims = os.path.join(out, "claims.zip")
    write_zip(claims, [(entry("claims-4gib.ans"), bytes(10 * 1024 * 1024)), (entry("ok.ans"), example("cursor.ans"))])
    data = bytearray(read(claims))
    for signature, size_at in ((b"PK\x03\x04", 22), (b"PK\x01\x02", 24)):
        at = data.index(signature)
        data[at + size_at:at + size_at + 4] = (0xFFFFFFF0).to_bytes(4, "little")
    with open(claims, "wb") as f:
        f.write(data)
    write_zip(os.path.join(out, "zeros.zip"), [(entry("zeros-%d.ans" % i), bytes(128 * 1024 * 1024)) for i in range(5)])

    # 200 files for the timing figures: generated inputs of every kind and art.
    timed = sorted(n for n in os.listdir(generated) if n.endswith(".ans"))[:200]
    write_zip(os.path.join(out, "timed.zip"), [(entry("timed/" + n), made(n)) for n in timed])

    # Files of about 100 KB and 1 MB for the player: the real art, over and over.
    pieces = [art(n) for n in sorted(os.listdir(os.path.join(repo, "bench", "art"))) if n.endswith(".ans")]
    play = os.path.join(out, "play")
    os.makedirs(play, exist_ok=True)
    for name, size in (("art-100k.ans", 100 * 1024), ("art-1m.ans", 1024 * 1024)):
        data = bytearray()
        while len(data) < size:
            data += pieces[len(data) // 7 % len(pieces)]
        with open(os.path.join(play, name), "wb") as f:
            f.write(bytes(data[:size]))


if __name__ == "__main__":
    main()
