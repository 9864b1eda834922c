#include "contact/contactcli.h"
#include "contact/contactimport.h"
#include "contact/csvreader.h"
#include "contact/importrules.h"
#include "contact/vcardreader.h"
#include "platform/errors.h"
#include "platform/systemerrors.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>

using lumo::ContactFields;
using lumo::ImportResult;

namespace {

// The boxes that hold something, as "nome=Ana|celular=9".
std::string described(ContactFields f) {
    static const char* names[] = {"nome", "sobrenome", "sufixo", "fixo",   "celular", "site", "email",
                                  "rua",  "numero",    "bairro", "cidade", "estado",  "cep"};
    QStringList parts;
    const std::vector<QString*> boxes = lumo::boxesOf(f);
    for (size_t i = 0; i < boxes.size(); ++i)
        if (!boxes[i]->isEmpty())
            parts << QString::fromLatin1(names[i]) + u'=' + *boxes[i];
    return parts.join(u'|').toStdString();
}

std::vector<std::string> described(const ImportResult& r) {
    std::vector<std::string> out;
    for (const ContactFields& f : r.contacts)
        out.push_back(described(f));
    return out;
}

QByteArray vcard(const QByteArray& body, const QByteArray& version = "3.0") {
    return "BEGIN:VCARD\r\nVERSION:" + version + "\r\n" + body + "\r\nEND:VCARD\r\n";
}

// The bytes read by ContactFileReader, `partBytes` at a time.
ImportResult readInParts(const QByteArray& bytes, bool vcard, qint64 partBytes,
                         const lumo::CsvOptions& csv = {}) {
    auto buffer = std::make_unique<QBuffer>();
    buffer->setData(bytes);
    buffer->open(QIODevice::ReadOnly);
    lumo::ContactFileReader reader(std::move(buffer), "f", vcard, partBytes);
    reader.setCsvOptions(csv);
    const int count = reader.count();
    ImportResult r;
    while (std::optional<ContactFields> contact = reader.next())
        r.contacts.push_back(std::move(*contact));
    EXPECT_EQ(int(r.contacts.size()), count);
    r.skippedLines = reader.skippedLines();
    r.invalidUtf8Lines = reader.stats().invalidUtf8Lines;
    return r;
}

std::string errorOf(const std::function<void()>& read) {
    try {
        read();
    } catch (const lumo::UserError& e) {
        return e.what();
    }
    return "(no error)";
}

} // namespace

