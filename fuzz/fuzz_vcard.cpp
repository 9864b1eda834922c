// Random contents of the thirteen contact boxes through the vCard composer and the .vcf bytes.
//
// Input: the boxes one after another, each ended by 0xFF. Bytes below 0x80 are ASCII characters
// (so separators, backslashes and line breaks come easily); any other byte takes the next two
// bytes as one UTF-16 code unit (accents, emoji halves, unpaired surrogates).
//
// Checked: the text is exactly the lines BEGIN, VERSION, FN, N, then TEL (home), TEL (cell),
// URL, EMAIL, LABEL and ADR where their boxes hold something, and END, joined by CR LF with
// no break after END; split on unescaped ';' the N value has 5 components and the ADR value 7,
// and unescaped they give back what was typed; the .vcf bytes are the same lines in UTF-8,
// each ended by CR LF.

#include "contact/vcard.h"
#include "platform/utf8.h"

#include <QStringList>

#include "fuzzcheck.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// Splits a value at the ';' not escaped by a backslash.
QStringList components(const QString& value) {
    QStringList out{QString()};
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == u'\\' && i + 1 < value.size()) {
            out.last() += c;
            out.last() += value.at(++i);
        } else if (c == u';') {
            out << QString();
        } else {
            out.last() += c;
        }
    }
    return out;
}

// Undoes the text escapes: "\\", "\;", "\,", and "\n" or "\N" for a line break.
QString unescape(const QString& value) {
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        QChar c = value.at(i);
        if (c == u'\\') {
            CHECK(i + 1 < value.size()); // a lone backslash at the end was never escaped
            c = value.at(++i);
            CHECK(c == u'\\' || c == u';' || c == u',' || c == u'n' || c == u'N');
            if (c == u'n' || c == u'N')
                c = u'\n';
        } else {
            CHECK(c != u';' && c != u','); // the composer's own separators are not in a component
        }
        out += c;
    }
    return out;
}

// The Unicode line breaks that readers also take as the end of a line.
bool isUnicodeBreak(QChar c) {
    return c == QChar(0x85) || c == QChar(0x2028) || c == QChar(0x2029);
}

// A typed value with each line break (CR LF, CR, LF, U+0085, U+2028 or U+2029) made one LF,
// as unescape gives it back.
QString lineBreaksAsLf(QString value) {
    value.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    value.replace(u'\r', u'\n');
    for (QChar& c : value)
        if (isUnicodeBreak(c))
            c = u'\n';
    return value;
}

// The text escapes written independently of the composer.
QString escaped(const QString& value) {
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == u'\\' || c == u';' || c == u',') {
            out += u'\\';
            out += c;
        } else if (c == u'\r' || c == u'\n' || isUnicodeBreak(c)) {
            out += QStringLiteral("\\n");
            if (c == u'\r' && i + 1 < value.size() && value.at(i + 1) == u'\n')
                ++i;
        } else {
            out += c;
        }
    }
    return out;
}

// A value that cannot hold a line break (phone, site, e-mail) loses them.
QString withoutLineBreaks(QString value) {
    value.remove(u'\r');
    value.remove(u'\n');
    value.removeIf(isUnicodeBreak);
    return value;
}

QString takeBox(const std::uint8_t*& p, const std::uint8_t* end) {
    QString box;
    while (p < end && *p != 0xFF) {
        if (*p < 0x80) {
            box += QChar(char16_t(*p++));
        } else if (end - p >= 3) {
            box += QChar(char16_t(p[1] | p[2] << 8));
            p += 3;
        } else {
            p = end;
        }
    }
    if (p < end)
        ++p; // the 0xFF that ends the box
    return box;
}

} // namespace

