// Card documents and the crash recovery: every value comes back, pictures byte for byte, bad
// documents are refused with their reason, failed saves keep the old file.

#include "card/document.h"
#include "card/recovery.h"
#include "contact/vcard.h"
#include "platform/errors.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>

#include <zip.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <sys/resource.h>

using lumo::CardPicture;
using lumo::CardState;

namespace {

CardPicture picture(const char* format, const char* extension, QSize size, Qt::GlobalColor color) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    CardPicture p;
    QBuffer buffer(&p.bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, 90);
    p.extension = QString::fromLatin1(extension);
    p.image = lumo::decodePicture(p.bytes, p.extension, "test");
    return p;
}

CardState fullCard() {
    CardState s;
    const QString values[] = {QString::fromUtf8("João 😀"),
                              "Conceição",
                              "Fotógrafo",
                              "(11) 3333-4444",
                              "(11) 98765-4321",
                              "www.exemplo.com.br",
                              "joao@exemplo.com.br",
                              "Rua; das, Acácias",
                              "120",
                              QString(QChar(0xD83D)) + "x",
                              "São Paulo",
                              "SP",
                              "01000-000"};
    for (int i = 0; i < lumo::kContactFieldCount; ++i)
        lumo::fieldOf(s.contact, lumo::ContactField(i)) = values[i];
    s.contacts = {s.contact, lumo::ContactFields{}};
    s.contacts[1].email = "b@x.br";
    s.ticked = {true, false};
    s.qrLevel = qrLevelQ;
    s.memo = QString::fromUtf8("linha 1\nlinha \"2\"\t\\") + QChar(0) + QChar(0x2028);
    s.qrText = lumo::composeVCard(s.contact);
    s.generated = true;
    s.generateGlyph = 0;
    s.frontColor = QColor(0x12, 0x34, 0x56);
    s.backColor = QColor(0xfe, 0xdc, 0xba);
    s.textColor = QColor(0x00, 0x80, 0xff);
    s.frontBackground = picture("JPEG", "jpeg", {640, 400}, Qt::darkCyan);
    s.backBackground = picture("PNG", "png", {320, 200}, Qt::yellow);
    s.logo = picture("BMP", "bmp", {64, 48}, Qt::red);
    s.icon = true;
    s.bleed = true;
    s.front = false;
    s.back = true;
    s.sheet = lumo::SheetKind::Letter;
    s.qrLevel = qrLevelQ;
    return s;
}

using Entries = std::vector<std::pair<QString, QByteArray>>;

// An archive of the given entries in their order, built with libzip.
QByteArray zipOf(const Entries& entries) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* target = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_t* zip = zip_open_from_source(target, ZIP_TRUNCATE, &error);
    zip_source_keep(target);
    for (const auto& [name, bytes] : entries)
        zip_file_add(zip, name.toUtf8().constData(),
                     zip_source_buffer(zip, bytes.constData(), zip_uint64_t(bytes.size()), 0), 0);
    zip_close(zip);
    zip_stat_t stat;
    zip_source_stat(target, &stat);
    QByteArray out(qsizetype(stat.size), Qt::Uninitialized);
    zip_source_open(target);
    zip_source_read(target, out.data(), stat.size);
    zip_source_close(target);
    zip_source_free(target);
    return out;
}