TEST(ContactImport, ExportFilesGiveTheirContacts) {
    struct Case {
        const char* file;
        std::vector<std::string> contacts;
        int skipped;
        lumo::ColumnChoices columns = {};
        std::vector<int> invalidLines = {};
    };
    const Case cases[] = {
        {"phone21_cp1252.vcf",
         {"nome=João|sobrenome=Conceição|sufixo=Diretor – Vendas|fixo=+551133334444|celular=+5511987654321|"
          "email=joao@exemplo.com.br|rua=Rua das Acácias|numero=120|bairro=Vila Mariana|cidade=São Paulo|"
          "estado=SP|cep=04101-000",
          "nome=Padaria|celular=1132325555"},
         0},
        {"phone21_utf8.vcf",
         {"nome=Maria Luísa|sobrenome=Araújo|sufixo=Empresa Exemplo Ltda.|fixo=(21) 2555-1234|"
          "celular=(21) 99876-5432|email=maria.araujo@empresa.com.br|rua=Av. Rio Branco|numero=156, Centro|"
          "cidade=Rio de Janeiro|estado=RJ|cep=20040-901"},
         0},
        {"addressbook30.vcf",
         {"nome=Pedro Henrique|sobrenome=Albuquerque|sufixo=Jr.|fixo=+55 31 3222-1100|celular=+55 31 "
          "99123-4567|"
          "site=https://clinica.med.br|email=pedro@clinica.med.br|rua=Rua Grão Mogol|numero=320|bairro=Sion|"
          "cidade=Belo Horizonte|estado=MG|cep=30310-010",
          "nome=Oficina do Zé|fixo=(31) 3333-0001"},
         0},
        {"contacts40.vcf",
         {"nome=Beatriz|sobrenome=Nakamura|fixo=+55-41-3011-2233|celular=+55-41-99700-1234|"
          "site=https://bianakamura.com.br|email=bia.nakamura@exemplo.com|rua=Rua XV de Novembro|numero=700|"
          "cidade=Curitiba|estado=PR|cep=80020-310"},
         0},
        {"iphone30.vcf",
         {"nome=Luana|sobrenome=Ribeiro|fixo=+55 21 2222-3333|celular=+55 21 98765-4321|"
          "rua=Av. N. Sra. de Copacabana|numero=1000, Apto 301|cidade=Rio de Janeiro|estado=RJ|cep=22020-001",
          "nome=Padaria Pão Quente|celular=+55 19 3232-1000"},
         0},
        {"google30.vcf",
         {"nome=Rafael|sobrenome=Dias|sufixo=Engenheiro: Civil|celular=+55 48 99111-2222|"
          "site=http://www.google.com/profiles/rafael.dias|email=rafael@gmail.com|rua=Rua Felipe Schmidt 515|"
          "numero=Edifício Centro, Sala 1203|cidade=Florianópolis|estado=SC|cep=88010-001"},
         0},
        {"planilha_pt.csv",
         {"nome=Ana Maria|sobrenome=Souza|sufixo=Gerente|fixo=(11) 3456-7890|celular=(11) 99876-1234|"
          "email=ana@exemplo.com.br|rua=Rua das Flores|numero=120, Sala 3|bairro=Vila - Norte|cidade=São "
          "Paulo|"
          "estado=SP|cep=01234-000",
          "nome=Padaria Pão Quente|fixo=(19) 3232-1000|rua=Av. "
          "Brasil|numero=1500|bairro=Centro|cidade=Campinas|"
          "estado=SP",
          "nome=Bruno|sobrenome=Lima|celular=(21) 98888-7777"},
         0},
        {"planilha_colunas.csv",
         {"nome=João Pereira|celular=(31) 99999-0000|cidade=Belo Horizonte",
          "nome=Maria Clara|celular=(31) 98888-1111|cidade=Contagem"},
         0,
         {{"cliente", 0}, {"CONTATO", 4}}},
        {"bom_stray.csv",
         {"nome=João|sobrenome=Conceição|cidade=São Paulo", "nome=Maria|sobrenome=Ara\uFFFDjo|cidade=Belém"},
         0,
         {},
         {3}},
        {"google.csv",
         {"nome=Carla|sobrenome=Mendes|sufixo=Arquiteta|fixo=(11) 3888-7777|celular=+55 11 97777-6666|"
          "site=https://carlamendes.arq.br|email=carla@gmail.com|rua=Rua "
          "Augusta|numero=1500|bairro=Consolação|"
          "cidade=São Paulo|estado=SP|cep=01304-001",
          "nome=Seu Jorge|sobrenome=Encanador|fixo=(11) 4002-8922"},
         0},
        {"outlook.csv",
         {"nome=Ricardo|sobrenome=Tavares|sufixo=Gerente Comercial|fixo=(11) 3030-4040|celular=(11) "
          "98123-4567|"
          "site=www.tavares.com.br|email=ricardo@tavares.com.br|rua=Av. Paulista|numero=2000|bairro=Bela "
          "Vista|"
          "cidade=São Paulo|estado=SP|cep=01310-200",
          "nome=Fernanda Costa|sobrenome=Lima|sufixo=Neta|fixo=(71) 3344-5566|rua=Rua das "
          "Palmeiras|numero=45|"
          "bairro=Barra|cidade=Salvador|estado=BA|cep=40140-000"},
         0},
        {"planilha_cp1252.csv",
         {"nome=José|sobrenome=Araújo|fixo=(85) 3222-1111|celular=(85) "
          "98888-1111|email=jose.araujo@exemplo.com|"
          "rua=Rua Barão de Aracati|numero=1230|bairro=Aldeota|cidade=Fortaleza|estado=CE|cep=60115-081",
          "nome=Ângela|sobrenome=Conceição|celular=(85) 99999-2222|email=angela@exemplo.com|"
          "rua=Av. Santos Dumont; bloco B|bairro=Papicu|cidade=Fortaleza|estado=CE|cep=60150-160"},
         1},
    };
    for (const Case& c : cases) {
        const QString path = QStringLiteral(LUMO_TEST_DIR "/data/") + c.file;
        const lumo::CsvOptions options{c.columns, {}};
        ImportResult r;
        try {
            r = lumo::readContactsFile(path, options);
        } catch (const lumo::UserError& e) {
            ADD_FAILURE() << c.file << ": " << e.what();
        }
        EXPECT_EQ(described(r), c.contacts) << c.file;
        EXPECT_EQ(r.skippedLines, c.skipped) << c.file;
        EXPECT_EQ(r.invalidUtf8Lines, c.invalidLines) << c.file;
        // Read a part at a time, cut wherever the readers allow, the file gives the same.
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        for (qint64 partBytes : {1, 7, 100}) {
            const ImportResult parts = readInParts(bytes, path.endsWith(".vcf"), partBytes, options);
            EXPECT_EQ(described(parts), c.contacts) << c.file << " " << partBytes;
            EXPECT_EQ(parts.skippedLines, c.skipped) << c.file << " " << partBytes;
            EXPECT_EQ(parts.invalidUtf8Lines, c.invalidLines) << c.file << " " << partBytes;
        }
    }
}

