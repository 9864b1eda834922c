#include "contact/csvreader.h"

#include "contact/importrules.h"

#include <QRegularExpression>

#include <map>
#include <vector>

namespace lumo {

namespace {

// Columns past this many are never contact columns; not storing them keeps a row of
// millions of separators from taking gigabytes.
constexpr qsizetype kMaxStoredFields = 4096;

enum class Role {
    None,
    Given,
    Additional,
    Family,
    FullName,
    Suffix,
    Title,
    Organization,
    Phone,     // kind from the column's name, or from its group's type column
    PhoneType, // Google "Phone 1 - Type"
    Email,
    EmailType,
    Url,
    AddressType,
    Street,
    Number,
    District,
    Extended,
    City,
    Region,
    Code,
};

struct Column {
    Role role = Role::None;
    int group = 0;                    // Google's column number; address set
    PhoneKind kind = PhoneKind::Home; // for Role::Phone without a group
};

// Address sets of columns with fixed names; Google's numbered ones use their number.
constexpr int kOwnAddress = -1, kOutlookHome = -2, kOutlookBusiness = -3;

// Column names as foldedKey gives them.
const std::map<QString, Column>& fixedColumns() {
    static const std::map<QString, Column> columns = {
        // The program's own box names.
        {QStringLiteral("nome"), {Role::Given}},
        {QStringLiteral("sobrenome"), {Role::Family}},
        {QStringLiteral("sufixo"), {Role::Suffix}},
        {QStringLiteral("fixo"), {Role::Phone, 0, PhoneKind::Home}},
        {QStringLiteral("telefone"), {Role::Phone, 0, PhoneKind::Home}},
        {QStringLiteral("celular"), {Role::Phone, 0, PhoneKind::Cell}},
        {QStringLiteral("site"), {Role::Url}},
        {QStringLiteral("e-mail"), {Role::Email}},
        {QStringLiteral("email"), {Role::Email}},
        {QStringLiteral("rua"), {Role::Street, kOwnAddress}},
        {QStringLiteral("endereco"), {Role::Street, kOwnAddress}},
        {QStringLiteral("numero"), {Role::Number, kOwnAddress}},
        {QStringLiteral("bairro"), {Role::District, kOwnAddress}},
        {QStringLiteral("cidade"), {Role::City, kOwnAddress}},
        {QStringLiteral("estado"), {Role::Region, kOwnAddress}},
        {QStringLiteral("uf"), {Role::Region, kOwnAddress}},
        {QStringLiteral("cep"), {Role::Code, kOwnAddress}},
        // Google Contacts.
        {QStringLiteral("name"), {Role::FullName}},
        {QStringLiteral("given name"), {Role::Given}},
        {QStringLiteral("additional name"), {Role::Additional}},
        {QStringLiteral("family name"), {Role::Family}},
        {QStringLiteral("name suffix"), {Role::Suffix}},
        {QStringLiteral("organization title"), {Role::Title}},
        {QStringLiteral("organization name"), {Role::Organization}},
        // Outlook (and Google's newer export for the names).
        {QStringLiteral("first name"), {Role::Given}},
        {QStringLiteral("middle name"), {Role::Additional}},
        {QStringLiteral("last name"), {Role::Family}},
        {QStringLiteral("suffix"), {Role::Suffix}},
        {QStringLiteral("job title"), {Role::Title}},
        {QStringLiteral("company"), {Role::Organization}},
        {QStringLiteral("mobile phone"), {Role::Phone, 0, PhoneKind::Cell}},
        {QStringLiteral("home phone"), {Role::Phone, 0, PhoneKind::Home}},
        {QStringLiteral("home phone 2"), {Role::Phone, 0, PhoneKind::Home}},
        {QStringLiteral("business phone"), {Role::Phone, 0, PhoneKind::Work}},
        {QStringLiteral("business phone 2"), {Role::Phone, 0, PhoneKind::Work}},
        {QStringLiteral("company main phone"), {Role::Phone, 0, PhoneKind::Work}},
        {QStringLiteral("primary phone"), {Role::Phone, 0, PhoneKind::Untyped}},
        {QStringLiteral("other phone"), {Role::Phone, 0, PhoneKind::Untyped}},
        {QStringLiteral("e-mail address"), {Role::Email}},
        {QStringLiteral("e-mail 2 address"), {Role::Email}},
        {QStringLiteral("e-mail 3 address"), {Role::Email}},
        {QStringLiteral("web page"), {Role::Url}},
        {QStringLiteral("home street"), {Role::Street, kOutlookHome}},
        {QStringLiteral("home city"), {Role::City, kOutlookHome}},
        {QStringLiteral("home state"), {Role::Region, kOutlookHome}},
        {QStringLiteral("home postal code"), {Role::Code, kOutlookHome}},
        {QStringLiteral("business street"), {Role::Street, kOutlookBusiness}},
        {QStringLiteral("business city"), {Role::City, kOutlookBusiness}},
        {QStringLiteral("business state"), {Role::Region, kOutlookBusiness}},
        {QStringLiteral("business postal code"), {Role::Code, kOutlookBusiness}},
    };
    return columns;
}

// Google's numbered columns: "Phone 2 - Value", "Address 1 - Postal Code".
Column numberedColumn(const QString& key) {
    static const QRegularExpression pattern(
        QStringLiteral("^(phone|e-mail|website|address|organization) (\\d{1,4}) - (.+)$"));
    const QRegularExpressionMatch m = pattern.match(key);
    if (!m.hasMatch())
        return {};
    const QString what = m.captured(1);
    const QString part = m.captured(3);
    const int n = m.captured(2).toInt();
    const bool type = part == u"type" || part == u"label";
    if (what == u"phone")
        return {type ? Role::PhoneType : part == u"value" ? Role::Phone : Role::None, n};
    if (what == u"e-mail")
        return {type ? Role::EmailType : part == u"value" ? Role::Email : Role::None, n};
    if (what == u"website")
        return {part == u"value" ? Role::Url : Role::None, n};
    if (what == u"organization")
        return {part == u"title" ? Role::Title : part == u"name" ? Role::Organization : Role::None, n};
    static const std::map<QString, Role> address = {
        {QStringLiteral("type"), Role::AddressType}, {QStringLiteral("label"), Role::AddressType},
        {QStringLiteral("street"), Role::Street},    {QStringLiteral("extended address"), Role::Extended},
        {QStringLiteral("city"), Role::City},        {QStringLiteral("region"), Role::Region},
        {QStringLiteral("postal code"), Role::Code},
    };
    const auto it = address.find(part);
    return {it == address.end() ? Role::None : it->second, n};
}

Column columnFor(const QString& header) {
    const QString key = foldedKey(header);
    const auto it = fixedColumns().find(key);
    return it != fixedColumns().end() ? it->second : numberedColumn(key);
}

const QString kKnownColumns = QStringLiteral(
    "Nome, Sobrenome, Sufixo, Fixo (ou Telefone), Celular, Site, E-mail, Rua (ou Endereço), Número, Bairro, "
    "Cidade, Estado (ou UF) e CEP; ou as colunas das exportações do Google Contatos (Given Name, Family "
    "Name, "
    "Phone 1 - Value, E-mail 1 - Value, Address 1 - Street...) e do Outlook (First Name, Last Name, Mobile "
    "Phone, Home Phone, E-mail Address, Home Street...).");

// Thrown by a scanner given only the text so far when a record runs on past its end.
struct MoreTextNeeded {};

// RFC 4180 records: fields in double quotes may hold separators, doubled quotes and line
// breaks. Lenient where spreadsheets are: spaces before an opening quote, text after a
// closing one, and quotes inside an unquoted field are kept as typed.
class CsvScanner {
public:
    // `more`: the text may go on after `text`; a record is then read only once the text
    // continues after its line break.
    CsvScanner(QStringView text, const QString& fileName, int line = 1, bool more = false)
        : text_(text), fileName_(fileName), line_(line), more_(more) {}

