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
std::optional<Column> numberedColumn(const QString& key) {
    static const QRegularExpression pattern(
        QStringLiteral("^(phone|e-mail|website|address|organization) (\\d{1,4}) - (.+)$"));
    const QRegularExpressionMatch m = pattern.match(key);
    if (!m.hasMatch())
        return std::nullopt;
    const QString what = m.captured(1);
    const QString part = m.captured(3);
    const int n = m.captured(2).toInt();
    const bool type = part == u"type" || part == u"label";
    if (what == u"phone")
        return Column{type ? Role::PhoneType : part == u"value" ? Role::Phone : Role::None, n};
    if (what == u"e-mail")
        return Column{type ? Role::EmailType : part == u"value" ? Role::Email : Role::None, n};
    if (what == u"website")
        return Column{part == u"value" ? Role::Url : Role::None, n};
    if (what == u"organization")
        return Column{part == u"title" ? Role::Title : part == u"name" ? Role::Organization : Role::None, n};
    static const std::map<QString, Role> address = {
        {QStringLiteral("type"), Role::AddressType}, {QStringLiteral("label"), Role::AddressType},
        {QStringLiteral("street"), Role::Street},    {QStringLiteral("extended address"), Role::Extended},
        {QStringLiteral("city"), Role::City},        {QStringLiteral("region"), Role::Region},
        {QStringLiteral("postal code"), Role::Code},
    };
    const auto it = address.find(part);
    return Column{it == address.end() ? Role::None : it->second, n};
}

// A header's words: lower case, without accents, split at spaces and punctuation ("Nº" is
// "no", "Celular/WhatsApp" is "celular whatsapp").
QStringList headerWords(const QString& header) {
    static const QRegularExpression nonWords(QStringLiteral("[^\\p{L}\\p{N}]+"));
    QString text = header.normalized(QString::NormalizationForm_KD);
    text.removeIf([](QChar c) { return c.isMark(); });
    return text.toCaseFolded().split(nonWords, Qt::SkipEmptyParts);
}

// The fixed columns by their words run together: "E-mail", "e mail" and "EMAIL" alike.
const std::map<QString, Column>& compactColumns() {
    static const std::map<QString, Column> columns = [] {
        std::map<QString, Column> out;
        for (const auto& [name, column] : fixedColumns())
            out.emplace(headerWords(name).join(QString()), column);
        return out;
    }();
    return columns;
}