TEST(VCardImport, BoxRules) {
    const QByteArray photo =
        "PHOTO;ENCODING=b;TYPE=JPEG:/9j/\r\n" + QByteArray(" QUJDRA==\r\n").repeated(20000);
    struct Case {
        const char* what;
        QByteArray file;
        const char* contact;
    };
    const Case cases[] = {
        {"full name split at its last space", vcard("FN:Ana Maria  Souza"), "nome=Ana Maria|sobrenome=Souza"},
        {"one word is the name", vcard("N:;;;;\r\nFN:Xuxa"), "nome=Xuxa"},
        {"N wins over FN; comma lists", vcard("N:Souza,Lima;Ana;Maria,Clara;;\r\nFN:x y"),
         "nome=Ana Maria Clara|sobrenome=Souza Lima"},
        {"suffix falls back to title", vcard("FN:A B\r\nORG:Clínica;Sul\r\nTITLE:Dentista"),
         "nome=A|sobrenome=B|sufixo=Dentista"},
        {"then to the organisation", vcard("FN:A B\r\nORG:Clínica\\; Ltda;Sul"),
         "nome=A|sobrenome=B|sufixo=Clínica; Ltda"},
        {"first cell, home before work before untyped",
         vcard("TEL;TYPE=WORK:1\r\nTEL:2\r\nTEL;TYPE=HOME:3\r\nTEL;TYPE=CELL:4\r\nTEL;TYPE=CELL:5"),
         "fixo=3|celular=4"},
        {"work before untyped, no cell", vcard("TEL;VOICE:1\r\nTEL;WORK:2"), "fixo=2"},
        {"a lone untyped number is the cell phone", vcard("TEL;TYPE=pref:123"), "celular=123"},
        {"beside a fax it is the landline", vcard("TEL:1\r\nTEL;TYPE=FAX:2"), "fixo=1"},
        {"parameter forms", vcard("tel;type=Voice;type=Mobile:1\r\nTEL;TYPE=\"home,voice\":2"),
         "fixo=2|celular=1"},
        {"2.1 bare types", vcard("TEL;HOME;VOICE:1\r\nTEL;CELL:2", "2.1"), "fixo=1|celular=2"},
        {"tel: URI of 4.0", vcard("TEL;VALUE=uri;TYPE=cell:tel:+55-11-9", "4.0"), "celular=+55-11-9"},
        {"a 3.0 number is as typed", vcard("TEL;TYPE=CELL:tel:9;ramal\\2"), "celular=tel:9;ramal\\2"},
        {"preferred e-mail", vcard("EMAIL:a@x\r\nEMAIL;TYPE=INTERNET,PREF:b@x\r\nEMAIL;PREF=1:c@x"),
         "email=b@x"},
        {"lowest PREF", vcard("EMAIL;PREF=3:a@x\r\nEMAIL;PREF=2:b@x", "4.0"), "email=b@x"},
        {"first URL", vcard("URL:a.com\r\nURL;TYPE=pref:b.com"), "site=a.com"},
        {"home address before the first", vcard("ADR;TYPE=WORK:;;W;;;;\r\nADR;TYPE=HOME:;;H;;;;"), "rua=H"},
        {"extended address joins the number, an exporter's escaped comma splits",
         vcard("ADR:;Sala 3;Rua A\\, 10 - Centro;Itu;SP;13300-000;Brasil"),
         "rua=Rua A|numero=10, Sala 3|bairro=Centro|cidade=Itu|estado=SP|cep=13300-000"},
        {"in our own vCard an escaped comma is the street's",
         vcard("LABEL;TYPE=HOME:Endereço\r\nADR;TYPE=HOME:;;Rua A\\, B, 10 - Vila - Norte;;;;Brasil"),
         "rua=Rua A, B|numero=10|bairro=Vila - Norte"},
        {"an escaped comma of 2.1 splits too", vcard("ADR:;;Rua A\\, 10;;;;", "2.1"), "rua=Rua A|numero=10"},
        {"our street is split back", vcard("ADR:;;Rua A, 10 - Vila Nova;;;;"),
         "rua=Rua A|numero=10|bairro=Vila Nova"},
        {"further street lines join the number, line breaks dropped in numbers",
         vcard("ADR:;Apto 4;Rua A\\, 10\\nBloco 2\\n\\nFundos;;;;\r\nTEL;CELL;ENCODING="
               "QUOTED-PRINTABLE:9=0D=0A8"),
         "celular=98|rua=Rua A|numero=10, Bloco 2, Fundos, Apto 4"},
        {"labelled phones",
         vcard("item1.TEL:1\r\nitem2.TEL;TYPE=VOICE:2\r\nitem2.X-ABLabel:Cel\r\nTEL;TYPE=HOME:3\r\n"
               "item1.X-ABLabel:Trabalho"),
         "fixo=3|celular=2"},
        {"Apple's mobile label", vcard("item1.TEL:1\r\nitem1.X-ABLabel:_$!<Mobile>!$_\r\nTEL;TYPE=home:3"),
         "fixo=3|celular=1"},
        {"a 4.0 text type", vcard("TEL;TYPE=\"WhatsApp\":2\r\nTEL;TYPE=home:3", "4.0"), "fixo=3|celular=2"},
        {"a company card", vcard("KIND:org\r\nFN:Oficina do Zé\r\nTITLE:Mecânica", "4.0"),
         "nome=Oficina do Zé|sufixo=Mecânica"},
        {"an organisation beside a person's name is the suffix", vcard("N:;;;;\r\nFN:Ana Souza\r\nORG:Acme"),
         "nome=Ana|sobrenome=Souza|sufixo=Acme"},
        {"values trimmed, any escape undone, Google's link",
         vcard("FN: Ana \\\"Souza\\\"  \r\nTITLE:  Dr\\. \r\nURL:http\\://a.com/x\\,y\r\nEMAIL: a@x "),
         "nome=Ana|sobrenome=\"Souza\"|sufixo=Dr.|site=http://a.com/x\\,y|email=a@x"},
        {"folded name, folded header, group",
         vcard(
             "N:Sou\r\n za;Ana\r\n\t Maria;;;\r\nTE\r\n L;TYPE=CE\r\n LL:9\r\nitem1.EMAIL;type=INTERNET:a@x"),
         "nome=Ana Maria|sobrenome=Souza|celular=9|email=a@x"},
        {"quoted-printable soft breaks, Latin-1",
         vcard("FN;ENCODING=QUOTED-PRINTABLE;CHARSET=ISO-8859-1:Jo=\r\n=E3o =\r\nS=E1", "2.1"),
         "nome=João|sobrenome=Sá"},
        {"a soft break never swallows END", vcard("FN:A\r\nNOTE;QUOTED-PRINTABLE:x="), "nome=A"},
        {"undeclared Windows-1252", vcard("FN:Jos\xe9 \x93Z\xe9\x94"), "nome=José|sobrenome=“Zé”"},
        {"a big photo is stepped over", vcard(photo + "TEL;CELL:9"), "celular=9"},
        {"2.1 base64 without indent",
         vcard("PHOTO;ENCODING=BASE64;TYPE=JPEG:/9j/4AAQ\r\nSkZJRgAB\r\nAQAA==\r\n\r\nTEL;CELL:9", "2.1"),
         "celular=9"},
    };
    for (const Case& c : cases) {
        try {
            const ImportResult r = lumo::readVCards(c.file, "t.vcf");
            EXPECT_EQ(described(r), std::vector<std::string>{c.contact}) << c.what;
            EXPECT_EQ(r.skippedLines, 0) << c.what;
        } catch (const lumo::UserError& e) {
            ADD_FAILURE() << c.what << ": " << e.what();
        }
    }
}

