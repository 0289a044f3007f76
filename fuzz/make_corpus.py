#!/usr/bin/env python3
"""Writes the fuzzers' seed inputs into fuzz/corpus/<fuzzer>/.

Each seed follows the byte layout its fuzzer reads (see the *_fuzzer.cpp files): a few valid
and a few edge-case inputs, so the fuzzers start deep instead of at random bytes. Run it again
after changing a layout; it replaces the seed folders."""
import os
import shutil
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def write(fuzzer, seeds):
    folder = os.path.join(HERE, "corpus", fuzzer)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


# ---- INI text and the settings file -------------------------------------------------------

SETTINGS = (b"[Audio]\ndriver=1\nindev=Default Device\noutdev=Default Device\nin1=1\nin2=2\n"
            b"out1=1\nout2=2\nmonoinput=0\niovs=512\nsigvs=32\nsr=44100\n"
            b"[MIDI]\nindev=off\noutdev=off\ninchan=0\noutchan=0\n")
ODD = (b"; kept\r\n[audio]\r\n  SR = 48000 \r\nsigvs=-1\r\ngarbage\x00\xff\r\n\r\n[Audio]\r\nindev= "
       + b"x" * 120 + b"\r\n[MIDI\r\ninchan=70000\r\n")


def ini_seed(text, ops):
    return struct.pack("<H", len(text)) + text + ops


# One write: section, key, value and a probe; names 0..7 are the fuzzer's own, 8.. take bytes.
WRITE_SR = bytes([0, 4, 5]) + b"96000" + bytes([0, 3])
WRITE_NEW = bytes([1, 8, 3]) + b"new" + bytes([4]) + b" v \n" + bytes([0, 4])
write("ini", {
    "settings": ini_seed(SETTINGS, WRITE_SR + WRITE_NEW),
    "crlf": ini_seed(ODD, WRITE_SR),
    "empty": ini_seed(b"", WRITE_NEW + WRITE_SR),
})
write("settings", {
    "written": SETTINGS,
    "crlf": ODD,
    "long-names": b"[Audio]\nindev=" + b"y" * 98 + b" \t z\n[MIDI]\noutdev=\t\n",
})

# ---- State chunks ---------------------------------------------------------------------------


def params(*values):
    return b"".join(struct.pack("<d", v) for v in values)


def slot(name, block):
    return struct.pack("<i", len(name)) + name + (b"\x01" + block if block is not None else b"\x00")


# real flag, order, preset operations, four position bytes (params at 0, presets at offset 24)
def state_seed(real, order, preset_ops, body):
    head = bytes([4, 3]) + struct.pack("<H", 24)
    return bytes([real, order, preset_ops]) + head + body


block = params(-3.5, 12.0, 1.0)
write("state", {
    "plugin": state_seed(1, 0x32, 0, block + slot(b"-", block)),
    "plugin-loadstate": state_seed(1, 0x13, 0x05, block + slot(b"mine", params(30.0, float("nan"), 7.0))),
    "four-slots": state_seed(0, 0xF2, 0x0B, block + slot(b"a", block) + slot(b"", None)
                             + slot(b"c\x00d", params(1, 2, 0)) + slot(b"e" * 300, block)),
    "damaged": state_seed(0, 0x02, 0x47, block[:20] + struct.pack("<i", 0x7FFFFFFF) + b"zz"),
})

# ---- PNG ------------------------------------------------------------------------------------


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def png(width, height, depth, colour, rows, interlace=0, extra=b""):
    header = struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, interlace)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + extra
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def filtered(rows):
    # Each row after a filter byte of its own: none, sub, up, average, Paeth in turn.
    return b"".join(bytes([i % 5]) + r for i, r in enumerate(rows))


