#include "card/document.h"

#include "platform/errors.h"
#include "platform/fileio.h"
#include "platform/systemerrors.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringList>

#include <zip.h>

#include <array>
#include <cmath>
#include <memory>
#include <type_traits>
#include <vector>

// card.json, format 1, written without indentation:
//   {
//     "format": 1,
//     "contact": {"nome": "…", "sobrenome": "…", … the thirteen boxes, named as on the form},
//     "memo": "…", "qrText": "…", "generated": true, "generateGlyph": 0,
//     "frontColor": "#rrggbb", "backColor": "#rrggbb", "textColor": "#rrggbb",
//     "frontBackground": "pictures/frontBackground.jpg" or null, "backBackground": …, "logo": …,
//     "icon": false, "bleed": false, "front": true, "back": false,
//     "sheet": "cartao" | "a4" | "carta", "qrLevel": "L" | "M" | "Q" | "H",
//     "contacts": "contacts.json", or the list itself when it is empty,
//     "unticked": [the places in the list, from 0, of the contacts not ticked] when any
//   }
// contacts.json: [ { the thirteen fields as in "contact", empty ones left out }, … ]. A
// document written before the list had an entry of its own has the list in "contacts"; a
// reader of those refuses a name there rather than lose the list unseen.
// A key that is absent keeps the value of a new card, so a document written before the key
// existed still opens; keys this program does not know are ignored, so a document of a newer
// minor version opens too. A value of the wrong type or out of range refuses the document,
// and so does a text or a list longer than the program ever writes.

namespace lumo {

namespace {

// The keys, one table per kind of value: a new value of a known kind is one line here.
template <class T> struct Key {
    const char* name;
    T CardState::*member;
};
struct NumberKey {
    const char* name;
    int CardState::*member;
    int min, max;
};

constexpr std::pair<const char*, QString ContactFields::*> kContactKeys[] = {
    {"nome", &ContactFields::nome},       {"sobrenome", &ContactFields::sobrenome},
    {"sufixo", &ContactFields::sufixo},   {"fixo", &ContactFields::fixo},
    {"celular", &ContactFields::celular}, {"site", &ContactFields::site},
    {"email", &ContactFields::email},     {"rua", &ContactFields::rua},
    {"numero", &ContactFields::numero},   {"bairro", &ContactFields::bairro},
    {"cidade", &ContactFields::cidade},   {"estado", &ContactFields::estado},
    {"cep", &ContactFields::cep},
};
constexpr Key<QString> kTextKeys[] = {{"memo", &CardState::memo}, {"qrText", &CardState::qrText}};
constexpr Key<bool> kFlagKeys[] = {{"generated", &CardState::generated},
                                   {"icon", &CardState::icon},
                                   {"bleed", &CardState::bleed},
                                   {"front", &CardState::front},
                                   {"back", &CardState::back}};
constexpr NumberKey kNumberKeys[] = {{"generateGlyph", &CardState::generateGlyph, -1, 1}};
// A value written as one of a few words; the word's place in the list is the value.
struct ChoiceKey {
    const char* name;
    std::array<const char*, 4> words; // unused places are null
    int (*get)(const CardState&);
    void (*set)(CardState&, int);
};
template <auto Member> int getChoice(const CardState& state) {
    return int(state.*Member);
}
template <auto Member> void setChoice(CardState& state, int value) {
    state.*Member = std::remove_cvref_t<decltype(state.*Member)>(value);
}
constexpr ChoiceKey kChoiceKeys[] = {
    {"sheet", {"cartao", "a4", "carta"}, &getChoice<&CardState::sheet>, &setChoice<&CardState::sheet>},
    {"qrLevel", {"L", "M", "Q", "H"}, &getChoice<&CardState::qrLevel>, &setChoice<&CardState::qrLevel>},
};
constexpr Key<QColor> kColorKeys[] = {{"frontColor", &CardState::frontColor},
                                      {"backColor", &CardState::backColor},
                                      {"textColor", &CardState::textColor}};
constexpr Key<CardPicture> kPictureKeys[] = {{"frontBackground", &CardState::frontBackground},
                                             {"backBackground", &CardState::backBackground},
                                             {"logo", &CardState::logo}};

const QString kCardJson = QStringLiteral("card.json");
const QString kPictureFolder = QStringLiteral("pictures/");

bool knownPictureExtension(const QString& extension) {
    return extension == u"jpg" || extension == u"jpeg" || extension == u"png" || extension == u"bmp";
}

QString withFullStop(const QString& text) {
    return text.endsWith(u'.') ? text : text + u'.';
}

QString zipReason(zip_error_t* error) {
    switch (zip_error_code_zip(error)) {
    case ZIP_ER_CRC:
        return QStringLiteral("a soma de verificação não confere");
    case ZIP_ER_COMPNOTSUPP:
        return QStringLiteral("o método de compressão não é suportado");
    case ZIP_ER_ENCRNOTSUPP:
    case ZIP_ER_NOPASSWD:
    case ZIP_ER_WRONGPASSWD:
        return QStringLiteral("o conteúdo está cifrado");
    case ZIP_ER_INCONS:
        return QStringLiteral("o tamanho não confere");
    default:
        return QStringLiteral("os dados não puderam ser lidos: %1")
            .arg(QString::fromUtf8(zip_error_strerror(error)));
    }
}

struct ZipDiscard {
    void operator()(zip_t* zip) const { zip_discard(zip); }
};
struct ZipSourceFree {
    void operator()(zip_source_t* source) const { zip_source_free(source); }
};
struct ZipFileClose {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using ZipArchive = std::unique_ptr<zip_t, ZipDiscard>;
using ZipSource = std::unique_ptr<zip_source_t, ZipSourceFree>;
using ZipFile = std::unique_ptr<zip_file_t, ZipFileClose>;

// ---------------------------------------------------------------------------------------------
// Writing

[[noreturn]] void buildFailed(const char* what) {
    throw UserError(
        QStringLiteral("Não foi possível montar o documento do cartão: %1.").arg(QString::fromUtf8(what)));
}

// An archive built in memory. The bytes of each entry must live until finish().
class ZipBuilder {
public:
    ZipBuilder() {
        zip_error_t error;
        zip_error_init(&error);
        FTarget.reset(zip_source_buffer_create(nullptr, 0, 0, &error));
        if (FTarget)
            FArchive.reset(zip_open_from_source(FTarget.get(), ZIP_TRUNCATE, &error));
        if (!FArchive)
            buildFailed(zip_error_strerror(&error));
        // The archive now owns the target; one more reference keeps it readable after closing.
        zip_source_keep(FTarget.get());
    }