TEST(VCardImport, SeveralCardsAnyLineEndsAndStrayLines) {
    const QByteArray file =
        "\xEF\xBB\xBF\r\nBEGIN:VCARD\nVERSION:3.0\rFN:Ana\r\nsem dois pontos\r\nEND:VCARD\r\n"
        "lixo\r\n\xEF\xBB\xBF"
        "BEGIN:vcard\r\nFN:Bia\r\nEND:VCARD\r\nBEGIN:VCARD\r\nNOTE:vazio\r\nEND:VCARD";
    const ImportResult r = lumo::readVCards(file, "t.vcf");
    EXPECT_EQ(described(r), (std::vector<std::string>{"nome=Ana", "nome=Bia"}));
    EXPECT_EQ(r.skippedLines, 3); // the line without a colon, the one between cards, the empty card
}

// composeVCard then readVCards gives every box back, trimmed. Line breaks come back as LF,
// and the street is ambiguous where " - " could be the composer's own: in rua when numero
// and bairro are empty, in numero, or in bairro (or a bairro starting with "- ") when
// numero is empty.
TEST(VCardImport, OwnVCardRoundTrips) {
    const QString tricky[] = {"",   "Rua A", "a,b",        "a;b",   "a\\b", "\\",  ", ",
                              "; ", " ",     "São João 😀", "x\\,y", "a-b",  "a -", "-"};
    const QString street[] = {"", "Rua 7 de Setembro", "a, b", "a\\;b", " ", "Av. A - B", "\\", "R, 1 - C"};
    const QString districts[] = {"", "Centro", "a,b;c\\", " -", "Lapa-Sul", "Vila - Norte", "- x"};
    const QString dash = QStringLiteral(" - ");
    int n = 0;
    for (const QString& rua : street)
        for (const QString& numero : tricky)
            for (const QString& bairro : districts) {
                const bool ambiguous =
                    !numero.isEmpty() ? numero.contains(dash) || (!bairro.isEmpty() && numero.endsWith(" -"))
                    : !bairro.isEmpty() ? bairro.contains(dash) || bairro.startsWith("- ")
                                        : rua.contains(dash);
                if (ambiguous)
                    continue;
                ContactFields f;
                QString* boxes[] = {&f.nome, &f.sobrenome, &f.sufixo, &f.fixo,   &f.celular,
                                    &f.site, &f.email,     &f.cidade, &f.estado, &f.cep};
                for (QString* box : boxes)
                    *box = tricky[(n++) % std::size(tricky)];
                f.rua = rua;
                f.numero = numero;
                f.bairro = bairro;
                const QByteArray bytes = lumo::vcfFileBytes(lumo::composeVCard(f));
                if (!lumo::hasAnyBox(f)) {
                    EXPECT_THROW(lumo::readVCards(bytes, "t.vcf"), lumo::UserError);
                    continue;
                }
                for (QString* box : lumo::boxesOf(f))
                    *box = box->trimmed();
                const ImportResult r = lumo::readVCards(bytes, "t.vcf");
                ASSERT_EQ(r.contacts.size(), 1u) << bytes.toStdString();
                EXPECT_EQ(described(r.contacts[0]), described(f)) << bytes.toStdString();
            }

    ContactFields ambiguous;
    ambiguous.rua = "BR - 101";
    EXPECT_EQ(described(lumo::readVCards(lumo::composeVCard(ambiguous).toUtf8(), "t.vcf").contacts[0]),
              "rua=BR|bairro=101");
}