// Headers as people write them in Portuguese spreadsheets and Outlook's Portuguese export,
// told by their words.
Column columnByWords(const QStringList& words) {
    const auto has = [&](std::initializer_list<const char16_t*> any) {
        for (const char16_t* w : any)
            if (words.contains(QStringView(w)))
                return true;
        return false;
    };
    // Columns about someone else, or of no box: "Telefone do assistente", "Nome de exibição
    // do email", "País/Região do endereço comercial".
    if (has({u"assistente", u"assistant",   u"gerente",  u"gerenciador", u"manager", u"conjuge",
             u"spouse",     u"filhos",      u"exibicao", u"display",     u"tipo",    u"type",
             u"pais",       u"country",     u"carro",    u"car",         u"radio",   u"tty",
             u"tdd",        u"isdn",        u"telex",    u"pager",       u"bip",     u"retorno",
             u"callback",   u"aniversario", u"notas",    u"observacoes", u"apelido", u"departamento"}))
        return {};
    const int address = has({u"residencial", u"casa", u"home"})         ? kOutlookHome
                        : has({u"comercial", u"trabalho", u"business"}) ? kOutlookBusiness
                                                                        : kOwnAddress;
    if (has({u"email", u"mail"}))
        return {Role::Email};
    if (has({u"fax"}))
        return {Role::Phone, 0, PhoneKind::Fax};
    if (has({u"site", u"web", u"url", u"homepage", u"pagina", u"sitio"}))
        return {Role::Url};
    if (has({u"telefone", u"telefones", u"fone", u"tel", u"celular", u"cel", u"whatsapp", u"zap", u"mobile",
             u"movel", u"phone"})) {
        const PhoneKind kind = has({u"celular", u"cel", u"whatsapp", u"zap", u"mobile", u"movel"})
                                   ? PhoneKind::Cell
                               : has({u"outro", u"other"}) ? PhoneKind::Untyped
                               : has({u"comercial", u"trabalho", u"business", u"empresa"}) ? PhoneKind::Work
                                                                                           : PhoneKind::Home;
        return {Role::Phone, 0, kind};
    }
    if (has({u"cep", u"postal"}))
        return {Role::Code, address};
    if (has({u"bairro"}))
        return {Role::District, address};
    if (has({u"cidade", u"municipio", u"localidade", u"city"}))
        return {Role::City, address};
    if (has({u"estado", u"uf", u"state"}))
        return {Role::Region, address};
    if (has({u"complemento"}))
        return {Role::Extended, address};
    if (has({u"numero", u"number"}) || (words.size() <= 2 && has({u"n", u"no", u"num", u"nro"})))
        return {Role::Number, address};
    if (has({u"rua", u"logradouro", u"endereco", u"street", u"address", u"avenida"}))
        return {Role::Street, address};
    if (has({u"cargo", u"funcao", u"profissao", u"ocupacao"}))
        return {Role::Title};
    if (has({u"empresa", u"organizacao", u"companhia", u"firma"}))
        return {Role::Organization};
    if (has({u"sufixo"}))
        return {Role::Suffix};
    if (has({u"sobrenome", u"ultimo"}))
        return {Role::Family};
    if (has({u"nome"})) {
        if (has({u"completo", u"inteiro"}))
            return {Role::FullName};
        if (has({u"segundo", u"meio"}))
            return {Role::Additional};
        return {Role::Given};
    }
    return {};
}

Column columnFor(const QString& header) {
    const QString key = foldedKey(header);
    if (const auto it = fixedColumns().find(key); it != fixedColumns().end())
        return it->second;
    if (const std::optional<Column> numbered = numberedColumn(key))
        return *numbered;
    const QStringList words = headerWords(header);
    if (const auto it = compactColumns().find(words.join(QString())); it != compactColumns().end())
        return it->second;
    return columnByWords(words);
}

// The box a column's reading fills, as the column chooser shows it.
int boxOfColumn(const Column& c) {
    switch (c.role) {
    case Role::Given:
    case Role::Additional:
    case Role::FullName:
        return 0;
    case Role::Family:
        return 1;
    case Role::Suffix:
    case Role::Title:
    case Role::Organization:
        return 2;
    case Role::Phone:
        return c.kind == PhoneKind::Fax ? kIgnoreColumn : c.kind == PhoneKind::Cell && c.group == 0 ? 4 : 3;
    case Role::Url:
        return 5;
    case Role::Email:
        return 6;
    case Role::Street:
        return 7;
    case Role::Number:
    case Role::Extended:
        return 8;
    case Role::District:
        return 9;
    case Role::City:
        return 10;
    case Role::Region:
        return 11;
    case Role::Code:
        return 12;
    case Role::None:
    case Role::PhoneType:
    case Role::EmailType:
    case Role::AddressType:
        break;
    }
    return kIgnoreColumn;
}

// The reading of a column the user put in `box`.
Column columnOfBox(int box) {
    static const Column columns[kBoxCount] = {
        {Role::Given},
        {Role::Family},
        {Role::Suffix},
        {Role::Phone, 0, PhoneKind::Home},
        {Role::Phone, 0, PhoneKind::Cell},
        {Role::Url},
        {Role::Email},
        {Role::Street, kOwnAddress},
        {Role::Number, kOwnAddress},
        {Role::District, kOwnAddress},
        {Role::City, kOwnAddress},
        {Role::Region, kOwnAddress},
        {Role::Code, kOwnAddress},
    };
    return box >= 0 && box < kBoxCount ? columns[box] : Column{};
}