    void add(const QString& name, const QByteArray& bytes, zip_int32_t method) {
        zip_source_t* source =
            zip_source_buffer(FArchive.get(), bytes.constData(), zip_uint64_t(bytes.size()), 0);
        if (!source)
            buildFailed(zip_strerror(FArchive.get()));
        const zip_int64_t index =
            zip_file_add(FArchive.get(), name.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(source);
            buildFailed(zip_strerror(FArchive.get()));
        }
        if (zip_set_file_compression(FArchive.get(), zip_uint64_t(index), method, 0) != 0)
            buildFailed(zip_strerror(FArchive.get()));
    }

    QByteArray finish() {
        if (zip_close(FArchive.get()) != 0)
            buildFailed(zip_strerror(FArchive.get()));
        FArchive.release();
        zip_source_t* target = FTarget.get();
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_source_stat(target, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE) ||
            zip_source_open(target) != 0)
            buildFailed(zip_error_strerror(zip_source_error(target)));
        QByteArray bytes(qsizetype(stat.size), Qt::Uninitialized);
        const zip_int64_t read = zip_source_read(target, bytes.data(), stat.size);
        zip_source_close(target);
        if (read != zip_int64_t(stat.size))
            buildFailed(zip_error_strerror(zip_source_error(target)));
        return bytes;
    }

private:
    ZipSource FTarget;
    ZipArchive FArchive;
};

// The contacts of the list leave out their empty boxes; the card's own contact keeps all.
QJsonObject contactJson(const ContactFields& contact, bool skipEmpty = false) {
    QJsonObject json;
    for (const auto& [name, member] : kContactKeys)
        if (!skipEmpty || !(contact.*member).isEmpty())
            json.insert(QLatin1String(name), contact.*member);
    return json;
}

QByteArray contactsJson(const std::vector<ContactFields>& contacts) {
    QJsonArray list;
    for (const ContactFields& contact : contacts)
        list.append(contactJson(contact, true));
    return QJsonDocument(list).toJson(QJsonDocument::Compact);
}

QString tooLong(const QString& key, qsizetype length, qsizetype max) {
    return QStringLiteral("o texto de \"%1\" é longo demais (%2 caracteres; o máximo é %3).")
        .arg(key)
        .arg(length)
        .arg(max);
}

QString tooManyContacts(qsizetype count) {
    return QStringLiteral("a lista tem %1 contatos; o máximo é %2.").arg(count).arg(kMaxCardContacts);
}

// `within` names the contact, and is asked only when there is a problem to tell.
template <class Within> QString contactProblem(const ContactFields& contact, const Within& within) {
    for (const auto& [name, member] : kContactKeys)
        if ((contact.*member).size() > kMaxBoxChars)
            return tooLong(within() + u'.' + QLatin1String(name), (contact.*member).size(), kMaxBoxChars);
    return {};
}

struct Entry {
    QString name;
    QByteArray bytes;
    zip_int32_t method;
};

// The entry of a picture, named `stem` plus its extension.
Entry pictureEntry(const CardPicture& picture, const QString& stem) {
    Entry entry{{}, picture.bytes, ZIP_CM_STORE};
    QString extension = picture.extension.toLower();
    if (entry.bytes.isEmpty() || !knownPictureExtension(extension)) {
        // A picture that came from no file is kept losslessly.
        QBuffer buffer(&entry.bytes);
        buffer.open(QIODevice::WriteOnly);
        picture.image.save(&buffer, "PNG");
        extension = QStringLiteral("png");
    }
    // JPEG and PNG data is compressed already; a BMP is not.
    if (extension == u"bmp")
        entry.method = ZIP_CM_DEFLATE;
    entry.name = stem + u'.' + extension;
    return entry;
}

// card.json of `state`, its pictures and contact list under the names given; an empty name
// stands for no picture, or for a list kept inside card.json. The list has `listSize`
// contacts (those of `state` when negative), for the ticks.
QByteArray cardJson(const CardState& state, const QString& contactsName,
                    const std::array<QString, 3>& pictures, const QJsonObject& extra = {},
                    qsizetype listSize = -1) {
    QJsonObject json = extra;
    json.insert(QStringLiteral("format"), kCardDocumentFormat);
    json.insert(QStringLiteral("contact"), contactJson(state.contact));
    if (contactsName.isEmpty()) {
        QJsonArray contacts;
        for (const ContactFields& contact : state.contacts)
            contacts.append(contactJson(contact, true));
        json.insert(QStringLiteral("contacts"), contacts);
    } else {
        json.insert(QStringLiteral("contacts"), contactsName);
    }
    if (listSize < 0)
        listSize = qsizetype(state.contacts.size());
    if (qsizetype(state.ticked.size()) == listSize) {
        QJsonArray unticked;
        for (std::size_t i = 0; i < state.ticked.size(); ++i)
            if (!state.ticked[i])
                unticked.append(qint64(i));
        if (!unticked.isEmpty())
            json.insert(QStringLiteral("unticked"), unticked);
    }
    for (const auto& key : kTextKeys)
        json.insert(QLatin1String(key.name), state.*key.member);
    for (const auto& key : kFlagKeys)
        json.insert(QLatin1String(key.name), state.*key.member);
    for (const auto& key : kNumberKeys)
        json.insert(QLatin1String(key.name), state.*key.member);
    for (const auto& key : kColorKeys)
        json.insert(QLatin1String(key.name), (state.*key.member).name(QColor::HexRgb));
    for (const auto& key : kChoiceKeys)
        json.insert(QLatin1String(key.name), QLatin1String(key.words[std::size_t(key.get(state))]));
    for (std::size_t i = 0; i < std::size(kPictureKeys); ++i)
        json.insert(QLatin1String(kPictureKeys[i].name),
                    pictures[i].isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(pictures[i]));
    return QJsonDocument(json).toJson(QJsonDocument::Compact);
}

const QString kContactsJson = QStringLiteral("contacts.json");

} // namespace

namespace {

QString contactsProblem(const std::vector<ContactFields>& contacts) {
    if (qsizetype(contacts.size()) > kMaxCardContacts)
        return tooManyContacts(qsizetype(contacts.size()));
    for (std::size_t i = 0; i < contacts.size(); ++i)
        if (QString problem =
                contactProblem(contacts[i], [i] { return QStringLiteral("contacts[%1]").arg(i); });
            !problem.isEmpty())
            return problem;
    return {};
}

// The values apart from the contact list.
QString valuesProblem(const CardState& state) {
    if (QString problem = contactProblem(state.contact, [] { return QStringLiteral("contact"); });
        !problem.isEmpty())
        return problem;
    for (const auto& key : kTextKeys)
        if ((state.*key.member).size() > kMaxLongTextChars)
            return tooLong(QLatin1String(key.name), (state.*key.member).size(), kMaxLongTextChars);
    return {};
}

} // namespace

QString cardStateProblem(const CardState& state) {
    const QString problem = valuesProblem(state);
    return problem.isEmpty() ? contactsProblem(state.contacts) : problem;
}

namespace {

QString contactsTooLarge(qint64 size) {
    return QStringLiteral("a lista de contatos ocupa %1 MB; o máximo é %2 MB.")
        .arg((size + 1024 * 1024 - 1) / (1024 * 1024))
        .arg(kMaxContactsJsonBytes / (1024 * 1024));
}

} // namespace

void checkCardContacts(const std::vector<ContactFields>& contacts, const QString& shownName) {
    if (qsizetype(contacts.size()) > kMaxCardContacts)
        throw UserError(QStringLiteral("A lista ficaria com %1 contatos; um cartão guarda no máximo %2.")
                            .arg(contacts.size())
                            .arg(kMaxCardContacts));
    if (const qint64 size = contactsJson(contacts).size(); size > kMaxContactsJsonBytes)
        throw UserError(QStringLiteral("Os contatos de \"%1\" ocupam %2 MB no cartão; o máximo é %3 MB.")
                            .arg(shownName)
                            .arg((size + 1024 * 1024 - 1) / (1024 * 1024))
                            .arg(kMaxContactsJsonBytes / (1024 * 1024)));
}

void checkContactsFileCount(const QString& path, const CsvOptions& options) {
    ContactFileReader reader(path);
    reader.setCsvOptions(options);
    if (const int count = reader.count(); count > kMaxCardContacts)
        throw UserError(QStringLiteral("O arquivo \"%1\" tem %2 contatos; um cartão guarda no máximo %3.")
                            .arg(QDir::toNativeSeparators(path))
                            .arg(count)
                            .arg(kMaxCardContacts));
}

void fitContactsToCard(ImportResult& result, const QString& shownName) {
    const auto tooLong = [](const ContactFields& contact) {
        return !contactProblem(contact, [] { return QString(); }).isEmpty();
    };
    const auto kept = std::remove_if(result.contacts.begin(), result.contacts.end(), tooLong);
    result.skippedLines += int(result.contacts.end() - kept);
    result.contacts.erase(kept, result.contacts.end());
    if (result.contacts.empty())
        throw UserError(
            QStringLiteral("O arquivo \"%1\" não tem nenhum contato que caiba no cartão.").arg(shownName));
    checkCardContacts(result.contacts, shownName);
}

QByteArray cardDocumentBytes(const CardState& state) {
    if (const QString problem = cardStateProblem(state); !problem.isEmpty())
        throw UserError(QStringLiteral("Não foi possível montar o documento do cartão: %1").arg(problem));
    std::vector<Entry> pictures;
    std::array<QString, 3> names;
    for (std::size_t i = 0; i < std::size(kPictureKeys); ++i) {
        const CardPicture& picture = state.*kPictureKeys[i].member;
        if (picture.isNull())
            continue;
        pictures.push_back(pictureEntry(picture, kPictureFolder + QLatin1String(kPictureKeys[i].name)));
        names[i] = pictures.back().name;
    }
    // An empty list stays inside card.json, as every program that reads format 1 expects.
    QByteArray contacts;
    if (!state.contacts.empty()) {
        contacts = contactsJson(state.contacts);
        if (contacts.size() > kMaxContactsJsonBytes)
            throw UserError(QStringLiteral("Não foi possível montar o documento do cartão: %1")
                                .arg(contactsTooLarge(contacts.size())));
    }

    const QByteArray mimeType(kCardDocumentMimeType);
    const QByteArray json = cardJson(state, contacts.isEmpty() ? QString() : kContactsJson, names);
    ZipBuilder zip;
    // First and uncompressed, so the type shows at a fixed place at the start of the file.
    zip.add(QStringLiteral("mimetype"), mimeType, ZIP_CM_STORE);
    zip.add(kCardJson, json, ZIP_CM_DEFLATE);
    if (!contacts.isEmpty())
        zip.add(kContactsJson, contacts, ZIP_CM_DEFLATE);
    for (const Entry& entry : pictures)
        zip.add(entry.name, entry.bytes, entry.method);
    return zip.finish();
}

void saveCardDocument(const QString& path, const CardState& state) {
    if (const QString problem = cardStateProblem(state); !problem.isEmpty())
        throw UserError(QStringLiteral("Não foi possível gravar o arquivo \"%1\": %2")
                            .arg(QDir::toNativeSeparators(path), problem));
    writeFileAtomically(path, cardDocumentBytes(state));
}

namespace {

// Pictures that share their bytes and image were written already; comparing them byte for
// byte would cost as much as writing them.
bool sameData(const CardPicture& a, const CardPicture& b) {
    return a.bytes.isSharedWith(b.bytes) && a.bytes.size() == b.bytes.size() &&
           a.image.cacheKey() == b.image.cacheKey() && a.extension == b.extension;
}

} // namespace

void CardFolderWriter::write(const CardState& state, const QJsonObject& extra) {
    write(state, std::make_shared<const std::vector<ContactFields>>(state.contacts), extra);
}

void CardFolderWriter::write(const CardState& state,
                             const std::shared_ptr<const std::vector<ContactFields>>& contacts,
                             const QJsonObject& extra) {
    const auto fail = [&](const QString& reason) {
        throw UserError(QStringLiteral("Não foi possível gravar o arquivo \"%1\": %2")
                            .arg(QDir::toNativeSeparators(FFolder + u'/' + kCardJson), reason));
    };
    const bool sameContacts = FContacts && (FContacts == contacts || *FContacts == *contacts);
    if (const QString problem = valuesProblem(state); !problem.isEmpty())
        fail(problem);
    if (!sameContacts)
        if (const QString problem = contactsProblem(*contacts); !problem.isEmpty())
            fail(problem);
    if (!QDir().mkpath(FFolder + u'/' + kPictureFolder))
        fail(QStringLiteral("a pasta não pôde ser criada."));

    std::array<std::optional<Kept>, 3> pictures;
    std::array<QString, 3> names;
    for (std::size_t i = 0; i < std::size(kPictureKeys); ++i) {
        const CardPicture& picture = state.*kPictureKeys[i].member;
        if (picture.isNull())
            continue;
        if (FPictures[i] && sameData(FPictures[i]->picture, picture)) {
            pictures[i] = FPictures[i];
        } else {
            const Entry entry = pictureEntry(picture, kPictureFolder + QLatin1String(kPictureKeys[i].name) +
                                                          u'-' + QString::number(++FSerial));
            writeFileAtomically(FFolder + u'/' + entry.name, entry.bytes);
            pictures[i] = Kept{picture, entry.name};
        }
        names[i] = pictures[i]->name;
    }
    QString contactsName;
    if (!contacts->empty()) {
        if (sameContacts && !FContactsName.isEmpty()) {
            contactsName = FContactsName;
        } else {
            const QByteArray bytes = contactsJson(*contacts);
            if (bytes.size() > kMaxContactsJsonBytes)
                fail(contactsTooLarge(bytes.size()));
            contactsName = QStringLiteral("contacts-%1.json").arg(++FSerial);
            writeFileAtomically(FFolder + u'/' + contactsName, bytes);
        }
    }
    CardState values = state;
    values.contacts.clear();
    writeFileAtomically(FFolder + u'/' + kCardJson,
                        cardJson(values, contactsName, names, extra, qsizetype(contacts->size())));

    FPictures = pictures;
    FContacts = contacts;
    FContactsName = contactsName;
    // What card.json no longer names goes; a file of a write that failed half-way too.
    QStringList kept{kCardJson, contactsName};
    for (const auto& picture : FPictures)
        if (picture)
            kept << picture->name;
    const QDir folder(FFolder);
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden))
        if (!kept.contains(name))
            QFile::remove(folder.filePath(name));
    for (const QString& name : QDir(FFolder + u'/' + kPictureFolder).entryList(QDir::Files | QDir::Hidden))
        if (!kept.contains(kPictureFolder + name))
            QFile::remove(folder.filePath(kPictureFolder + name));
}