palette = chunk(b"PLTE", bytes([255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9])) + chunk(b"tRNS", bytes([0, 128]))
seeds = {
    "rgba-1x1": b"\x00" + png(1, 1, 8, 6, b"\x00\x10\x20\x30\x40"),
    "palette-2bit": b"\x31" + png(3, 2, 2, 3, filtered([b"\x1b", b"\xe4"]), extra=palette),
    # the seven passes of a 4 x 4 image: 1 x 1, none, none, 1 x 1, 2 x 1, 2 x 2, 4 x 2
    "grey16-interlaced": b"\x12" + png(4, 4, 16, 0, b"\x00\x12\x34" * 2 + b"\x00\x01\x02\x03\x04"
                                        + (b"\x01\x05\x06\x07\x08") * 2 + (b"\x02" + bytes(range(8))) * 2,
                                        interlace=1),
    "grey-alpha": b"\x05" + png(2, 2, 8, 4, filtered([b"\x10\x20\x30\x40", b"\x50\x60\x70\x80"])),
    "rgb16": b"\x21" + png(3, 3, 16, 2, filtered([bytes(range(18))] * 3)),
    "text": b"\x00" + png(1, 1, 8, 0, b"\x00\x7f", extra=chunk(b"tEXt", b"Comment\x00hello")),
}
with open(os.path.join(ROOT, "resources", "img", "Needle.png"), "rb") as f:
    seeds["editor-needle"] = bytes([0x41]) + f.read()
write("png", seeds)

# ---- Text -----------------------------------------------------------------------------------


# face, size, colour A R G B, weight, alignment, orientation, quality, width, height,
# memory bitmap (with its row alignment), rectangle as four small coordinates, then the text
def text_seed(size, align, text, memory=True):
    style = bytes([0, size, 241, 115, 0, 0, 0, align + 1, 0, 0, 20, 12])  # 241: opaque
    bitmap = bytes([1, 2]) if memory else bytes([0])
    rect = b"".join(bytes([8, v]) for v in (0, 0, 20, 12))
    return style + bitmap + rect + text


write("text", {
    "knob": text_seed(6, 1, b"-20.0 dB"),
    "accents": text_seed(5, 2, b"x\xc3\xa9 \xe2\x82\xac 5", memory=False),
    "beyond-16-bits": text_seed(4, 0, b"\xf0\x9f\x98\x80\xc0\x80\xc3\xc0\xe2\x82"),
    "stray": text_seed(7, 0, b"\x80\xbf\xf5\x80\x80\x80\xf8 A\x00B"),
})

# ---- MIDI -----------------------------------------------------------------------------------


def through_bridge(*message):
    return bytes([len(message)]) + bytes(message)


def direct(*message, length=None):
    # The plug-in's own send path: op bit 7; with bit 6 its low six bits are the length field.
    if length is None:
        ops = [op for op in range(0x80, 0xC0) if op % 6 == len(message)]
    else:
        ops = [op for op in range(0xC0, 0xF0) if op % 6 == len(message) and op & 0x3F == length]
    return bytes([ops[0]]) + bytes(message)


write("midi", {
    "notes": bytes([0, 0]) + through_bridge(0x90, 0x3C, 0x64) + through_bridge(0x80, 0x3C, 0x00),
    "channels": bytes([2, 5]) + through_bridge(0x91, 0x40, 0x7F) + through_bridge(0x90, 0x40, 0x7F)
    + through_bridge(0xC1, 0x07) + bytes([0xF1, 16]) + through_bridge(0xD1, 0x40),
    "system": bytes([0, 3]) + through_bridge(0xF6) + through_bridge(0xF0, 0x7E, 0x7F, 0x09, 0x01)
    + through_bridge(0x3C, 0x64),
    "direct": bytes([0, 16]) + direct(0x9F, 0x3C, 0x64) + direct(0xE0, 0x00, 0x40)
    + direct(0xB0, 0x07, length=2) + direct(0xF8, length=7) + direct(length=0),
})

# ---- Processing -----------------------------------------------------------------------------

NAN, INF, SUBNORMAL, HUGE = 6, 8, 10, 14  # indexes into the fuzzer's table of hostile values


def audio(value):
    # a value in the ordinary audio range
    return bytes([40]) + struct.pack("<H", int(round(value * 16384 + 32768)))


def block(frames, value, spike=None, at=0, pattern=2):
    spike = spike if spike is not None else value
    return (bytes([5]) + struct.pack("<H", frames - 1) + value + spike + struct.pack("<H", at)
            + bytes([pattern, 10]) + struct.pack("<I", 12345) + b"\x01")


def step(kind, *payload):
    return bytes([kind]) + b"".join(payload)


