#!/usr/bin/python3
"""Reads a print-shop file with pikepdf, a reader independent of the program, and prints
every way in which it breaks the PDF/X-1a:2001 rules the program promises, one per line,
after a first line "pages N". Exit status 0 when nothing is broken.

    pdfxcheck.py rules FILE.pdf BLEED_MM MARKS(0|1) CONDITION
    pdfxcheck.py plates FILE.pdf PAGE DPI OUTDIR    Ghostscript's separations of one page
                                                    as OUTDIR/{C,M,Y,K}.png (white: no ink)
"""
import subprocess
import sys
import tempfile
from decimal import Decimal

import pikepdf

PT_PER_MM = 72 / 25.4
FORBIDDEN_SPACES = {'/DeviceRGB', '/ICCBased', '/Lab', '/CalRGB', '/CalGray', '/DeviceN', '/Indexed',
                    '/Pattern'}


def rules(path, bleed_mm, marks, condition):
    problems = []
    with open(path, 'rb') as f:
        head = f.read(9)
    if head != b'%PDF-1.3\n' and head[:8] != b'%PDF-1.3':
        problems.append(f'header {head!r}')
    pdf = pikepdf.open(path)
    if pdf.is_encrypted:
        problems.append('encrypted')
    ids = pdf.trailer.get('/ID')
    if ids is None or len(ids) != 2:
        problems.append('no trailer /ID')

    info = pdf.trailer.get('/Info')
    expect = {'/GTS_PDFXVersion': 'PDF/X-1:2001', '/GTS_PDFXConformance': 'PDF/X-1a:2001'}
    for key in ('/Title', '/Creator', '/Producer', '/CreationDate', '/ModDate'):
        if info is None or key not in info or not str(info[key]):
            problems.append(f'Info lacks {key}')
    for key, value in expect.items():
        if info is None or str(info.get(key, '')) != value:
            problems.append(f'Info {key} is not {value}')
    if info is None or info.get('/Trapped') != pikepdf.Name('/False'):
        problems.append('Info /Trapped is not /False')

    root = pdf.Root
    intents = root.get('/OutputIntents')
    if intents is None or len(intents) != 1:
        problems.append('not one output intent')
    else:
        oi = intents[0]
        if oi.get('/S') != pikepdf.Name('/GTS_PDFX'):
            problems.append('output intent /S')
        if str(oi.get('/OutputConditionIdentifier', '')) != condition:
            problems.append('output condition identifier')
        if str(oi.get('/RegistryName', '')) != 'http://www.color.org':
            problems.append('registry name')
        if not str(oi.get('/Info', '')):
            problems.append('output intent /Info')
        profile = oi.get('/DestOutputProfile')
        if not isinstance(profile, pikepdf.Stream) or int(profile.get('/N', 0)) != 4:
            problems.append('no CMYK destination profile')
        else:
            icc = profile.read_bytes()
            if icc[12:16] != b'prtr' or icc[16:20] != b'CMYK' or icc[8] != 2:
                problems.append('destination profile is not an ICC v2 CMYK output profile')
    for key in ('/OpenAction', '/AA', '/Names', '/AcroForm'):
        if key in root:
            problems.append(f'catalog has {key}')

    # Every object of the file, wherever it hangs.
    def walk(obj, seen, where):
        if isinstance(obj, pikepdf.Stream):
            key = obj.objgen
            if key != (0, 0):
                if key in seen:
                    return
                seen.add(key)
            walk_dict(obj.stream_dict, seen, where)
        elif isinstance(obj, pikepdf.Dictionary):
            key = obj.objgen
            if key != (0, 0):
                if key in seen:
                    return
                seen.add(key)
            walk_dict(obj, seen, where)
        elif isinstance(obj, pikepdf.Array):
            if len(obj) and obj[0] == pikepdf.Name('/Separation') and str(obj[1]) != '/All':
                problems.append(f'separation {obj[1]}')
            for item in obj:
                walk(item, seen, where)
        elif isinstance(obj, pikepdf.Name):
            if str(obj) in FORBIDDEN_SPACES:
                problems.append(f'{obj} in {where}')

    def walk_dict(d, seen, where):
        for key in list(d.keys()):
            value = d[key]
            if key == '/SMask' and value != pikepdf.Name('/None'):
                problems.append(f'soft mask in {where}')
            elif key in ('/CA', '/ca') and Decimal(str(value)) != 1:
                problems.append(f'{key} {value} in {where}')
            elif key == '/BM' and str(value) not in ('/Normal', '/Compatible'):
                problems.append(f'blend mode {value} in {where}')
            elif key in ('/JS', '/JavaScript') or (key == '/S' and value == pikepdf.Name('/JavaScript')):
                problems.append(f'JavaScript in {where}')
            elif key == '/Subtype' and value == pikepdf.Name('/Type3'):
                problems.append(f'Type 3 font in {where}')
            elif key == '/Type' and value == pikepdf.Name('/Annot'):
                problems.append(f'annotation in {where}')
            elif key == '/Group':
                problems.append(f'transparency group in {where}')
            if key in ('/Parent', '/DestOutputProfile'):
                continue
            walk(value, seen, where)

    seen = set()
    for number, page in enumerate(pdf.pages, 1):
        where = f'page {number}'
        p = page.obj
        walk_dict(pikepdf.Dictionary({k: p[k] for k in p.keys() if k not in ('/Parent', '/Contents')}), seen, where)
        for key in ('/Annots', '/ArtBox'):
            if key in p:
                problems.append(f'{where} has {key}')
        media = [float(v) for v in p.MediaBox]
        try:
            trim = [float(v) for v in p.TrimBox]
            bleed_box = [float(v) for v in p.BleedBox]
        except (AttributeError, KeyError):
            problems.append(f'{where} lacks TrimBox or BleedBox')
            continue
        b = bleed_mm * PT_PER_MM
        if any(abs(t - (e + s * b)) > 0.01 for t, e, s in zip(trim, bleed_box, (1, 1, -1, -1))):
            problems.append(f'{where} trim {trim} is not the bleed box {bleed_box} inset by {bleed_mm} mm')
        if abs(trim[2] - trim[0] - 54 * PT_PER_MM) > 0.01 or abs(trim[3] - trim[1] - 86 * PT_PER_MM) > 0.01:
            problems.append(f'{where} trim is not 54 x 86 mm')
        if not marks and media != bleed_box:
            problems.append(f'{where} bleed box is not the media box')
        if marks and not (media[0] < bleed_box[0] and media[2] > bleed_box[2]):
            problems.append(f'{where} has no room for the marks')

        # Fonts embedded; pictures in CMYK or grey; content colours in CMYK, grey or "All".
        resources = p.Resources
        for name, font in resources.get('/Font', {}).items():
            fonts = [font] + list(font.get('/DescendantFonts', []))
            if not any('/FontDescriptor' in f and any(k in f.FontDescriptor for k in
                                                      ('/FontFile', '/FontFile2', '/FontFile3')) for f in fonts):
                problems.append(f'{where} font {name} not embedded')
        for name, xobject in resources.get('/XObject', {}).items():
            if xobject.get('/Subtype') != pikepdf.Name('/Image'):
                problems.append(f'{where} XObject {name} is not an image')
            elif not xobject.get('/ImageMask', False) and str(xobject.get('/ColorSpace')) not in (
                    '/DeviceCMYK', '/DeviceGray'):
                problems.append(f'{where} image {name} in {xobject.get("/ColorSpace")}')
        spaces = {str(k): v for k, v in resources.get('/ColorSpace', {}).items()}
        for operands, operator in pikepdf.parse_content_stream(page):
            op = str(operator)
            if op in ('rg', 'RG', 'sh', 'BI', 'INLINE IMAGE'):
                problems.append(f'{where} content uses {op}')
            elif op in ('cs', 'CS'):
                name = str(operands[0])
                space = spaces.get(name, operands[0])
                if isinstance(space, pikepdf.Array):
                    ok = str(space[0]) == '/Separation' and str(space[1]) == '/All'
                else:
                    ok = str(space) in ('/DeviceCMYK', '/DeviceGray')
                if not ok:
                    problems.append(f'{where} content sets colour space {name}')
            elif op in ('sc', 'scn', 'SC', 'SCN') and len(operands) == 3:
                problems.append(f'{where} content sets a three-component colour')
    print(f'pages {len(pdf.pages)}')
    for problem in dict.fromkeys(problems):
        print(problem)
    return 1 if problems else 0


def plates(path, page, dpi, outdir):
    from PIL import Image
    with tempfile.TemporaryDirectory() as work:
        subprocess.run(['gs', '-q', '-dNOPAUSE', '-dBATCH', '-dSAFER', '-sDEVICE=tiffsep', f'-r{dpi}',
                        f'-dFirstPage={page}', f'-dLastPage={page}', f'-sOutputFile={work}/sep.tif', path],
                       check=True)
        for plate, name in (('C', 'Cyan'), ('M', 'Magenta'), ('Y', 'Yellow'), ('K', 'Black')):
            Image.open(f'{work}/sep({name}).tif').convert('L').save(f'{outdir}/{plate}.png')
    return 0


if __name__ == '__main__':
    if sys.argv[1] == 'rules':
        sys.exit(rules(sys.argv[2], float(sys.argv[3]), sys.argv[4] == '1', sys.argv[5]))
    sys.exit(plates(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), sys.argv[5]))
