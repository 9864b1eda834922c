#include "contact/vcardreader.h"

#include "contact/importrules.h"

#include <algorithm>
#include <vector>

namespace lumo {

namespace {

enum class Encoding { None, QuotedPrintable, Base64 };

// A property's name and parameters, as far as the boxes need them.
struct Header {
    QByteArray name;   // upper case, without its group ("item1.")
    QString group;     // lower case
    QStringList types; // lower case, from TYPE= and from bare parameters (vCard 2.1)
    int pref = 100;    // 1 for TYPE=pref, else PREF=n
    Encoding encoding = Encoding::None;
    bool legacyCharset = false; // CHARSET=ISO-8859-1 or Windows-1252
    bool uri = false;           // VALUE=uri
};

// Splits at `separator` outside double quotes.
std::vector<QByteArrayView> splitOutsideQuotes(QByteArrayView text, char separator) {
    std::vector<QByteArrayView> parts;
    bool quoted = false;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '"')
            quoted = !quoted;
        else if (text[i] == separator && !quoted) {
            parts.push_back(text.sliced(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(text.sliced(start));
    return parts;
}

Header parseHeader(QByteArrayView text) {
    const std::vector<QByteArrayView> parts = splitOutsideQuotes(text, ';');
    Header h;
    QByteArrayView name = parts.front().trimmed();
    // Files joined with cat keep the byte-order mark of each.
    if (name.startsWith("\xEF\xBB\xBF"))
        name = name.sliced(3);
    if (const qsizetype dot = name.lastIndexOf('.'); dot >= 0) {
        h.group = QString::fromLatin1(name.first(dot)).toLower();
        name = name.sliced(dot + 1);
    }
    h.name = name.toByteArray().toUpper();
    for (size_t i = 1; i < parts.size(); ++i) {
        const QByteArrayView param = parts[i];
        const qsizetype eq = param.indexOf('=');
        const QByteArray key = eq < 0 ? QByteArray() : param.first(eq).trimmed().toByteArray().toUpper();
        // TYPE=CELL,VOICE and TYPE="cell,voice" alike.
        QString values = QString::fromLatin1(eq < 0 ? param : param.sliced(eq + 1)).toLower();
        values.remove(u'"');
        for (const QString& part : values.split(u',')) {
            const QString value = part.trimmed();
            if (value.isEmpty())
                continue;
            if (key.isEmpty() || key == "TYPE") {
                if (key.isEmpty() && value == u"quoted-printable")
                    h.encoding = Encoding::QuotedPrintable;
                else if (key.isEmpty() && value == u"base64")
                    h.encoding = Encoding::Base64;
                else if (value == u"pref")
                    h.pref = 1;
                else
                    h.types << value;
            } else if (key == "ENCODING") {
                if (value == u"quoted-printable")
                    h.encoding = Encoding::QuotedPrintable;
                else if (value == u"base64" || value == u"b")
                    h.encoding = Encoding::Base64;
            } else if (key == "CHARSET") {
                h.legacyCharset = value == u"iso-8859-1" || value == u"latin1" || value == u"windows-1252" ||
                                  value == u"cp1252";
            } else if (key == "PREF") {
                bool ok = false;
                const int n = value.toInt(&ok);
                if (ok && n > 0)
                    h.pref = std::min(h.pref, n);
            } else if (key == "VALUE") {
                h.uri = value == u"uri";
            }
        }
    }
    return h;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

QByteArray quotedPrintableDecoded(QByteArrayView text) {
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '=' && i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 &&
            hexDigit(text[i + 2]) >= 0) {
            out += char(hexDigit(text[i + 1]) << 4 | hexDigit(text[i + 2]));
            i += 2;
        } else if (text[i] != '=' || i + 1 < text.size()) {
            out += text[i]; // a stray "=" stays; a last one was a soft break
        }
    }
    return out;
}

// Splits vCard text at `separator` where no backslash escapes it; the parts keep their escapes.
std::vector<QStringView> components(QStringView value, QChar separator = u';') {
    std::vector<QStringView> parts;
    qsizetype start = 0;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == u'\\')
            ++i;
        else if (value[i] == separator) {
            parts.push_back(value.sliced(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(value.sliced(start));
    return parts;
}

QStringView componentAt(const std::vector<QStringView>& parts, size_t i) {
    return i < parts.size() ? parts[i] : QStringView();
}

// A name component: from vCard 3.0 on, unescaped commas separate several values.
QString listText(QStringView component, bool commaLists, QStringView joiner) {
    if (!commaLists)
        return unescapeVCardText(component);
    QStringList values;
    for (QStringView v : components(component, u','))
        if (!v.isEmpty())
            values << unescapeVCardText(v);
    return values.join(joiner);
}

// A link's text: only an escaped colon is undone, as a typed link never holds "\:".
QString unescapeLink(const QString& value) {
    if (!value.contains(u'\\'))
        return value;
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == u'\\' && i + 1 < value.size() && value[i + 1] == u':')
            ++i;
        out += value[i];
    }
    return out;
}

bool isBlank(QByteArrayView line) {
    return std::all_of(line.begin(), line.end(), [](char c) { return c == ' ' || c == '\t'; });
}

bool isFoldStart(char c) {
    return c == ' ' || c == '\t';
}

bool isKept(const QByteArray& name) {
    static const QByteArray kept[] = {"BEGIN", "END", "VERSION", "N",   "FN",   "TITLE",     "ORG",
                                      "TEL",   "URL", "EMAIL",   "ADR", "KIND", "X-ABLABEL", "LABEL"};
    return std::find(std::begin(kept), std::end(kept), name) != std::end(kept);
}

class VCardParser {
public:
    VCardParser(QByteArrayView text, const QString& fileName, const FilePart& part)
        : text_(text), fileName_(fileName), part_(part), lineNumber_(part.firstLine), sawBegin_(!part.first) {
    }

    ImportResult run() {
        while (pos_ < text_.size())
            readProperty();
        if (inCard_)
            importFailed(
                fileName_,
                QStringLiteral("o cartão que começa na linha %1 não termina com END:VCARD.").arg(cardLine_));
        if (result_.contacts.empty() && part_.first && part_.last)
            importFailed(fileName_, QStringLiteral("o arquivo não tem nenhum contato."));
        return std::move(result_);
    }

private:
    struct Line {
        qsizetype begin, end, next;
    };
    // A stretch of a property's text: a physical line, without the space that folds it or
    // after the "=" of a quoted-printable soft break (`soft`).
    struct Piece {
        qsizetype begin, end;
        bool soft;
    };

    Line lineAt(qsizetype pos) const {
        qsizetype end = pos;
        while (end < text_.size() && text_[end] != '\n' && text_[end] != '\r')
            ++end;
        qsizetype next = end;
        if (next < text_.size())
            next += text_[next] == '\r' && next + 1 < text_.size() && text_[next + 1] == '\n' ? 2 : 1;
        return {pos, end, next};
    }
    void step(const Line& line) {
        pos_ = line.next;
        ++lineNumber_;
    }
    QByteArrayView view(qsizetype begin, qsizetype end) const { return text_.sliced(begin, end - begin); }

    [[noreturn]] void notAVCard(int line) const {
        importFailed(fileName_,
                     QStringLiteral("não é um arquivo vCard: a linha %1 não é BEGIN:VCARD.").arg(line));
    }

    // Reads one property (its lines unfolded), or one unreadable line, from pos_.
    void readProperty() {
        const Line first = lineAt(pos_);
        const int lineNumber = lineNumber_;
        step(first);
        if (isBlank(view(first.begin, first.end)))
            return;

        // The name and parameters end at the first colon outside quotes, folds included.
        pieces_.assign(1, Piece{first.begin, first.end, false});
        qsizetype colon = -1;
        bool quoted = false;
        for (size_t p = 0;; ++p) {
            for (qsizetype i = pieces_[p].begin; i < pieces_[p].end && colon < 0; ++i) {
                if (text_[i] == '"')
                    quoted = !quoted;
                else if (text_[i] == ':' && !quoted)
                    colon = i;
            }
            if (colon >= 0 || pos_ >= text_.size())
                break;
            const Line next = lineAt(pos_);
            if (next.begin == next.end || !isFoldStart(text_[next.begin]))
                break;
            pieces_.push_back({next.begin + 1, next.end, false});
            step(next);
        }
        if (colon < 0) {
            if (!sawBegin_)
                notAVCard(lineNumber);
            noteSkippedLine(result_, lineNumber,
                            QStringLiteral("não é uma propriedade de vCard (falta \":\")"));
            return;
        }
        const size_t colonPiece = pieces_.size() - 1;
        Header header;
        if (colonPiece == 0) {
            header = parseHeader(view(first.begin, colon));
        } else {
            QByteArray joined;
            for (size_t p = 0; p < colonPiece; ++p)
                joined += view(pieces_[p].begin, pieces_[p].end);
            joined += view(pieces_[colonPiece].begin, colon);
            header = parseHeader(joined);
        }
        if (!sawBegin_ && header.name != "BEGIN")
            notAVCard(lineNumber);

        // The value runs on over folded lines, quoted-printable soft breaks and, as vCard 2.1
        // writers leave it, unindented base64 lines. Only kept values are gathered; a photo's
        // lines are stepped over.
        const bool keep = isKept(header.name);
        qsizetype lastEnd = pieces_.back().end;
        const qsizetype valueBegin = colon + 1;
        while (pos_ < text_.size()) {
            const Line next = lineAt(pos_);
            const QByteArrayView nextText = view(next.begin, next.end);
            Piece piece{next.begin, next.end, false};
            if (header.encoding == Encoding::QuotedPrintable && lastEnd > valueBegin &&
                text_[lastEnd - 1] == '=' && nextText.compare("END:VCARD", Qt::CaseInsensitive) != 0) {
                piece.soft = true;
            } else if (!nextText.isEmpty() && isFoldStart(nextText.front())) {
                ++piece.begin;
            } else if (!(header.encoding == Encoding::Base64 && !isBlank(nextText) &&
                         !nextText.contains(':'))) {
                break;
            }
            if (keep)
                pieces_.push_back(piece);
            lastEnd = next.end;
            step(next);
        }
        if (!keep) {
            lastName_ = header.name;
            return;
        }

        QByteArray joined;
        QByteArrayView raw = view(valueBegin, pieces_[colonPiece].end);
        if (pieces_.size() > colonPiece + 1) {
            joined = raw.toByteArray();
            for (size_t p = colonPiece + 1; p < pieces_.size(); ++p) {
                if (pieces_[p].soft && joined.endsWith('='))
                    joined.chop(1);
                joined += view(pieces_[p].begin, pieces_[p].end);
            }
            raw = joined;
        }
        QByteArray decoded;
        if (header.encoding == Encoding::QuotedPrintable)
            raw = decoded = quotedPrintableDecoded(raw);
        else if (header.encoding == Encoding::Base64)
            raw = decoded = QByteArray::fromBase64(raw.toByteArray());
        const QString value = part_.utf8 && !header.legacyCharset
                                  ? decodeUtf8Lossy(raw, lineNumber, result_.invalidUtf8Lines)
                                  : decodeText(raw, header.legacyCharset);
        apply(header, value, lineNumber);
        lastName_ = header.name;
        lastValue_ = value;
    }

    void apply(const Header& h, const QString& value, int lineNumber) {
        const bool isVCard = value.trimmed().compare(u"VCARD", Qt::CaseInsensitive) == 0;
        if (h.name == "BEGIN") {
            if (!isVCard) {
                if (!sawBegin_)
                    notAVCard(lineNumber);
                return;
            }
            if (inCard_)
                importFailed(fileName_,
                             QStringLiteral("o cartão que começa na linha %1 não termina com END:VCARD "
                                            "antes do BEGIN:VCARD da linha %2.")
                                 .arg(cardLine_)
                                 .arg(lineNumber));
            sawBegin_ = inCard_ = true;
            cardLine_ = lineNumber;
            contact_ = SourceContact();
            version_ = 3;
            haveN_ = haveFn_ = haveTitle_ = haveOrg_ = false;
            labels_.clear();
            return;
        }
        if (!inCard_) {
            noteSkippedLine(result_, lineNumber,
                            QStringLiteral("está fora de um cartão (BEGIN:VCARD … END:VCARD)"));
            return;
        }
        if (h.name == "END") {
            if (!isVCard)
                return;
            inCard_ = false;
            for (const auto& [group, label] : labels_)
                contact_.applyPhoneLabel(group, label);
            ContactFields fields = toContactFields(contact_);
            if (hasAnyBox(fields))
                result_.contacts.push_back(std::move(fields));
            else
                noteSkippedLine(result_, cardLine_,
                                QStringLiteral("o cartão não tem dados para nenhuma caixa"));
        } else if (h.name == "VERSION") {
            const QString v = value.trimmed();
            version_ = v.startsWith(u'2') ? 2 : v.startsWith(u'4') ? 4 : 3;
        } else if (h.name == "N" && !haveN_) {
            haveN_ = true;
            const auto parts = components(value);
            const bool lists = version_ >= 3;
            contact_.family = listText(componentAt(parts, 0), lists, u" ");
            contact_.given = listText(componentAt(parts, 1), lists, u" ");
            contact_.additional = listText(componentAt(parts, 2), lists, u" ");
            contact_.suffix = listText(componentAt(parts, 4), lists, u", ");
        } else if (h.name == "KIND") {
            contact_.company = value.trimmed().compare(u"org", Qt::CaseInsensitive) == 0;
        } else if (h.name == "X-ABLABEL") {
            if (!h.group.isEmpty() && labels_.size() < 64)
                labels_.emplace_back(h.group, value);
        } else if (h.name == "FN" && !haveFn_) {
            haveFn_ = true;
            contact_.fullName = unescapeVCardText(value, version_ >= 3);
        } else if (h.name == "TITLE" && !haveTitle_) {
            haveTitle_ = true;
            contact_.title = unescapeVCardText(value, version_ >= 3);
        } else if (h.name == "ORG" && !haveOrg_) {
            haveOrg_ = true;
            contact_.organization = unescapeVCardText(components(value).front(), version_ >= 3);
        } else if (h.name == "TEL") {
            // Numbers, addresses and links are not vCard text: the program writes them as
            // typed, backslashes and separators included, and so do phones.
            QString number = value;
            if ((h.uri || version_ == 4) && number.startsWith(u"tel:", Qt::CaseInsensitive))
                number.remove(0, 4);
            if (!number.isEmpty())
                contact_.addPhone(number, phoneKindOf(h.types), h.group);
        } else if (h.name == "URL") {
            if (contact_.url.isEmpty())
                contact_.url = version_ >= 3 ? unescapeLink(value) : value;
        } else if (h.name == "EMAIL") {
            if (!value.isEmpty())
                contact_.addEmail(value, h.pref);
        } else if (h.name == "ADR") {
            const auto parts = components(value);
            SourceAddress a;
            const bool any = version_ >= 3;
            a.extended = unescapeVCardText(componentAt(parts, 1), any);
            a.street = componentAt(parts, 2).toString();
            a.streetEscaped = true;
            a.anyEscape = any;
            a.city = unescapeVCardText(componentAt(parts, 3), any);
            a.region = unescapeVCardText(componentAt(parts, 4), any);
            a.code = unescapeVCardText(componentAt(parts, 5), any);
            // The program's own vCard: "LABEL;TYPE=HOME:Endereço" just before
            // "ADR;TYPE=HOME:;;street;city;state;code;Brasil".
            a.ownComposer = lastName_ == "LABEL" && lastValue_ == u"Endereço" && h.types.contains(u"home") &&
                            parts.size() == 7 && parts[0].isEmpty() && parts[1].isEmpty() &&
                            parts[6] == u"Brasil";
            a.preferred = h.pref == 1 || h.types.contains(u"home");
            contact_.addAddress(std::move(a));
        }
    }

    QByteArrayView text_;
    const QString& fileName_;
    const FilePart part_;
    qsizetype pos_ = 0;
    int lineNumber_; // of the line at pos_
    std::vector<Piece> pieces_;
    ImportResult result_;

    // A part after the first goes on from a card's END:VCARD, where the file's first
    // BEGIN:VCARD has been seen.
    bool sawBegin_;
    bool inCard_ = false;
    int cardLine_ = 0;
    int version_ = 3;
    SourceContact contact_;
    bool haveN_ = false, haveFn_ = false, haveTitle_ = false, haveOrg_ = false;
    std::vector<std::pair<QString, QString>> labels_; // X-ABLabel by group
    QByteArray lastName_;                             // the property before
    QString lastValue_;
};

} // namespace

ImportResult readVCards(const QByteArray& bytes, const QString& fileName, const FilePart& part) {
    if (!part.first)
        return VCardParser(bytes, fileName, part).run();
    QByteArray converted;
    const QByteArrayView text = textBytes(bytes, converted);
    checkTextFile(text, fileName);
    FilePart marked = part;
    marked.utf8 = bytes.startsWith("\xEF\xBB\xBF");
    return VCardParser(text, fileName, marked).run();
}

qsizetype vcardPartEnd(QByteArrayView bytes, qsizetype from) {
    // A line "END:VCARD" always starts a property of its own (neither a fold, a soft line
    // break nor base64 runs on into it), and unless the next line is folded into it, the
    // property is just that line, after which no card is open.
    qsizetype cut = 0;
    qsizetype begin = from;
    while (begin < bytes.size()) {
        qsizetype end = begin;
        while (end < bytes.size() && bytes[end] != '\n' && bytes[end] != '\r')
            ++end;
        if (end == bytes.size() || (bytes[end] == '\r' && end + 1 == bytes.size()))
            break; // the line or its CR LF may go on
        const qsizetype next = end + (bytes[end] == '\r' && bytes[end + 1] == '\n' ? 2 : 1);
        if (next < bytes.size() && !isFoldStart(bytes[next]) &&
            bytes.sliced(begin, end - begin).compare("END:VCARD", Qt::CaseInsensitive) == 0)
            cut = next;
        begin = next;
    }
    return cut;
}

} // namespace lumo
