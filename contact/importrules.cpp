#include "contact/importrules.h"

#include "platform/errors.h"
#include "platform/utf8.h"

#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>
#include <cstring>

namespace lumo {

bool SourceAddress::isEmpty() const {
    return street.isEmpty() && number.isEmpty() && district.isEmpty() && extended.isEmpty() &&
           city.isEmpty() && region.isEmpty() && code.isEmpty();
}

void SourceContact::addPhone(QString number, PhoneKind kind, QString group) {
    const bool grouped = !group.isEmpty();
    const auto alike = [&](const SourcePhone& p) {
        return grouped ? !p.group.isEmpty() : p.group.isEmpty() && p.kind == kind;
    };
    if (std::count_if(phones.begin(), phones.end(), alike) < (grouped ? 16 : 2))
        phones.push_back({std::move(number), kind, std::move(group)});
}

void SourceContact::applyPhoneLabel(const QString& group, const QString& label) {
    static const QRegularExpression nonLetters(QStringLiteral("[^a-z]+"));
    const PhoneKind labelled = phoneKindOf(foldedKey(label).split(nonLetters, Qt::SkipEmptyParts));
    if (labelled == PhoneKind::Untyped)
        return;
    for (SourcePhone& p : phones)
        if (p.group == group && (p.kind == PhoneKind::Untyped || labelled == PhoneKind::Cell))
            p.kind = labelled;
}

void SourceContact::addEmail(QString address, int rank) {
    if (emails.empty() || rank < emails.back().rank)
        emails.push_back({std::move(address), rank});
}

void SourceContact::addAddress(SourceAddress address) {
    if (address.isEmpty())
        return;
    const bool havePreferred =
        std::any_of(addresses.begin(), addresses.end(), [](const SourceAddress& a) { return a.preferred; });
    if (addresses.empty() || (address.preferred && !havePreferred))
        addresses.push_back(std::move(address));
}

std::vector<QString*> boxesOf(ContactFields& f) {
    return {&f.nome, &f.sobrenome, &f.sufixo, &f.fixo,   &f.celular, &f.site, &f.email,
            &f.rua,  &f.numero,    &f.bairro, &f.cidade, &f.estado,  &f.cep};
}

bool hasAnyBox(const ContactFields& fields) {
    ContactFields copy = fields;
    for (const QString* box : boxesOf(copy))
        if (!box->trimmed().isEmpty())
            return true;
    return false;
}

PhoneKind phoneKindOf(const QStringList& typeWords) {
    bool cell = false, home = false, work = false;
    for (const QString& w : typeWords) {
        if (w == u"fax" || w == u"pager")
            return PhoneKind::Fax;
        cell = cell || w == u"cell" || w == u"mobile" || w == u"iphone" || w == u"celular" || w == u"cel" ||
               w == u"whatsapp";
        home = home || w == u"home" || w == u"residencial" || w == u"casa";
        work = work || w == u"work" || w == u"comercial" || w == u"trabalho";
    }
    return cell ? PhoneKind::Cell : home ? PhoneKind::Home : work ? PhoneKind::Work : PhoneKind::Untyped;
}

QString unescapeVCardText(QStringView value, bool anyEscape) {
    if (!value.contains(u'\\'))
        return value.toString();
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c != u'\\' || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar next = value[i + 1];
        if (next == u'n' || next == u'N') {
            out += u'\n';
            ++i;
        } else if (anyEscape || next == u'\\' || next == u';' || next == u',') {
            out += next;
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

StreetParts splitStreet(QStringView street, bool escaped, bool ownComposer, bool anyEscape) {
    const auto text = [&](QStringView part) {
        return escaped ? unescapeVCardText(part, anyEscape) : part.toString();
    };
    // The comma ending rua, and where what follows it starts.
    qsizetype comma = -1, after = -1;
    for (qsizetype i = 0; i < street.size(); ++i) {
        if (escaped && street[i] == u'\\') {
            if (!ownComposer && i + 1 < street.size() && street[i + 1] == u',') {
                comma = i;
                after = i + 2;
                break;
            }
            ++i;
        } else if (street[i] == u',') {
            comma = i;
            after = i + 1;
            break;
        }
    }
    QStringView rest = comma < 0 ? street : street.mid(after);
    if (comma >= 0 && rest.startsWith(u' '))
        rest = rest.mid(1);
    StreetParts parts;
    // After the number the first " - " starts bairro, so that a district such as "Vila - Norte"
    // comes back whole; with no number, the last, so that a street such as "BR - 101" does.
    const qsizetype dash = comma >= 0 ? rest.indexOf(u" - ") : rest.lastIndexOf(u" - ");
    if (dash >= 0) {
        parts.bairro = text(rest.mid(dash + 3));
        rest = rest.left(dash);
    }
    if (comma >= 0) {
        parts.rua = text(street.left(comma));
        parts.numero = text(rest);
    } else {
        parts.rua = text(rest);
    }
    return parts;
}

QString cleanBox(QString text, bool singleLine) {
    // The line and paragraph separators end a line like LF, as the composer writes them.
    const auto lineSeparator = [](QChar c) {
        return c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
    };
    const auto unwanted = [&](QChar c) {
        return c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F) || lineSeparator(c);
    };
    if (std::none_of(text.cbegin(), text.cend(), [&](QChar c) { return unwanted(c) && c != u'\t'; }))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        QChar c = text[i];
        if (c == u'\r') {
            if (i + 1 < text.size() && text[i + 1] == u'\n')
                continue;
            c = u'\n';
        }
        if (lineSeparator(c))
            c = u'\n';
        if (c == u'\n') {
            if (!singleLine)
                out += c;
        } else if (c == u'\t' || !unwanted(c)) {
            out += c;
        }
    }
    return out;
}

namespace {

void splitFullName(const QString& fullName, ContactFields& f) {
    const QString name = fullName.trimmed();
    qsizetype space = name.size() - 1;
    while (space >= 0 && !name[space].isSpace())
        --space;
    if (space < 0) {
        f.nome = name;
        return;
    }
    f.nome = name.left(space).trimmed();
    f.sobrenome = name.mid(space + 1);
}

const SourceAddress* chosenAddress(const std::vector<SourceAddress>& addresses) {
    const SourceAddress* first = nullptr;
    for (const SourceAddress& a : addresses) {
        if (a.isEmpty())
            continue;
        if (a.preferred)
            return &a;
        if (!first)
            first = &a;
    }
    return first;
}

// The street's lines: at line breaks, escaped ones in vCard text.
std::vector<QStringView> streetLines(QStringView street, bool escaped) {
    std::vector<QStringView> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < street.size(); ++i) {
        const QChar c = street[i];
        qsizetype width = 0;
        if (escaped && c == u'\\' && i + 1 < street.size()) {
            if (street[i + 1] == u'n' || street[i + 1] == u'N')
                width = 2;
            else
                ++i;
        } else if (c == u'\r' || c == u'\n') {
            width = c == u'\r' && i + 1 < street.size() && street[i + 1] == u'\n' ? 2 : 1;
        }
        if (width > 0) {
            lines.push_back(street.sliced(start, i - start));
            i += width - 1;
            start = i + 1;
        }
    }
    lines.push_back(street.sliced(start));
    return lines;
}

void appendPart(QString& box, const QString& part) {
    const QString text = part.trimmed();
    if (!text.isEmpty())
        box = box.trimmed().isEmpty() ? text : box.trimmed() + QStringLiteral(", ") + text;
}

} // namespace