TEST(CsvImport, Parsing) {
    struct Case {
        const char* what;
        QByteArray file;
        std::vector<std::string> contacts;
        int skipped;
    };
    const Case cases[] = {
        {"quotes, separators and line breaks in quotes",
         "Nome,Sobrenome\r\n\"Ana \"\"Aninha\"\"\",\"Souza,\r\nFilho\"\r\n  \"Bia\" ,Lima\r\n",
         {"nome=Ana \"Aninha\"|sobrenome=Souza,\nFilho", "nome=Bia|sobrenome=Lima"},
         0},
        {"tab, lone CR", "Nome\tCelular\rAna\t9, 8\r", {"nome=Ana|celular=9, 8"}, 0},
        {"Excel's sep= line", "sep=;\nNome;Celular\nAna;9", {"nome=Ana|celular=9"}, 0},
        {"as many ';' as ',' in the header: ';' (Brazilian spreadsheets)",
         "Sobrenome,Nome;Celular\nLima,Ana;9",
         {"sobrenome=Lima,Ana|celular=9"},
         0},
        {"header without case, accents or spaces",
         "\xEF\xBB\xBF NÚMERO ,e-MAIL, Endereco ,uf\nA,b@c,R,SP",
         {"email=b@c|rua=R|numero=A|estado=SP"},
         0},
        {"long rows skipped, short ones padded", "Nome,Celular\nAna,1,x\nBia\n", {"nome=Bia"}, 1},
        {"empty cells past the header's are a spreadsheet's",
         "Nome;Celular\nAna;1;\nBia;2; ;;\n",
         {"nome=Ana|celular=1", "nome=Bia|celular=2"},
         0},
        {"headers by their words",
         "Telefone 1,FONE,Tel. Comercial,Endereço de e-mail,Nome de exibição do email,"
         "Rua do endereço residencial,Nº residencial,Cidade do endereço comercial,Página da Web,Telefone do "
         "assistente,E-mail Type,E-mail Display Name,Assistant's Phone,Other Phone\n"
         "1,2,3,a@x,Ana,R,10,Itu,w.com,9,SMTP,Ana,8,7",
         {"fixo=1|site=w.com|email=a@x|rua=R|numero=10"},
         0},
        {"empty rows silent, rows of unknown columns counted",
         "Nome,Notas\n\n,\n ,  \n,só nota\nAna,",
         {"nome=Ana"},
         1},
        {"UTF-16 with its mark",
         QByteArray("\xFF\xFE") + QByteArray(reinterpret_cast<const char*>(u"Nome;Fixo\r\nÍris;3"), 34),
         {"nome=Íris|fixo=3"},
         0},
    };
    for (const Case& c : cases) {
        try {
            const ImportResult r = lumo::readCsv(c.file, "t.csv");
            EXPECT_EQ(described(r), c.contacts) << c.what;
            EXPECT_EQ(r.skippedLines, c.skipped) << c.what;
        } catch (const lumo::UserError& e) {
            ADD_FAILURE() << c.what << ": " << e.what();
        }
    }
    // The first ignored lines are told with their numbers and why.
    const ImportResult r = lumo::readCsv("Nome,Notas\nAna,1,x\n,só nota\nBia", "t.csv");
    EXPECT_EQ(lumo::skippedLinesText(r),
              QStringList({"linha 2: tem 3 colunas e o cabeçalho só 2",
                           "linha 3: não tem dados para nenhuma caixa do cartão"}));

    // The counting pass can be stopped (a batch told to end) and taken again afterwards.
    QByteArray many = "Nome\n";
    for (int i = 0; i < 600; ++i)
        many += "Ana\n";
    auto buffer = std::make_unique<QBuffer>();
    buffer->setData(many);
    buffer->open(QIODevice::ReadOnly);
    lumo::ContactFileReader reader(std::move(buffer), "f", false, 64);
    EXPECT_EQ(reader.count([] { return false; }), -1);
    EXPECT_EQ(reader.count(), 600);
}