void CardFolderWriter::remove() {
    QDir(FFolder).removeRecursively();
    FPictures = {};
    FContacts.reset();
    FContactsName.clear();
}

// ---------------------------------------------------------------------------------------------
// Reading

namespace {

// Counts the arrays and objects of a JSON text, strings skipped, up to `limit` + 1: what
// the parser would build is known before it builds it.
qsizetype containerCount(const QByteArray& json, qsizetype limit) {
    qsizetype count = 0;
    bool inString = false;
    for (qsizetype i = 0; i < json.size() && count <= limit; ++i) {
        const char c = json[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            ++count;
        }
    }
    return count;
}

// A card read from entries found by name: an archive's or a folder's.
class DocumentReader {
public:
    explicit DocumentReader(const QString& shownName) : FShown(shownName) {}
    virtual ~DocumentReader() = default;

    CardState read(QJsonObject* whole = nullptr) {
        open();
        // card.json of a document written before the contact list had an entry of its own
        // holds the list too.
        const QByteArray text = readEntry(kCardJson, kMaxCardJsonBytes + kMaxContactsJsonBytes,
                                          QStringLiteral("falta a descrição do cartão (card.json)."));
        // The card's own two objects, the list and its contacts.
        checkContactCount(containerCount(text, kMaxCardContacts + 3) - 3);
        const QJsonDocument document = parse(text, QStringLiteral("a descrição do cartão (card.json)"));
        if (!document.isObject())
            fail(QStringLiteral("a descrição do cartão (card.json) não é um objeto JSON."));
        const QJsonObject json = document.object();
        if (whole)
            *whole = json;
        return cardOf(json);
    }

protected:
    virtual void open() = 0;
    // The bytes of the entry `name`, at most `cap` of them; `missing` is the reason when
    // there is no such entry.
    virtual QByteArray readEntry(const QString& name, qint64 cap, const QString& missing) = 0;

