#!/usr/bin/env python3
"""Copies a font file and gives the copy a new family name (every naming record that names the
family, the full name or the PostScript name)."""
import sys

from fontTools.ttLib import TTFont


def main():
    source, target, family = sys.argv[1:4]
    font = TTFont(source)
    names = font["name"]
    postscript = family.replace(" ", "") + "-Regular"
    for record in names.names:
        if record.nameID in (1, 4, 16, 18):
            record.string = family
        elif record.nameID == 6:
            record.string = postscript
        elif record.nameID in (2, 17):
            record.string = "Regular"
        elif record.nameID == 3:
            record.string = postscript
    if "CFF " in font:
        cff = font["CFF "].cff
        cff.fontNames = [postscript]
        top = cff.topDictIndex[0]
        top.FamilyName = family
        top.FullName = family
    font.save(target)


if __name__ == "__main__":
    main()