// The common system errors read the same in the program's words whichever way they arrive.
TEST(ContactImport, SystemErrorsInTheProgramsWords) {
    EXPECT_EQ(lumo::systemErrorText(ENOENT), "o arquivo ou a pasta não existe");
    EXPECT_EQ(lumo::systemErrorText(QStringLiteral("Permission denied")), "sem permissão de acesso");
    EXPECT_EQ(lumo::systemErrorText(QString::fromLocal8Bit(std::strerror(ENOSPC))), "o disco está cheio");
    EXPECT_EQ(lumo::systemErrorText(QString::fromLocal8Bit(std::strerror(EROFS))),
              "o disco é somente leitura");
    EXPECT_EQ(lumo::systemErrorText(QStringLiteral("Is a directory")), "o caminho é uma pasta");
    EXPECT_EQ(lumo::systemErrorText(QStringLiteral("o arquivo está vazio")), "o arquivo está vazio");
    QFile missing(QStringLiteral("/nao/existe"));
    EXPECT_FALSE(missing.open(QIODevice::ReadOnly));
    EXPECT_EQ(lumo::fileErrorText(missing), "o arquivo ou a pasta não existe");
}

// Columns the reader does not know are the user's to choose; the choices are applied by
// header name, any case or accents.
TEST(CsvImport, ColumnsChosenByTheUser) {
    const QByteArray file =
        "Cliente;Contato;Observação;UF\r\nAna Souza;9;;SP\r\nBia;8;vip;RJ\r\nCaio;7;x;\r\n";
    try {
        lumo::readCsv(file, "f.csv");
        ADD_FAILURE() << "read without columns";
    } catch (const lumo::CsvColumnsNeeded& e) {
        EXPECT_EQ(e.unknownColumns, QStringList({"Cliente", "Contato", "Observação"}));
    }
    const lumo::CsvHeader header = lumo::inspectCsv(file, "f.csv");
    EXPECT_EQ(header.names, QStringList({"Cliente", "Contato", "Observação", "UF"}));
    EXPECT_EQ(header.boxes,
              (std::vector<int>{lumo::kIgnoreColumn, lumo::kIgnoreColumn, lumo::kIgnoreColumn, 11}));
    EXPECT_EQ(header.samples[2], QStringList({"vip", "x"}));
    // A header wider than the columns kept: samples only of those, and nothing past them.
    QByteArray wide = "Cliente";
    for (int i = 0; i < 5000; ++i)
        wide += ";c" + QByteArray::number(i);
    wide += "\nAna" + QByteArray(5000, ';') + "x\n";
    const lumo::CsvHeader wideHeader = lumo::inspectCsv(wide, "f.csv");
    EXPECT_EQ(wideHeader.samples.size(), std::size_t(wideHeader.names.size()));
    EXPECT_EQ(wideHeader.samples[0], QStringList{"Ana"});

    const lumo::CsvOptions options{{{"CLIENTE", 0}, {"contato", 4}, {"uf", lumo::kIgnoreColumn}}, {}};
    EXPECT_EQ(
        described(lumo::readCsv(file, "f.csv", options)),
        (std::vector<std::string>{"nome=Ana Souza|celular=9", "nome=Bia|celular=8", "nome=Caio|celular=7"}));
    const std::vector<ContactFields> preview = lumo::previewCsv(file, options, 2);
    ASSERT_EQ(preview.size(), 2u);
    EXPECT_EQ(described(preview[1]), "nome=Bia|celular=8");
    EXPECT_NE(errorOf([&] {
                  lumo::readCsv(file, "f.csv", {{{"Telefone", 3}}, {}});
              }).find("o cabeçalho (linha 1) não tem a coluna \"Telefone\"."),
              std::string::npos);
    // A box its header gives anyway keeps the header's reading: a full name is split.
    EXPECT_EQ(described(lumo::readCsv("Nome completo\nAna Souza", "f.csv", {{{"nome completo", 0}}, {}})),
              std::vector<std::string>{"nome=Ana|sobrenome=Souza"});

    // Windows-1252 when not UTF-8, and read again as the other when the user says so.
    const QByteArray legacy = "Nome\nJos\xe9\n";
    const ImportResult told = lumo::readCsv(legacy, "f.csv");
    EXPECT_EQ(told.encoding, lumo::TextEncoding::Windows1252);
    EXPECT_EQ(described(told), std::vector<std::string>{"nome=José"});
    const ImportResult forced = lumo::readCsv(legacy, "f.csv", {{}, lumo::TextEncoding::Utf8});
    EXPECT_EQ(described(forced), std::vector<std::string>{"nome=Jos\uFFFD"});
    EXPECT_EQ(forced.invalidUtf8Lines, std::vector<int>{2});
    EXPECT_EQ(
        lumo::readCsv("Nome\nJos\xc3\xa9\n", "f.csv", {{}, lumo::TextEncoding::Windows1252}).contacts[0].nome,
        QString::fromUtf8("JosÃ©"));
    for (qint64 partBytes : {1, 4})
        EXPECT_EQ(described(readInParts(legacy, false, partBytes, {{}, lumo::TextEncoding::Utf8})),
                  described(forced));
}