// Whether a column gives nome, sobrenome, celular, fixo or e-mail.
bool namesOrReaches(const Column& c) {
    switch (c.role) {
    case Role::Given:
    case Role::Additional:
    case Role::Family:
    case Role::FullName:
    case Role::Email:
        return true;
    case Role::Phone:
        return c.kind != PhoneKind::Fax;
    default:
        return false;
    }
}

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
    // fields it has; `extraEmpty` tells whether those past `maxStored` are all empty.
    qsizetype next(std::vector<QString>& fields, qsizetype maxStored, bool* extraEmpty = nullptr) {
        fields.clear();
        qsizetype count = 0;
        if (extraEmpty)
            *extraEmpty = true;
        for (;;) {
            QString field = readField();
            if (count++ < maxStored)
                fields.push_back(std::move(field));
            else if (extraEmpty && !field.trimmed().isEmpty())
                *extraEmpty = false;
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

QString quotedList(const QStringList& names) {
    QStringList quoted;
    for (const QString& n : names)
        quoted << u'"' + n + u'"';
    return quoted.join(QStringLiteral(", "));
}

} // namespace

QString boxKey(int box) {
    static const char* const keys[kBoxCount] = {"nome",   "sobrenome", "sufixo", "fixo",   "celular",
                                                "site",   "e-mail",    "rua",    "numero", "bairro",
                                                "cidade", "estado",    "cep"};
    return box >= 0 && box < kBoxCount ? QString::fromLatin1(keys[box]) : QStringLiteral("ignorar");
}

QString boxCaption(int box) {
    static const char16_t* const captions[kBoxCount] = {
        u"Nome", u"Sobrenome", u"Sufixo", u"Fixo",   u"Celular", u"Site", u"E-mail",
        u"Rua",  u"Número",    u"Bairro", u"Cidade", u"Estado",  u"CEP"};
    return box >= 0 && box < kBoxCount ? QString::fromUtf16(captions[box]) : QStringLiteral("Ignorar");
}

std::optional<int> boxFromKey(const QString& key) {
    const QString compact = headerWords(key).join(QString());
    for (int box = kIgnoreColumn; box < kBoxCount; ++box)
        if (compact == headerWords(boxKey(box)).join(QString()) ||
            compact == headerWords(boxCaption(box)).join(QString()))
            return box;
    return std::nullopt;
}

CsvColumnsNeeded::CsvColumnsNeeded(const QString& message, QStringList unknown)
    : UserError(message), unknownColumns(std::move(unknown)) {}

// Where reading stands between pieces of text: the text not yet read (a record that needs
// more), the line it starts on, and what the records before it told.
struct CsvContacts::State {
    enum class Phase { SeparatorLine, Header, Rows };

    QString fileName;
    ColumnChoices choices;
    QString text;
    int line = 1;
    Phase phase = Phase::SeparatorLine;
    bool named = false; // a "sep=" line named the separator
    QChar separator = u',';
    qsizetype headerCount = 0;
    int headerLine = 0;
    std::vector<QString> fields;
    std::vector<QString> headerNames;
    std::vector<Column> columns;
    ImportResult result;
    bool anyContact = false;
    bool headerOnly = false; // stop once the header is read (inspectCsv)

    // Reads what the text holds; returns false where a record needs more text.
    bool read(CsvScanner& scanner, bool last);
    void readHeader();
    void readRow(CsvScanner& scanner);
};

void CsvContacts::State::readHeader() {
    headerNames = fields;
    std::map<QString, int> chosen; // by folded header
    for (const auto& [name, box] : choices)
        chosen[headerWords(name).join(u' ')] = box;
    QStringList unknown;
    for (const QString& name : headerNames) {
        Column column = columnFor(name);
        if (column.role == Role::None && !name.trimmed().isEmpty())
            unknown << name.trimmed();
        if (const auto it = chosen.find(headerWords(name).join(u' ')); it != chosen.end()) {
            if (it->second != boxOfColumn(column))
                column = columnOfBox(it->second);
            chosen.erase(it);
        }
        columns.push_back(column);
    }
    if (headerOnly)
        return;
    if (!chosen.empty()) {
        QStringList absent;
        for (const auto& [name, box] : choices)
            if (chosen.count(headerWords(name).join(u' ')))
                absent << name;
        importFailed(fileName, QStringLiteral("o cabeçalho (linha %1) não tem a coluna %2.")
                                   .arg(headerLine)
                                   .arg(quotedList(absent)));
    }
    if (std::none_of(columns.begin(), columns.end(), namesOrReaches)) {
        const QString reason =
            QStringLiteral(
                "nenhuma coluna do cabeçalho (linha %1) dá nome, sobrenome, celular, fixo ou e-mail.")
                .arg(headerLine);
        const QString message =
            QStringLiteral("Não foi possível importar contatos de \"%1\": %2").arg(fileName, reason) +
            (unknown.isEmpty() ? QString()
                               : QStringLiteral(" Colunas não reconhecidas: %1.").arg(quotedList(unknown)));
        throw CsvColumnsNeeded(message, unknown);
    }
}

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
        if (headerCount == 0)
            importFailed(fileName, QStringLiteral("o arquivo não tem nenhum contato."));
        readHeader();
        phase = Phase::Rows;
        if (headerOnly)
            return true;
    }

    while (!scanner.atEnd())
        if (!step([&] { readRow(scanner); }))
            return false;
    return true;
}