sine = audio(0.5)
write("process", {
    "sine": block(512, sine) * 3,
    "nan-then-recover": block(512, sine) + block(256, sine, bytes([NAN]), at=7) + block(300, sine) * 3,
    "changes": step(0, b"\x01", audio(0.9)) + step(1, b"\x02") + block(8192, bytes([HUGE]), pattern=3)
    + step(2, b"\x00", struct.pack("<H", 63)) + block(64, sine) * 2 + step(1, b"\x09", bytes([INF]))
    + block(100, sine) * 3,
    "subnormal-mono": step(3, b"\x00") + block(1, bytes([SUBNORMAL])) + block(4096, bytes([SUBNORMAL]), pattern=1)
    + step(4) + block(2000, sine) * 3,
})

# ---- Stream callback ------------------------------------------------------------------------


def callbacks(length_kind, length, repeats, flags=0):
    value = bytes([length]) if length_kind in (0, 1) else struct.pack("<H", length)
    return bytes([1, length_kind]) + value + bytes([repeats - 1, flags])


def reset(size):
    return bytes([0, 0]) + struct.pack("<H", size)


write("stream", {
    "power-of-two": callbacks(1, 9, 55) + callbacks(1, 9, 3),
    "odd-sizes": reset(100) + callbacks(2, 300, 52) + callbacks(2, 257, 4) + callbacks(0, 1, 3),
    "mono-large": reset(8192) + callbacks(0, 1, 51, flags=1) + callbacks(2, 8999, 3, flags=1)
    + callbacks(2, 8000, 2, flags=1),
    "gaps": callbacks(0, 0, 52) + callbacks(2, 77, 3, flags=0x0E) + callbacks(2, 77, 2, flags=0x70)
    + callbacks(2, 77, 2, flags=0x86) + callbacks(2, 77, 2),
})

# ---- Parameter texts ------------------------------------------------------------------------


def exact(value):
    # a hostile-double choice past the table: the double's own bytes
    return bytes([200]) + struct.pack("<d", value)


# value to format, short buffer's size - 1, then the text
write("param_text", {
    "gain": audio(0.75) + bytes([8]) + b"-3.5 dB",
    "switch-words": bytes([2, 3]) + b" oN\t",
    "signed-unit-case": exact(12.345) + bytes([20]) + b"+20.00 DB",
    "exponent": bytes([NAN, 0]) + b"1e3",
    "infinite-off": bytes([INF, 5]) + b"Off",
    "long-zeros": bytes([HUGE, 23]) + b"-0." + b"0" * 80 + b"5 dB",
})

# ---- LV2 state ------------------------------------------------------------------------------

# ports as the fuzzer picks them: 0..2 the parameters, 3..5 the meters, 6 enabled
def connect(port, on=True):
    return step(0, bytes([port, 1 if on else 0]))


def set_control(port, value):
    return step(1, bytes([port, 2, int(round(value * 4)) + 128]))


def restore_values(*values, how=0, flags=0):
    return step(2, bytes([how, flags]) + b"".join(values))


def restore_bytes(data, how=0x80, flags=0):
    return step(2, bytes([how, flags, len(data)]) + data)


def run(frames, level=16, hz=7):
    return step(6, struct.pack("<H", frames), bytes([level, hz]))


# rate (48000), nominal and maximum block lengths (0: unstated), map
def lv2_seed(*steps, rate=1, nominal=0, maximum=0):
    return bytes([rate, nominal, maximum, 0]) + b"".join(steps)


plain = (exact(-3.5), exact(12.0), exact(1.0))
all_ports = b"".join(connect(p) for p in (0, 1, 2, 6))
write("lv2_state", {
    "restore-before-run": lv2_seed(restore_values(*plain), all_ports, run(512) * 3, step(4)),
    "controls-move": lv2_seed(all_ports, set_control(0, 6.0), run(256), restore_values(*plain), run(256),
                              set_control(1, -7.25), set_control(2, 1.0), run(256), step(4)),
    "bad-states": lv2_seed(all_ports, run(64), restore_values(*plain, how=12), restore_values(*plain, how=3),
                           restore_bytes(struct.pack("<d", 1.0) * 3 + b"\x00"),
                           restore_bytes(struct.pack("<ddd", -40.0, float("nan"), 3.0), how=0xB0), run(64)),
    "fixed-blocks": lv2_seed(all_ports, step(5), run(256, level=200), step(5), restore_values(*plain), run(1024),
                             connect(0, False), run(1), connect(0), set_control(6, 0.0), run(300), step(4),
                             nominal=4, maximum=5),
})
