"""Files compressed as BGZF, the blocked gzip that tabix and bcftools index.

Each block holds at most 64 KB of text, compressed on its own, with the
block's size in the gzip header's extra field; an empty block ends the file.
Any gzip reader reads it as one stream. The file appears under its name only
when whole (files.written).
"""
import contextlib
import struct
import zlib

from . import files

BLOCK = 65280  # text per block, as bgzip takes it
EOF = bytes.fromhex("1f8b08040000000000ff0600424302001b0003000000000000000000")


def block(data, level=6):
    """One BGZF block of `data` (at most 64 KB)."""
    compressor = zlib.compressobj(level, zlib.DEFLATED, -15)
    deflated = compressor.compress(data) + compressor.flush()
    header = struct.pack("<4BI2BH2BHH", 31, 139, 8, 4, 0, 0, 255, 6, 66, 67, 2, len(deflated) + 25)
    return header + deflated + struct.pack("<II", zlib.crc32(data), len(data))


class Writer:
    """Text written in BGZF blocks to a binary file."""

    def __init__(self, raw, level=6):
        self.raw, self.level, self.buffer = raw, level, bytearray()

    def write(self, text):
        self.buffer += text.encode("utf-8", errors="surrogateescape") if isinstance(text, str) else text
        while len(self.buffer) >= BLOCK:
            self.raw.write(block(bytes(self.buffer[:BLOCK]), self.level))
            del self.buffer[:BLOCK]

    def close(self):
        if self.buffer:
            self.raw.write(block(bytes(self.buffer), self.level))
            self.buffer.clear()
        self.raw.write(EOF)


@contextlib.contextmanager
def written(path, level=6):
    """Yields a Writer; the file is put in place when the block ends normally."""
    with files.written(path) as partial, open(partial, "wb") as raw:
        writer = Writer(raw, level)
        yield writer
        writer.close()
