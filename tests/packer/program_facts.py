#!/usr/bin/python3
# What an independent reader (Debian's python3-pefile) finds in a package's
# program, compared with the stub it was made from. One fact per line, for
# the packer's tests to compare:
#   kept: yes|<what differs>   every section but the resources has the
#                              bytes, flags and sizes the stub's has; those
#                              before the resources lie where they lay
#   header: yes|<fields>       the headers differ in the fields that the
#                              rewriting must change, and only there
#   image_size: yes|no         the size of the image covers the last section
#   checksum: yes|no           the header's checksum is the program's
#   warnings: none|<text>      pefile's complaints about the program's form
#   file_version, product_version: the fixed part's numbers
#   table: 040704E4            the string table's language and code page
#   translation: 0x0407 0x04e4
#   string: Key=Value          each text of the string table, in order
#   level: asInvoker           the manifest's requested execution level
# Usage: program_facts.py STUB PACKAGE
import re
import sys

import pefile


def program_part(data):
    """The bytes up to the end of the last section: the program without the
    archive and trailer behind it."""
    pe = pefile.PE(data=data, fast_load=True)
    end = max(s.PointerToRawData + s.SizeOfRawData for s in pe.sections)
    return data[:end]


def header_fields(pe):
    """Offsets and sizes of the header fields that may change."""
    opt = pe.OPTIONAL_HEADER
    fields = {
        "SizeOfInitializedData": (opt.get_field_absolute_offset("SizeOfInitializedData"), 4),
        "SizeOfImage": (opt.get_field_absolute_offset("SizeOfImage"), 4),
        "CheckSum": (opt.get_field_absolute_offset("CheckSum"), 4),
    }
    for name in ("IMAGE_DIRECTORY_ENTRY_RESOURCE", "IMAGE_DIRECTORY_ENTRY_BASERELOC"):
        entry = opt.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY[name]]
        fields[name] = (entry.get_file_offset(), 8)
    for s in pe.sections:
        if s.Name.rstrip(b"\0") in (b".rsrc", b".reloc"):
            fields[s.Name.rstrip(b"\0").decode() + " header"] = (s.get_file_offset() + 8, 16)
    return fields


def compare_headers(stub, package, stub_pe):
    fields = header_fields(stub_pe)
    size = stub_pe.OPTIONAL_HEADER.SizeOfHeaders
    changed = set()
    for at in range(size):
        if stub[at] == package[at]:
            continue
        owner = [name for name, (start, length) in fields.items() if start <= at < start + length]
        changed.add(owner[0] if owner else "byte %d" % at)
    unexpected = sorted(c for c in changed if c.startswith("byte"))
    return "yes" if not unexpected else ", ".join(unexpected)


def compare_sections(stub_pe, package_pe):
    problems = []
    package_sections = {s.Name: s for s in package_pe.sections}
    before_resources = True
    for s in stub_pe.sections:
        name = s.Name.rstrip(b"\0").decode()
        if name == ".rsrc":
            before_resources = False
            continue
        other = package_sections.get(s.Name)
        if other is None:
            problems.append(name + " missing")
            continue
        if s.get_data() != other.get_data() or s.Characteristics != other.Characteristics \
                or s.Misc_VirtualSize != other.Misc_VirtualSize:
            problems.append(name + " differs")
        if before_resources and (s.VirtualAddress != other.VirtualAddress
                                 or s.PointerToRawData != other.PointerToRawData):
            problems.append(name + " moved")
    return "yes" if not problems else ", ".join(problems)


def version_facts(pe):
    lines = []
    if hasattr(pe, "VS_FIXEDFILEINFO"):
        fixed = pe.VS_FIXEDFILEINFO[0]
        for key, high, low in (("file_version", fixed.FileVersionMS, fixed.FileVersionLS),
                               ("product_version", fixed.ProductVersionMS, fixed.ProductVersionLS)):
            lines.append("%s: %d.%d.%d.%d" % (key, high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF))
    for info in (pe.FileInfo[0] if getattr(pe, "FileInfo", None) else []):
        for table in getattr(info, "StringTable", []):
            lines.append("table: " + table.LangID.decode())
            for key, value in table.entries.items():
                lines.append("string: %s=%s" % (key.decode(), value.decode()))
        for var in getattr(info, "Var", []):
            if b"Translation" in var.entry:
                lines.append("translation: " + var.entry[b"Translation"])
    return lines


def manifest_level(pe):
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return "no resources"
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if kind.id != pefile.RESOURCE_TYPE["RT_MANIFEST"]:
            continue
        data = kind.directory.entries[0].directory.entries[0].data.struct
        text = pe.get_data(data.OffsetToData, data.Size).decode("utf-8")
        found = re.search(r"requestedExecutionLevel[^>]*\slevel\s*=\s*[\"']([^\"']*)", text)
        return found.group(1) if found else "none"
    return "no manifest"


def main():
    with open(sys.argv[1], "rb") as f:
        stub = f.read()
    with open(sys.argv[2], "rb") as f:
        package = program_part(f.read())
    stub_pe = pefile.PE(data=stub)
    package_pe = pefile.PE(data=package)
    opt = package_pe.OPTIONAL_HEADER
    last = package_pe.sections[-1]
    alignment = opt.SectionAlignment
    covered = (last.VirtualAddress + last.Misc_VirtualSize + alignment - 1) // alignment * alignment
    print("kept:", compare_sections(stub_pe, package_pe))
    print("header:", compare_headers(stub, package, stub_pe))
    print("image_size:", "yes" if opt.SizeOfImage == covered else "no")
    print("checksum:", "yes" if opt.CheckSum == package_pe.generate_checksum() else "no")
    # Not the ones about how often a byte occurs: one-coloured test images
    # are full of a few bytes.
    warnings = [w for w in package_pe.get_warnings() if not re.match(r"Byte 0x[0-9a-f]+ makes up", w)]
    print("warnings:", "; ".join(warnings) or "none")
    for line in version_facts(package_pe):
        print(line)
    print("level:", manifest_level(package_pe))


main()
