#!/usr/bin/python3
"""Writes the small seed corpora of the fuzz targets into fuzz/corpus/<target>/.

Run with Debian's /usr/bin/python3 (it needs python3-pil). The seeds are committed; run this
again only to change them.
"""
import io
import json
import pathlib
import shutil
import struct
import zipfile

from PIL import Image

HERE = pathlib.Path(__file__).resolve().parent / "corpus"


def write(target, name, data):
    folder = HERE / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data)


def utf16(text):
    return text.encode("utf-16-le")


# QR generator: option, quiet zone + 16, repeats - 1, then UTF-16LE text.
VCARD = ("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:João Conceição\r\nN:Conceição;João;;;Fotógrafo\r\n"
         "TEL;TYPE=CELL:(11) 98765-4321\r\nEND:VCARD")
write("qrcode", "vcard_utf8", bytes([5, 16, 0]) + utf16(VCARD))
write("qrcode", "vcard_bom", bytes([4, 20, 0]) + utf16(VCARD))
write("qrcode", "digits", bytes([0, 16, 0]) + utf16("01234567"))
write("qrcode", "alnum", bytes([0, 18, 0]) + utf16("HELLO WORLD $%*+-./:"))
write("qrcode", "latin1", bytes([3, 16, 1]) + utf16("Ação é ótima"))
write("qrcode", "emoji", bytes([0, 16, 0]) + utf16("Olá 😀 ") + b"\x00\xd8")  # and an unpaired surrogate
write("qrcode", "numeric_only", bytes([1, 116, 0]) + utf16("12a34"))
write("qrcode", "alnum_only", bytes([2, 0, 0]) + utf16("abc DEF 123"))
write("qrcode", "near_capacity", bytes([5, 16, 7]) + utf16("x" * 369))   # 2952 bytes
write("qrcode", "over_capacity", bytes([5, 16, 7]) + utf16("x" * 370))   # 2960 bytes


