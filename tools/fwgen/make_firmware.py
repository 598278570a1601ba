#!/usr/bin/env python3
"""Writes the demonstration firmware that this product carries.

The images are invented: deterministic, compiler-shaped program memory for
the two parts the product ships code for. They exist so that the whole chain
(packing, transfer, the simulated boot loader's flash) can be checked byte for
byte. Run it from the repository root; it rewrites product/images/*.hex and
*.tail. The build never runs it.

  dsPIC33FJ64 family image (slot 6): 57,592 bytes, hardware 26, preparation 0x84
  PIC18F26K80 image (slot 9):        26,781 bytes, hardware 12, preparation 0x04
"""
import pathlib

OUT = pathlib.Path("product/images")


class Lcg:
    """Small deterministic generator, so the images never change between runs."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF

    def next(self):
        self.state = (self.state * 1103515245 + 12345) & 0xFFFFFFFF
        return (self.state >> 8) & 0xFFFF


def intel_hex(image, per_record=16):
    lines = []
    upper = None
    for base in range(0, len(image), per_record):
        if base >> 16 != upper:
            upper = base >> 16
            rec = [2, 0, 0, 4, upper >> 8, upper & 0xFF]
            lines.append(record(rec))
        chunk = image[base:base + per_record]
        rec = [len(chunk), (base >> 8) & 0xFF, base & 0xFF, 0] + list(chunk)
        lines.append(record(rec))
    lines.append(":00000001FF")
    return "\n".join(lines) + "\n"


def record(fields):
    checksum = (-sum(fields)) & 0xFF
    return ":" + "".join(f"{b:02X}" for b in fields) + f"{checksum:02X}"


def pic18_goto(byte_address):
    k = byte_address // 2
    return [k & 0xFF, 0xEF, (k >> 8) & 0xFF, 0xF0 | ((k >> 16) & 0x0F)]


def pic18_image(size, hardware, preparation, seed, banner):
    rng = Lcg(seed)
    img = bytearray([0xFF] * size)
    main, isr_high, isr_low = 0x0120, 0x0040, 0x0080
    img[0:4] = bytes(pic18_goto(main))
    img[4:8] = bytes([0x12, 0x0E, 0x81, 0x6E])          # MOVLW 0x12, MOVWF LATB
    img[8:12] = bytes(pic18_goto(isr_high))
    img[12:14] = bytes([0x00, 0x00])
    img[14] = hardware                                   # board header: hardware code
    img[15] = preparation                                #               preparation code
    img[0x18:0x1C] = bytes(pic18_goto(isr_low))
    # interrupt handlers: save context, clear flags, RETFIE
    for at, fast in ((isr_high, 1), (isr_low, 0)):
        body = [0x6E, 0x01, 0xCF, 0xD8, 0xF0, 0x02, 0x9E, 0x9E, 0x10 | fast, 0x00]
        img[at:at + len(body)] = bytes(body)
    # straight-line code: MOVLW/MOVWF/BSF/BCF/CALL mix, word aligned
    opcodes = (0x0E, 0x6E, 0x80, 0x90, 0x50, 0x26, 0x0A, 0xA0, 0xB0, 0xEC)
    at = main
    text_start = size - 512
    while at + 2 <= text_start:
        op = opcodes[rng.next() % len(opcodes)]
        if op == 0xEC and at + 4 <= text_start:
            img[at:at + 4] = bytes(pic18_goto(0x0200 + (rng.next() % 0x3000) * 2))
            img[at + 1] = 0xEC
            at += 4
            continue
        img[at] = rng.next() & 0xFF
        img[at + 1] = op
        at += 2
    # string table of RETLW instructions holding the banner, then padding data
    text = (banner + "\0").encode("ascii")
    at = text_start
    for ch in text:
        img[at:at + 2] = bytes([ch, 0x0C])
        at += 2
    while at < size:
        img[at] = rng.next() & 0xFF
        at += 1
    return img


def dspic_word(value):
    return [value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF, 0x00]


def dspic_image(size, hardware, preparation, seed, banner):
    rng = Lcg(seed)
    assert size % 4 == 0
    img = bytearray()
    reset, default_isr = 0x0400, 0x0300

    def put(word):
        img.extend(dspic_word(word))

    put(0x040000 | (reset & 0xFFFF))                    # GOTO __reset
    put((reset >> 16) & 0x7F)
    while len(img) < 0x400:                              # IVT and AIVT
        put(default_isr)
    put(hardware | (preparation << 8))                   # board header at PC 0x200
    put(0x000000)
    while len(img) < default_isr * 2:
        put(0xFFFFFF)
    put(0x064000)                                        # RETFIE
    while len(img) < reset * 2:
        put(0x000000)                                    # NOP padding
    # __reset: stack set-up, then a body of MOV/ADD/CALL-like words
    put(0x20800F)
    put(0x2FFFEE)
    families = (0x200000, 0x880000, 0x400000, 0xA80000, 0xB00000, 0x780000, 0x020000)
    text = (banner + "\0").encode("ascii")
    text_words = (len(text) + 1) // 2
    while len(img) < size - 4 * (text_words + 16):
        fam = families[rng.next() % len(families)]
        put(fam | ((rng.next() << 4) & 0x0FFFF0) | (rng.next() & 0xF))
    for i in range(0, len(text), 2):                     # .pword string table
        lo = text[i]
        hi = text[i + 1] if i + 1 < len(text) else 0
        put(lo | (hi << 8))
    while len(img) < size:
        put(0xFFFFFF)
    return img


def write(name, image, tail):
    (OUT / f"{name}.hex").write_text(intel_hex(image))
    (OUT / f"{name}.tail").write_text(
        "# final-block tail: the application's own reset jump\n"
        + " ".join(f"{b:02X}" for b in tail) + "\n")


def main():
    OUT.mkdir(parents=True, exist_ok=True)
    ds = dspic_image(57592, 26, 0x84, 0x33F64, "KBV 7E application 02.10.04.01")
    write("kbv7e-33fj64", ds, ds[0:8])
    k80 = pic18_image(26781, 12, 0x04, 0x26480, "KBV 7E K80 node 01.07")
    write("kbv7e-26k80", k80, k80[0:8])


if __name__ == "__main__":
    main()
