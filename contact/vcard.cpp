#include "contact/vcard.h"

#include "platform/fileio.h"
#include "platform/utf8.h"

namespace lumo {

namespace {
const QString kCrLf = QStringLiteral("\r\n");

// CR, LF and the Unicode line and paragraph separators (U+0085, U+2028, U+2029) all end a
// line for some reader of the vCard.
bool isLineBreak(QChar c) {
    return c == u'\r' || c == u'\n' || c == QChar(0x85) || c == QChar::LineSeparator ||
           c == QChar::ParagraphSeparator;
}
} // namespace

QString escapeVCardText(const QString& value) {
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (isLineBreak(c)) {
            // A box can hold a pasted line break; written as is it would end the vCard line.
            out += QStringLiteral("\\n");
            if (c == u'\r' && i + 1 < value.size() && value.at(i + 1) == u'\n')
                ++i;
            continue;
        }
        if (c == u'\\' || c == u';' || c == u',')
            out += u'\\';
        out += c;
    }
    return out;
}

namespace {
// Phone, site and e-mail are written as typed, but a pasted line break would end the line
// early and split the contact, so it is dropped.
QString withoutLineBreaks(const QString& value) {
    QString out = value;
    out.removeIf(isLineBreak);
    return out;
}
} // namespace

QString composeVCard(const ContactFields& f) {
    const auto esc = escapeVCardText;
    QString v;
    v += QStringLiteral("BEGIN:VCARD") + kCrLf;
    v += QStringLiteral("VERSION:3.0") + kCrLf;
    v += QStringLiteral("FN:") + esc(f.nome) + u' ' + esc(f.sobrenome) + kCrLf;
    v += QStringLiteral("N:") + esc(f.sobrenome) + u';' + esc(f.nome) + QStringLiteral(";;;") +
         esc(f.sufixo) + kCrLf;
    if (!f.fixo.isEmpty())
        v += QStringLiteral("TEL;TYPE=HOME,VOICE:") + withoutLineBreaks(f.fixo) + kCrLf;
    if (!f.celular.isEmpty())
        v += QStringLiteral("TEL;TYPE=CELL:") + withoutLineBreaks(f.celular) + kCrLf;
    if (!f.site.isEmpty())
        v += QStringLiteral("URL:") + withoutLineBreaks(f.site) + kCrLf;
    if (!f.email.isEmpty())
        v += QStringLiteral("EMAIL;type=HOME,INTERNET:") + withoutLineBreaks(f.email) + kCrLf;
    const bool hasAddress = !(f.rua.isEmpty() && f.numero.isEmpty() && f.bairro.isEmpty() &&
                              f.cidade.isEmpty() && f.estado.isEmpty() && f.cep.isEmpty());
    if (hasAddress) {
        QString street = esc(f.rua);
        if (!f.numero.isEmpty())
            street += QStringLiteral(", ") + esc(f.numero);
        if (!f.bairro.isEmpty())
            street += QStringLiteral(" - ") + esc(f.bairro);
        v += QStringLiteral("LABEL;TYPE=HOME:Endereço") + kCrLf;
        v += QStringLiteral("ADR;TYPE=HOME:;;") + street + u';' + esc(f.cidade) + u';' + esc(f.estado) +
             u';' + esc(f.cep) + QStringLiteral(";Brasil") + kCrLf;
    }
    v += QStringLiteral("END:VCARD");
    return v;
}

QByteArray vcfFileBytes(const QString& text) {
    QString out;
    out.reserve(text.size() + 2);
    const qsizetype n = text.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c != u'\r' && c != u'\n')
            continue;
        out += QStringView(text).mid(start, i - start);
        out += kCrLf;
        if (c == u'\r' && i + 1 < n && text.at(i + 1) == u'\n')
            ++i;
        start = i + 1;
    }
    // A last line without a break is still a line; a text ending in a break has no extra one.
    if (start < n) {
        out += QStringView(text).mid(start);
        out += kCrLf;
    }
    return toUtf8(out);
}

void writeVcfFile(const QString& path, const QString& text) {
    writeFileAtomically(path, vcfFileBytes(text));
}

} // namespace lumo