# vCard composer: the thirteen boxes, each ended by 0xFF; bytes >= 0x80 take a UTF-16 unit.
def boxes(*values):
    out = bytearray()
    for v in values:
        for ch in v:
            code = ord(ch)
            if code < 0x80:
                out.append(code)
            else:
                for unit in struct.unpack("<%dH" % (len(ch.encode("utf-16-le")) // 2), ch.encode("utf-16-le")):
                    out += bytes([0x80]) + struct.pack("<H", unit)
        out.append(0xFF)
    return bytes(out)


write("vcard", "empty", boxes(*[""] * 13))
write("vcard", "typical", boxes("João", "Conceição", "Fotógrafo", "(11) 3333-4444", "(11) 98765-4321",
                                "www.exemplo.com.br", "joao@exemplo.com.br", "Rua das Acácias", "120",
                                "Centro", "São Paulo", "SP", "01000-000"))
write("vcard", "separators", boxes("a;b", "c,d", "e\\", "", "", "", "", "Rua; 1, 2", "3", "x - y", "", "", ""))
write("vcard", "only_number", boxes(*[""] * 8, "12", "", "", "", ""))
write("vcard", "emoji", boxes("😀", "\u05e9\u05dc\u05d5\u05dd", "", "", "", "", "", "", "", "", "", "", ""))


# Picture loading: extension selector (0 jpg, 1 jpeg, 2 png, 3 bmp), then the file.
def picture(fmt, mode, size, **options):
    image = Image.new(mode, size, (200, 30, 60) if mode == "RGB" else (200, 30, 60, 128))
    buffer = io.BytesIO()
    image.save(buffer, fmt, **options)
    return buffer.getvalue()


write("picture", "rgb.jpg", bytes([0]) + picture("JPEG", "RGB", (8, 8), quality=90))
write("picture", "progressive.jpeg", bytes([1]) + picture("JPEG", "RGB", (16, 8), progressive=True))
write("picture", "alpha.png", bytes([2]) + picture("PNG", "RGBA", (4, 4)))
write("picture", "rgb.bmp", bytes([3]) + picture("BMP", "RGB", (3, 2)))
write("picture", "png_named_jpg", bytes([0]) + picture("PNG", "RGB", (2, 2)))
write("picture", "text.png", bytes([2]) + b"not a picture\n")


# Contact readers: the files themselves. The tests' hand-written exports, and a few more.
DATA = HERE.parent.parent / "tests" / "contact" / "data"
for path in sorted(DATA.iterdir()):
    target = "vcardreader" if path.suffix == ".vcf" else "csv"
    (HERE / target).mkdir(parents=True, exist_ok=True)
    shutil.copyfile(path, HERE / target / path.name)
write("vcardreader", "own_vcard", ("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ana\\; Maria Souza\\, Filha\r\n"
                                   "N:Souza\\, Filha;Ana\\; Maria;;;C:\\\\dir\r\nTEL;TYPE=HOME,VOICE:(11) 3333-4444\r\n"
                                   "TEL;TYPE=CELL:+55 11 99999-8888\r\nURL:https://exemplo.com.br/a;b,c\r\n"
                                   "EMAIL;type=HOME,INTERNET:ana@exemplo.com.br\r\nLABEL;TYPE=HOME:Endereço\r\n"
                                   "ADR;TYPE=HOME:;;Rua 1\\; bloco B, 10\\,5 - Lapa;Rio\\;de;RJ;20000-000;Brasil\r\n"
                                   "END:VCARD\r\n").encode("utf-8"))
write("vcardreader", "folded_header", b"BEGIN:VCARD\nVERSION:3.0\nTE\n L;TYPE=\"cell,voice\"\n :9\nN:Sou\n\tza;Ana;;;\n"
      b"PHOTO;ENCODING=b:QUJD\n REVG\n R0g=\nEND:VCARD\n")
write("vcardreader", "utf16", "\ufeffBEGIN:VCARD\r\nVERSION:4.0\r\nFN:Íris\r\nEND:VCARD\r\n".encode("utf-16-le"))
write("csv", "own_columns", "Nome;Sobrenome;Sufixo;Fixo;Celular;Site;E-mail;Rua;Número;Bairro;Cidade;Estado;CEP\r\n"
      "Ana;\"Souza; Filha\";;;9;;;\"Rua A, 10 - Centro\";;;Itu;SP;\"13300\r\n000\"\r\n".encode("utf-8"))
write("csv", "sep_tab_utf16", "sep=\t\r\nNome\tCelular\r\nÍris\t9\r\n".encode("utf-16"))
# Card documents: mode byte 0 and a whole document, or mode byte 1 and the text of card.json
# (the harness adds mimetype and three pictures). Written with Python's own ZIP writer.
def document(card, pictures=(), mimetype=b"application/x-lumocard", contacts=None):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as archive:
        entries = [("mimetype", mimetype, zipfile.ZIP_STORED),
                   ("card.json", json.dumps(card, ensure_ascii=False).encode(), zipfile.ZIP_DEFLATED), *pictures]
        if contacts is not None:
            entries.insert(2, ("contacts.json", json.dumps(contacts, ensure_ascii=False).encode(),
                               zipfile.ZIP_DEFLATED))
        for name, data, method in entries:
            archive.writestr(zipfile.ZipInfo(name, date_time=(2024, 1, 1, 0, 0, 0)), data, method)
    return buffer.getvalue()


CARD = {
    "format": 1,
    "contact": {"nome": "João", "sobrenome": "Conceição", "sufixo": "Fotógrafo", "fixo": "(11) 3333-4444",
                "celular": "(11) 98765-4321", "site": "www.exemplo.com.br", "email": "joao@exemplo.com.br",
                "rua": "Rua das Acácias", "numero": "120", "bairro": "Centro", "cidade": "São Paulo",
                "estado": "SP", "cep": "01000-000"},
    "memo": VCARD.replace("\r\n", "\n"), "qrText": VCARD, "generated": True, "generateGlyph": 0,
    "frontColor": "#1a2b3c", "backColor": "#FFFFFF", "textColor": "#000000",
    "frontBackground": "pictures/frontBackground.jpg", "backBackground": "pictures/backBackground.png",
    "logo": "pictures/logo.bmp", "icon": True, "bleed": False, "front": True, "back": True,
}
PICTURES = [("pictures/frontBackground.jpg", picture("JPEG", "RGB", (8, 8), quality=90), zipfile.ZIP_STORED),
            ("pictures/backBackground.png", picture("PNG", "RGB", (4, 4)), zipfile.ZIP_STORED),
            ("pictures/logo.bmp", picture("BMP", "RGB", (3, 2)), zipfile.ZIP_DEFLATED)]
NO_PICTURES = dict(CARD, frontBackground=None, backBackground=None, logo=None)

write("document", "full.lumocard", bytes([0]) + document(CARD, PICTURES))
write("document", "no_pictures.lumocard", bytes([0]) + document(NO_PICTURES))
write("document", "minimal.lumocard", bytes([0]) + document({"format": 1}))
write("document", "newer.lumocard", bytes([0]) + document(dict(NO_PICTURES, format=2, contacts=[])))
write("document", "other_mimetype.lumocard", bytes([0]) + document({"format": 1}, mimetype=b"application/zip"))
write("document", "card.json", bytes([1]) + json.dumps(CARD, ensure_ascii=False, indent=1).encode())
write("document", "bad_values.json", bytes([1]) + json.dumps(
    dict(CARD, generateGlyph=2, frontColor="red", logo="pictures/../x.bmp")).encode())
# The contact list in an entry of its own (the harness adds contacts.json in mode 1), and
# inside card.json as the first writer kept it.
LIST = [{"nome": "Ana", "email": "a@x.br"}, {"celular": "9"}, {}]
write("document", "contacts_apart.lumocard",
      bytes([0]) + document(dict(NO_PICTURES, contacts="contacts.json"), contacts=LIST))
write("document", "contacts_apart.json", bytes([1]) + json.dumps(dict(CARD, contacts="contacts.json")).encode())
write("document", "contacts_inside.json", bytes([1]) + json.dumps(dict(CARD, contacts=LIST)).encode())