    [[noreturn]] void fail(const QString& reason) const {
        throw UserError(QStringLiteral("Não foi possível abrir o cartão \"%1\": %2").arg(FShown, reason));
    }

    // Refuses an entry of `size` bytes over its own cap or over what is left of the cap of
    // all entries together.
    void account(const QString& name, qint64 size, qint64 cap) {
        if (size > cap)
            fail(QStringLiteral("\"%1\" é grande demais (%2 bytes; o máximo é %3).")
                     .arg(name)
                     .arg(size)
                     .arg(cap));
        if (size > kMaxCardUnpackedBytes - FUnpacked)
            fail(QStringLiteral("o conteúdo do cartão passa de %1 MB.")
                     .arg(kMaxCardUnpackedBytes / (1024 * 1024)));
        FUnpacked += size;
    }

private:
    QJsonDocument parse(const QByteArray& text, const QString& what) const {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(text, &error);
        if (error.error != QJsonParseError::NoError)
            fail(QStringLiteral("%1 não é um JSON válido (%2, no caractere %3).")
                     .arg(what, error.errorString())
                     .arg(error.offset));
        return document;
    }

    void checkContactCount(qsizetype count) const {
        if (count > kMaxCardContacts)
            fail(QStringLiteral("a lista de contatos tem mais de %1 contatos.").arg(kMaxCardContacts));
    }

