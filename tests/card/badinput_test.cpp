// Unusual contact data and hostile output places: each ends in a clear error box or a
// sound result, never a crash, and no existing file is damaged.

#include "app/mainwindow.h"
#include "card/image.h"
#include "contact/vcard.h"
#include "formtest.h"
#include "platform/utf8.h"
#include "zbardecode.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
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