void CsvContacts::State::readRow(CsvScanner& scanner) {
    const int lineNumber = scanner.lineNumber();
    bool extraEmpty = true;
    const qsizetype count = scanner.next(fields, std::min(headerCount, kMaxStoredFields), &extraEmpty);
    // Spreadsheets end rows with empty cells past the header's: "Ana,Silva,123,".
    if (count > headerCount && !extraEmpty) {
        noteSkippedLine(result, lineNumber,
                        QStringLiteral("tem %1 colunas e o cabeçalho só %2").arg(count).arg(headerCount));
        if (result.longRows++ == 0)
            result.firstLongRow = lineNumber;
        return;
    }
    if (isEmptyRow(fields))
        return;
    ContactFields contact = toContactFields(sourceContact(columns, fields));
    if (hasAnyBox(contact)) {
        result.contacts.push_back(std::move(contact));
        anyContact = true;
    } else {
        noteSkippedLine(result, lineNumber, QStringLiteral("não tem dados para nenhuma caixa do cartão"));
        if (result.emptyRows++ == 0)
            result.firstEmptyRow = lineNumber;
    }
}

CsvContacts::CsvContacts(const QString& fileName, const ColumnChoices& columns)
    : d(std::make_unique<State>()) {
    d->fileName = fileName;
    d->choices = columns;
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
    if (last && !d->anyContact) {
        const ImportResult& r = d->result;
        if (r.skippedLines == 0)
            importFailed(d->fileName, QStringLiteral("o arquivo não tem nenhum contato."));
        QStringList why;
        if (r.longRows > 0)
            why << QStringLiteral("%1 com mais campos que o cabeçalho (a primeira na linha %2)")
                       .arg(r.longRows)
                       .arg(r.firstLongRow);
        if (r.emptyRows > 0)
            why << QStringLiteral("%1 sem nada nas colunas lidas (a primeira na linha %2)")
                       .arg(r.emptyRows)
                       .arg(r.firstEmptyRow);
        importFailed(d->fileName, QStringLiteral("nenhuma linha depois do cabeçalho deu um contato: %1.")
                                      .arg(why.join(QStringLiteral("; "))));
    }
}

ImportResult CsvContacts::take() {
    ImportResult taken = d->result;
    taken.contacts = std::move(d->result.contacts);
    d->result.contacts.clear();
    return taken;
}

int CsvContacts::skippedLines() const {
    return d->result.skippedLines;
}