TEST(ContactImport, BadFilesAreRefusedWithFileAndLine) {
    struct Case {
        bool csv;
        QByteArray file;
        const char* message;
    };
    const Case cases[] = {
        {false, " \r\n", "\"f\": o arquivo está vazio."},
        {true, QByteArrayLiteral("\x89PNG\r\n\x1a\n\0\0"), "dados binários (um byte nulo na linha 3)"},
        {false, "\r\nNome;Celular\r\n", "não é um arquivo vCard: a linha 2 não é BEGIN:VCARD."},
        {false, "BEGIN:VCARD\nFN:A\n\nBEGIN:VCARD\nFN:B\n",
         "cartão que começa na linha 1 não termina com END:VCARD "
         "antes do BEGIN:VCARD da linha 4"},
        {false, "BEGIN:VCARD\nFN:A\nEND:VCARD\nBEGIN:VCARD\nFN:B\n", "linha 4 não termina com END:VCARD."},
        {false, "BEGIN:VCARD\r\nVERSION:3.0\r\nN:;;;;\r\nEND:VCARD", "o arquivo não tem nenhum contato."},
        {true, "\n\nApelido;Cor;UF\nAna;9;SP",
         "nenhuma coluna do cabeçalho (linha 3) dá nome, sobrenome, celular, fixo ou e-mail. Colunas não "
         "reconhecidas: \"Apelido\", \"Cor\"."},
        {true, "Nome,Celular\nAna,1,x\nBia,2,3,4\n,,\n",
         "nenhuma linha depois do cabeçalho deu um contato: 2 com mais campos que o cabeçalho (a primeira na "
         "linha 2)."},
        {true, "Nome\nAna\n\"Bia\n", "as aspas abertas na linha 3 não se fecham."},
        {true, "Nome,Celular\n,\n", "o arquivo não tem nenhum contato."},
    };
    for (const Case& c : cases) {
        const std::string message =
            errorOf([&] { c.csv ? lumo::readCsv(c.file, "f") : lumo::readVCards(c.file, "f"); });
        EXPECT_NE(message.find(c.message), std::string::npos) << message;
        for (qint64 partBytes : {1, 5})
            EXPECT_EQ(errorOf([&] { readInParts(c.file, !c.csv, partBytes); }), message) << partBytes;
    }
}

TEST(ContactImport, FileIsChosenByNameThenContentAndRefusedBySize) {
    QTemporaryDir dir;
    const auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    };
    const QByteArray card = vcard("FN:Ana");
    const auto readBoth = [](const QString& path) {
        const size_t whole = lumo::readContactsFile(path).contacts.size();
        EXPECT_EQ(lumo::ContactFileReader(path).count(), int(whole));
        return whole;
    };
    EXPECT_EQ(readBoth(write("a.VCARD", card)), 1u);
    EXPECT_EQ(readBoth(write("a.txt", "\r\n " + card)), 1u);
    EXPECT_EQ(readBoth(write("b.txt", "Nome\nAna\nBia")), 2u);
    EXPECT_NE(errorOf([&] { lumo::readContactsFile(write("c.CSV", card)); }).find("nenhuma coluna"),
              std::string::npos);
    EXPECT_NE(errorOf([&] { lumo::ContactFileReader(write("c.CSV", card)).count(); }).find("nenhuma coluna"),
              std::string::npos);

    // Two gigabytes without a byte written: refused by its size alone.
    QFile huge(dir.filePath("enorme.vcf"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly) && huge.resize(qint64(2) << 30));
    huge.close();
    const std::string tooBig = errorOf([&] { lumo::readContactsFile(huge.fileName()); });
    EXPECT_NE(tooBig.find("tem 2048 MiB e o limite para importar contatos é de 64 MiB"), std::string::npos)
        << tooBig;
    EXPECT_NE(tooBig.find(QDir::toNativeSeparators(huge.fileName()).toStdString()), std::string::npos);
    EXPECT_EQ(errorOf([&] { lumo::ContactFileReader reader(huge.fileName()); }), tooBig);
    EXPECT_NE(errorOf([&] { lumo::readContactsFile(dir.path()); }).find("não é um arquivo comum"),
              std::string::npos);
    EXPECT_NE(errorOf([&] { lumo::readContactsFile(dir.filePath("x.vcf")); }).find("não existe"),
              std::string::npos);
}

TEST(ContactImport, SummaryCountsInPortuguese) {
    const auto summary = [](int contacts, int skipped) {
        ImportResult r;
        r.contacts.resize(size_t(contacts));
        r.skippedLines = skipped;
        return lumo::importSummary(r).toStdString();
    };
    EXPECT_EQ(summary(1, 0), "1 contato importado");
    EXPECT_EQ(summary(2, 1), "2 contatos importados, 1 linha ignorada");
    EXPECT_EQ(summary(120, 3), "120 contatos importados, 3 linhas ignoradas");
    ImportResult r;
    r.contacts.resize(2);
    r.skippedLines = 3;
    r.longRows = 2;
    r.firstLongRow = 4;
    r.emptyRows = 1;
    r.firstEmptyRow = 9;
    r.invalidUtf8Lines = {3, 5};
    EXPECT_EQ(
        lumo::importSummary(r).toStdString(),
        "2 contatos importados, 3 linhas ignoradas: 2 com mais campos que o cabeçalho (a partir da linha 4); "
        "1 sem nada nas colunas lidas (a partir da linha 9). Bytes inválidos em UTF-8 trocados por \uFFFD "
        "nas linhas 3, 5");
}

