#include "app/columnsdialog.h"
#include "app/contactlist.h"
#include "app/mainwindow.h"
#include "card/cardlabel.h"
#include "card/cardmodel.h"
#include "card/cardpanel.h"
#include "card/image.h"
#include "formtest.h"
#include "platform/fonts.h"
#include "platform/settings.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace {

class MainWindow : public FormTest {
protected:
    void type(QLineEdit* box, const QString& text) { QTest::keyClicks(box, text); }
};

const char* const kBoxes[] = {"edtnome",   "edtsobrenome", "edtsufixo", "edtfixo",   "edtcelular",
                              "edtsite",   "edtemail",     "edtrua",    "edtnumero", "edtbairro",
                              "edtcidade", "edtestado",    "edtcep"};

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

TEST_F(MainWindow, IconFontIsInstalledWithoutFollowingAPlantedLink) {
    const QString temp = qEnvironmentVariable("TEMP");
    EXPECT_TRUE(QFontDatabase::families().contains(QStringLiteral("icomoon"), Qt::CaseInsensitive));
    const QFileInfo font(temp + "/icomoon.ttf");
    EXPECT_FALSE(font.isSymLink());
    QFile resource(":/fonts/icomoon.ttf");
    ASSERT_TRUE(resource.open(QIODevice::ReadOnly));
    EXPECT_EQ(readAll(font.filePath()), resource.readAll());
    EXPECT_EQ(readAll(temp + "/victim.txt"), "victim");
    EXPECT_TRUE(fake.errors.isEmpty());

    // Once the family is there, a second window writes nothing.
    QFile::remove(font.filePath());
    TForm1 second;
    EXPECT_FALSE(QFile::exists(font.filePath()));
}

TEST(IconFont, FailedWriteIsQuietAndTheIconStillRegistered) {
    // The family is registered once per process; ctest runs each test in a process of its own.
    if (QFontDatabase::families().contains(QStringLiteral("icomoon"), Qt::CaseInsensitive))
        GTEST_SKIP() << "icon font already registered in this process";
    const QByteArray temp = qgetenv("TEMP");
    qputenv("TEMP", "/nonexistent/lumo");
    FakePlatform fake;
    vcardgerado = false;
    TForm1 form;
    qputenv("TEMP", temp);
    EXPECT_TRUE(fake.errors.isEmpty()) << fake.errors.join("\n").toStdString();
    EXPECT_TRUE(QFontDatabase::families().contains(QStringLiteral("icomoon"), Qt::CaseInsensitive));
}

TEST(IconFont, WithoutTempGoesToTheUsersOwnFolder) {
    if (QFontDatabase::families().contains(QStringLiteral("icomoon"), Qt::CaseInsensitive))
        GTEST_SKIP() << "icon font already registered in this process";
    const QByteArray temp = qgetenv("TEMP");
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    QTemporaryDir own;
    qunsetenv("TEMP");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(own.path()));
    lumo::installIconFont();
    qputenv("TEMP", temp);
    qputenv("XDG_RUNTIME_DIR", runtime);
    EXPECT_TRUE(QFile::exists(own.filePath("Lumo Card/icomoon.ttf")));
}

TEST_F(MainWindow, ControlsCarryTheirNamesAndCaptions) {
    EXPECT_EQ(form->windowTitle(), "Sem título[*] - Lumo Card");
    // Glyph-only buttons and the boxes say what they are.
    EXPECT_EQ(form->SpeedButton11->toolTip(), "Logotipo");
    EXPECT_EQ(form->SpeedButton11->accessibleName(), "Logotipo");
    EXPECT_EQ(form->SpeedButton2->toolTip(), "Imprimir");
    EXPECT_EQ(form->edtcep->accessibleName(), "CEP");
    const std::pair<const char*, const char*> captions[] = {
        {"Label4", "Nome"},    {"Label3", "Sobrenome"}, {"Label10", "Sufixo"}, {"Label2", "Fixo"},
        {"Label1", "Celular"}, {"Label5", "Site"},      {"Label12", "E-mail"}, {"Label6", "Rua"},
        {"Label7", "Número"},  {"Label8", "Bairro"},    {"Label9", "Cidade"},  {"Estado", "Estado"},
        {"Label11", "CEP"},
    };
    for (const auto& [name, caption] : captions) {
        auto* label = form->findChild<QLabel*>(name);
        ASSERT_TRUE(label) << name;
        EXPECT_EQ(label->text(), QString::fromUtf8(caption));
    }
    for (const char* name : {"CheckBox1", "CheckBox2", "CheckBox3", "sangria"})
        EXPECT_TRUE(form->findChild<QCheckBox*>(name)) << name;
    EXPECT_TRUE(form->CheckBox1->isChecked());
    EXPECT_FALSE(form->CheckBox2->isChecked());
    EXPECT_EQ(form->gerarvcard->text(), "Gerar ");
    for (int i = 1; i <= 12; ++i) {
        auto* b = form->findChild<QToolButton*>(QStringLiteral("SpeedButton%1").arg(i));
        ASSERT_TRUE(b) << i;
        EXPECT_EQ(b->focusPolicy(), Qt::NoFocus);
    }
    EXPECT_TRUE(form->findChild<QPlainTextEdit*>("memovcard"));
    EXPECT_FALSE(form->Image2->isVisible());
    EXPECT_EQ(form->Image2->geometry(), QRect(-1990, -1987, 2000, 2000));
}