    QString keyName(const QString& key, const QString& within) const {
        return within.isEmpty() ? key : within + u'.' + key;
    }
    [[noreturn]] void wrongType(const QString& key, const char* expected) const {
        fail(QStringLiteral("o valor de \"%1\" deveria ser %2.").arg(key, QString::fromUtf8(expected)));
    }

    void readText(const QJsonObject& json, const char* name, QString& out, qsizetype max,
                  const QString& within = {}) const {
        const QJsonValue value = json.value(QLatin1String(name));
        if (value.isUndefined())
            return;
        if (!value.isString())
            wrongType(keyName(QLatin1String(name), within), "um texto");
        out = value.toString();
        if (out.size() > max)
            fail(tooLong(keyName(QLatin1String(name), within), out.size(), max));
    }

    void readFlag(const QJsonObject& json, const char* name, bool& out) const {
        const QJsonValue value = json.value(QLatin1String(name));
        if (value.isUndefined())
            return;
        if (!value.isBool())
            wrongType(QLatin1String(name), "true ou false");
        out = value.toBool();
    }

    // An integer in [min, max].
    void readNumber(const QJsonObject& json, const QString& name, int min, int max, int& out) const {
        const QJsonValue value = json.value(name);
        if (value.isUndefined())
            return;
        const double number = value.toDouble();
        if (!value.isDouble() || number != std::floor(number) || number < min || number > max)
            fail(QStringLiteral("o valor de \"%1\" deveria ser um número inteiro de %2 a %3.")
                     .arg(name)
                     .arg(min)
                     .arg(max));
        out = int(number);
    }

