#include "card/document.h"

#include "platform/errors.h"
#include "platform/fileio.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <zip.h>

#include <array>
#include <cmath>
#include <memory>
#include <type_traits>
#include <vector>

// card.json, format 1:
//   {
//     "format": 1,
//     "contact": {"nome": "…", "sobrenome": "…", … the thirteen boxes, named as on the form},
//     "memo": "…", "qrText": "…", "generated": true, "generateGlyph": 0,
//     "frontColor": "#rrggbb", "backColor": "#rrggbb", "textColor": "#rrggbb",
//     "frontBackground": "pictures/frontBackground.jpg" or null, "backBackground": …, "logo": …,
//     "icon": false, "bleed": false, "front": true, "back": false,
//     "sheet": "cartao" | "a4" | "carta", "qrLevel": "L" | "M" | "Q" | "H",
//     "contacts": [ { the thirteen fields, as in "contact" }, … ]
//   }
// A key that is absent keeps the value of a new card, so a document written before the key
// existed still opens; keys this program does not know are ignored, so a document of a newer
// minor version opens too. A value of the wrong type or out of range refuses the document.

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

QJsonObject contactJson(const ContactFields& contact) {
    QJsonObject json;
    for (const auto& [name, member] : kContactKeys)
        json.insert(QLatin1String(name), contact.*member);
    return json;
}

} // namespace

QByteArray cardDocumentBytes(const CardState& state) {
    QJsonObject json;
    json.insert(QStringLiteral("format"), kCardDocumentFormat);
    json.insert(QStringLiteral("contact"), contactJson(state.contact));
    QJsonArray contacts;
    for (const ContactFields& contact : state.contacts)
        contacts.append(contactJson(contact));
    json.insert(QStringLiteral("contacts"), contacts);
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

    struct Entry {
        QString name;
        QByteArray bytes;
        zip_int32_t method;
    };
    std::vector<Entry> pictures;
    for (const auto& key : kPictureKeys) {
        const CardPicture& picture = state.*key.member;
        if (picture.isNull()) {
            json.insert(QLatin1String(key.name), QJsonValue::Null);
            continue;
        }
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
        entry.name = kPictureFolder + QLatin1String(key.name) + u'.' + extension;
        json.insert(QLatin1String(key.name), entry.name);
        pictures.push_back(std::move(entry));
    }

    const QByteArray mimeType(kCardDocumentMimeType);
    const QByteArray cardJson = QJsonDocument(json).toJson(QJsonDocument::Indented);
    ZipBuilder zip;
    // First and uncompressed, so the type shows at a fixed place at the start of the file.
    zip.add(QStringLiteral("mimetype"), mimeType, ZIP_CM_STORE);
    zip.add(kCardJson, cardJson, ZIP_CM_DEFLATE);
    for (const Entry& entry : pictures)
        zip.add(entry.name, entry.bytes, entry.method);
    return zip.finish();
}

void saveCardDocument(const QString& path, const CardState& state) {
    writeFileAtomically(path, cardDocumentBytes(state));
}

// ---------------------------------------------------------------------------------------------
// Reading

namespace {

class DocumentReader {
public:
    DocumentReader(const QByteArray& bytes, const QString& shownName) : FBytes(bytes), FShown(shownName) {}

    CardState read() {
        openArchive();
        if (entry(QStringLiteral("mimetype"), 256,
                  QStringLiteral("o arquivo não é um cartão do Lumo Card.")) != kCardDocumentMimeType)
            fail(QStringLiteral("o arquivo não é um cartão do Lumo Card."));
        const QByteArray text =
            entry(kCardJson, kMaxCardJsonBytes, QStringLiteral("falta a descrição do cartão (card.json)."));
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(text, &error);
        if (error.error != QJsonParseError::NoError)
            fail(QStringLiteral(
                     "a descrição do cartão (card.json) não é um JSON válido (%1, no caractere %2).")
                     .arg(error.errorString())
                     .arg(error.offset));
        if (!document.isObject())
            fail(QStringLiteral("a descrição do cartão (card.json) não é um objeto JSON."));
        return cardOf(document.object());
    }

private:
    [[noreturn]] void fail(const QString& reason) const {
        throw UserError(QStringLiteral("Não foi possível abrir o cartão \"%1\": %2").arg(FShown, reason));
    }

    [[noreturn]] void damaged(const QString& name, zip_error_t* error) const {
        fail(QStringLiteral("\"%1\" está danificado (%2).").arg(name, zipReason(error)));
    }