TEST_F(MainWindow, ShowPutsTypingIntoNome) {
    EXPECT_EQ(QApplication::focusWidget(), form->edtnome);
}

TEST_F(MainWindow, EnterMovesAlongTheChainAndCepGenerates) {
    QLineEdit* chain[] = {form->edtnome,    form->edtsobrenome, form->edtsufixo, form->edtfixo,
                          form->edtcelular, form->edtsite,      form->edtemail,  form->edtrua,
                          form->edtnumero,  form->edtbairro,    form->edtcidade, form->edtestado,
                          form->edtcep};
    for (size_t i = 0; i + 1 < std::size(chain); ++i) {
        chain[i]->setFocus();
        chain[i]->setText("x");
        QTest::keyClick(chain[i], Qt::Key_Return);
        EXPECT_EQ(QApplication::focusWidget(), chain[i + 1]) << i;
        EXPECT_EQ(chain[i]->text(), "x");
    }
    form->edtcep->setFocus();
    QTest::keyClick(form->edtcep, Qt::Key_Enter);
    EXPECT_EQ(QApplication::focusWidget(), form->edtcep);
    EXPECT_TRUE(form->MemoText().startsWith("BEGIN:VCARD\r\n"));
    EXPECT_TRUE(vcardgerado);
    EXPECT_EQ(fake.beeps, 0);
}

TEST_F(MainWindow, EnterInCepGeneratesWithEveryBoxEmpty) {
    form->edtcep->setFocus();
    QTest::keyClick(form->edtcep, Qt::Key_Return);
    EXPECT_EQ(form->MemoText(), "BEGIN:VCARD\r\nVERSION:3.0\r\nFN: \r\nN:;;;;\r\nEND:VCARD");
    EXPECT_EQ(form->GerarImageIndex(), 0);
}

TEST_F(MainWindow, TabFollowsTheWindowsTabOrder) {
    QWidget* expected[] = {form->CheckBox2,    form->edtrua,    form->edtnumero, form->edtbairro,
                           form->edtcidade,    form->edtestado, form->edtcep,    form->edtfixo,
                           form->edtcelular,   form->edtsite,   form->edtemail,  form->edtnome,
                           form->edtsobrenome, form->edtsufixo, form->memovcard, form->CheckBox3,
                           form->sangria,      form->CheckBox1};
    form->CheckBox1->setFocus();
    for (QWidget* next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next) << next->objectName().toStdString();
    }
}

TEST_F(MainWindow, NameLineMirrorsNameBoxesWithItsSpace) {
    type(form->edtnome, "Ana");
    EXPECT_EQ(form->pnome->Caption(), "Ana ");
    type(form->edtsobrenome, "Lima");
    EXPECT_EQ(form->pnome->Caption(), "Ana Lima");
    form->edtnome->clear();
    form->edtsobrenome->clear();
    EXPECT_EQ(form->pnome->Caption(), " ");
    type(form->edtsufixo, "Arquiteta");
    EXPECT_EQ(form->psufixo->Caption(), "Arquiteta");
}

