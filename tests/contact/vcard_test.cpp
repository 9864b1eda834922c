#include "contact/vcard.h"
#include "platform/errors.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

using lumo::ContactFields;

namespace {

QString crlf(QStringList lines) {
    return lines.join(QStringLiteral("\r\n"));
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

TEST(VCard, EmptyFieldsGiveFiveLines) {
    EXPECT_EQ(lumo::composeVCard({}), crlf({"BEGIN:VCARD", "VERSION:3.0", "FN: ", "N:;;;;", "END:VCARD"}));
    EXPECT_EQ(lumo::composeVCard({}).toUtf8().size(), 49);
}

TEST(VCard, AddressBlockFollowsAnyAddressBox) {
    struct Case {
        const char* what;
        ContactFields fields;
        const char* adr;
    };
    ContactFields numberOnly;
    numberOnly.numero = "12";
    ContactFields districtOnly;
    districtOnly.bairro = "Centro";
    ContactFields cepOnly;
    cepOnly.cep = "01000-000";
    ContactFields full;
    full.rua = "Rua A";
    full.numero = "7";
    full.bairro = "Lapa";
    full.cidade = "São Paulo";
    full.estado = "SP";
    full.cep = "05000-000";
    const Case cases[] = {
        {"number only", numberOnly, "ADR;TYPE=HOME:;;, 12;;;;Brasil"},
        {"district only", districtOnly, "ADR;TYPE=HOME:;; - Centro;;;;Brasil"},
        {"postal code only", cepOnly, "ADR;TYPE=HOME:;;;;;01000-000;Brasil"},
        {"full address", full, "ADR;TYPE=HOME:;;Rua A, 7 - Lapa;São Paulo;SP;05000-000;Brasil"},
    };
    for (const Case& c : cases) {
        const QString v = lumo::composeVCard(c.fields);
        EXPECT_EQ(v, crlf({"BEGIN:VCARD", "VERSION:3.0", "FN: ", "N:;;;;", "LABEL;TYPE=HOME:Endereço",
                           QString::fromUtf8(c.adr), "END:VCARD"}))
            << c.what;
    }
}

TEST(VCard, ContactLinesInOrderAsTyped) {
    ContactFields f;
    f.nome = "Ana";
    f.sobrenome = "Souza";
    f.sufixo = "Designer";
    f.fixo = "(11) 3333-4444";
    f.celular = "+55 11 99999-8888";
    f.site = "https://exemplo.com.br/a;b,c";
    f.email = "ana@exemplo.com.br";
    EXPECT_EQ(lumo::composeVCard(f),
              crlf({"BEGIN:VCARD", "VERSION:3.0", "FN:Ana Souza", "N:Souza;Ana;;;Designer",
                    "TEL;TYPE=HOME,VOICE:(11) 3333-4444", "TEL;TYPE=CELL:+55 11 99999-8888",
                    "URL:https://exemplo.com.br/a;b,c", "EMAIL;type=HOME,INTERNET:ana@exemplo.com.br",
                    "END:VCARD"}));
}

TEST(VCard, TypedSeparatorsAreEscapedInNameAndAddress) {
    ContactFields f;
    f.nome = "Ana;Maria";
    f.sobrenome = "Souza, Filha";
    f.sufixo = "C:\\dir";
    f.rua = "Rua 1; bloco B";
    f.numero = "10,5";
    f.cidade = "Rio;de";
    EXPECT_EQ(lumo::escapeVCardText("a\\b;c,d"), "a\\\\b\\;c\\,d");
    const QString v = lumo::composeVCard(f);
    EXPECT_TRUE(v.contains("\r\nFN:Ana\\;Maria Souza\\, Filha\r\n"));
    EXPECT_TRUE(v.contains("\r\nN:Souza\\, Filha;Ana\\;Maria;;;C:\\\\dir\r\n"));
    EXPECT_TRUE(v.contains("\r\nADR;TYPE=HOME:;;Rua 1\\; bloco B, 10\\,5;Rio\\;de;;;Brasil\r\n"));
}

// A line edit keeps the line breaks of pasted text; none may split a vCard line.
TEST(VCard, PastedLineBreaksStayInsideTheirLine) {
    ContactFields f;
    f.nome = "Ana\r\nMaria";
    f.sufixo = "a\rb";
    f.celular = "(11)\n98765-4321";
    f.site = "www.exemplo\r\n.com.br";
    f.email = "ana@\rexemplo.com";
    f.rua = "Rua A\nApto 3";
    f.cep = "\n";
    EXPECT_EQ(lumo::escapeVCardText("x\r\ny\rz\n"), "x\\ny\\nz\\n");
    EXPECT_EQ(lumo::composeVCard(f),
              crlf({"BEGIN:VCARD", "VERSION:3.0", "FN:Ana\\nMaria ", "N:;Ana\\nMaria;;;a\\nb",
                    "TEL;TYPE=CELL:(11)98765-4321", "URL:www.exemplo.com.br",
                    "EMAIL;type=HOME,INTERNET:ana@exemplo.com", "LABEL;TYPE=HOME:Endereço",
                    "ADR;TYPE=HOME:;;Rua A\\nApto 3;;;\\n;Brasil", "END:VCARD"}));
}

TEST(VcfFile, LinesEndInCrLfAndTextIsUtf8WithoutBom) {
    struct Case {
        QString text;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"", ""},
        {"END:VCARD", "END:VCARD\r\n"},
        {"A\r\nB", "A\r\nB\r\n"},
        {"A\nB\rC", "A\r\nB\r\nC\r\n"},
        {"A\r\n", "A\r\n"},
        {"A\r\n\r\nB", "A\r\n\r\nB\r\n"},
        {QString::fromUtf8("Endereço"), "Endere\xC3\xA7o\r\n"},
        {QString(QChar(0xD800)) + "x", "\xEF\xBF\xBDx\r\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(lumo::vcfFileBytes(c.text), c.bytes) << c.text.toStdString();
    const QString generated = lumo::composeVCard({});
    EXPECT_EQ(lumo::vcfFileBytes(generated), generated.toUtf8() + "\r\n");
}

TEST(VcfFile, FailedWriteLeavesExistingFileIntact) {
    QTemporaryDir dir;
    const QString path = dir.filePath("cartao.vcf");
    lumo::writeVcfFile(path, "old");
    EXPECT_EQ(readAll(path), "old\r\n");
    lumo::writeVcfFile(path, "new");
    EXPECT_EQ(readAll(path), "new\r\n");

    // A path below a regular file, and a folder, cannot be written, even by root.
    EXPECT_THROW(lumo::writeVcfFile(path + "/x.vcf", "x"), lumo::UserError);
    EXPECT_THROW(lumo::writeVcfFile(dir.path(), "x"), lumo::UserError);
    EXPECT_EQ(readAll(path), "new\r\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"cartao.vcf"});
}

TEST(VcfFile, VCardReaderGetsEveryTypedValueBack) {
    if (!QFile::exists("/usr/bin/python3"))
        GTEST_SKIP() << "no Debian Python";
    ContactFields f;
    f.nome = "José;Antônio";
    f.sobrenome = "D'Ávila, Jr";
    f.sufixo = "Eng. \\ Civil";
    f.fixo = "(21) 2222-1111";
    f.celular = "(21) 98888-7777";
    f.site = "www.exemplo.com.br";
    f.email = "jose@exemplo.com.br";
    f.rua = "Av. Brasil; sala 3";
    f.numero = "1.500";
    f.bairro = "Centro, Norte";
    f.cidade = "Niterói";
    f.estado = "RJ";
    f.cep = "24000-000";
    QTemporaryDir dir;
    const QString path = dir.filePath("c.vcf");
    lumo::writeVcfFile(path, lumo::composeVCard(f));

    QProcess python;
    python.start("/usr/bin/python3", {QStringLiteral(LUMO_TEST_DIR) + "/read_vcard.py", path});
    ASSERT_TRUE(python.waitForFinished(30000));
    if (python.exitCode() != 0 && python.readAllStandardError().contains("No module named 'vobject'"))
        GTEST_SKIP() << "python3-vobject missing";
    ASSERT_EQ(python.exitCode(), 0);
    const QJsonObject card = QJsonDocument::fromJson(python.readAllStandardOutput()).object();
    EXPECT_EQ(card["fn"].toString(), "José;Antônio D'Ávila, Jr");
    EXPECT_EQ(card["n"]["family"].toString(), f.sobrenome);
    EXPECT_EQ(card["n"]["given"].toString(), f.nome);
    EXPECT_EQ(card["n"]["suffix"].toString(), f.sufixo);
    EXPECT_EQ(card["tel"].toArray(), QJsonArray({f.fixo, f.celular}));
    EXPECT_EQ(card["url"].toArray(), QJsonArray({f.site}));
    EXPECT_EQ(card["email"].toArray(), QJsonArray({f.email}));
    EXPECT_EQ(card["adr"]["street"].toString(), "Av. Brasil; sala 3, 1.500 - Centro, Norte");
    EXPECT_EQ(card["adr"]["city"].toString(), f.cidade);
    EXPECT_EQ(card["adr"]["region"].toString(), f.estado);
    EXPECT_EQ(card["adr"]["code"].toString(), f.cep);
    EXPECT_EQ(card["adr"]["country"].toString(), "Brasil");
}