    void setSeparator(QChar separator) { separator_ = separator; }
    QChar separator() const { return separator_; }
    bool atEnd() const { return pos_ >= text_.size(); }
    int lineNumber() const { return line_; }
    qsizetype position() const { return pos_; }
    // Back to where a record that needs more text began.
    void restore(qsizetype pos, int line) {
        pos_ = pos;
        line_ = line;
    }

    // Reads the next record into `fields` (at most `maxStored` of them) and returns how many
    // fields it has.
    qsizetype next(std::vector<QString>& fields, qsizetype maxStored) {
        fields.clear();
        qsizetype count = 0;
        for (;;) {
            QString field = readField();
            if (count++ < maxStored)
                fields.push_back(std::move(field));
            if (pos_ < text_.size() && text_[pos_] == separator_) {
                ++pos_;
                continue;
            }
            skipLineBreak();
            if (more_ && pos_ >= text_.size())
                throw MoreTextNeeded{};
            return count;
        }
    }

    // The separator most used in the first record, outside quotes: ';' and tab win ties
    // over ',' since a header can hold a comma but hardly either of them.
    QChar guessSeparator() const {
        int commas = 0, semicolons = 0, tabs = 0;
        bool quoted = false;
        qsizetype i = pos_;
        for (; i < text_.size(); ++i) {
            const QChar c = text_[i];
            if (c == u'"')
                quoted = !quoted;
            else if (quoted)
                continue;
            else if (c == u'\r' || c == u'\n')
                break;
            commas += c == u',';
            semicolons += c == u';';
            tabs += c == u'\t';
        }
        if (more_ && i == text_.size())
            throw MoreTextNeeded{};
        if (tabs > 0 && tabs >= semicolons && tabs >= commas)
            return u'\t';
        return semicolons > 0 && semicolons >= commas ? u';' : u',';
    }

private:
    bool isBreak(qsizetype i) const { return text_[i] == u'\n' || text_[i] == u'\r'; }
    void skipLineBreak() {
        if (pos_ >= text_.size())
            return;
        pos_ += text_[pos_] == u'\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == u'\n' ? 2 : 1;
        ++line_;
    }
    qsizetype unquotedEnd(qsizetype from) const {
        while (from < text_.size() && text_[from] != separator_ && !isBreak(from))
            ++from;
        return from;
    }