TEST_F(MainWindow, GlyphShowsWhetherTheVCardIsCurrent) {
    EXPECT_EQ(form->GerarImageIndex(), -1);
    EXPECT_TRUE(form->gerarvcard->icon().isNull());
    // Every box's edit reaches the card and makes the vCard stale.
    for (int i = 0; i < lumo::kContactFieldCount; ++i) {
        const auto field = lumo::ContactField(i);
        auto* box = form->findChild<QLineEdit*>(kBoxes[i]);
        form->gerarvcard->click();
        EXPECT_EQ(form->GerarImageIndex(), 0);
        EXPECT_TRUE(vcardgerado);
        type(box, "x");
        EXPECT_EQ(form->GerarImageIndex(), 1) << kBoxes[i];
        EXPECT_FALSE(vcardgerado) << kBoxes[i];
        EXPECT_EQ(form->Model().Field(field), box->text()) << kBoxes[i];
    }
    // Editing the memo leaves the state alone.
    form->gerarvcard->click();
    form->memovcard->appendPlainText("x");
    EXPECT_TRUE(vcardgerado);
}

TEST_F(MainWindow, MemoAndBoxesKeepEveryCharacter) {
    const QString nbsp = QStringLiteral("Ana\u00A0Maria");
    form->edtnome->setText(nbsp);
    form->edtrua->setText(QStringLiteral("Rua A\u2029Bloco B\u2028fundos\u0085casa"));
    form->gerarvcard->click();
    form->SpeedButton1->click();
    EXPECT_TRUE(fake.clipboard.contains(QStringLiteral("FN:") + nbsp));
    EXPECT_TRUE(fake.clipboard.contains(QStringLiteral("ADR;TYPE=HOME:;;Rua A\\nBloco B\\nfundos\\ncasa")))
        << fake.clipboard.toStdString();
    EXPECT_EQ(fake.clipboard.count(u'\n'), fake.clipboard.count(QStringLiteral("\r\n")));
    EXPECT_EQ(fake.clipboard.split(QStringLiteral("\r\n")).size(), 7); // LABEL and ADR for the address
    // No length limit: a long paste stays whole.
    form->edtsite->setText(QString(40000, u'w'));
    EXPECT_EQ(form->Model().Contact().site.size(), 40000);
}

TEST_F(MainWindow, CopyIsSilentWhileStaleAndConfirmedWhenCurrent) {
    form->memovcard->setPlainText("texto");
    form->SpeedButton1->click();
    EXPECT_TRUE(fake.clipboard.isEmpty());
    EXPECT_TRUE(fake.messages.isEmpty());

    type(form->edtnome, "Ana");
    form->gerarvcard->click();
    form->memovcard->appendPlainText("NOTE:editado");
    form->SpeedButton1->click();
    EXPECT_EQ(fake.clipboard, form->MemoText());
    EXPECT_TRUE(fake.clipboard.endsWith("END:VCARD\r\nNOTE:editado"));
    EXPECT_EQ(fake.messages, QStringList{"Copiado!"});

    fake.clipboardFails = true;
    form->SpeedButton1->click();
    EXPECT_EQ(fake.messages.size(), 1);
    EXPECT_EQ(fake.errors.size(), 1);
}

TEST_F(MainWindow, SavingTheVCardWritesTheMemoAndBeepsOnlyOnSuccess) {
    QTemporaryDir dir;
    type(form->edtnome, "Ana");
    type(form->edtsobrenome, "Lima");
    form->gerarvcard->click();

    // Cancelled: nothing.
    form->SpeedButton12->click();
    ASSERT_EQ(fake.saveRequests.size(), 1u);
    EXPECT_EQ(fake.saveRequests[0].dialogName, "SaveDialog3");
    EXPECT_EQ(fake.saveRequests[0].fileName, "Ana Lima");
    EXPECT_EQ(fake.saveRequests[0].defaultSuffix, "vcf");
    EXPECT_EQ(fake.beeps, 0);

    const QString path = dir.filePath("Ana Lima.vcf");
    fake.saveAnswers.push_back(path);
    form->SpeedButton12->click();
    EXPECT_EQ(readAll(path), form->MemoText().toUtf8() + "\r\n");
    EXPECT_EQ(fake.beeps, 1);

    // A write that fails shows its error, sounds nothing and leaves the old file.
    form->edtnome->setText("Outra");
    form->gerarvcard->click();
    fake.saveAnswers.push_back(dir.filePath("sem/pasta.vcf"));
    form->SpeedButton12->click();
    EXPECT_EQ(fake.beeps, 1);
    ASSERT_EQ(fake.errors.size(), 1);
    EXPECT_TRUE(fake.errors[0].contains(QDir::toNativeSeparators(dir.filePath("sem/pasta.vcf"))));
    EXPECT_TRUE(readAll(path).contains("FN:Ana Lima"));

    // An empty memo gives an empty file, whether or not the vCard is current.
    form->memovcard->clear();
    const QString empty = dir.filePath("vazio.vcf");
    fake.saveAnswers.push_back(empty);
    form->SpeedButton12->click();
    EXPECT_EQ(readAll(empty), QByteArray());
    EXPECT_EQ(fake.beeps, 2);
}