// Qt's libraries are built without frame pointers. Past a Qt frame, AddressSanitizer's fast
// unwinder walks on through whatever the stack holds, so almost every allocation made inside
// Qt records a stack trace never seen before, and the store of traces, which is never freed,
// grows for as long as the run lasts (about 30 MB a minute here, up to libFuzzer's memory
// limit). Two frames stay meaningful and bounded. To see where a finding's memory was
// allocated and freed, replay it with ASAN_OPTIONS=malloc_context_size=30:fast_unwind_on_malloc=0.
extern "C" const char* __asan_default_options() {
    return "malloc_context_size=2";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::uint8_t* p = data;
    const std::uint8_t* end = data + size;
    lumo::ContactFields f;
    for (QString* box : {&f.nome, &f.sobrenome, &f.sufixo, &f.fixo, &f.celular, &f.site, &f.email, &f.rua,
                         &f.numero, &f.bairro, &f.cidade, &f.estado, &f.cep})
        *box = takeBox(p, end);

    const QString text = lumo::composeVCard(f);
    CHECK(!text.endsWith(u'\n'));
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    for (const QString& line : lines)
        CHECK(!line.contains(u'\r') && !line.contains(u'\n') &&
              std::none_of(line.begin(), line.end(), isUnicodeBreak));

    qsizetype i = 0;
    const auto next = [&](const QString& prefix) {
        CHECK(i < lines.size());
        CHECK(lines[i].startsWith(prefix));
        return lines[i++].mid(prefix.size());
    };
    CHECK(next(QStringLiteral("BEGIN:VCARD")).isEmpty());
    CHECK(next(QStringLiteral("VERSION:3.0")).isEmpty());
    CHECK(unescape(next(QStringLiteral("FN:"))) == lineBreaksAsLf(f.nome + u' ' + f.sobrenome));

    const QStringList n = components(next(QStringLiteral("N:")));
    CHECK(n.size() == 5);
    CHECK(unescape(n[0]) == lineBreaksAsLf(f.sobrenome));
    CHECK(unescape(n[1]) == lineBreaksAsLf(f.nome));
    CHECK(n[2].isEmpty() && n[3].isEmpty());
    CHECK(unescape(n[4]) == lineBreaksAsLf(f.sufixo));

    const auto optional = [&](const QString& box, const QString& prefix) {
        if (box.isEmpty())
            return;
        CHECK(next(prefix) == withoutLineBreaks(box));
    };
    optional(f.fixo, QStringLiteral("TEL;TYPE=HOME,VOICE:"));
    optional(f.celular, QStringLiteral("TEL;TYPE=CELL:"));
    optional(f.site, QStringLiteral("URL:"));
    optional(f.email, QStringLiteral("EMAIL;type=HOME,INTERNET:"));

    const bool hasAddress = !(f.rua.isEmpty() && f.numero.isEmpty() && f.bairro.isEmpty() &&
                              f.cidade.isEmpty() && f.estado.isEmpty() && f.cep.isEmpty());
    if (hasAddress) {
        CHECK(next(QStringLiteral("LABEL;TYPE=HOME:Endereço")).isEmpty());
        const QStringList adr = components(next(QStringLiteral("ADR;TYPE=HOME:")));
        CHECK(adr.size() == 7);
        CHECK(adr[0].isEmpty() && adr[1].isEmpty());
        QString street = escaped(f.rua);
        if (!f.numero.isEmpty())
            street += QStringLiteral(", ") + escaped(f.numero);
        if (!f.bairro.isEmpty())
            street += QStringLiteral(" - ") + escaped(f.bairro);
        CHECK(adr[2] == street);
        CHECK(unescape(adr[3]) == lineBreaksAsLf(f.cidade));
        CHECK(unescape(adr[4]) == lineBreaksAsLf(f.estado));
        CHECK(unescape(adr[5]) == lineBreaksAsLf(f.cep));
        CHECK(adr[6] == QStringLiteral("Brasil"));
    }
    CHECK(next(QStringLiteral("END:VCARD")).isEmpty());
    CHECK(i == lines.size());

    // The file: the same lines in UTF-8, each ended by CR LF.
    CHECK(lumo::vcfFileBytes(text) == lumo::toUtf8(text + QStringLiteral("\r\n")));
    return 0;
}
