#!/usr/bin/env python3
"""Writes the character widths of the ten standard PDF fonts that have proportional widths.

The widths come from the AFM metrics of the metric-compatible fonts of the package fonts-urw-base35.
The eight Latin tables are indexed by Windows-1252 code, Symbol and ZapfDingbats by their built-in
encodings. Codes without a glyph take the values PDF readers use for them (see FIXED below).

Usage: make_core_font_widths.py [--afm-dir DIR] [--output FILE]
"""

import argparse
import os
import sys

AFM_DIRS = ["/usr/share/fonts/type1/urw-base35", "/usr/share/fonts/urw-base35"]

# Table order of PdfCoreFontWidths, with the AFM that has the same metrics.
FONTS = [
    ("ZapfDingbats", "D050000L"),
    ("Helvetica", "NimbusSans-Regular"),
    ("Helvetica-Bold", "NimbusSans-Bold"),
    ("Helvetica-Oblique", "NimbusSans-Italic"),
    ("Helvetica-BoldOblique", "NimbusSans-BoldItalic"),
    ("Times-Roman", "NimbusRoman-Regular"),
    ("Times-Bold", "NimbusRoman-Bold"),
    ("Times-Italic", "NimbusRoman-Italic"),
    ("Times-BoldItalic", "NimbusRoman-BoldItalic"),
    ("Symbol", "StandardSymbolsPS"),
]

# Glyph names of Windows-1252 codes 32 to 255; None where the code page has no character.
WIN_ANSI = (
    "space exclam quotedbl numbersign dollar percent ampersand quotesingle parenleft parenright "
    "asterisk plus comma hyphen period slash zero one two three four five six seven eight nine colon "
    "semicolon less equal greater question at A B C D E F G H I J K L M N O P Q R S T U V W X Y Z "
    "bracketleft backslash bracketright asciicircum underscore grave a b c d e f g h i j k l m n o p q "
    "r s t u v w x y z braceleft bar braceright asciitilde - Euro - quotesinglbase florin "
    "quotedblbase ellipsis dagger daggerdbl circumflex perthousand Scaron guilsinglleft OE - Zcaron - "
    "- quoteleft quoteright quotedblleft quotedblright bullet endash emdash tilde trademark scaron "
    "guilsinglright oe - zcaron Ydieresis space exclamdown cent sterling currency yen brokenbar "
    "section dieresis copyright ordfeminine guillemotleft logicalnot hyphen registered macron degree "
    "plusminus twosuperior threesuperior acute mu paragraph periodcentered cedilla onesuperior "
    "ordmasculine guillemotright onequarter onehalf threequarters questiondown Agrave Aacute "
    "Acircumflex Atilde Adieresis Aring AE Ccedilla Egrave Eacute Ecircumflex Edieresis Igrave Iacute "
    "Icircumflex Idieresis Eth Ntilde Ograve Oacute Ocircumflex Otilde Odieresis multiply Oslash "
    "Ugrave Uacute Ucircumflex Udieresis Yacute Thorn germandbls agrave aacute acircumflex atilde "
    "adieresis aring ae ccedilla egrave eacute ecircumflex edieresis igrave iacute icircumflex "
    "idieresis eth ntilde ograve oacute ocircumflex otilde odieresis divide oslash ugrave uacute "
    "ucircumflex udieresis yacute thorn ydieresis"
).split()
assert len(WIN_ANSI) == 224


def read_afm(path):
    """Returns ({code: width}, {glyph name: width}) of an AFM file."""
    by_code = {}
    by_name = {}
    in_metrics = False
    with open(path, encoding="latin-1") as afm:
        for line in afm:
            if line.startswith("StartCharMetrics"):
                in_metrics = True
                continue
            if line.startswith("EndCharMetrics"):
                break
            if not in_metrics:
                continue
            fields = {}
            for part in line.split(";"):
                words = part.split()
                if len(words) >= 2:
                    fields[words[0]] = words[1]
            code = int(fields["C"])
            width = int(round(float(fields["WX"])))
            by_name.setdefault(fields["N"], width)
            if code >= 0:
                by_code.setdefault(code, width)
    return by_code, by_name


def latin_table(by_name):
    space = by_name["space"]
    table = []
    for code in range(256):
        if code < 32:
            table.append(space)
        elif code in (127, 129, 141, 143, 144, 157):
            table.append(350)
        elif code == 160:
            table.append(space)
        elif code == 173:
            table.append(by_name["hyphen"])
        else:
            table.append(by_name[WIN_ANSI[code - 32]])
    return table


def symbol_table(by_code):
    table = []
    for code in range(256):
        if code < 32:
            table.append(250)
        elif 127 <= code <= 159 or code in (240, 255):
            table.append(0)
        elif code == 160:
            table.append(750)
        else:
            table.append(by_code.get(code, 0))
    return table


def dingbats_table(by_code):
    table = []
    for code in range(256):
        if code < 32 or code == 127 or 142 <= code <= 160 or code in (240, 255):
            table.append(0)
        else:
            table.append(by_code.get(code, 0))
    return table


def build(afm_dir):
    tables = []
    for pdf_name, afm_name in FONTS:
        by_code, by_name = read_afm(os.path.join(afm_dir, afm_name + ".afm"))
        if pdf_name == "Symbol":
            tables.append((pdf_name, symbol_table(by_code)))
        elif pdf_name == "ZapfDingbats":
            tables.append((pdf_name, dingbats_table(by_code)))
        else:
            tables.append((pdf_name, latin_table(by_name)))
    return tables


def render(tables):
    lines = [
        "// Generated by tools/make_core_font_widths.py from the AFM metrics of fonts-urw-base35; do not edit.",
        '#include "pdf/pdf_writer_internal.h"',
        "",
        "namespace folvex {",
        "",
        "// clang-format off",
        "const std::array<std::array<std::uint16_t, 256>, 10> PdfCoreFontWidths = {{",
    ]
    for name, table in tables:
        lines.append("    // " + name)
        lines.append("    {{")
        for start in range(0, 256, 16):
            lines.append("        " + ", ".join(str(w) for w in table[start:start + 16]) + ",")
        lines.append("    }},")
    lines += ["}};", "// clang-format on", "", "} // namespace folvex", ""]
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--afm-dir", default=None)
    parser.add_argument("--output", default="-")
    args = parser.parse_args()
    afm_dir = args.afm_dir
    if afm_dir is None:
        afm_dir = next((d for d in AFM_DIRS if os.path.isdir(d)), None)
        if afm_dir is None:
            sys.exit("no AFM folder of fonts-urw-base35 found")
    text = render(build(afm_dir))
    if args.output == "-":
        sys.stdout.write(text)
    else:
        with open(args.output, "w", encoding="utf-8") as out:
            out.write(text)


if __name__ == "__main__":
    main()