TEST_F(MainWindow, ColumnLayoutFollowsTheWindowWidth) {
    struct Case {
        int width;
        int w;
    };
    // painelnome is 475 wide at the design size: w = 475 / 2 − 28 = 209.
    for (const Case c : {Case{1082, 209}, Case{982, 159}, Case{1382, 359}}) {
        form->resize(c.width, 589);
        QApplication::processEvents();
        const int panel = 475 + c.width - 1082;
        EXPECT_EQ(form->painelnome->width(), panel) << c.width;
        EXPECT_EQ(form->painelendereco->width(), panel);
        for (QWidget* box :
             {form->edtnome, form->edtsobrenome, form->edtfixo, form->edtcelular, form->edtsite,
              form->edtemail, form->edtbairro, form->edtcidade, form->edtestado, form->edtcep})
            EXPECT_EQ(box->width(), c.w) << box->objectName().toStdString() << " at " << c.width;
        for (QWidget* right : {static_cast<QWidget*>(form->Label3), static_cast<QWidget*>(form->edtsobrenome),
                               static_cast<QWidget*>(form->Label1), static_cast<QWidget*>(form->edtcelular),
                               static_cast<QWidget*>(form->Label12), static_cast<QWidget*>(form->edtemail),
                               static_cast<QWidget*>(form->Label9), static_cast<QWidget*>(form->edtcidade),
                               static_cast<QWidget*>(form->Label11), static_cast<QWidget*>(form->edtcep)})
            EXPECT_EQ(right->x(), c.w + 41) << right->objectName().toStdString();
        EXPECT_EQ(form->edtnome->x(), 14);
        EXPECT_EQ(form->edtnumero->x(), 353 + c.width - 1082);
        EXPECT_EQ(form->edtrua->width(), form->edtnumero->x() - 41);
        EXPECT_EQ(form->edtsufixo->width(), 444 + c.width - 1082);
        // The preview and the button rows keep their distance to the right edge.
        EXPECT_EQ(c.width - form->painelfrente->geometry().right(), 1082 - (496 + 273 - 1));
        EXPECT_EQ(c.width - form->painelverso->x(), 1082 - 792);
        EXPECT_EQ(c.width - form->SpeedButton2->x(), 1082 - 1035);
        EXPECT_EQ(c.width - form->sangria->x(), 1082 - 689);
        EXPECT_EQ(form->memovcard->width(), 1066 + c.width - 1082);
    }
    EXPECT_EQ(form->edtrua->width(), 312 + 300);
    form->resize(1082, 589);
    EXPECT_EQ(form->edtrua->width(), 312);
    EXPECT_EQ(form->Label3->x(), 250);
}

TEST_F(MainWindow, ClosePromptSavesDiscardsOrCancels) {
    QTemporaryDir dir;
    EXPECT_FALSE(form->isWindowModified());
    type(form->edtnome, "Ana");
    EXPECT_TRUE(form->isWindowModified());

    fake.questionAnswers = {2}; // Cancelar
    EXPECT_FALSE(form->close());
    EXPECT_EQ(fake.questions, QStringList{"Salvar as alterações em \"Sem título\"?"});

    fake.questionAnswers = {0}; // Salvar, to a place that cannot be written
    fake.saveAnswers.push_back(dir.filePath("sem/pasta.lumocard"));
    EXPECT_FALSE(form->close());
    EXPECT_EQ(fake.errors.size(), 1);
    EXPECT_TRUE(form->isWindowModified());

    fake.questionAnswers = {0}; // Salvar: the extension is added to a name with a dot
    fake.saveAnswers.push_back(dir.filePath("Ana M. Lima"));
    bool closedByUser = false;
    form->SetClosedHandler([&] { closedByUser = true; });
    EXPECT_TRUE(form->close());
    EXPECT_TRUE(closedByUser);
    EXPECT_TRUE(QFile::exists(dir.filePath("Ana M. Lima.lumocard")));
    EXPECT_FALSE(form->isWindowModified());
    EXPECT_EQ(form->windowTitle(), "Ana M. Lima[*] - Lumo Card");

    form->show();
    type(form->edtnome, "x");
    fake.questionAnswers = {1}; // Descartar
    EXPECT_TRUE(form->close());
    EXPECT_EQ(readAll(dir.filePath("Ana M. Lima.lumocard")).contains("Anax"), false);
}