TEST(ContactCommandLine, ColumnsOptionDryRunAndFileNames) {
    EXPECT_EQ(
        lumo::parseColumnsOption(" Nome completo=nome,Celular/WhatsApp = CELULAR,UF=Estado,Obs=ignorar,"),
        (lumo::ColumnChoices{{"Nome completo", 0}, {"Celular/WhatsApp", 4}, {"UF", 11}, {"Obs", -1}}));
    EXPECT_EQ(lumo::parseColumnsOption("a=e-mail,b=Número,c=email").size(), 3u);
    const struct {
        const char* option;
        const char* error;
    } bad[] = {
        {"Nome completo", "\"Nome completo\" não tem \"=\""},
        {"=nome", "falta o nome da coluna antes de \"=nome\""},
        {"Cliente=pessoa", "\"pessoa\" não é uma caixa (coluna \"Cliente\"); as caixas são nome, sobrenome"},
        {"Fone=fixo,FONE=celular", "a coluna \"FONE\" aparece duas vezes"},
        {" , ", "nenhuma coluna"},
    };
    for (const auto& b : bad)
        EXPECT_NE(errorOf([&] { lumo::parseColumnsOption(b.option); }).find(b.error), std::string::npos)
            << b.option;

    try {
        lumo::readCsv("Cliente;Contato\nAna;9\n", "lista.csv");
        ADD_FAILURE();
    } catch (const lumo::CsvColumnsNeeded& e) {
        const QString text = lumo::columnsNeededText(e);
        EXPECT_TRUE(text.contains("Colunas não reconhecidas: \"Cliente\", \"Contato\""))
            << text.toStdString();
        EXPECT_TRUE(text.contains("--columns \"Cliente=CAIXA,Contato=CAIXA\" (caixas: nome,"))
            << text.toStdString();
    }

    ImportResult stats;
    stats.nonAscii = true;
    stats.encoding = lumo::TextEncoding::Windows1252;
    stats.skippedLines = 1;
    stats.emptyRows = 1;
    stats.firstEmptyRow = 4;
    std::vector<ContactFields> first(12);
    for (size_t i = 0; i < first.size(); ++i)
        first[i].nome = QString::number(i + 1);
    first[1].nome = "João";
    first[1].celular = "9 8";
    first[2].rua = "Rua A\nBloco 2";
    EXPECT_EQ(lumo::dryRunText(stats, 40, first).toStdString(),
              "40 contatos importados, 1 linha ignorada: 1 sem nada nas colunas lidas (a partir da linha 4)\n"
              "Codificação: Windows-1252\n"
              "Nome | Celular | Rua\n"
              "-----+---------+----------------\n"
              "1\n"
              "João | 9 8\n"
              "3    |         | Rua A / Bloco 2\n"
              "4\n5\n6\n7\n8\n9\n10\n"
              "… e mais 30\n");

    QSet<QString> used;
    const auto name = [&](const char* nome, const char* sobrenome, const char* email = "") {
        ContactFields c;
        c.nome = nome;
        c.sobrenome = sobrenome;
        c.email = email;
        return lumo::eachPdfFileName(c, used).toStdString();
    };
    EXPECT_EQ(name("Ana", "Souza"), "Ana Souza.pdf");
    EXPECT_EQ(name(" ana ", "SOUZA"), "ana SOUZA (2).pdf");
    EXPECT_EQ(name("Ana", "Souza"), "Ana Souza (3).pdf");
    EXPECT_EQ(name("A/B: C?", "\"D\"*<e>|f\\g."), "A_B_ C_ _D___e__f_g.pdf");
    EXPECT_EQ(name("", "", "bia@x.br"), "bia@x.br.pdf");
    EXPECT_EQ(name("", ""), "Contato.pdf");
    EXPECT_EQ(name("...", ""), "Contato (2).pdf");
    EXPECT_EQ(name("CON", ""), "CON_.pdf");
}

// A vCard file marked UTF-8 stays UTF-8 however a stray byte looks; unmarked, the value is
// read as Windows-1252.
TEST(VCardImport, ByteOrderMarkKeepsUtf8) {
    const QByteArray card = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Jos\xe9 S\xc3\xa1\r\nEND:VCARD\r\n";
    const ImportResult marked = lumo::readVCards("\xEF\xBB\xBF" + card, "t.vcf");
    EXPECT_EQ(described(marked), std::vector<std::string>{"nome=Jos\uFFFD|sobrenome=Sá"});
    EXPECT_EQ(marked.invalidUtf8Lines, std::vector<int>{3});
    EXPECT_EQ(readInParts("\xEF\xBB\xBF" + card + card, true, 3).invalidUtf8Lines, (std::vector<int>{3, 7}));
    EXPECT_EQ(described(lumo::readVCards(card, "t.vcf")),
              std::vector<std::string>{"nome=José|sobrenome=SÃ¡"});
}