    QString readField() {
        qsizetype p = pos_;
        while (p < text_.size() && (text_[p] == u' ' || (text_[p] == u'\t' && separator_ != u'\t')))
            ++p;
        if (p >= text_.size() || text_[p] != u'"') {
            const qsizetype end = unquotedEnd(pos_);
            QString field = text_.sliced(pos_, end - pos_).toString();
            pos_ = end;
            return field;
        }
        const int openedOn = line_;
        pos_ = p + 1;
        QString field;
        for (;;) {
            if (pos_ >= text_.size() && more_)
                throw MoreTextNeeded{};
            if (pos_ >= text_.size())
                importFailed(fileName_,
                             QStringLiteral("as aspas abertas na linha %1 não se fecham.").arg(openedOn));
            const QChar c = text_[pos_];
            if (c == u'"') {
                if (pos_ + 1 < text_.size() && text_[pos_ + 1] == u'"') {
                    field += c;
                    pos_ += 2;
                    continue;
                }
                ++pos_;
                break;
            }
            if (isBreak(pos_)) {
                field += u'\n';
                skipLineBreak();
                continue;
            }
            field += c;
            ++pos_;
        }
        const qsizetype end = unquotedEnd(pos_);
        field += text_.sliced(pos_, end - pos_);
        pos_ = end;
        return field;
    }