TEST_F(MainWindow, OpenedCardShowsWhatWasSavedAndExportsTheSame) {
    QTemporaryDir dir;
    form->edtnome->setText("João");
    form->edtsobrenome->setText("Conceição");
    form->edtcep->setText("01000-000");
    fake.colorAnswers = {QColor(10, 80, 40), QColor(250, 240, 200)};
    form->SpeedButton7->click();
    form->SpeedButton6->click();
    form->CheckBox3->click();
    form->CheckBox2->setChecked(true);
    form->gerarvcard->click();
    form->memovcard->appendPlainText("NOTE:à mão");
    const lumo::CardState shown = form->Model().State();
    auto exportJpeg = [&](const QString& name) {
        fake.saveAnswers.push_back(dir.filePath(name));
        form->SpeedButton4->click();
        return readAll(dir.filePath(QString(name).replace(".jpg", ".1.jpg"))) +
               readAll(dir.filePath(QString(name).replace(".jpg", ".2.jpg")));
    };
    const QByteArray before = exportJpeg("antes.jpg");
    const QString path = dir.filePath("cartao.lumocard");
    fake.saveAnswers.push_back(path);
    form->SalvarComo1->trigger();

    form->Novo1->trigger();
    EXPECT_TRUE(fake.questions.isEmpty()); // saved: nothing to ask
    EXPECT_TRUE(form->edtnome->text().isEmpty());
    EXPECT_EQ(form->GerarImageIndex(), -1);

    // A bad document is refused and the card on screen stays.
    form->edtnome->setText("Outro");
    const QString bad = dir.filePath("ruim.lumocard");
    QFile(bad).open(QIODevice::WriteOnly);
    fake.questionAnswers = {1};
    fake.openAnswers.push_back(bad);
    form->Abrir1->trigger();
    ASSERT_EQ(fake.errors.size(), 1);
    EXPECT_TRUE(fake.errors[0].contains("ruim.lumocard")) << fake.errors[0].toStdString();
    EXPECT_EQ(form->edtnome->text(), "Outro");

    fake.questionAnswers = {1};
    fake.openAnswers.push_back(path);
    form->Abrir1->trigger();
    EXPECT_EQ(form->Model().State(), shown);
    EXPECT_EQ(form->edtnome->text(), "João");
    EXPECT_TRUE(form->memovcard->toPlainText().endsWith("NOTE:à mão"));
    EXPECT_EQ(form->GerarImageIndex(), 0);
    EXPECT_TRUE(vcardgerado);
    EXPECT_FALSE(form->Image1->Picture().isNull());
    EXPECT_FALSE(form->isWindowModified());
    EXPECT_EQ(form->windowTitle(), "cartao[*] - Lumo Card");
    EXPECT_EQ(exportJpeg("depois.jpg"), before);
}