// The entries of an archive in their order.
Entries unzip(const QByteArray& archive) {
    zip_source_t* source =
        zip_source_buffer_create(archive.constData(), zip_uint64_t(archive.size()), 0, nullptr);
    zip_t* zip = zip_open_from_source(source, ZIP_RDONLY, nullptr);
    Entries entries;
    for (zip_int64_t i = 0; i < zip_get_num_entries(zip, 0); ++i) {
        zip_stat_t stat;
        zip_stat_index(zip, zip_uint64_t(i), 0, &stat);
        QByteArray bytes(qsizetype(stat.size), Qt::Uninitialized);
        zip_file_t* file = zip_fopen_index(zip, zip_uint64_t(i), 0);
        zip_fread(file, bytes.data(), stat.size);
        zip_fclose(file);
        entries.push_back({QString::fromUtf8(stat.name), bytes});
    }
    zip_discard(zip);
    return entries;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

TEST(Document, EveryValueAndPictureBytesComeBack) {
    const CardState full = fullCard();
    for (const CardState& state : {CardState(), full}) {
        const QByteArray bytes = lumo::cardDocumentBytes(state);
        const CardState back = lumo::readCardDocument(bytes, "c.lumocard");
        EXPECT_TRUE(back == state);
        EXPECT_EQ(back.memo, state.memo);
        EXPECT_EQ(back.contact.bairro, state.contact.bairro);
    }

    const QByteArray bytes = lumo::cardDocumentBytes(full);
    // The type at a fixed place: the first entry's name at 30, its stored content at 38.
    EXPECT_EQ(bytes.mid(30, 8), "mimetype");
    EXPECT_EQ(bytes.mid(38, 22), "application/x-lumocard");
    // Python's own ZIP reader agrees on the entries, their order and methods, and checksums.
    QTemporaryDir dir;
    writeAll(dir.filePath("c.lumocard"), bytes);
    QProcess python;
    python.start("python3", {"-c",
                             "import sys, zipfile\n"
                             "z = zipfile.ZipFile(sys.argv[1])\n"
                             "assert z.testzip() is None\n"
                             "print(' '.join(f'{i.filename}:{i.compress_type}' for i in z.infolist()))",
                             dir.filePath("c.lumocard")});
    ASSERT_TRUE(python.waitForFinished());
    EXPECT_EQ(python.readAllStandardOutput().trimmed(),
              "mimetype:0 card.json:8 contacts.json:8 pictures/frontBackground.jpeg:0 "
              "pictures/backBackground.png:0 pictures/logo.bmp:8");
    const Entries entries = unzip(bytes);
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_EQ(entries[3].second, full.frontBackground.bytes);
    EXPECT_EQ(entries[5].second, full.logo.bytes);
    // Compact, the list apart, its empty boxes left out.
    EXPECT_FALSE(entries[1].second.contains('\n'));
    EXPECT_EQ(QJsonDocument::fromJson(entries[2].second).array()[1].toObject(),
              QJsonObject({{"email", "b@x.br"}}));
    const QJsonObject json = QJsonDocument::fromJson(entries[1].second).object();
    EXPECT_EQ(json["contacts"].toString(), "contacts.json");
    EXPECT_EQ(json["format"].toInt(), 1);
    EXPECT_EQ(json["contact"].toObject()["cep"].toString(), "01000-000");
    EXPECT_EQ(json["frontColor"].toString(), "#123456");
    EXPECT_EQ(json["logo"].toString(), "pictures/logo.bmp");
    EXPECT_EQ(json["sheet"].toString(), "carta");
    EXPECT_EQ(json["qrLevel"].toString(), "Q");
    const qint64 pictures =
        full.frontBackground.bytes.size() + full.backBackground.bytes.size() + full.logo.bytes.size();
    EXPECT_LT(bytes.size() - pictures, 8 * 1024);

    // A document of the earlier writer: indented, the list inside card.json.
    Entries legacy = entries;
    QJsonObject inside = json;
    inside["contacts"] = QJsonDocument::fromJson(entries[2].second).array();
    legacy[1].second = QJsonDocument(inside).toJson(QJsonDocument::Indented);
    legacy.erase(legacy.begin() + 2);
    EXPECT_TRUE(lumo::readCardDocument(zipOf(legacy), "antigo.lumocard") == full);

    // A picture that came from no file is kept as PNG, pixel for pixel.
    CardState drawn;
    drawn.logo.image = full.backBackground.image;
    EXPECT_EQ(lumo::readCardDocument(lumo::cardDocumentBytes(drawn), "d").logo.image, drawn.logo.image);
}

TEST(Document, BadDocumentsAreRefusedWithTheirReason) {
    const CardState card = fullCard();
    CardState withLogo;
    withLogo.logo = card.logo;
    const Entries good = unzip(lumo::cardDocumentBytes(withLogo)); // mimetype, card.json, logo
    const auto withJson = [&](const char* key, const QJsonValue& value) {
        Entries e = good;
        QJsonObject json = QJsonDocument::fromJson(e[1].second).object();
        if (value.isUndefined())
            json.remove(key);
        else
            json[key] = value;
        e[1].second = QJsonDocument(json).toJson();
        return zipOf(e);
    };
    const auto withEntry = [&](int index, const QString& name, const QByteArray& bytes) {
        Entries e = good;
        if (name.isEmpty())
            e.erase(e.begin() + index);
        else
            e[index] = {name, bytes};
        return zipOf(e);
    };
    // The list in an entry of its own, as the writer keeps it.
    const auto withList = [&](const char* name, const QByteArray& list) {
        Entries e = good;
        QJsonObject json = QJsonDocument::fromJson(e[1].second).object();
        json["contacts"] = QLatin1String(name);
        e[1].second = QJsonDocument(json).toJson();
        e.push_back({"contacts.json", list});
        return zipOf(e);
    };
    QByteArray emptyContacts = "[";
    for (qsizetype i = 0; i <= lumo::kMaxCardContacts; ++i)
        emptyContacts += i ? ",{}" : "{}";
    emptyContacts += ']';
    QJsonObject longName;
    longName["nome"] = QString(lumo::kMaxBoxChars + 1, u'N');
    const QByteArray valid = lumo::cardDocumentBytes(card);
    QByteArray flipped = valid;
    flipped[valid.indexOf(card.frontBackground.bytes) + 100] ^= 0x20;
    QJsonObject contactWithNumber;
    contactWithNumber["nome"] = 5;

    const struct {
        const char* label;
        QByteArray bytes;
        const char* reason;
    } cases[] = {
        {"empty", {}, "não é um cartão do Lumo Card"},
        {"text", "nome;telefone\n", "não é um cartão do Lumo Card"},
        {"truncated", valid.left(valid.size() / 2), "danificado ou incompleto"},
        {"checksum", flipped, "pictures/frontBackground.jpeg\" está danificado"},
        {"no mimetype", withEntry(0, {}, {}), "não é um cartão do Lumo Card"},
        {"other mimetype", withEntry(0, "mimetype", "application/zip"), "não é um cartão do Lumo Card"},
        {"no card.json", withEntry(1, {}, {}), "falta a descrição do cartão (card.json)"},
        {"invalid JSON", withEntry(1, "card.json", "{\"format\": 1,"), "não é um JSON válido"},
        {"not an object", withEntry(1, "card.json", "[1]"), "não é um objeto JSON"},
        {"huge card.json",
         withEntry(1, "card.json",
                   QByteArray(lumo::kMaxCardJsonBytes + lumo::kMaxContactsJsonBytes + 1, ' ')),
         "\"card.json\" é grande demais"},
        {"box too long", withJson("contact", longName), "\"contact.nome\" é longo demais (4097 caracteres"},
        {"memo too long", withJson("memo", QString(lumo::kMaxLongTextChars + 1, u'm')),
         "\"memo\" é longo demais"},
        {"QR text too long", withJson("qrText", QString(lumo::kMaxLongTextChars + 1, u'q')),
         "\"qrText\" é longo demais"},
        {"listed box too long", withJson("contacts", QJsonArray{QJsonObject{}, longName}),
         "\"contacts[1].nome\" é longo demais"},
        {"untick past the list", withJson("unticked", QJsonArray{0}), "\"unticked\""},
        {"too many contacts inside",
         withEntry(1, "card.json", "{\"format\":1,\"contacts\":" + emptyContacts + "}"),
         "a lista de contatos tem mais de 100000 contatos"},
        {"too many contacts apart", withList("contacts.json", emptyContacts),
         "a lista de contatos tem mais de 100000 contatos"},
        {"list entry missing", withList("contacts-7.json", "[]"),
         "falta a lista de contatos \"contacts-7.json\""},
        {"list entry outside", withList("../contacts.json", "[]"), "não é permitida"},
        {"list entry not a list", withList("contacts.json", "{}"), "\"contacts\" deveria ser uma lista"},
        {"list entry invalid", withList("contacts.json", "[{"),
         "a lista de contatos \"contacts.json\" não é um JSON"},
        {"no format", withJson("format", QJsonValue::Undefined), "não diz a versão do formato"},
        {"newer format", withJson("format", 2), "criado por uma versão mais nova do Lumo Card (formato 2;"},
        {"format as text", withJson("format", "1"), "\"format\" deveria ser um número inteiro de 1 a 1"},
        {"glyph out of range", withJson("generateGlyph", 2),
         "\"generateGlyph\" deveria ser um número inteiro de -1 a 1"},
        {"glyph not whole", withJson("generateGlyph", 0.5),
         "\"generateGlyph\" deveria ser um número inteiro"},
        {"memo a number", withJson("memo", 7), "\"memo\" deveria ser um texto"},
        {"contact a list", withJson("contact", QJsonValue(QJsonArray{})),
         "\"contact\" deveria ser um objeto"},
        {"contact value a number", withJson("contact", contactWithNumber),
         "\"contact.nome\" deveria ser um texto"},
        {"contact list not a list", withJson("contacts", QJsonValue(QJsonObject{})),
         "\"contacts\" deveria ser uma lista"},
        {"contact in the list a number", withJson("contacts", QJsonArray{1, 2}),
         "\"contacts[0]\" deveria ser um objeto"},
        {"flag a text", withJson("bleed", "sim"), "\"bleed\" deveria ser true ou false"},
        {"sheet unknown", withJson("sheet", "A3"), "\"sheet\" deveria ser \"cartao\", \"a4\" ou \"carta\""},
        {"level a number", withJson("qrLevel", 1), "\"qrLevel\" deveria ser \"L\", \"M\", \"Q\" ou \"H\""},
        {"colour name", withJson("frontColor", "red"), "\"frontColor\" não é uma cor conhecida (\"red\")"},
        {"colour digit", withJson("textColor", "#12345g"), "\"textColor\" não é uma cor conhecida"},
        {"picture a number", withJson("logo", 3), "\"logo\" deveria ser o nome de uma imagem"},
        {"picture missing", withEntry(2, {}, {}), "falta a imagem \"pictures/logo.bmp\""},
        {"picture not decoding", withEntry(2, "pictures/logo.bmp", "BM not really"),
         "a imagem \"pictures/logo.bmp\" não pôde ser lida: "},
        {"picture climbing out", withJson("logo", "pictures/../card.json"), "não é permitido"},
        {"picture at the root", withJson("logo", "/etc/passwd"), "não é permitido"},
        {"picture beside", withJson("logo", "../logo.png"), "não é permitido"},
        {"picture type", withJson("logo", "pictures/logo.gif"), "não é JPEG, PNG nem BMP"},
    };
    for (const auto& c : cases) {
        try {
            lumo::readCardDocument(c.bytes, "cartão.lumocard");
            ADD_FAILURE() << c.label << ": accepted";
        } catch (const lumo::UserError& e) {
            const QString message = QString::fromUtf8(e.what());
            EXPECT_TRUE(message.startsWith("Não foi possível abrir o cartão \"cartão.lumocard\": ") &&
                        message.contains(QString::fromUtf8(c.reason)))
                << c.label << ": " << e.what();
        }
    }
    // Unknown keys are a newer minor version's: ignored.
    EXPECT_TRUE(lumo::readCardDocument(withJson("novidade", QJsonArray{1, 2}), "x").logo.bytes ==
                card.logo.bytes);
}

TEST(Document, FilesAreSavedWholeOrNotAtAll) {
    QTemporaryDir dir;
    const QString path = dir.filePath("cartão.lumocard");
    const CardState card = fullCard();
    lumo::saveCardDocument(path, CardState());
    lumo::saveCardDocument(path, card);
    EXPECT_TRUE(lumo::openCardDocument(path) == card);

    writeAll(dir.filePath("arquivo"), "x");
    QDir(dir.path()).mkdir("pasta");
    const QByteArray old = readAll(path);
    // Writes past 256 bytes fail as on a full disk, whoever runs the test; a small card
    // fails only when Qt's buffer is flushed.
    const auto fullDisk = [&](const CardState& state) {
        rlimit previous;
        getrlimit(RLIMIT_FSIZE, &previous);
        const rlimit limit{256, previous.rlim_max};
        const auto handler = std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &limit);
        const auto restore = qScopeGuard([&] {
            setrlimit(RLIMIT_FSIZE, &previous);
            std::signal(SIGXFSZ, handler);
        });
        lumo::saveCardDocument(path, state);
    };
    const struct {
        const char* label;
        QString path;
        std::function<void()> save;
    } cases[] = {
        {"a folder", dir.filePath("pasta"), {}},
        {"under a file", dir.filePath("arquivo/c.lumocard"), {}},
        {"a system folder", "/proc/c.lumocard", {}},
        {"a full disk", path, [&] { fullDisk(card); }},
        {"a full disk, small card", path, [&] { fullDisk(CardState()); }},
    };
    for (const auto& c : cases) {
        try {
            c.save ? c.save() : lumo::saveCardDocument(c.path, card);
            ADD_FAILURE() << c.label << ": saved";
        } catch (const lumo::UserError& e) {
            EXPECT_TRUE(QString::fromUtf8(e.what()).startsWith("Não foi possível gravar o arquivo \"" +
                                                               QDir::toNativeSeparators(c.path) + "\": "))
                << c.label << ": " << e.what();
        }
    }
    EXPECT_EQ(readAll(path), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
              QStringList({"arquivo", "cartão.lumocard", "pasta"}));
}