    void readChoice(const QJsonObject& json, const ChoiceKey& key, CardState& state) const {
        const QJsonValue value = json.value(QLatin1String(key.name));
        if (value.isUndefined())
            return;
        QStringList words;
        for (std::size_t i = 0; i < key.words.size() && key.words[i]; ++i) {
            if (value.toString() == QLatin1String(key.words[i])) {
                key.set(state, int(i));
                return;
            }
            words << u'"' + QLatin1String(key.words[i]) + u'"';
        }
        const QString last = words.takeLast();
        fail(QStringLiteral("o valor de \"%1\" deveria ser %2 ou %3.")
                 .arg(QLatin1String(key.name), words.join(QStringLiteral(", ")), last));
    }

    void readColor(const QJsonObject& json, const char* name, QColor& out) const {
        const QJsonValue value = json.value(QLatin1String(name));
        if (value.isUndefined())
            return;
        if (!value.isString())
            wrongType(QLatin1String(name), "uma cor no formato \"#rrggbb\"");
        const QString text = value.toString();
        bool ok = text.size() == 7 && text[0] == u'#';
        for (qsizetype i = 1; ok && i < text.size(); ++i)
            ok = QStringView(u"0123456789abcdefABCDEF").contains(text[i]);
        if (!ok)
            fail(QStringLiteral(
                     "\"%1\" não é uma cor conhecida (\"%2\"); as cores são escritas como \"#rrggbb\".")
                     .arg(QLatin1String(name), text.left(40)));
        out = QColor::fromRgb(QRgb(text.mid(1).toUInt(nullptr, 16)));
    }

    void readPicture(const QJsonObject& json, const char* key, CardPicture& out) {
        const QJsonValue value = json.value(QLatin1String(key));
        if (value.isUndefined())
            return;
        if (value.isNull()) {
            out = {};
            return;
        }
        if (!value.isString())
            wrongType(QLatin1String(key), "o nome de uma imagem em pictures/ ou null");
        const QString name = value.toString();
        const QString extension = name.mid(name.lastIndexOf(u'.') + 1).toLower();
        // Only names under pictures/ are looked up; nothing is ever written to disk, but a
        // name that climbs out or starts at the root is refused all the same.
        bool safe = name.startsWith(kPictureFolder) && name.size() > kPictureFolder.size() &&
                    name.size() <= 1024 && !name.contains(u'\\') && name.lastIndexOf(u'.') > 0;
        for (const QChar c : name)
            safe = safe && c.unicode() >= 0x20 && c.unicode() != 0x7F;
        for (const QStringView part : QStringView(name).split(u'/'))
            safe = safe && !part.isEmpty() && part != u".." && part != u".";
        if (!safe)
            fail(QStringLiteral(
                     "o nome de imagem \"%1\" em \"%2\" não é permitido; as imagens ficam em pictures/.")
                     .arg(name.left(200), QLatin1String(key)));
        if (!knownPictureExtension(extension))
            fail(QStringLiteral("a imagem \"%1\" não é JPEG, PNG nem BMP.").arg(name));
        CardPicture picture;
        picture.bytes =
            readEntry(name, kMaxPictureFileBytes, QStringLiteral("falta a imagem \"%1\".").arg(name));
        picture.extension = extension;
        try {
            picture.image = decodePicture(picture.bytes, extension, name);
        } catch (const UserError& e) {
            // The loader's message names the entry; only its reason is repeated here.
            QString reason = QString::fromUtf8(e.what());
            const QString lead = u'"' + name + QStringLiteral("\": ");
            if (const qsizetype at = reason.indexOf(lead); at >= 0)
                reason = reason.mid(at + lead.size());
            fail(QStringLiteral("a imagem \"%1\" não pôde ser lida: %2").arg(name, reason));
        }
        out = std::move(picture);
    }