TEST_F(MainWindow, ImportFillsTheBoxesOrListsTheContacts) {
    QTemporaryDir dir;
    auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile f(dir.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return f.fileName();
    };
    // One contact fills the boxes as typing would: the vCard is stale until Generate.
    fake.openAnswers.push_back(write("um.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lima;Ana;;;\r\n"
                                               "TEL;TYPE=CELL:+55 11 90000-0000\r\nEND:VCARD\r\n"));
    form->ImportarContatos1->trigger();
    EXPECT_EQ(form->edtnome->text(), "Ana");
    EXPECT_EQ(form->edtcelular->text(), "+55 11 90000-0000");
    EXPECT_EQ(form->GerarImageIndex(), 1);
    EXPECT_FALSE(form->ContactList1->isVisible());

    // Several open the list; choosing one puts it on the card and generates it.
    fake.openAnswers.push_back(write("equipe.csv", "Nome;Sobrenome;E-mail\nBeto;Souza;b@x.br\n"
                                                   "Caio;Reis;c@x.br\nDora;Lins;d@x.br;extra\n"));
    form->ImportarContatos1->trigger();
    EXPECT_EQ(
        fake.messages.back().toStdString(),
        "2 contatos importados, 1 linha ignorada: 1 com mais campos que o cabeçalho (a partir da linha 4)");
    ASSERT_TRUE(form->ContactList1->isVisible());
    EXPECT_EQ(form->Model().Contacts().size(), 2u);
    QTest::keyClicks(form->ContactList1->edtbusca, "reis");
    QTest::keyClick(form->ContactList1->edtbusca, Qt::Key_Return);
    EXPECT_EQ(form->edtnome->text(), "Caio");
    EXPECT_EQ(form->edtemail->text(), "c@x.br");
    EXPECT_TRUE(vcardgerado);
    EXPECT_TRUE(form->MemoText().contains("FN:Caio Reis"));

    // Every contact of the list in one PDF: a page each with the front alone.
    fake.saveAnswers.push_back(dir.filePath("equipe"));
    form->ExportarTodos1->trigger();
    EXPECT_EQ(fake.beeps, 1);
    EXPECT_EQ(readAll(dir.filePath("equipe.pdf")).count("/Type /Page\n"), 2)
        << fake.errors.join("").toStdString();

    // A bad file changes nothing.
    fake.openAnswers.push_back(write("ruim.csv", "Nome\nAna\n\"Bia\n"));
    form->ImportarContatos1->trigger();
    ASSERT_EQ(fake.errors.size(), 1);
    EXPECT_EQ(form->Model().Contacts().size(), 2u);
    EXPECT_EQ(form->edtnome->text(), "Caio");

    // A contact whose vCard fits no QR code gets no card; the others do, and the list of those
    // left out is shown at the end.
    fake.openAnswers.push_back(
        write("longo.csv", "Nome;Rua\nEva;Rua A\nIvo;" + QByteArray(3000, 'x') + "\n"));
    fake.questionAnswers = {1}; // Substituir a lista
    form->ImportarContatos1->trigger();
    ASSERT_EQ(form->Model().Contacts().size(), 2u);
    fake.saveAnswers.push_back(dir.filePath("longo"));
    form->ExportarTodos1->trigger();
    EXPECT_EQ(fake.beeps, 2) << fake.errors.join("").toStdString();
    EXPECT_EQ(readAll(dir.filePath("longo.pdf")).count("/Type /Page\n"), 1);
    EXPECT_TRUE(fake.messages.back().startsWith(
        "1 cartão deixado de fora:\n  contato 2, Ivo: o vCard não cabe no código QR (nível L: "))
        << fake.messages.back().toStdString();
}

