#!/usr/bin/env python3
"""Builds the decoder tests' archives with 7zz, from trees generated here.

  make_fixtures.py 7ZZ EXECUTABLE OUTDIR

OUTDIR/tree        the source tree: nested, non-ASCII, empty files and folders,
                   a read-only file, text, random data and EXECUTABLE (BCJ2 input)
OUTDIR/tree.7z     tree/ as the installer's archives are made (solid LZMA + BCJ2)
OUTDIR/ref         tree.7z extracted by 7zz: what the decoder must produce
OUTDIR/placeholders.7z  an uncompressed header with two 24-character names
                   (folder DDD..., file FFF...) for the tests to patch
OUTDIR/attributes.7z    an uncompressed header; file modes 0604 and 0404 give
                   attribute values the tests can find and mark hidden
OUTDIR/copy.7z     stored (Copy method): a flipped data byte is a CRC error
OUTDIR/ppmd.7z     PPMd, which the decoder does not support
OUTDIR/long.7z     Long/<100 n>.txt, a stored path of 109 characters
"""
import os
import random
import shutil
import subprocess
import sys

SEVEN_ZIP_OPTIONS = ["-t7z", "-mx=9", "-ms=on", "-mf=BCJ2", "-m0=LZMA"]


def write(path, data, mode=None):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    if mode is not None:
        os.chmod(path, mode)


def text(rng, size):
    words = ["driver", "adapter", "wireless", "setup", "install", "Grüße", "日本語", "packet",
             "channel", "0x1F", "inf", "catalog", "service", "uninstall", "language"]
    out = []
    length = 0
    while length < size:
        line = " ".join(rng.choice(words) for _ in range(rng.randint(3, 12))) + "\r\n"
        out.append(line)
        length += len(line.encode("utf-8"))
    return "".join(out).encode("utf-8")[:size]


def archive(seven_zip, archive_path, source_dir, options):
    if os.path.exists(archive_path):
        os.remove(archive_path)
    subprocess.run([seven_zip, "a", *options, archive_path, "*"], cwd=source_dir, check=True,
                   stdout=subprocess.DEVNULL, env=dict(os.environ, LC_ALL="C.UTF-8"))


def main():
    seven_zip, executable, out = sys.argv[1], sys.argv[2], sys.argv[3]
    rng = random.Random(20240601)
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)

    tree = os.path.join(out, "tree")
    write(f"{tree}/Nested/Level1/Level2/Level3/deep.txt", text(rng, 5000))
    write(f"{tree}/Nested/Level1/sibling.bin", rng.randbytes(70000))
    os.makedirs(f"{tree}/Nested/EmptyInside")
    write(f"{tree}/日本語/サブフォルダ/ファイル名.txt", text(rng, 20000))
    write(f"{tree}/Grüße/Übermäßig große Datei.txt", text(rng, 400000))
    write(f"{tree}/Straße.bin", rng.randbytes(300000))
    write(f"{tree}/Empty/zero.dat", b"")
    write(f"{tree}/zero.txt", b"")
    os.makedirs(f"{tree}/EmptyFolder")
    write(f"{tree}/ReadOnly.txt", text(rng, 3000), 0o444)
    with open(executable, "rb") as f:
        write(f"{tree}/Bin/7zDec.dll", f.read())
    write(f"{tree}/Bin/mixed.dat", b"".join(text(rng, 100000) + rng.randbytes(150000) for _ in range(6)))
    archive(seven_zip, os.path.join(out, "tree.7z"), tree, SEVEN_ZIP_OPTIONS)
    subprocess.run([seven_zip, "x", "-y", "-o" + os.path.join(out, "ref"), os.path.join(out, "tree.7z")],
                   check=True, stdout=subprocess.DEVNULL, env=dict(os.environ, LC_ALL="C.UTF-8"))

    src = os.path.join(out, "src_placeholders")
    os.makedirs(f"{src}/{'D' * 24}")
    write(f"{src}/{'F' * 24}", b"escaped content\r\n")
    archive(seven_zip, os.path.join(out, "placeholders.7z"), src, SEVEN_ZIP_OPTIONS + ["-mhc=off"])

    src = os.path.join(out, "src_attributes")
    write(f"{src}/hidden.txt", b"hidden\r\n", 0o604)
    write(f"{src}/readonly_hidden.txt", b"read-only and hidden\r\n", 0o404)
    write(f"{src}/readonly.txt", b"read-only\r\n", 0o444)
    write(f"{src}/normal.txt", b"normal\r\n", 0o644)
    archive(seven_zip, os.path.join(out, "attributes.7z"), src, SEVEN_ZIP_OPTIONS + ["-mhc=off"])

    src = os.path.join(out, "src_small")
    write(f"{src}/stored.txt", text(rng, 4000))
    archive(seven_zip, os.path.join(out, "copy.7z"), src, ["-t7z", "-ms=on", "-m0=Copy"])
    archive(seven_zip, os.path.join(out, "ppmd.7z"), src, ["-t7z", "-m0=PPMd"])

    src = os.path.join(out, "src_long")
    write(f"{src}/Long/{'n' * 100}.txt", b"at the limit\r\n")
    archive(seven_zip, os.path.join(out, "long.7z"), src, SEVEN_ZIP_OPTIONS)

    for name in os.listdir(out):
        if name.startswith("src_"):
            shutil.rmtree(os.path.join(out, name))


if __name__ == "__main__":
    main()