    CardState cardOf(const QJsonObject& json) {
        int format = 0;
        if (!json.contains(QStringLiteral("format")))
            fail(QStringLiteral("a descrição do cartão não diz a versão do formato (\"format\")."));
        const QJsonValue formatValue = json.value(QStringLiteral("format"));
        if (formatValue.isDouble() && formatValue.toDouble() > kCardDocumentFormat)
            fail(
                QStringLiteral("o arquivo foi criado por uma versão mais nova do Lumo Card (formato %1; esta "
                               "versão lê até o formato %2).")
                    .arg(formatValue.toDouble())
                    .arg(kCardDocumentFormat));
        readNumber(json, QStringLiteral("format"), 1, kCardDocumentFormat, format);

        CardState state;
        const QJsonValue contact = json.value(QStringLiteral("contact"));
        if (!contact.isUndefined() && !contact.isObject())
            wrongType(QStringLiteral("contact"), "um objeto com os campos do contato");
        for (const auto& [name, member] : kContactKeys)
            readText(contact.toObject(), name, state.contact.*member, kMaxBoxChars,
                     QStringLiteral("contact"));
        // The imported contact list: an array of objects with the same fields, inside
        // card.json or in the entry it names.
        QJsonValue contacts = json.value(QStringLiteral("contacts"));
        if (contacts.isString()) {
            static const QRegularExpression entryName(QStringLiteral("^contacts(-[0-9]{1,9})?\\.json$"));
            const QString name = contacts.toString();
            if (!entryName.match(name).hasMatch())
                fail(QStringLiteral("a lista de contatos \"%1\" não é permitida; ela fica em %2.")
                         .arg(name.left(200), kContactsJson));
            const QByteArray text = readEntry(name, kMaxContactsJsonBytes,
                                              QStringLiteral("falta a lista de contatos \"%1\".").arg(name));
            checkContactCount(containerCount(text, kMaxCardContacts + 1) - 1);
            const QJsonDocument document =
                parse(text, QStringLiteral("a lista de contatos \"%1\"").arg(name));
            if (!document.isArray())
                wrongType(QStringLiteral("contacts"), "uma lista de contatos");
            contacts = document.array();
        }
        if (!contacts.isUndefined() && !contacts.isArray())
            wrongType(QStringLiteral("contacts"), "uma lista de contatos");
        const QJsonArray list = contacts.toArray();
        checkContactCount(list.size());
        state.contacts.reserve(std::size_t(list.size()));
        for (qsizetype i = 0; i < list.size(); ++i) {
            const QString where = QStringLiteral("contacts[%1]").arg(i);
            if (!list[i].isObject())
                wrongType(where, "um objeto com os campos do contato");
            ContactFields fields;
            const QJsonObject object = list[i].toObject();
            for (const auto& [name, member] : kContactKeys)
                readText(object, name, fields.*member, kMaxBoxChars, where);
            state.contacts.push_back(std::move(fields));
        }
        const QJsonValue unticked = json.value(QStringLiteral("unticked"));
        if (!unticked.isUndefined()) {
            if (!unticked.isArray() || unticked.toArray().size() > list.size())
                wrongType(QStringLiteral("unticked"), "uma lista de posições da lista de contatos");
            state.ticked.assign(state.contacts.size(), true);
            for (const QJsonValue& place : unticked.toArray()) {
                const double i = place.toDouble(-1);
                if (!place.isDouble() || i < 0 || i >= double(list.size()) || i != std::floor(i))
                    wrongType(QStringLiteral("unticked"), "uma lista de posições da lista de contatos");
                state.ticked[std::size_t(i)] = false;
            }
        }
        for (const auto& key : kTextKeys)
            readText(json, key.name, state.*key.member, kMaxLongTextChars);
        for (const auto& key : kFlagKeys)
            readFlag(json, key.name, state.*key.member);
        for (const auto& key : kNumberKeys)
            readNumber(json, QLatin1String(key.name), key.min, key.max, state.*key.member);
        for (const auto& key : kColorKeys)
            readColor(json, key.name, state.*key.member);
        for (const auto& key : kChoiceKeys)
            readChoice(json, key, state);
        for (const auto& key : kPictureKeys)
            readPicture(json, key.name, state.*key.member);
        return state;
    }

    const QString FShown;
    qint64 FUnpacked = 0;
};

// A document's archive, opened from its bytes or from its file: libzip reads the directory
// at the end and then only the entries asked for.
class ZipReader : public DocumentReader {
public:
    ZipReader(const QByteArray& bytes, const QString& shownName)
        : DocumentReader(shownName), FBytes(&bytes) {}
    ZipReader(const QString& path, const QString& shownName) : DocumentReader(shownName), FPath(path) {}

private:
    void open() override {
        zip_error_t error;
        zip_error_init(&error);
        bool looksLikeZip = false;
        if (FBytes) {
            ZipSource source(
                zip_source_buffer_create(FBytes->constData(), zip_uint64_t(FBytes->size()), 0, &error));
            if (source) {
                FArchive.reset(zip_open_from_source(source.get(), ZIP_RDONLY | ZIP_CHECKCONS, &error));
                if (FArchive)
                    source.release(); // the archive owns it now
            }
            looksLikeZip = FBytes->startsWith("PK\x03\x04");
        } else {
            int code = 0;
            FArchive.reset(zip_open(QFile::encodeName(FPath).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &code));
            QFile file(FPath);
            looksLikeZip = file.open(QIODevice::ReadOnly) && file.read(4) == "PK\x03\x04";
        }
        zip_error_fini(&error);
        if (!FArchive)
            fail(looksLikeZip ? QStringLiteral("o arquivo está danificado ou incompleto.")
                              : QStringLiteral("o arquivo não é um cartão do Lumo Card."));
        if (readEntry(QStringLiteral("mimetype"), 256,
                      QStringLiteral("o arquivo não é um cartão do Lumo Card.")) != kCardDocumentMimeType)
            fail(QStringLiteral("o arquivo não é um cartão do Lumo Card."));
    }