// A spreadsheet of unknown columns opens "Associar colunas"; the choice is remembered for its
// header; a second import asks whether to add or replace and merges the repeated contacts;
// the list's ticks, "Editar" and "Remover" act on the card's list, and the batch outputs take
// the ticked contacts only.
TEST_F(MainWindow, ImportedListIsChosenTickedEditedAndExportedOnePdfEach) {
    QTemporaryDir dir;
    auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile f(dir.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return f.fileName();
    };
    QSettings(lumo::Settings::path(), QSettings::IniFormat).remove("colunas"); // choices of earlier runs
    int dialogs = 0;
    const std::shared_ptr<void> unhook(nullptr, [](void*) { TColumnsDialog::TestHook() = nullptr; });
    TColumnsDialog::TestHook() = [&](TColumnsDialog& d) {
        ++dialogs;
        EXPECT_EQ(d.tblcolunas->rowCount(), 3);
        EXPECT_EQ(d.tblcolunas->item(1, 1)->text(), "(31) 99999-0000");
        EXPECT_EQ(d.BoxChoice(2)->currentText(), "Cidade");
        EXPECT_EQ(d.tblprevia->rowCount(), 0);
        EXPECT_FALSE(d.lblaviso->text().isEmpty());
        d.BoxChoice(0)->setCurrentIndex(1 + 0); // Nome
        d.BoxChoice(1)->setCurrentIndex(1 + 4); // Celular
        EXPECT_EQ(d.tblprevia->rowCount(), 3);
        EXPECT_EQ(d.tblprevia->item(1, 4)->text(), "(31) 98888-1111");
        EXPECT_TRUE(d.lblaviso->text().isEmpty());
        return true;
    };
    const QByteArray clients = "Cliente;Contato;Cidade\r\nJoão Pereira;(31) 99999-0000;BH\r\n"
                               "Maria Clara;(31) 98888-1111;Contagem\r\nZé;(31) 97777-2222;Betim\r\n";
    fake.openAnswers.push_back(write("clientes.csv", clients));
    form->ImportarContatos1->trigger();
    ASSERT_EQ(dialogs, 1) << fake.errors.join("").toStdString();
    EXPECT_EQ(fake.openRequests.back().filter, "Contatos (*.vcf *.vcard *.csv);;Todos os arquivos (*)");
    ASSERT_EQ(form->Model().Contacts().size(), 3u);
    EXPECT_EQ(form->Model().Contacts()[0].nome, "João Pereira");
    ASSERT_EQ(fake.questions.size(), 1);
    EXPECT_TRUE(fake.questions.back().endsWith("O texto foi lido como UTF-8."))
        << fake.questions.back().toStdString();

    // The same header again: no dialog, and the list is added to with repeated contacts merged.
    fake.openAnswers.push_back(write("mais.csv", "CLIENTE;contato;cidade\r\nJoão Pereira;31 99999 0000;\r\n"
                                                 "Ana;(31) 96666-3333;Sabará\r\n"));
    fake.questionAnswers = {0};
    form->ImportarContatos1->trigger();
    EXPECT_EQ(dialogs, 1);
    ASSERT_EQ(fake.questions.size(), 3);
    EXPECT_TRUE(fake.questions[1].startsWith("O cartão já tem uma lista de 3 contatos."));
    EXPECT_TRUE(
        fake.questions[2].startsWith("2 contatos importados; 1 contato repetido juntado a outro\n\n"));
    ASSERT_EQ(form->Model().Contacts().size(), 4u);
    EXPECT_EQ(form->Model().Contacts()[0].cidade, "BH");
    // "Associar colunas…" shows the remembered choice; cancelling changes nothing.
    TColumnsDialog::TestHook() = [&](TColumnsDialog& d) {
        ++dialogs;
        EXPECT_EQ(d.BoxChoice(1)->currentText(), "Celular");
        return false;
    };
    fake.openAnswers.push_back(dir.filePath("clientes.csv"));
    form->AssociarColunas1->trigger();
    EXPECT_EQ(dialogs, 2);
    EXPECT_EQ(form->Model().Contacts().size(), 4u);
    TColumnsDialog::TestHook() = nullptr;

    TContactList* list = form->ContactList1;
    ASSERT_TRUE(list->isVisible());
    EXPECT_EQ(list->lblmarcados->text(), "4 de 4 marcados");
    list->lstcontatos->item(1)->setCheckState(Qt::Unchecked);
    EXPECT_FALSE(form->Model().Ticked(1));
    EXPECT_EQ(list->lblmarcados->text(), "3 de 4 marcados");
    QTest::keyClicks(list->edtbusca, "ana");
    list->btndesmarcar->click();
    EXPECT_EQ(form->Model().TickedCount(), 2u);
    list->edtbusca->clear();
    list->btnmarcar->click();
    EXPECT_EQ(form->Model().TickedCount(), 4u);
    list->btndesmarcar->click();
    EXPECT_EQ(form->Model().TickedCount(), 0u);
    form->ExportarTodos1->trigger();
    EXPECT_EQ(fake.errors.back(), "Nenhum contato da lista está marcado.");
    list->btnmarcar->click();

    // "Editar" puts the contact in the boxes; Gerar stores the boxes back into the list.
    list->lstcontatos->setCurrentRow(2);
    list->btneditar->click();
    EXPECT_EQ(form->edtnome->text(), "Zé");
    form->edtcidade->setText("Betim - MG");
    form->gerarvcard->click();
    EXPECT_EQ(form->Model().Contacts()[2].cidade, "Betim - MG");
    EXPECT_EQ(list->lstcontatos->item(2)->text(), "Zé");
    // A contact chosen afterwards is shown and generated, and no other is overwritten with it.
    const std::vector<lumo::ContactFields> edited = form->Model().Contacts();
    form->ContactChosen(0);
    EXPECT_EQ(form->Model().Contacts(), edited);
    list->lstcontatos->setCurrentRow(3);
    list->btnremover->click();
    ASSERT_EQ(form->Model().Contacts().size(), 3u);
    EXPECT_EQ(list->lstcontatos->count(), 3);

    // One PDF per ticked contact, by name.
    list->lstcontatos->item(1)->setCheckState(Qt::Unchecked);
    const QString folder = dir.filePath("cartoes");
    QDir().mkdir(folder);
    fake.folderAnswers.push_back(folder);
    const int beeps = fake.beeps;
    form->ExportarCada1->trigger();
    EXPECT_EQ(fake.beeps, beeps + 1) << fake.errors.join("").toStdString();
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList({"João Pereira.pdf", "Zé.pdf"}));
    EXPECT_EQ(readAll(QDir(folder).filePath("Zé.pdf")).count("/Type /Page\n"), 1);
}