TEST(Document, OpenReadsOnlyRegularFilesOfSaneSize) {
    QTemporaryDir dir;
    QFile huge(dir.filePath("grande.lumocard"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly) && huge.resize(lumo::kMaxCardDocumentBytes + 1));
    huge.close();
    // A large file that is no archive is told by its end, not read whole.
    QFile big(dir.filePath("filme.lumocard"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(512 * 1024 * 1024));
    big.close();
    const auto bytesRead = [] {
        QFile io("/proc/self/io");
        const QByteArray text = io.open(QIODevice::ReadOnly) ? io.readAll() : QByteArray();
        const qsizetype at = text.indexOf("rchar: ");
        return at < 0 ? -1 : text.mid(at + 7, text.indexOf('\n', at) - at - 7).toLongLong();
    };
    const qint64 before = bytesRead();
    try {
        lumo::openCardDocument(big.fileName());
        ADD_FAILURE() << "a film opened";
    } catch (const lumo::UserError& e) {
        EXPECT_TRUE(QString::fromUtf8(e.what()).contains("não é um cartão do Lumo Card")) << e.what();
    }
    EXPECT_LT(bytesRead() - before, 16 * 1024 * 1024);
    const std::pair<QString, const char*> cases[] = {
        {dir.filePath("nenhum.lumocard"), "o arquivo não existe"},
        {dir.path(), "o caminho é uma pasta"},
        {"/dev/zero", "não é um arquivo comum"},
        {huge.fileName(), "o arquivo é grande demais"},
    };
    for (const auto& [path, reason] : cases) {
        try {
            lumo::openCardDocument(path);
            ADD_FAILURE() << reason;
        } catch (const lumo::UserError& e) {
            EXPECT_TRUE(QString::fromUtf8(e.what()).contains(QString::fromUtf8(reason))) << e.what();
        }
    }
}

namespace {

// What the recovery copy holds now.
CardState recovered(const lumo::RecoveryWriter& writer, QString* documentPath = nullptr) {
    QJsonObject json;
    const CardState state = lumo::readCardFolder(writer.folder(), &json);
    if (documentPath)
        *documentPath = json["documentPath"].toString();
    return state;
}

QStringList pendingPaths(const QString& root, const QString& legacy = {}) {
    QStringList paths;
    for (const lumo::PendingRecovery& pending : lumo::findPendingRecoveries(root, legacy).cards)
        paths << pending.path;
    return paths;
}

} // namespace

TEST(Recovery, ChangesAreWrittenAndOnlyTheirOwnCopyIsRemoved) {
    QTemporaryDir dir;
    const QString root = dir.filePath("sub/recuperacao");
    lumo::CardModel model;
    QString ended;
    {
        lumo::RecoveryWriter writer(&model, root);
        QSignalSpy written(&writer, &lumo::RecoveryWriter::written);
        model.SetField(lumo::ContactField::Nome, "Ana");
        ASSERT_TRUE(written.wait(5000));
        EXPECT_TRUE(recovered(writer) == model.State());
        // The window is running: its copy is no one else's to offer.
        EXPECT_TRUE(pendingPaths(root).isEmpty());

        // A change while a write is under way is written after it.
        writer.setDelay(std::chrono::milliseconds(0));
        model.SetState(fullCard());
        writer.writeNow();
        model.SetMemo("depois");
        while (written.count() < 3)
            ASSERT_TRUE(written.wait(5000));
        EXPECT_TRUE(recovered(writer) == model.State());
        ended = writer.folder();
        // The writer goes away with no quit chosen: the copy stays.
        model.SetMemo("por fim");
    }
    EXPECT_EQ(pendingPaths(root), QStringList{ended});

    // Two windows: each writes its own copy, and a quit removes only its own.
    lumo::CardModel other;
    lumo::RecoveryWriter first(&model, root), second(&other, root);
    QSignalSpy secondWritten(&second, &lumo::RecoveryWriter::written);
    EXPECT_NE(first.folder(), second.folder());
    other.SetMemo("outra janela");
    ASSERT_TRUE(secondWritten.wait(5000));
    first.discard();
    model.SetMemo("nada mais");
    first.writeNow();
    EXPECT_FALSE(QFileInfo::exists(first.folder()));
    EXPECT_EQ(recovered(second).memo, "outra janela");
    EXPECT_EQ(pendingPaths(root), QStringList{ended});
    lumo::removeRecovery(lumo::findPendingRecoveries(root).cards.at(0));
    EXPECT_FALSE(QFileInfo::exists(ended));
    EXPECT_TRUE(lumo::RecoveryWriter::defaultRoot().endsWith("/recuperacao"));
}

TEST(Recovery, CopiesOfEndedWindowsAreOfferedAndUnreadableOnesKept) {
    QTemporaryDir dir;
    const QString root = dir.filePath("recuperacao");
    const QString legacy = dir.filePath("recuperacao.lumocard");
    lumo::CardModel model;
    QString killed, damaged;
    for (QString* folder : {&killed, &damaged}) {
        lumo::RecoveryWriter writer(&model, root);
        writer.setDelay(std::chrono::milliseconds(0));
        QSignalSpy written(&writer, &lumo::RecoveryWriter::written);
        model.SetMemo(folder == &killed ? "morto" : "danificado");
        ASSERT_TRUE(written.wait(5000));
        *folder = writer.folder();
    }
    // A window killed with its lock still on disk, naming a process that is gone.
    QProcess gone;
    gone.start("true");
    ASSERT_TRUE(gone.waitForStarted());
    const qint64 deadPid = gone.processId();
    ASSERT_TRUE(gone.waitForFinished());
    writeAll(killed + ".lock",
             QByteArray::number(deadPid) + "\nlumocard\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    writeAll(damaged + "/card.json", "{\"format\": 1, \"memo\": 5}");
    // A first write cut short: a picture and no card.json, kept all the same; an empty folder goes.
    QDir(root).mkpath("20200101-000000000-1/pictures");
    writeAll(root + "/20200101-000000000-1/pictures/logo-1.png", "png");
    QDir(root).mkpath("20200101-000000000-2");
    writeAll(legacy, lumo::cardDocumentBytes(fullCard()));

    lumo::RecoveryScan scan = lumo::findPendingRecoveries(root, legacy);
    ASSERT_EQ(scan.cards.size(), 2u);
    QStringList paths{scan.cards[0].path, scan.cards[1].path};
    paths.sort();
    QStringList expected{killed, legacy};
    expected.sort();
    EXPECT_EQ(paths, expected);
    EXPECT_TRUE(std::any_of(scan.cards.begin(), scan.cards.end(),
                            [](const auto& c) { return c.card == fullCard(); }));
    // Offered to one start at a time.
    EXPECT_TRUE(lumo::findPendingRecoveries(root, legacy).cards.empty());
    ASSERT_EQ(scan.problems.size(), 2);
    scan.problems.sort(); // the cut write's folder comes first
    EXPECT_TRUE(scan.problems[0].contains("20200101-000000000-1.ilegivel") &&
                scan.problems[0].contains("falta a descrição do cartão (card.json)"))
        << scan.problems[0].toStdString();
    EXPECT_TRUE(scan.problems[1].contains(QDir::toNativeSeparators(damaged + ".ilegivel")) &&
                scan.problems[1].contains("\"memo\" deveria ser um texto"))
        << scan.problems[1].toStdString();
    EXPECT_TRUE(QFileInfo::exists(damaged + ".ilegivel/card.json"));
    EXPECT_TRUE(QFileInfo::exists(root + "/20200101-000000000-1.ilegivel/pictures/logo-1.png"));
    EXPECT_FALSE(QFileInfo::exists(root + "/20200101-000000000-2"));
    scan = {};

    // Kept aside, it is not asked about again; an old version's unreadable file is kept too.
    writeAll(legacy, "não é um cartão");
    scan = lumo::findPendingRecoveries(root, legacy);
    EXPECT_EQ(scan.cards.size(), 1u);
    ASSERT_EQ(scan.problems.size(), 1);
    EXPECT_TRUE(scan.problems[0].contains("recuperacao.ilegivel.lumocard")) << scan.problems[0].toStdString();
    EXPECT_EQ(readAll(dir.filePath("recuperacao.ilegivel.lumocard")), "não é um cartão");
}

TEST(Recovery, ACleanCardHasNoCopyAndARestoredOneKeepsItsDocument) {
    QTemporaryDir dir;
    const QString root = dir.filePath("recuperacao");
    lumo::CardModel model;
    CardState card = fullCard();
    lumo::RecoveryWriter writer(&model, root);
    writer.setDelay(std::chrono::milliseconds(0));
    QSignalSpy written(&writer, &lumo::RecoveryWriter::written);
    model.SetState(card);
    ASSERT_TRUE(written.wait(5000));
    const QStringList pictures = QDir(writer.folder() + "/pictures").entryList(QDir::Files);
    ASSERT_EQ(pictures.size(), 3);
    const QStringList lists = QDir(writer.folder()).entryList({"contacts-*.json"});
    ASSERT_EQ(lists.size(), 1);
    const QFileInfo photo(writer.folder() + "/pictures/" + pictures[0]);
    const auto inode = photo.birthTime();
    // A change of a text rewrites card.json alone: the pictures and the list keep their files.
    model.SetMemo("outra coisa");
    ASSERT_TRUE(written.wait(5000));
    EXPECT_EQ(QDir(writer.folder() + "/pictures").entryList(QDir::Files), pictures);
    EXPECT_EQ(QDir(writer.folder()).entryList({"contacts-*.json"}), lists);
    EXPECT_EQ(QFileInfo(photo.filePath()).birthTime(), inode);
    // So does a tick of the list.
    model.SetTicked(0, false);
    ASSERT_TRUE(written.wait(5000));
    EXPECT_EQ(QDir(writer.folder()).entryList({"contacts-*.json"}), lists);
    EXPECT_EQ(recovered(writer).ticked, (std::vector<bool>{false, false}));
    model.SetLogo({});
    model.SetContacts({});
    writer.flush();                    // the write under way, then the change after it
    QCoreApplication::processEvents(); // the end of the write under way
    EXPECT_EQ(QDir(writer.folder() + "/pictures").entryList(QDir::Files).size(), 2);
    EXPECT_TRUE(QDir(writer.folder()).entryList({"contacts-*.json"}).isEmpty());
    EXPECT_TRUE(recovered(writer) == model.State());

    // Saved (or opened unchanged): nothing to recover until the next change.
    writer.setDocumentPath(dir.filePath("cartão.lumocard"));
    writer.markClean();
    writer.flush();
    EXPECT_FALSE(QFileInfo::exists(writer.folder()));
    model.SetMemo("editado");
    ASSERT_TRUE(written.wait(5000));
    QString documentPath;
    EXPECT_EQ(recovered(writer, &documentPath).memo, "editado");
    EXPECT_EQ(documentPath, dir.filePath("cartão.lumocard"));

    // A window that restores it takes it over: the old copy goes after the new one is written.
    lumo::PendingRecovery old{writer.folder(), model.State(), documentPath, nullptr};
    lumo::CardModel restored;
    lumo::RecoveryWriter next(&restored, root);
    QSignalSpy nextWritten(&next, &lumo::RecoveryWriter::written);
    restored.SetState(old.card);
    next.setDocumentPath(old.documentPath);
    next.takeOver(old);
    next.writeNow();
    ASSERT_TRUE(nextWritten.wait(5000));
    EXPECT_FALSE(QFileInfo::exists(old.path));
    EXPECT_EQ(recovered(next, &documentPath).memo, "editado");
    EXPECT_EQ(documentPath, dir.filePath("cartão.lumocard"));
}

TEST(Recovery, SteadyTypingDoesNotPostponeTheWrite) {
    QTemporaryDir dir;
    lumo::CardModel model;
    lumo::RecoveryWriter writer(&model, dir.filePath("recuperacao"));
    qint64 now = 0;
    writer.setClock([&now] { return now; });
    std::vector<qint64> starts;
    QObject::connect(&writer, &lumo::RecoveryWriter::writeStarted, [&] { starts.push_back(now); });
    QSignalSpy written(&writer, &lumo::RecoveryWriter::written);
    // A change every half second for ten seconds, the writes given time to end between them.
    for (int i = 0; i <= 20; ++i, now += 500) {
        model.SetMemo(QString::number(i));
        if (qsizetype(starts.size()) > written.count()) {
            ASSERT_TRUE(written.wait(5000));
        }
    }
    ASSERT_FALSE(starts.empty());
    EXPECT_LE(starts.front(), 2000);
    for (std::size_t i = 1; i < starts.size(); ++i)
        EXPECT_LE(starts[i] - starts[i - 1], 2000) << i;
    EXPECT_GE(starts.back(), 10000 - 2000);
}

TEST(Recovery, AFailedWriteIsSaidOnceUntilOneSucceeds) {
    QTemporaryDir dir;
    writeAll(dir.filePath("arquivo"), "x");
    lumo::CardModel model;
    lumo::RecoveryWriter writer(&model, dir.filePath("arquivo/recuperacao"));
    writer.setDelay(std::chrono::milliseconds(0));
    QSignalSpy failed(&writer, &lumo::RecoveryWriter::writeFailed);
    QSignalSpy written(&writer, &lumo::RecoveryWriter::written);
    model.SetMemo("um");
    ASSERT_TRUE(failed.wait(5000));
    model.SetMemo("dois");
    writer.flush();
    QCoreApplication::processEvents();
    EXPECT_EQ(failed.count(), 1);
    EXPECT_TRUE(failed[0][0].toString().contains("não pôde ser criada"))
        << failed[0][0].toString().toStdString();
    EXPECT_EQ(written.count(), 0);
}