namespace {

// The file's text as the options and its byte-order mark say, and how it was read.
QString csvText(const QByteArray& bytes, const QString& fileName, const CsvOptions& options,
                ImportResult& info) {
    QByteArray converted;
    const QByteArrayView raw = textBytes(bytes, converted);
    checkTextFile(raw, fileName);
    info.nonAscii = std::any_of(raw.begin(), raw.end(), [](char b) { return b & 0x80; });
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        info.encoding = TextEncoding::Utf16;
        info.byteOrderMark = true;
        return decodeText(raw);
    }
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        info.byteOrderMark = true;
        info.encoding = TextEncoding::Utf8;
        return decodeUtf8Lossy(raw, 1, info.invalidUtf8Lines);
    }
    const bool legacy = options.encoding ? *options.encoding == TextEncoding::Windows1252 : !isValidUtf8(raw);
    info.encoding = legacy ? TextEncoding::Windows1252 : TextEncoding::Utf8;
    if (legacy)
        return decodeWindows1252(raw);
    std::vector<int> lines; // a file forced to UTF-8 shows U+FFFD for what is not
    return decodeUtf8Lossy(raw, 1, options.encoding ? info.invalidUtf8Lines : lines);
}

void copyInfo(const ImportResult& from, ImportResult& to) {
    to.encoding = from.encoding;
    to.byteOrderMark = from.byteOrderMark;
    to.nonAscii = from.nonAscii;
    to.invalidUtf8Lines = from.invalidUtf8Lines;
}

} // namespace

ImportResult readCsv(const QByteArray& bytes, const QString& fileName, const CsvOptions& options) {
    ImportResult info;
    const QString text = csvText(bytes, fileName, options, info);
    CsvContacts contacts(fileName, options.columns);
    contacts.feed(text, true);
    ImportResult result = contacts.take();
    copyInfo(info, result);
    return result;
}

CsvHeader inspectCsv(const QByteArray& bytes, const QString& fileName, const CsvOptions& options) {
    ImportResult info;
    const QString text = csvText(bytes, fileName, options, info);
    CsvHeader header;
    header.encoding = info.encoding;
    CsvContacts::State state;
    state.fileName = fileName;
    state.headerOnly = true;
    CsvScanner scanner(text, fileName);
    state.read(scanner, true);
    header.names = QStringList(state.headerNames.begin(), state.headerNames.end());
    for (const Column& c : state.columns)
        header.boxes.push_back(boxOfColumn(c));
    header.samples.resize(size_t(header.names.size()));
    // Two values of each column from the first rows that have one.
    std::vector<QString> fields;
    try {
        for (int rows = 0; !scanner.atEnd() && rows < 200; ++rows) {
            // The columns past the stored header names have no samples.
            scanner.next(fields, qsizetype(header.samples.size()));
            for (size_t i = 0; i < std::min(fields.size(), header.samples.size()); ++i)
                if (header.samples[i].size() < 2 && !fields[i].trimmed().isEmpty())
                    header.samples[i] << fields[i].trimmed();
        }
    } catch (const UserError&) {
        // A quote never closed: the samples so far.
    }
    return header;
}

std::vector<ContactFields> previewCsv(const QByteArray& bytes, const CsvOptions& options, int count) {
    std::vector<ContactFields> out;
    try {
        ImportResult info;
        const QString text = csvText(bytes, QString(), options, info);
        CsvContacts contacts(QString(), options.columns);
        // Pieces of text until enough contacts are read, so a long file is not read whole.
        constexpr qsizetype kPiece = 16 * 1024;
        for (qsizetype at = 0; int(out.size()) < count; at += kPiece) {
            const bool last = at + kPiece >= text.size();
            contacts.feed(QStringView(text).mid(at, kPiece), last);
            for (ContactFields& c : contacts.take().contacts)
                if (int(out.size()) < count)
                    out.push_back(std::move(c));
            if (last)
                break;
        }
    } catch (const UserError&) {
        // A preview shows what the choices give; an error shows as no contacts.
    }
    return out;
}

} // namespace lumo
