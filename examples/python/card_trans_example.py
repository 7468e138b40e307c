#!/usr/bin/env python3
"""One call of card_trans from Python through ctypes (Linux, libquendal.so.1).

    python3 card_trans_example.py "1|REF000000000001|B0110001|12345|000000|VAL001|保单||1|..."

The request line is text; it goes to the library as GBK bytes. The result is 555 GBK bytes with
no terminator, read back from a buffer of exactly that size.
"""
import ctypes
import sys

QUENDAL_RESULT_SIZE = 555

# The library's SONAME: found through the linker's cache once the package is installed, or
# through LD_LIBRARY_PATH for a library installed elsewhere.
quendal = ctypes.CDLL("libquendal.so.1")
card_trans = quendal.card_trans
card_trans.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
card_trans.restype = ctypes.c_int


def run(request: str):
    # A bytes object passed as c_char_p must never be written to; the result needs a buffer of
    # its own: create_string_buffer(n) gives exactly n writable bytes.
    result = ctypes.create_string_buffer(QUENDAL_RESULT_SIZE)
    rc = card_trans(request.encode("gbk"), result)
    # .raw, not .value: the result has no terminator, and .value would stop at a zero byte.
    raw = result.raw[:QUENDAL_RESULT_SIZE]
    text = (raw[:40] if rc == 0 else raw).rstrip(b" ").decode("gbk", errors="replace")
    return rc, text


if __name__ == "__main__":
    line = sys.argv[1] if len(sys.argv) > 1 else (
        "1|REF000000000001|B0110001|12345|000000|VAL001|POLICY-42||1|"
        "127.0.0.1|6001|30|127.0.0.1|6002|30")
    rc, text = run(line)
    print(f"card_trans returned {rc} ({'approved' if rc == 0 else 'failed'}): {text}")
    sys.exit(rc)