    void openArchive() {
        zip_error_t error;
        zip_error_init(&error);
        ZipSource source(
            zip_source_buffer_create(FBytes.constData(), zip_uint64_t(FBytes.size()), 0, &error));
        if (source) {
            FArchive.reset(zip_open_from_source(source.get(), ZIP_RDONLY | ZIP_CHECKCONS, &error));
            if (FArchive)
                source.release(); // the archive owns it now
        }
        if (!FArchive) {
            const bool looksLikeZip = FBytes.startsWith("PK\x03\x04");
            zip_error_fini(&error);
            fail(looksLikeZip ? QStringLiteral("o arquivo está danificado ou incompleto.")
                              : QStringLiteral("o arquivo não é um cartão do Lumo Card."));
        }
    }

    // The entry's bytes, read to their end so the checksum is verified, and never more than
    // `cap` + 1 bytes whatever the archive claims.
    QByteArray entry(const QString& name, qint64 cap, const QString& missing) {
        const zip_int64_t index = zip_name_locate(FArchive.get(), name.toUtf8().constData(), 0);
        if (index < 0)
            fail(missing);
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(FArchive.get(), zip_uint64_t(index), 0, &stat) != 0 ||
            !(stat.valid & ZIP_STAT_SIZE))
            damaged(name, zip_get_error(FArchive.get()));
        if (stat.size > zip_uint64_t(cap))
            fail(QStringLiteral("\"%1\" é grande demais (%2 bytes; o máximo é %3).")
                     .arg(name)
                     .arg(stat.size)
                     .arg(cap));
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

    QString keyName(const QString& key, const QString& within) const {
        return within.isEmpty() ? key : within + u'.' + key;
    }
    [[noreturn]] void wrongType(const QString& key, const char* expected) const {
        fail(QStringLiteral("o valor de \"%1\" deveria ser %2.").arg(key, QString::fromUtf8(expected)));
    }

    void readText(const QJsonObject& json, const char* name, QString& out, const QString& within = {}) const {
        const QJsonValue value = json.value(QLatin1String(name));
        if (value.isUndefined())
            return;
        if (!value.isString())
            wrongType(keyName(QLatin1String(name), within), "um texto");
        out = value.toString();
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
        picture.bytes = entry(name, kMaxPictureFileBytes, QStringLiteral("falta a imagem \"%1\".").arg(name));
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
            readText(contact.toObject(), name, state.contact.*member, QStringLiteral("contact"));
        // The imported contact list: an array of objects with the same fields.
        const QJsonValue contacts = json.value(QStringLiteral("contacts"));
        if (!contacts.isUndefined() && !contacts.isArray())
            wrongType(QStringLiteral("contacts"), "uma lista de contatos");
        const QJsonArray list = contacts.toArray();
        state.contacts.reserve(std::size_t(list.size()));
        for (qsizetype i = 0; i < list.size(); ++i) {
            const QString where = QStringLiteral("contacts[%1]").arg(i);
            if (!list[i].isObject())
                wrongType(where, "um objeto com os campos do contato");
            ContactFields fields;
            for (const auto& [name, member] : kContactKeys)
                readText(list[i].toObject(), name, fields.*member, where);
            state.contacts.push_back(std::move(fields));
        }
        for (const auto& key : kTextKeys)
            readText(json, key.name, state.*key.member);
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

    const QByteArray& FBytes;
    const QString FShown;
    ZipArchive FArchive;
};

} // namespace

CardState readCardDocument(const QByteArray& bytes, const QString& shownName) {
    return DocumentReader(bytes, shownName).read();
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
    const QString tooLarge = QStringLiteral("o arquivo é grande demais (o máximo é %1 MB).")
                                 .arg(kMaxCardDocumentBytes / (1024 * 1024));
    if (info.size() > kMaxCardDocumentBytes)
        fail(tooLarge);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(withFullStop(file.errorString()));
    // The file may have grown since it was measured: one byte more than it may have tells.
    const QByteArray bytes = file.read(std::min(info.size(), kMaxCardDocumentBytes) + 1);
    if (file.error() != QFileDevice::NoError)
        fail(withFullStop(file.errorString()));
    if (bytes.size() > kMaxCardDocumentBytes)
        fail(tooLarge);
    return readCardDocument(bytes, shown);
}

} // namespace lumo