ContactFields toContactFields(const SourceContact& c) {
    ContactFields f;
    QString given = c.given;
    if (!c.additional.isEmpty())
        given = given.isEmpty() ? c.additional : given + u' ' + c.additional;
    const bool personName = !given.trimmed().isEmpty() || !c.family.trimmed().isEmpty();
    const QString org = c.organization.trimmed();
    const QString full = c.fullName.trimmed();
    // A company's name is one name: "Oficina do Zé" is not Mr. Zé of the Oficina family.
    const bool company = !personName && (c.company ? !(org.isEmpty() && full.isEmpty())
                                                   : !org.isEmpty() && (full.isEmpty() || full == org));
    if (company) {
        f.nome = c.company && !full.isEmpty() ? full : org;
    } else if (personName) {
        f.nome = given;
        f.sobrenome = c.family;
    } else {
        splitFullName(c.fullName, f);
    }
    f.sufixo = !c.suffix.isEmpty()  ? c.suffix
               : !c.title.isEmpty() ? c.title
               : company            ? QString()
                                    : c.organization;

    // A number marked mobile is the cell phone. A card with one number of no kind at all
    // most often comes from a phone, where that number is the mobile one; with several, the
    // untyped ones are the landline's last choice after home and work.
    const SourcePhone* cell = nullptr;
    for (const SourcePhone& p : c.phones)
        if (!cell && p.kind == PhoneKind::Cell)
            cell = &p;
    if (!cell && c.phones.size() == 1 && c.phones.front().kind == PhoneKind::Untyped)
        cell = &c.phones.front();
    if (cell)
        f.celular = cell->number;
    for (PhoneKind kind : {PhoneKind::Home, PhoneKind::Work, PhoneKind::Untyped}) {
        const auto it = std::find_if(c.phones.begin(), c.phones.end(),
                                     [&](const SourcePhone& p) { return p.kind == kind && &p != cell; });
        if (it != c.phones.end()) {
            f.fixo = it->number;
            break;
        }
    }

    const SourceEmail* email = nullptr;
    for (const SourceEmail& e : c.emails)
        if (!email || e.rank < email->rank)
            email = &e;
    if (email)
        f.email = email->address;
    f.site = c.url;

    if (const SourceAddress* a = chosenAddress(c.addresses)) {
        const auto text = [a](QStringView part) {
            return a->streetEscaped ? unescapeVCardText(part, a->anyEscape) : part.toString();
        };
        // The composer's own street is one line as typed; another's further lines (a
        // building, a suite) go with the number, never into it as line breaks.
        std::vector<QStringView> lines{a->street};
        if (!a->ownComposer)
            lines = streetLines(a->street, a->streetEscaped);
        if (a->number.isEmpty() && a->district.isEmpty()) {
            StreetParts parts = splitStreet(lines.front(), a->streetEscaped, a->ownComposer, a->anyEscape);
            f.rua = std::move(parts.rua);
            f.numero = std::move(parts.numero);
            f.bairro = std::move(parts.bairro);
        } else {
            f.rua = text(lines.front());
            f.numero = a->number;
            f.bairro = a->district;
        }
        for (size_t i = 1; i < lines.size(); ++i)
            appendPart(f.numero, text(lines[i]));
        appendPart(f.numero, a->extended);
        f.cidade = a->city;
        f.estado = a->region;
        f.cep = a->code;
    }

    for (QString* box : boxesOf(f)) {
        const bool singleLine = box == &f.fixo || box == &f.celular || box == &f.site || box == &f.email;
        *box = cleanBox(std::move(*box), singleLine).trimmed();
    }
    return f;
}