    [[noreturn]] void damaged(const QString& name, zip_error_t* error) const {
        fail(QStringLiteral("\"%1\" está danificado (%2).").arg(name, zipReason(error)));
    }

    // The entry's bytes, read to their end so the checksum is verified, and never more than
    // `cap` + 1 bytes whatever the archive claims.
    QByteArray readEntry(const QString& name, qint64 cap, const QString& missing) override {
        const zip_int64_t index = zip_name_locate(FArchive.get(), name.toUtf8().constData(), 0);
        if (index < 0)
            fail(missing);
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(FArchive.get(), zip_uint64_t(index), 0, &stat) != 0 ||
            !(stat.valid & ZIP_STAT_SIZE))
            damaged(name, zip_get_error(FArchive.get()));
        account(name, qint64(std::min<zip_uint64_t>(stat.size, zip_uint64_t(kMaxCardDocumentBytes) * 1024)),
                cap);
        ZipFile file(zip_fopen_index(FArchive.get(), zip_uint64_t(index), 0));
        if (!file)
            damaged(name, zip_get_error(FArchive.get()));
        QByteArray bytes(qsizetype(stat.size), Qt::Uninitialized);
        zip_uint64_t got = 0;
        while (got < stat.size) {
            const zip_int64_t n = zip_fread(file.get(), bytes.data() + got, stat.size - got);
            if (n < 0)
                damaged(name, zip_file_get_error(file.get()));
            if (n == 0)
                break;
            got += zip_uint64_t(n);
        }
        char more;
        const zip_int64_t beyond = got == stat.size ? zip_fread(file.get(), &more, 1) : 0;
        if (beyond < 0)
            damaged(name, zip_file_get_error(file.get()));
        if (got != stat.size || beyond > 0) {
            zip_error_t error;
            zip_error_init_with_code(&error, ZIP_ER_INCONS);
            damaged(name, &error);
        }
        return bytes;
    }

    const QByteArray* FBytes = nullptr;
    QString FPath;
    ZipArchive FArchive;
};

// The entries as files of a folder. Their names were checked by the reader: they never
// leave the folder.
class FolderReader : public DocumentReader {
public:
    FolderReader(const QString& folder, const QString& shownName)
        : DocumentReader(shownName), FFolder(folder) {}

private:
    void open() override {
        if (!QFileInfo(FFolder).isDir())
            fail(QStringLiteral("a pasta não existe."));
    }

    QByteArray readEntry(const QString& name, qint64 cap, const QString& missing) override {
        const QFileInfo info(FFolder + u'/' + name);
        if (!info.exists())
            fail(missing);
        if (!info.isFile())
            fail(QStringLiteral("\"%1\" não é um arquivo comum.").arg(name));
        account(name, std::min(info.size(), cap + 1), cap);
        QFile file(info.filePath());
        if (!file.open(QIODevice::ReadOnly))
            fail(QStringLiteral("\"%1\": %2").arg(name, withFullStop(fileErrorText(file))));
        const QByteArray bytes = file.read(cap + 1);
        if (file.error() != QFileDevice::NoError)
            fail(QStringLiteral("\"%1\": %2").arg(name, withFullStop(fileErrorText(file))));
        if (bytes.size() > cap)
            account(name, bytes.size(), cap);
        return bytes;
    }

    QString FFolder;
};

} // namespace

CardState readCardDocument(const QByteArray& bytes, const QString& shownName) {
    return ZipReader(bytes, shownName).read();
}

CardState openCardDocument(const QString& path) {
    const QString shown = QDir::toNativeSeparators(path);
    const auto fail = [&](const QString& reason) {
        throw UserError(QStringLiteral("Não foi possível abrir o cartão \"%1\": %2").arg(shown, reason));
    };
    const QFileInfo info(path);
    if (!info.exists())
        fail(QStringLiteral("o arquivo não existe."));
    if (info.isDir())
        fail(QStringLiteral("o caminho é uma pasta."));
    // A device or a pipe could block or never end.
    if (!info.isFile())
        fail(QStringLiteral("o caminho não é um arquivo comum."));
    if (info.size() > kMaxCardDocumentBytes)
        fail(QStringLiteral("o arquivo é grande demais (o máximo é %1 MB).")
                 .arg(kMaxCardDocumentBytes / (1024 * 1024)));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(withFullStop(fileErrorText(file)));
    file.close();
    return ZipReader(path, shown).read();
}

CardState readCardFolder(const QString& folder, QJsonObject* json) {
    return FolderReader(folder, QDir::toNativeSeparators(folder)).read(json);
}

} // namespace lumo