// A list of 5000 with 10 ticked makes a batch of exactly those 10 cards, in list order.
TEST_F(MainWindow, BatchTakesTheTickedContactsInListOrder) {
    QTemporaryDir dir;
    QByteArray csv = "Nome;Sobrenome;Celular\n";
    for (int i = 0; i < 5000; ++i)
        csv += "Pessoa;N" + QByteArray::number(i) + ";9" + QByteArray::number(10000000 + i) + "\n";
    QFile file(dir.filePath("lista.csv"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(csv) == csv.size());
    file.close();
    fake.openAnswers.push_back(file.fileName());
    form->ImportarContatos1->trigger();
    ASSERT_EQ(form->Model().Contacts().size(), 5000u) << fake.errors.join("").toStdString();
    TContactList* list = form->ContactList1;
    list->btndesmarcar->click();
    const int rows[] = {4999, 7, 0, 123, 2500, 42, 3000, 4001, 999, 77};
    for (int row : rows)
        list->lstcontatos->item(row)->setCheckState(Qt::Checked);
    fake.saveAnswers.push_back(dir.filePath("lote.pdf"));
    form->ExportarTodos1->trigger();
    const QString pdf = dir.filePath("lote.pdf");
    ASSERT_EQ(readAll(pdf).count("/Type /Page\n"), 10) << fake.errors.join("").toStdString();
    QProcess text;
    text.start("pdftotext", {"-layout", pdf, "-"});
    ASSERT_TRUE(text.waitForFinished(60000));
    QStringList names;
    for (const QString& word :
         QString::fromUtf8(text.readAllStandardOutput()).split(QRegularExpression("\\s+")))
        if (word.startsWith("N") && word.size() > 1 && word[1].isDigit())
            names << word;
    EXPECT_EQ(names,
              QStringList({"N0", "N7", "N42", "N77", "N123", "N999", "N2500", "N3000", "N4001", "N4999"}));
}

// The list opens beside the window, or where it covers neither card preview, on a 1600 × 900
// screen wherever the window stands; a spreadsheet told Windows-1252 can be read again as UTF-8.
TEST_F(MainWindow, ContactListLeavesThePreviewsInViewAndTextCanBeReadAgain) {
    const QRect screen(0, 0, 1600, 900);
    const QSize list = form->ContactList1->frameGeometry().size();
    const QRect window = form->frameGeometry();
    const auto onScreen = [&](QWidget* panel) {
        return QRect(form->geometry().topLeft() + panel->mapTo(form.get(), QPoint()), panel->size());
    };
    const QRect previews = onScreen(form->painelfrente).united(onScreen(form->painelverso));
    for (int x : {0, 100, 1600 - window.width() / 2, 1600 - window.width()}) {
        const QRect at = window.translated(x - window.left(), 0);
        const QRect shown(contactListPlace(at, list, screen), list);
        EXPECT_TRUE(screen.contains(shown)) << x;
        EXPECT_FALSE(shown.intersects(previews.translated(x - window.left(), 0))) << x;
    }

    QTemporaryDir dir;
    QFile file(dir.filePath("velha.csv"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("Nome;Cidade\r\nJos\xc3\xa9;Bel\xc3\xa9m\r\nAna;Jacare\xed\r\n");
    file.close();
    fake.openAnswers.push_back(file.fileName());
    fake.questionAnswers = {1, 0};
    form->ImportarContatos1->trigger();
    ASSERT_EQ(fake.questions.size(), 2) << fake.errors.join("").toStdString();
    EXPECT_TRUE(fake.questions[0].endsWith("O texto foi lido como Windows-1252."))
        << fake.questions[0].toStdString();
    EXPECT_TRUE(fake.questions[1].contains("Bytes inválidos em UTF-8 trocados por \uFFFD na linha 3"))
        << fake.questions[1].toStdString();
    ASSERT_EQ(form->Model().Contacts().size(), 2u);
    EXPECT_EQ(form->Model().Contacts()[0].cidade, "Belém");
}