QString decodeWindows1252(QByteArrayView bytes) {
    // Windows-1252 is Latin-1 but for 0x80-0x9F; its five unassigned bytes keep their
    // Latin-1 control characters (cleanBox drops them).
    static constexpr char16_t k80to9F[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    };
    QString out(bytes.size(), Qt::Uninitialized);
    QChar* dst = out.data();
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        *dst++ = QChar(b >= 0x80 && b < 0xA0 ? k80to9F[b - 0x80] : char16_t(b));
    }
    return out;
}

QString decodeText(QByteArrayView bytes, bool legacy) {
    if (std::all_of(bytes.begin(), bytes.end(), [](char b) { return static_cast<unsigned char>(b) < 0x80; }))
        return QString::fromLatin1(bytes);
    if (!legacy) {
        // A value may begin with U+FEFF as typed; only a file's own mark is taken away, before.
        QStringDecoder utf8(QStringDecoder::Utf8,
                            QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
        QString text = utf8(bytes);
        if (!utf8.hasError())
            return text;
    }
    return decodeWindows1252(bytes);
}

bool isValidUtf8(QByteArrayView bytes) {
    if (std::all_of(bytes.begin(), bytes.end(), [](char b) { return static_cast<unsigned char>(b) < 0x80; }))
        return true;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(bytes);
    return !utf8.hasError();
}

QString decodeUtf8Lossy(QByteArrayView bytes, int firstLine, std::vector<int>& badLines) {
    // A U+FEFF opening a piece is text, as anywhere else: the file's own mark is gone before.
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = utf8(bytes);
    if (!utf8.hasError() || int(badLines.size()) >= kMaxNamedLines)
        return text;
    // Only a file with a fault pays for finding its lines.
    int line = firstLine;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= bytes.size() && int(badLines.size()) < kMaxNamedLines; ++i) {
        const bool end = i == bytes.size();
        if (!end && bytes[i] != '\n' && bytes[i] != '\r')
            continue;
        if (!isValidUtf8(bytes.sliced(start, i - start)) && (badLines.empty() || badLines.back() != line))
            badLines.push_back(line);
        if (end)
            break;
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        ++line;
        start = i + 1;
    }
    return text;
}

QString foldedKey(QStringView text) {
    QString decomposed = text.toString().normalized(QString::NormalizationForm_D);
    decomposed.removeIf([](QChar c) { return c.isMark(); });
    return decomposed.toCaseFolded().simplified();
}

QByteArrayView textBytes(const QByteArray& bytes, QByteArray& converted) {
    const auto starts = [&](const char* mark) { return bytes.startsWith(mark); };
    if (starts("\xFF\xFE") || starts("\xFE\xFF")) {
        QStringDecoder utf16(starts("\xFF\xFE") ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
        converted = toUtf8(utf16(QByteArrayView(bytes).sliced(2)));
        return converted;
    }
    if (starts("\xEF\xBB\xBF"))
        return QByteArrayView(bytes).sliced(3);
    return bytes;
}

int lineNumberAt(QByteArrayView text, qsizetype offset) {
    int line = 1;
    for (qsizetype i = 0; i < offset; ++i)
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')))
            ++line;
    return line;
}

void checkTextFile(QByteArrayView text, const QString& fileName, int firstLine, bool whole) {
    const auto* nul = static_cast<const char*>(std::memchr(text.data(), 0, size_t(text.size())));
    if (nul) {
        importFailed(fileName,
                     QStringLiteral("o arquivo tem dados binários (um byte nulo na linha %1); não é "
                                    "um arquivo de contatos vCard nem CSV.")
                         .arg(firstLine - 1 + lineNumberAt(text, nul - text.data())));
    }
    if (whole &&
        std::all_of(text.begin(), text.end(), [](char b) { return b == ' ' || (b >= '\t' && b <= '\r'); }))
        importFailed(fileName, QStringLiteral("o arquivo está vazio."));
}

void importFailed(const QString& fileName, const QString& reason) {
    throw UserError(QStringLiteral("Não foi possível importar contatos de \"%1\": %2").arg(fileName, reason));
}

} // namespace lumo