    QStringView text_;
    const QString& fileName_;
    qsizetype pos_ = 0;
    int line_; // of the text at pos_
    bool more_;
    QChar separator_ = u',';
};

QString firstValue(const QString& field) {
    // Google puts several values of one column in one field, joined by " ::: ".
    const qsizetype more = field.indexOf(QStringLiteral(" ::: "));
    return (more < 0 ? field : field.left(more)).trimmed();
}

QStringList typeWords(const QString& type) {
    static const QRegularExpression nonLetters(QStringLiteral("[^a-z]+"));
    return foldedKey(type).split(nonLetters, Qt::SkipEmptyParts);
}

SourceContact sourceContact(const std::vector<Column>& columns, const std::vector<QString>& fields) {
    const size_t n = std::min(columns.size(), fields.size());
    std::map<int, QString> phoneTypes, emailTypes, addressTypes;
    for (size_t i = 0; i < n; ++i) {
        if (columns[i].role == Role::PhoneType)
            phoneTypes[columns[i].group] = fields[i];
        else if (columns[i].role == Role::EmailType)
            emailTypes[columns[i].group] = fields[i];
        else if (columns[i].role == Role::AddressType)
            addressTypes[columns[i].group] = fields[i];
    }

    SourceContact c;
    std::vector<int> addressOrder;
    std::map<int, SourceAddress> addresses;
    const auto setOnce = [](QString& target, const QString& value) {
        if (target.isEmpty())
            target = value;
    };
    for (size_t i = 0; i < n; ++i) {
        const Column& col = columns[i];
        const QString value = firstValue(fields[i]);
        if (value.isEmpty())
            continue;
        switch (col.role) {
        case Role::Given:
            setOnce(c.given, value);
            break;
        case Role::Additional:
            setOnce(c.additional, value);
            break;
        case Role::Family:
            setOnce(c.family, value);
            break;
        case Role::FullName:
            setOnce(c.fullName, value);
            break;
        case Role::Suffix:
            setOnce(c.suffix, value);
            break;
        case Role::Title:
            setOnce(c.title, value);
            break;
        case Role::Organization:
            setOnce(c.organization, value);
            break;
        case Role::Url:
            setOnce(c.url, value);
            break;
        case Role::Phone:
            c.addPhone(value, col.group > 0 ? phoneKindOf(typeWords(phoneTypes[col.group])) : col.kind);
            break;
        case Role::Email:
            // Google marks the primary value's type with a star: "* Home".
            c.addEmail(value, emailTypes[col.group].trimmed().startsWith(u'*') ? 1 : 100);
            break;
        case Role::Street:
        case Role::Number:
        case Role::District:
        case Role::Extended:
        case Role::City:
        case Role::Region:
        case Role::Code: {
            if (!addresses.count(col.group))
                addressOrder.push_back(col.group);
            SourceAddress& a = addresses[col.group];
            QString* part = col.role == Role::Street     ? &a.street
                            : col.role == Role::Number   ? &a.number
                            : col.role == Role::District ? &a.district
                            : col.role == Role::Extended ? &a.extended
                            : col.role == Role::City     ? &a.city
                            : col.role == Role::Region   ? &a.region
                                                         : &a.code;
            setOnce(*part, value);
            break;
        }
        case Role::None:
        case Role::PhoneType:
        case Role::EmailType:
        case Role::AddressType:
            break;
        }
    }
    for (int group : addressOrder) {
        SourceAddress& a = addresses[group];
        const QString type = addressTypes[group].trimmed();
        a.preferred = group == kOwnAddress || group == kOutlookHome ||
                      (group > 0 && (type.startsWith(u'*') || typeWords(type).contains(u"home")));
        c.addAddress(std::move(a));
    }
    return c;
}

bool isEmptyRow(const std::vector<QString>& fields) {
    return std::all_of(fields.begin(), fields.end(), [](const QString& f) { return f.trimmed().isEmpty(); });
}

} // namespace

// Where reading stands between pieces of text: the text not yet read (a record that needs
// more), the line it starts on, and what the records before it told.
struct CsvContacts::State {
    enum class Phase { SeparatorLine, Header, Rows };

    QString fileName;
    QString text;
    int line = 1;
    Phase phase = Phase::SeparatorLine;
    bool named = false; // a "sep=" line named the separator
    QChar separator = u',';
    qsizetype headerCount = 0;
    int headerLine = 0;
    std::vector<QString> fields;
    std::vector<Column> columns;
    ImportResult result;
    bool anyContact = false;

