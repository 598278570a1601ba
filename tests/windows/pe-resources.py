#!/usr/bin/env python3
"""Checks the resources of a Windows program as Windows reads them.

    pe-resources.py PROGRAM.exe VERSION

Reads the PE file's resource directory itself and checks: the version
information (numbers and texts) carries VERSION and the file's own name; the
application manifest is well-formed XML and asks for what the programs need
(asInvoker, common controls 6, Windows 10/11, per-monitor DPI awareness v2,
the UTF-8 code page); the icon group 1 holds 16, 32, 48 and 128 pixel images,
each present. Prints one line per check; exits 1 when one fails.
"""
import os
import struct
import sys
import xml.etree.ElementTree as ET

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24


def read_resources(data):
    """{type: {name: bytes}} of the first language of each resource."""
    (pe,) = struct.unpack_from("<I", data, 0x3C)
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    sections, opt_size = struct.unpack_from("<H12xH", data, pe + 6)
    opt = pe + 24
    (magic,) = struct.unpack_from("<H", data, opt)
    directories = opt + (112 if magic == 0x20B else 96)
    rsrc_rva, rsrc_size = struct.unpack_from("<II", data, directories + 2 * 8)
    if not rsrc_size:
        return {}
    table = []
    for i in range(sections):
        vsize, vaddr, raw_size, raw_ptr = struct.unpack_from("<IIII", data, opt + opt_size + 40 * i + 8)
        table.append((vaddr, max(vsize, raw_size), raw_ptr))

    def offset(rva):
        for vaddr, size, raw in table:
            if vaddr <= rva < vaddr + size:
                return rva - vaddr + raw
        raise ValueError("RVA 0x%x in no section" % rva)

    base = offset(rsrc_rva)

    def entries(at):
        named, ids = struct.unpack_from("<HH", data, base + at + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", data, base + at + 16 + 8 * i)
            if name & 0x80000000:
                length, = struct.unpack_from("<H", data, base + (name & 0x7FFFFFFF))
                start = base + (name & 0x7FFFFFFF) + 2
                name = data[start:start + 2 * length].decode("utf-16-le")
            yield name, target

    resources = {}
    for kind, names in entries(0):
        for name, languages in entries(names & 0x7FFFFFFF):
            for _, leaf in entries(languages & 0x7FFFFFFF):
                rva, size = struct.unpack_from("<II", data, base + leaf)
                start = offset(rva)
                resources.setdefault(kind, {}).setdefault(name, data[start:start + size])
    return resources


def version_nodes(blob, at=0):
    """One VERSIONINFO node and its children: (key, value, children)."""
    length, value_length, kind = struct.unpack_from("<HHH", blob, at)
    end = at + length
    pos = at + 6
    key_end = pos
    while blob[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = blob[pos:key_end].decode("utf-16-le")
    pos = (key_end + 2 + 3) & ~3
    if kind == 1:  # text, length in characters
        value = blob[pos:pos + 2 * value_length].decode("utf-16-le").rstrip("\0")
        pos += 2 * value_length
    else:
        value = blob[pos:pos + value_length]
        pos += value_length
    pos = (pos + 3) & ~3
    children = []
    while pos < end:
        child, child_end = version_nodes(blob, pos)
        children.append(child)
        pos = (child_end + 3) & ~3
    return (key, value, children), end


def version_strings(node):
    key, value, children = node
    found = {}
    if isinstance(value, str) and not children:
        found[key] = value
    for child in children:
        found.update(version_strings(child))
    return found


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    path, version = argv[1], argv[2]
    name = os.path.basename(path)
    numbers = [int(p) for p in version.split(".")] + [0, 0, 0, 0]
    numbers = numbers[:4]
    with open(path, "rb") as f:
        resources = read_resources(f.read())
    failures = []

    def check(what, ok, detail=""):
        print(("PASS  " if ok else "FAIL  ") + name + ": " + what + ("" if ok else " (" + detail + ")"))
        if not ok:
            failures.append(what)

    # Version information
    blob = resources.get(RT_VERSION, {}).get(1)
    check("has version information", blob is not None, "no RT_VERSION 1")
    if blob is not None:
        root, _ = version_nodes(blob)
        fixed = root[1]
        signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
        got = [file_ms >> 16, file_ms & 0xFFFF, file_ls >> 16, file_ls & 0xFFFF]
        got_product = [product_ms >> 16, product_ms & 0xFFFF, product_ls >> 16, product_ls & 0xFFFF]
        check("file and product version numbers are " + ".".join(map(str, numbers)),
              signature == 0xFEEF04BD and got == numbers and got_product == numbers,
              "file %s, product %s" % (got, got_product))
        texts = version_strings(root)
        for key, expected in (("FileVersion", version), ("ProductVersion", version),
                              ("OriginalFilename", name), ("ProductName", "Torvane")):
            check("%s is %s" % (key, expected), texts.get(key) == expected, repr(texts.get(key)))
        for key in ("FileDescription", "CompanyName", "LegalCopyright"):
            check(key + " is set", bool(texts.get(key)), repr(texts.get(key)))

    # Application manifest
    manifest = resources.get(RT_MANIFEST, {}).get(1)
    check("has one application manifest (ID 1)",
          manifest is not None and len(resources.get(RT_MANIFEST, {})) == 1,
          "RT_MANIFEST names %s" % list(resources.get(RT_MANIFEST, {})))
    if manifest is not None:
        try:
            root = ET.fromstring(manifest)
        except ET.ParseError as error:
            check("the manifest is well-formed XML", False, str(error))
            root = None
        if root is not None:
            def find(tag):
                return [e for e in root.iter() if e.tag.split("}")[-1] == tag]

            def texts_of(tag):
                return [(e.text or "").strip() for e in find(tag)]

            check("asks for asInvoker",
                  [e.get("level") for e in find("requestedExecutionLevel")] == ["asInvoker"])
            controls = [e for e in find("assemblyIdentity") if e.get("name") == "Microsoft.Windows.Common-Controls"]
            check("depends on common controls 6",
                  len(controls) == 1 and controls[0].get("version") == "6.0.0.0"
                  and controls[0].get("publicKeyToken") == "6595b64144ccf1df")
            check("declares Windows 10 and 11", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"
                  in [e.get("Id") for e in find("supportedOS")])
            check("is aware of the system's DPI (the windows scale themselves when made)",
                  texts_of("dpiAware") == ["true"] and not texts_of("dpiAwareness"),
                  "%s %s" % (texts_of("dpiAwareness"), texts_of("dpiAware")))
            check("uses the UTF-8 code page", texts_of("activeCodePage") == ["UTF-8"], str(texts_of("activeCodePage")))
            own = [e for e in root if e.tag.split("}")[-1] == "assemblyIdentity"]
            check("its identity has version " + ".".join(map(str, numbers)),
                  len(own) == 1 and own[0].get("version") == ".".join(map(str, numbers)))

    # Icon
    group = resources.get(RT_GROUP_ICON, {}).get(1)
    check("has icon group 1", group is not None, "RT_GROUP_ICON names %s" % list(resources.get(RT_GROUP_ICON, {})))
    if group is not None:
        _, kind, count = struct.unpack_from("<HHH", group)
        sizes, missing = [], []
        for i in range(count):
            width, _, _, _, _, _, size, icon_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
            sizes.append(width or 256)
            image = resources.get(RT_ICON, {}).get(icon_id)
            if image is None or len(image) != size:
                missing.append(icon_id)
        check("the icon holds 16, 32, 48 and 128 pixel images", kind == 1 and sorted(sizes) == [16, 32, 48, 128],
              "sizes %s" % sizes)
        check("each icon image is there", not missing, "missing RT_ICON %s" % missing)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
