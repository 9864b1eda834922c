// Unusual contact data, hostile output places and the largest lists and troubled recovery
// copies: each ends in a clear error box or a sound result, never a crash, and no existing
// file is damaged.

#include "app/mainwindow.h"
#include "card/document.h"
#include "card/image.h"
#include "card/recovery.h"
#include "contact/contactimport.h"
#include "contact/vcard.h"
#include "formtest.h"
#include "platform/utf8.h"
#include "zbardecode.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <unistd.h>

namespace {

class BadInput : public FormTest {
protected:
    QList<QByteArray> scan() const {
        QImage framed(2200, 2200, QImage::Format_RGB32);
        framed.fill(Qt::white);
        QPainter(&framed).drawImage(100, 100, form->Image2->Picture());
        return decodeQr(framed);
    }
    // Exports PDF and JPEG of both sides and says whether both were written.
    bool exportBoth(const QString& stem) {
        form->CheckBox2->setChecked(true);
        fake.saveAnswers = {dir.filePath(stem + ".pdf"), dir.filePath(stem + ".jpg")};
        form->SpeedButton5->click();
        form->SpeedButton4->click();
        return QFile::exists(dir.filePath(stem + ".pdf")) && QFile::exists(dir.filePath(stem + ".2.jpg"));
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(BadInput, CapacityBoundaryOfTheLargestSymbol) {
    // The empty card's vCard is 49 bytes; each suffix byte adds one: 49 + 2904 = 2953.
    form->edtsufixo->setText(QString(2904, u'x'));
    form->gerarvcard->click();
    ASSERT_TRUE(fake.errors.isEmpty()) << fake.errors.join("\n").toStdString();
    EXPECT_EQ(form->MemoText().toUtf8().size(), 2953);
    EXPECT_EQ(scan(), QList<QByteArray>{form->MemoText().toUtf8()});
    const QImage largest = form->Image2->Picture();

    form->edtsufixo->setText(QString(2905, u'x'));
    form->gerarvcard->click();
    ASSERT_EQ(fake.errors.size(), 1);
    EXPECT_TRUE(fake.errors[0].contains("2954")) << fake.errors[0].toStdString();
    EXPECT_EQ(form->Image2->Picture(), largest);
    EXPECT_FALSE(vcardgerado);
    // Outputs of the stale card do nothing; the window stays usable.
    EXPECT_FALSE(exportBoth("stale"));
    form->edtsufixo->setText("ok");
    form->gerarvcard->click();
    EXPECT_TRUE(vcardgerado);
}

TEST_F(BadInput, HugeNameFailsCleanlyAndTheWindowGoesOn) {
    form->edtnome->setText(QString(10000, u'N'));
    form->gerarvcard->click();
    EXPECT_EQ(fake.errors.size(), 1);
    EXPECT_FALSE(vcardgerado);
    // A long but encodable name: the card is made, its lines cut or wrapped, never crashing.
    form->edtnome->setText(QString(600, u'N'));
    form->gerarvcard->click();
    EXPECT_TRUE(vcardgerado);
    EXPECT_TRUE(exportBoth("longo"));
    EXPECT_EQ(fake.errors.size(), 1);
}

TEST_F(BadInput, UnusualTextsTravelAsUtf8) {
    const QString texts[] = {
        QString::fromUtf8("Zé 😀 Café 👩‍💻"), // emoji with surrogate pairs and a joiner
        QString::fromUtf8("محمد الشريف"),                // right-to-left
        QString::fromUtf8("שלום ‏abc‎"),         // mixed directions with marks
        QString(QChar(0xD83D)) + "x" + QChar(0xDC00),    // unpaired surrogates
    };
    int n = 0;
    for (const QString& text : texts) {
        form->edtnome->setText(text);
        form->edtsufixo->setText(text);
        form->gerarvcard->click();
        ASSERT_TRUE(vcardgerado) << n;
        lumo::ContactFields fields;
        fields.nome = text;
        fields.sufixo = text;
        const QByteArray bytes = lumo::toUtf8(lumo::composeVCard(fields));
        EXPECT_FALSE(bytes.contains('?')) << n;
        EXPECT_EQ(scan(), QList<QByteArray>{bytes}) << n;
        EXPECT_TRUE(exportBoth(QStringLiteral("texto%1").arg(n++)));
    }
    EXPECT_TRUE(fake.errors.isEmpty()) << fake.errors.join("\n").toStdString();
}

TEST_F(BadInput, ReadOnlyPlacesKeepTheirFiles) {
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop root";
    form->gerarvcard->click();
    const QString locked = dir.filePath("trancado.pdf");
    {
        QFile f(locked);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("antigo");
    }
    QFile::setPermissions(locked, QFile::ReadOwner);
    QDir(dir.path()).mkdir("so_leitura");
    const QString readOnlyDir = dir.filePath("so_leitura");
    QFile::setPermissions(readOnlyDir, QFile::ReadOwner | QFile::ExeOwner);
    fake.saveAnswers = {locked, readOnlyDir + "/c.pdf", readOnlyDir + "/c.vcf"};
    form->SpeedButton5->click();
    form->SpeedButton5->click();
    form->SpeedButton12->click();
    EXPECT_EQ(fake.errors.size(), 3);
    EXPECT_EQ(fake.beeps, 0);
    QFile f(locked);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "antigo");
    EXPECT_TRUE(QDir(readOnlyDir).entryList(QDir::Files | QDir::Hidden).isEmpty());
    QFile::setPermissions(readOnlyDir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST_F(BadInput, TheLargestContactListTheImportTakesSavesReopensAndRecovers) {
    // As many contacts as a card keeps, in a file of nearly the largest size the import
    // reads, with texts that JSON escapes or writes in several bytes.
    const qsizetype count = lumo::kMaxCardContacts;
    const QByteArray header = "Nome;Sobrenome;E-mail\n";
    const qsizetype row = (lumo::kMaxContactsFileSize - header.size()) / count;
    QByteArray csv = header;
    csv.reserve(lumo::kMaxContactsFileSize);
    const QByteArray surname = QString::fromUtf8("Conceição \\ \t 😀 ").toUtf8();
    for (qsizetype i = 0; i < count; ++i) {
        const QByteArray start = "Ana" + QByteArray::number(i) + ';' + surname;
        const QByteArray end = ";ana" + QByteArray::number(i) + "@exemplo.com.br\n";
        csv += start + QByteArray(row - start.size() - end.size(), 'x') + end;
    }
    ASSERT_LE(csv.size(), lumo::kMaxContactsFileSize);
    const QString contacts = dir.filePath("todos.csv");
    {
        QFile f(contacts);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(csv) == csv.size());
    }
    csv = {};
    lumo::RecoveryWriter recovery(&form->Model(), dir.filePath("recuperacao"));
    form->AttachRecovery(&recovery);
    fake.openAnswers = {contacts};
    form->ImportarContatos1->trigger();
    ASSERT_TRUE(fake.errors.isEmpty()) << fake.errors.join("\n").toStdString();
    ASSERT_EQ(form->Model().Contacts().size(), std::size_t(count));
    const lumo::CardState imported = form->Model().State();

    fake.saveAnswers = {dir.filePath("todos.lumocard")};
    form->SalvarCartao1->trigger();
    form->Novo1->trigger();
    form->OpenDocument(dir.filePath("todos.lumocard"));
    ASSERT_TRUE(fake.errors.isEmpty()) << fake.errors.join("\n").toStdString();
    EXPECT_TRUE(form->Model().State() == imported);

    QSignalSpy written(&recovery, &lumo::RecoveryWriter::written);
    recovery.writeNow();
    ASSERT_TRUE(written.wait(60000));
    EXPECT_TRUE(lumo::readCardFolder(recovery.folder()) == imported);

    // One contact more than a card keeps is refused before the list is kept.
    QFile more(dir.filePath("demais.csv"));
    ASSERT_TRUE(more.open(QIODevice::WriteOnly));
    more.write("Nome\n");
    for (qsizetype i = 0; i <= count; ++i)
        more.write("x\n");
    more.close();
    fake.openAnswers = {more.fileName()};
    form->ImportarContatos1->trigger();
    ASSERT_EQ(fake.errors.size(), 1);
    EXPECT_TRUE(fake.errors[0].contains("100001 contatos; um cartão guarda no máximo 100000"))
        << fake.errors[0].toStdString();
    EXPECT_EQ(form->Model().Contacts().size(), std::size_t(count));
}

TEST_F(BadInput, RecoveryTroubleIsShownAndARestoredCardKeepsItsDocument) {
    QFile(dir.filePath("arquivo")).open(QIODevice::WriteOnly);
    lumo::RecoveryWriter failing(&form->Model(), dir.filePath("arquivo/recuperacao"));
    failing.setDelay(std::chrono::milliseconds(0));
    form->AttachRecovery(&failing);
    QSignalSpy failed(&failing, &lumo::RecoveryWriter::writeFailed);
    QTest::keyClicks(form->edtnome, "Ana");
    ASSERT_TRUE(failed.wait(5000));
    EXPECT_TRUE(form->AvisoRecuperacao1->isVisible());
    EXPECT_EQ(form->AvisoRecuperacao1->text(),
              "Não foi possível gravar a cópia de recuperação: a pasta não pôde ser criada.");
    EXPECT_TRUE(fake.errors.isEmpty());
    if (const QByteArray shot = qgetenv("LUMO_GRAB_DIR"); !shot.isEmpty())
        form->grab().save(QString::fromLocal8Bit(shot) + "/aviso-recuperacao.png");
    failing.flush();

    // A card restored from its copy keeps its document's name and is saved there.
    lumo::RecoveryWriter recovery(&form->Model(), dir.filePath("recuperacao"));
    recovery.setDelay(std::chrono::milliseconds(0));
    form->AttachRecovery(&recovery);
    lumo::CardState card;
    card.contact.nome = "Bia";
    const QString path = dir.filePath("cartão.lumocard");
    form->RestoreCard(card, path);
    EXPECT_EQ(form->windowTitle(), "cartão[*] - Lumo Card");
    EXPECT_TRUE(form->isWindowModified());
    form->SalvarCartao1->trigger();
    EXPECT_TRUE(fake.errors.isEmpty()) << fake.errors.join("\n").toStdString();
    EXPECT_EQ(lumo::openCardDocument(path).contact.nome, "Bia");
    // Saved, and then opened unchanged: no copy counts.
    recovery.flush();
    EXPECT_FALSE(QFileInfo::exists(recovery.folder()));
    QTest::keyClicks(form->edtsobrenome, "Lima");
    form->OpenDocument(path);
    recovery.flush();
    EXPECT_FALSE(QFileInfo::exists(recovery.folder()));

    // A QR text too long for the saved level: a stale card and the reason, not a ticked card
    // with an empty plate.
    card.qrText = QString(2000, u'q');
    card.qrLevel = qrLevelH;
    card.generated = true;
    card.generateGlyph = 0;
    lumo::saveCardDocument(path, card);
    form->OpenDocument(path);
    ASSERT_EQ(fake.errors.size(), 1);
    EXPECT_TRUE(fake.errors[0].contains("2000")) << fake.errors[0].toStdString();
    EXPECT_FALSE(vcardgerado);
    EXPECT_EQ(form->GerarImageIndex(), 1);
    EXPECT_TRUE(form->Image2->Picture().isNull());
}