    // Reads what the text holds; returns false where a record needs more text.
    bool read(CsvScanner& scanner, bool last);
    void readRow(CsvScanner& scanner);
};

bool CsvContacts::State::read(CsvScanner& scanner, bool last) {
    // Each step reads whole records or, given too little text, goes back to where it began.
    const auto step = [&](const auto& readRecords) {
        const qsizetype pos = scanner.position();
        const int startLine = scanner.lineNumber();
        const QChar startSeparator = scanner.separator();
        try {
            readRecords();
            return true;
        } catch (const MoreTextNeeded&) {
            scanner.restore(pos, startLine);
            scanner.setSeparator(startSeparator);
            return false;
        }
    };

    if (phase == Phase::SeparatorLine) {
        // Excel's "sep=;" first line names the separator; "sep=;\r\n" is its longest form.
        static const QRegularExpression sepLine(QStringLiteral("^sep=([,;\\t|])\\r?(\\n|\\r|$)"),
                                                QRegularExpression::CaseInsensitiveOption);
        if (!last && text.size() < 7)
            return false;
        const QRegularExpressionMatch match = sepLine.match(text);
        if (match.hasMatch()) {
            const bool read = step([&] {
                scanner.setSeparator(match.captured(1).front());
                scanner.next(fields, 1);
            });
            if (!read)
                return false;
            named = true;
        }
        phase = Phase::Header;
    }

    if (phase == Phase::Header) {
        // The header: the first line that is not empty.
        while (!scanner.atEnd() && headerCount == 0) {
            const bool read = step([&] {
                if (!named)
                    scanner.setSeparator(scanner.guessSeparator());
                const int lineNumber = scanner.lineNumber();
                const qsizetype count = scanner.next(fields, kMaxStoredFields);
                headerLine = lineNumber;
                headerCount = isEmptyRow(fields) ? 0 : count;
            });
            if (!read)
                return false;
        }
        if (headerCount == 0 && !last)
            return false;
        for (const QString& name : fields)
            columns.push_back(columnFor(name));
        if (std::all_of(columns.begin(), columns.end(), [](const Column& c) { return c.role == Role::None; }))
            importFailed(fileName,
                         QStringLiteral("não é uma planilha de contatos: a linha %1 não tem nenhuma coluna "
                                        "conhecida. Colunas reconhecidas: %2")
                             .arg(headerLine)
                             .arg(kKnownColumns));
        phase = Phase::Rows;
    }

    while (!scanner.atEnd())
        if (!step([&] { readRow(scanner); }))
            return false;
    return true;
}

void CsvContacts::State::readRow(CsvScanner& scanner) {
    const int lineNumber = scanner.lineNumber();
    const qsizetype count = scanner.next(fields, std::min(headerCount, kMaxStoredFields));
    if (count > headerCount) {
        noteSkippedLine(result, lineNumber,
                        QStringLiteral("tem %1 colunas e o cabeçalho só %2").arg(count).arg(headerCount));
        return;
    }
    if (isEmptyRow(fields))
        return;
    ContactFields contact = toContactFields(sourceContact(columns, fields));
    // A street split back ("Rua A , 10") leaves spaces that a spreadsheet's cells never keep.
    for (QString* box : boxesOf(contact))
        *box = box->trimmed();
    if (hasAnyBox(contact)) {
        result.contacts.push_back(std::move(contact));
        anyContact = true;
    } else {
        noteSkippedLine(result, lineNumber, QStringLiteral("não tem dados para nenhuma caixa do cartão"));
    }
}

CsvContacts::CsvContacts(const QString& fileName) : d(std::make_unique<State>()) {
    d->fileName = fileName;
}

CsvContacts::~CsvContacts() = default;

void CsvContacts::feed(QStringView text, bool last) {
    d->text += text;
    CsvScanner scanner(d->text, d->fileName, d->line, !last);
    scanner.setSeparator(d->separator);
    d->read(scanner, last);
    d->text.remove(0, scanner.position());
    d->line = scanner.lineNumber();
    d->separator = scanner.separator();
    if (last && !d->anyContact)
        importFailed(d->fileName, QStringLiteral("o arquivo não tem nenhum contato."));
}

ImportResult CsvContacts::take() {
    ImportResult taken;
    std::swap(taken, d->result);
    d->result.skippedLines = taken.skippedLines;
    d->result.firstSkipped = taken.firstSkipped;
    return taken;
}

int CsvContacts::skippedLines() const {
    return d->result.skippedLines;
}

ImportResult readCsv(const QByteArray& bytes, const QString& fileName) {
    QByteArray converted;
    const QByteArrayView raw = textBytes(bytes, converted);
    checkTextFile(raw, fileName);
    CsvContacts contacts(fileName);
    contacts.feed(decodeText(raw), true);
    return contacts.take();
}

} // namespace lumo
