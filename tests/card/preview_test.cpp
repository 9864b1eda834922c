#include "app/mainwindow.h"
#include "card/cardlabel.h"
#include "card/cardmodel.h"
#include "card/cardoutput.h"
#include "card/cardpanel.h"
#include "card/cardtext.h"
#include "card/image.h"
#include "card/pictureloader.h"
#include "card/qrpicture.h"
#include "contact/vcard.h"
#include "formtest.h"
#include "platform/errors.h"
#include "tests/report/readback.h"
#include "zbardecode.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QtEndian>

#include <set>

#include <sys/stat.h>

namespace {

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QImage solid(QSize size, QColor color) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

// Lengths of the runs of equal pixels along row y.
std::vector<int> runs(const QImage& picture, int y) {
    std::vector<int> out;
    int run = 1;
    for (int x = 1; x < picture.width(); ++x) {
        if (qGray(picture.pixel(x, y)) == qGray(picture.pixel(x - 1, y))) {
            ++run;
        } else {
            out.push_back(run);
            run = 1;
        }
    }
    out.push_back(run);
    return out;
}

// A PNG whose header claims `width` × `height` pixels.
QByteArray pngClaiming(quint32 width, quint32 height) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    solid({1, 1}, Qt::red).save(&buffer, "png");
    // IHDR data starts at byte 16; its CRC covers the chunk type and data (bytes 12..28).
    qToBigEndian(width, png.data() + 16);
    qToBigEndian(height, png.data() + 20);
    // PNG chunks carry a CRC-32 (the zlib one).
    quint32 c = 0xFFFFFFFFu;
    for (int i = 12; i < 29; ++i) {
        c ^= quint8(png[i]);
        for (int k = 0; k < 8; ++k)
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    qToBigEndian(c ^ 0xFFFFFFFFu, png.data() + 29);
    return png;
}

QByteArray encoded(const QImage& image, const char* format, bool progressive = false) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return bytes;
}

// A progressive JPEG whose frame header claims `side` × `side` pixels.
QByteArray progressiveClaiming(int side) {
    QByteArray jpeg = encoded(solid({16, 16}, Qt::gray), "jpg", true);
    const qsizetype frame = jpeg.indexOf("\xFF\xC2");
    qToBigEndian(quint16(side), jpeg.data() + frame + 5);
    qToBigEndian(quint16(side), jpeg.data() + frame + 7);
    return jpeg;
}

// A picture whose coded data fills most of its file, so a cut lands in the middle of it.
QImage noise(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb((x * 7919 + y * 104729) % 251, (x * y) % 256, (x ^ y) & 0xFF));
    return image;
}

// A camera's layout: an EXIF block after the start marker carrying a small JPEG thumbnail,
// whose own end marker (FF D9) comes long before the picture's.
QByteArray withExifThumbnail(const QByteArray& jpeg) {
    const QByteArray thumbnail = encoded(solid({16, 12}, Qt::gray), "jpg");
    QByteArray tiff("II*\0\x08\0\0\0"
                    "\0\0\x0E\0\0\0",
                    14); // IFD0 empty, IFD1 at 14
    const auto le16 = [&](quint16 v) { tiff += char(v & 0xFF), tiff += char(v >> 8); };
    const auto le32 = [&](quint32 v) { le16(quint16(v)), le16(quint16(v >> 16)); };
    le16(2);
    le16(0x0201), le16(4), le32(1), le32(44); // where the thumbnail starts
    le16(0x0202), le16(4), le32(1), le32(quint32(thumbnail.size()));
    le32(0);
    const QByteArray app1 = QByteArray("Exif\0\0", 6) + tiff + thumbnail;
    QByteArray marker("\xFF\xE1\0\0", 4);
    qToBigEndian(quint16(app1.size() + 2), marker.data() + 2);
    return jpeg.left(2) + marker + app1 + jpeg.mid(2);
}

// A grey baseline JPEG of any size written directly: with one-bit codes for "no change" and
// "end of block", each 8 × 8 block takes two bits, so 200 megapixels fit in 800 KB.
QByteArray flatJpeg(int width, int height) {
    QByteArray jpeg("\xFF\xD8", 2);
    const auto segment = [&](char marker, const QByteArray& body) {
        QByteArray head("\xFF\0\0\0", 4);
        head[1] = marker;
        qToBigEndian(quint16(body.size() + 2), head.data() + 2);
        jpeg += head + body;
    };
    QByteArray frame("\x08\0\0\0\0\x01\x01\x11\0", 9); // 8 bits, one component
    qToBigEndian(quint16(height), frame.data() + 1);
    qToBigEndian(quint16(width), frame.data() + 3);
    const QByteArray oneCode = QByteArray("\x01", 1) + QByteArray(16, 0); // symbol 0 coded as "0"
    segment('\xDB', QByteArray(1, 0) + QByteArray(64, 1));
    segment('\xC0', frame);
    segment('\xC4', QByteArray(1, 0x00) + oneCode);
    segment('\xC4', QByteArray(1, 0x10) + oneCode);
    segment('\xDA', QByteArray("\x01\x01\0\0\x3F\0", 6));
    const qint64 blocks = qint64((width + 7) / 8) * ((height + 7) / 8);
    return jpeg + QByteArray((blocks * 2 + 7) / 8, 0) + QByteArray("\xFF\xD9", 2);
}

class Preview : public FormTest {
protected:
    void TearDown() override {
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
    }

    // Right-clicks the panel at `pos` the way a mouse does, and returns the menu that opened.
    QMenu* rightClick(QWidget* panel, QPoint pos) {
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
        QWidget* target = panel->childAt(pos);
        if (!target)
            target = panel;
        QContextMenuEvent event(QContextMenuEvent::Mouse, target->mapFrom(panel, pos),
                                panel->mapToGlobal(pos));
        QApplication::sendEvent(target, &event);
        return qobject_cast<QMenu*>(QApplication::activePopupWidget());
    }
    QString menuAt(QWidget* panel, QPoint pos) {
        QMenu* menu = rightClick(panel, pos);
        QString name = menu ? menu->objectName() : QString();
        if (menu)
            menu->close();
        return name;
    }
    bool itemEnabledAt(QWidget* panel, QPoint pos) {
        QMenu* menu = rightClick(panel, pos);
        bool enabled = menu && menu->actions().value(0) && menu->actions()[0]->isEnabled();
        if (menu)
            menu->close();
        return enabled;
    }
    QString picture(const char* name, QSize size, QColor color) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        EXPECT_TRUE(solid(size, color).save(path));
        return path;
    }

    QTemporaryDir dir;
};

} // namespace

TEST(QrPicture, SolidBlackAndWhiteBlocksOfTheSymbol) {
    const QImage picture = lumo::renderQrPicture("AB"); // version 1, 21 modules
    ASSERT_EQ(picture.size(), QSize(2000, 2000));
    std::set<int> values;
    for (int y = 0; y < 2000; y += 7)
        for (int x = 0; x < 2000; ++x)
            values.insert(qGray(picture.pixel(x, y)));
    EXPECT_EQ(values, (std::set<int>{0, 255}));
    // The top row starts with the 7 dark modules of a finder pattern, and every run of equal
    // pixels is k whole modules of 95 or 96 pixels each.
    const std::vector<int> top = runs(picture, 0);
    EXPECT_NEAR(top[0], 7 * 2000 / 21, 1);
    for (int y : {0, 500, 1000, 1999})
        for (int run : runs(picture, y)) {
            const int k = (run + 48) / 95;
            EXPECT_TRUE(k >= 1 && run >= 95 * k && run <= 96 * k) << run << " in row " << y;
        }
    EXPECT_EQ(lumo::renderQrPicture("AB"), picture);
}

TEST(QrPicture, EmptyCardIsVersionThreeAndDecodesToTheVCard) {
    const QString vcard = lumo::composeVCard({});
    const QImage picture = lumo::renderQrPicture(vcard);
    // A 29-module symbol: the finder pattern is 7 modules of 2000/29 pixels.
    EXPECT_NEAR(runs(picture, 0)[0], 7 * 2000 / 29, 1);
    QImage framed(2400, 2400, QImage::Format_RGB32);
    framed.fill(Qt::white);
    QPainter(&framed).drawImage(200, 200, picture);
    EXPECT_EQ(decodeQr(framed), QList<QByteArray>{vcard.toUtf8()});
}

// The capacity check measures the UTF-8 bytes the symbol holds, at the level asked for: no
// byte-order mark, no ISO-8859-1 count of a text that is encoded as UTF-8.
TEST(QrPicture, CapacityCountsTheBytesEncodedAtTheLevel) {
    const QString euro = QString(QChar(0x20AC)) + QString(1270, u'a');   // 3 + 1270 bytes
    const QString latin = QString(4, QChar(0xE7)) + QString(1839, u'a'); // 1843 characters, 1847 bytes
    struct Case {
        QString text;
        TQRErrorCorrection level;
        int bytes, max;
        const char* refused; // nullptr: the symbol is made
    };
    const Case cases[] = {
        {euro, qrLevelH, 1273, 1273, nullptr},
        {euro + u'a', qrLevelH, 1274, 1273, "nível H: 1274 bytes (máximo 1273)"},
        {latin, qrLevelM, 1847, 2331, nullptr},
        {latin, qrLevelQ, 1847, 1663, "nível Q: 1847 bytes (máximo 1663)"},
        {QString(2954, u'a'), qrLevelL, 2954, 2953, "nível L: 2954 bytes (máximo 2953)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(lumo::qrEncodedBytes(c.text), c.bytes);
        EXPECT_EQ(lumo::qrMaxBytes(c.level), c.max);
        EXPECT_EQ(lumo::qrCapacityNote(c.text, c.level), QStringLiteral("nível %1: %2 bytes, máximo %3")
                                                             .arg(QChar("LMQH"[c.level]))
                                                             .arg(c.bytes)
                                                             .arg(c.max));
        try {
            const QImage picture = lumo::renderQrPicture(c.text, c.level);
            EXPECT_EQ(c.refused, nullptr) << "made a symbol";
            if (c.level == qrLevelH) {
                QImage framed(2400, 2400, QImage::Format_RGB32);
                framed.fill(Qt::white);
                QPainter(&framed).drawImage(200, 200, picture);
                EXPECT_EQ(decodeQr(framed), QList<QByteArray>{c.text.toUtf8()});
            }
        } catch (const std::exception& e) {
            ASSERT_NE(c.refused, nullptr) << e.what();
            EXPECT_TRUE(QString::fromUtf8(e.what()).contains(QString::fromUtf8(c.refused))) << e.what();
        }
    }
    EXPECT_EQ(lumo::qrMaxBytes(qrLevelL), 2953);
}

TEST(PictureLoader, BadFilesRaiseClearErrors) {
    QTemporaryDir dir;
    const QByteArray png = encoded(solid({64, 64}, Qt::blue), "png");
    const QByteArray jpg = encoded(noise({200, 150}), "jpg");
    const QByteArray camera = withExifThumbnail(jpg);
    const QByteArray bmp = encoded(noise({40, 30}), "bmp");
    const QByteArray progressive = encoded(noise({200, 150}), "jpg", true);
    struct Case {
        const char* name;
        QByteArray bytes;
        const char* says;
    };
    const Case cases[] = {
        {"vazio.png", "", "vazio"},
        {"texto.png", "isto não é uma imagem\n", "imagem"},
        {"corrompido.jpg", QByteArray(500, '\x5A'), "imagem"},
        {"cortado.png", png.left(png.size() / 2), "imagem"},
        {"cortado.jpg", jpg.left(jpg.size() / 2), "incompleto"},
        {"camera_cortada.jpg", camera.left(camera.size() * 45 / 100), "incompleto"},
        {"cortado.bmp", bmp.left(bmp.size() - 100), "incompleto"},
        // Qt reads a header of any declared size but 12 as a 40-byte one.
        {"cabecalho_zero.bmp", QByteArray::fromBase64("Qk1OAABGAwAAAAAAAAAAAAAAPRVA9gEAGADEDv//Qfo8Hsg8wwA="),
         "incompleto"},
        {"enorme.png", pngClaiming(30000, 30000), "grande demais"},
        // Decoding would first fill 2.7 GB with its coefficients.
        {"progressivo.jpg", progressiveClaiming(30000), "JPEG progressivo"},
        {"imagem.gif", png, "Extensão de imagem desconhecida (.gif)."},
    };
    for (const Case& c : cases) {
        const QString path = dir.filePath(c.name);
        writeAll(path, c.bytes);
        try {
            lumo::loadPicture(path);
            ADD_FAILURE() << c.name << " loaded";
        } catch (const lumo::UserError& e) {
            EXPECT_TRUE(QString::fromUtf8(e.what()).contains(QString::fromUtf8(c.says)))
                << c.name << ": " << e.what();
        }
    }
    EXPECT_THROW(lumo::loadPicture(dir.filePath("sumiu.png")), lumo::UserError);
    QDir(dir.path()).mkdir("pasta.png");
    EXPECT_THROW(lumo::loadPicture(dir.filePath("pasta.png")), lumo::UserError);
    // A pipe would block the open forever, a device would be read without end.
    ASSERT_EQ(mkfifo(QFile::encodeName(dir.filePath("fila.jpg")).constData(), 0600), 0);
    QFile::link("/dev/zero", dir.filePath("zero.png"));
    for (const char* name : {"fila.jpg", "zero.png"}) {
        try {
            lumo::loadPicture(dir.filePath(name));
            ADD_FAILURE() << name << " loaded";
        } catch (const lumo::UserError& e) {
            EXPECT_TRUE(QString::fromUtf8(e.what()).contains("arquivo comum")) << name << ": " << e.what();
        }
    }

    writeAll(dir.filePath("ok.PNG"), png);
    EXPECT_EQ(lumo::loadPicture(dir.filePath("ok.PNG")).size(), QSize(64, 64));
    // Complete pictures load: with a thumbnail, and without the end marker some writers omit.
    writeAll(dir.filePath("camera.jpg"), camera);
    EXPECT_EQ(lumo::loadPicture(dir.filePath("camera.jpg")).size(), QSize(200, 150));
    writeAll(dir.filePath("progressivo.jpg"), progressive);
    EXPECT_EQ(lumo::loadPicture(dir.filePath("progressivo.jpg")).size(), QSize(200, 150));
    writeAll(dir.filePath("sem_fim.jpg"), jpg.chopped(2));
    EXPECT_EQ(lumo::loadPicture(dir.filePath("sem_fim.jpg")).size(), QSize(200, 150));
    writeAll(dir.filePath("ok.bmp"), bmp);
    EXPECT_EQ(lumo::loadPicture(dir.filePath("ok.bmp")).size(), QSize(40, 30));
}

TEST(PictureLoader, PhonePhotographsDecodeScaledDown) {
    QTemporaryDir dir;
    // 48 and 200 megapixels; the short side comes down to what a 600 dpi print of the card
    // needs, the aspect ratio stays.
    const struct {
        QSize size;
        QSize expected;
    } cases[] = {{{8000, 6000}, {2741, 2056}}, {{12500, 16000}, {2056, 2632}}, {{40000, 5000}, {4112, 514}}};
    for (const auto& c : cases) {
        const QString path = dir.filePath("foto.jpg");
        writeAll(path, flatJpeg(c.size.width(), c.size.height()));
        const QImage picture = lumo::loadPicture(path);
        EXPECT_EQ(picture.size(), c.expected) << c.size.width() << "x" << c.size.height();
        EXPECT_EQ(qGray(picture.pixel(picture.width() / 2, picture.height() / 2)), 128);
    }
    // A BMP stored top down declares a negative height.
    QByteArray bmp = encoded(solid({4200, 100}, Qt::gray), "bmp");
    qToLittleEndian<qint32>(-100, bmp.data() + 22);
    writeAll(dir.filePath("de_cima.bmp"), bmp);
    EXPECT_EQ(lumo::loadPicture(dir.filePath("de_cima.bmp")).size(), QSize(4112, 98));
    // A 20-megapixel BMP decodes whole (80 MB) before it is scaled: within the decoder's limit.
    const int w = 5000, h = 4000;
    QByteArray photo(54, '\0');
    photo[0] = 'B';
    photo[1] = 'M';
    qToLittleEndian<quint32>(54 + 3 * w * h, photo.data() + 2);
    qToLittleEndian<quint32>(54, photo.data() + 10);
    qToLittleEndian<quint32>(40, photo.data() + 14);
    qToLittleEndian<qint32>(w, photo.data() + 18);
    qToLittleEndian<qint32>(h, photo.data() + 22);
    qToLittleEndian<quint16>(1, photo.data() + 26);
    qToLittleEndian<quint16>(24, photo.data() + 28);
    qToLittleEndian<quint32>(3 * w * h, photo.data() + 34);
    photo.append(QByteArray(3 * w * h, char(128)));
    writeAll(dir.filePath("foto.bmp"), photo);
    const QImage big = lumo::loadPicture(dir.filePath("foto.bmp"));
    EXPECT_EQ(big.size(), QSize(2570, 2056));
    EXPECT_EQ(qGray(big.pixel(1285, 1028)), 128);
}

TEST_F(Preview, GenerateShowsTheQrAndMarksTheVCardCurrent) {
    form->edtnome->setText("João");
    form->gerarvcard->click();
    EXPECT_TRUE(vcardgerado);
    EXPECT_EQ(form->Image2->Picture().size(), QSize(2000, 2000));
    EXPECT_EQ(form->Image1->Picture(), form->Image2->Picture());
    QImage framed(2200, 2200, QImage::Format_RGB32);
    framed.fill(Qt::white);
    QPainter(&framed).drawImage(100, 100, form->Image2->Picture());
    EXPECT_EQ(decodeQr(framed), QList<QByteArray>{form->MemoText().toUtf8()});
}

// Bounding box, in page units, of the dark pixels of a front side drawn `scale` pixels a unit,
// within the band of the name and suffix (between the icon and the QR plate).
QRectF textInk(const QImage& side, double scale) {
    QRectF ink;
    for (int y = int(50 * scale); y < int(137 * scale); ++y)
        for (int x = int(17 * scale); x < int(187 * scale); ++x)
            if (qGray(side.pixel(x, y)) < 128)
                ink |= QRectF(x / scale, y / scale, 1 / scale, 1 / scale);
    return ink;
}

TEST_F(Preview, LongNameAndSuffixAreFittedAlikeOnScreenAndPaper) {
    const struct {
        QString surname, suffix;
        bool nameCut, suffixCut;
    } cases[] = {
        {"dos Santos Magalhães", "Diretora de Relações Institucionais e Governamentais", false, false},
        {"dos Santos Magalhães de Albuquerque Cavalcanti Bragança e Orléans", "Arquiteta", true, false},
        {"Lima", "Diretora de Relações Institucionais e Governamentais do Nordeste e do Centro-Oeste", false,
         true},
    };
    const double preview = 273 / 204.09462; // pixels a unit
    for (const auto& c : cases) {
        SCOPED_TRACE(c.surname.toStdString() + " / " + c.suffix.toStdString());
        form->edtnome->setText("Maria da Conceição Aparecida");
        form->edtsobrenome->setText(c.surname);
        form->edtsufixo->setText(c.suffix);
        form->gerarvcard->click();
        ASSERT_TRUE(vcardgerado);
        fake.saveAnswers = {dir.filePath("c.jpg"), dir.filePath("c.pdf")};
        form->SpeedButton4->click();
        form->SpeedButton5->click();
        const QRectF paper = textInk(QImage(dir.filePath("c.1.jpg")), 300 / 96.0);
        const QRectF screen = textInk(form->painelfrente->grab().toImage(), preview);
        ASSERT_FALSE(paper.isEmpty());
        for (const auto& [a, b] : {std::pair{screen.left(), paper.left()},
                                   {screen.right(), paper.right()},
                                   {screen.top(), paper.top()},
                                   {screen.bottom(), paper.bottom()}})
            EXPECT_NEAR(a, b, 1.5 / preview);
        const QImage pdf = reporttest::rasterizePdf(dir.filePath("c.pdf"), 300);
        if (!pdf.isNull()) {
            const QRectF printed = textInk(pdf, 300 / 96.0);
            EXPECT_NEAR(printed.left(), paper.left(), 0.7);
            EXPECT_NEAR(printed.bottom(), paper.bottom(), 0.7);
        }

        // The window says what is cut, without a message box; so does the check of a design.
        const lumo::CardTextCuts cuts = lumo::cardTextCuts(lumo::designOf(form->Model()));
        EXPECT_EQ(cuts.name, c.nameCut);
        EXPECT_EQ(cuts.suffix, c.suffixCut);
        auto* notice = form->findChild<QLabel*>("avisocorte");
        ASSERT_NE(notice, nullptr);
        EXPECT_EQ(notice->isVisible(), cuts.any());
        EXPECT_EQ(notice->text(), lumo::textCutNotice(cuts));
        EXPECT_TRUE(fake.errors.isEmpty());
    }
}

TEST_F(Preview, FailedGenerateKeepsThePicturesAndTheStaleState) {
    form->gerarvcard->click();
    const QImage before = form->Image2->Picture();
    form->edtsufixo->setText(QString(3000, u'x'));
    form->gerarvcard->click();
    ASSERT_EQ(fake.errors.size(), 1);
    EXPECT_TRUE(fake.errors[0].contains("máximo 2953")) << fake.errors[0].toStdString();
    EXPECT_FALSE(vcardgerado);
    EXPECT_EQ(form->GerarImageIndex(), 1);
    EXPECT_EQ(form->Image2->Picture(), before);
    EXPECT_EQ(form->Image1->Picture(), before);
    EXPECT_TRUE(form->MemoText().contains(QString(3000, u'x')));
}

TEST_F(Preview, SavingTheQrPictureWritesADecodableJpeg) {
    // Empty memo: the item is disabled and the action does nothing.
    EXPECT_EQ(menuAt(form->painelfrente, {130, 300}), "PopupMenu1");
    EXPECT_FALSE(itemEnabledAt(form->painelfrente, {130, 300}));
    form->Salvar1Click();
    EXPECT_TRUE(fake.saveRequests.empty());

    // Text typed into the memo without a picture leaves it disabled and nothing is written.
    form->memovcard->setPlainText("x");
    EXPECT_FALSE(itemEnabledAt(form->painelfrente, {30, 200}));
    form->Salvar1Click();
    EXPECT_TRUE(fake.saveRequests.empty());

    QTest::keyClicks(form->edtnome, "Ana");
    form->gerarvcard->click();
    QTest::keyClicks(form->edtnome, "x"); // stale does not matter here
    EXPECT_TRUE(itemEnabledAt(form->painelfrente, {30, 200}));
    const QString path = dir.filePath("qr.jpg");
    fake.saveAnswers.push_back(path);
    form->Salvar1->trigger();
    EXPECT_EQ(fake.saveRequests.back().fileName, "Código QR Vcard Anax ");
    EXPECT_EQ(fake.saveRequests.back().dialogName, "SaveDialog1");
    QImageReader reader(path);
    EXPECT_EQ(reader.format(), "jpeg");
    const QImage saved = reader.read();
    ASSERT_EQ(saved.size(), QSize(2000, 2000));
    QImage framed(2200, 2200, QImage::Format_RGB32);
    framed.fill(Qt::white);
    QPainter(&framed).drawImage(100, 100, saved);
    EXPECT_EQ(decodeQr(framed),
              QList<QByteArray>{
                  lumo::composeVCard({"Ana", {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}}).toUtf8()});
    EXPECT_EQ(fake.beeps, 0);
}

TEST_F(Preview, RightClickOpensTheMenuOfTheTopmostElement) {
    struct Case {
        const char* what;
        bool back;
        QPoint at;
        const char* menu;
    };
    form->CheckBox3->click(); // the icon shown must not change the front's menu
    const Case cases[] = {
        {"front corner", false, {2, 2}, "PopupMenu2"},
        {"front icon", false, {136, 45}, "PopupMenu2"},
        {"front name", false, {136, 110}, "PopupMenu2"},
        {"front suffix", false, {136, 130}, "PopupMenu2"},
        {"QR plate", false, {25, 190}, "PopupMenu1"},
        {"QR picture", false, {136, 300}, "PopupMenu1"},
        {"front bottom", false, {136, 425}, "PopupMenu2"},
        {"logo box corner", true, {23, 23}, "PopupMenu3"},
        {"logo box far corner", true, {250, 412}, "PopupMenu3"},
        {"back margin left", true, {22, 200}, "PopupMenu4"},
        {"back margin bottom", true, {136, 413}, "PopupMenu4"},
        {"back margin right", true, {251, 30}, "PopupMenu4"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(menuAt(c.back ? static_cast<QWidget*>(form->painelverso) : form->painelfrente, c.at),
                  c.menu)
            << c.what;
}

TEST_F(Preview, RemoveItemsAreEnabledOnlyForLoadedPictures) {
    EXPECT_FALSE(itemEnabledAt(form->painelfrente, {5, 5}));
    EXPECT_FALSE(itemEnabledAt(form->painelverso, {100, 100}));
    EXPECT_FALSE(itemEnabledAt(form->painelverso, {5, 5}));

    fake.openAnswers = {picture("fundo.png", {300, 100}, Qt::red), picture("verso.jpg", {50, 50}, Qt::green),
                        picture("logo.bmp", {400, 100}, Qt::blue)};
    form->SpeedButton8->click();
    form->SpeedButton9->click();
    form->SpeedButton11->click();
    EXPECT_EQ(fake.openRequests[0].filter, "Imagem (*.jpg *.jpeg *.png *.bmp)");
    EXPECT_TRUE(itemEnabledAt(form->painelfrente, {5, 5}));
    EXPECT_TRUE(itemEnabledAt(form->painelverso, {100, 100}));
    EXPECT_TRUE(itemEnabledAt(form->painelverso, {5, 5}));

    rightClick(form->painelverso, {100, 100})->actions()[0]->trigger();
    EXPECT_TRUE(form->plogo->Empty());
    rightClick(form->painelverso, {5, 5})->actions()[0]->trigger();
    EXPECT_TRUE(form->pbackgroundfundo->Empty());
    rightClick(form->painelfrente, {5, 5})->actions()[0]->trigger();
    EXPECT_TRUE(form->pbackground->Empty());
    // Removing leaves "Verso" as the logo left it.
    EXPECT_TRUE(form->CheckBox2->isChecked());
}

TEST_F(Preview, VersoIsTickedByBackColourAndLogoOnly) {
    form->SpeedButton10->click(); // cancelled
    EXPECT_FALSE(form->CheckBox2->isChecked());
    fake.openAnswers.push_back(picture("fundo.png", {10, 10}, Qt::red));
    form->SpeedButton9->click();
    EXPECT_FALSE(form->CheckBox2->isChecked());
    EXPECT_FALSE(form->pbackgroundfundo->Empty());

    // The dialog starts from its own last colour, not from the card's.
    fake.colorAnswers.push_back(QColor(Qt::white));
    form->SpeedButton10->click();
    EXPECT_EQ(fake.colorRequests.back().initial, QColor(52, 111, 158));
    EXPECT_TRUE(form->CheckBox2->isChecked());

    form->CheckBox2->setChecked(false);
    fake.openAnswers.push_back(picture("logo.png", {10, 10}, Qt::blue));
    form->SpeedButton11->click();
    EXPECT_TRUE(form->CheckBox2->isChecked());

    form->CheckBox2->setChecked(false);
    fake.colorAnswers.push_back(QColor(Qt::yellow));
    form->SpeedButton10->click();
    EXPECT_EQ(form->painelverso->Color(), QColor(Qt::yellow));
    EXPECT_EQ(fake.colorRequests.back().initial, QColor(Qt::white));
    EXPECT_EQ(fake.colorRequests.back().dialogName, "ColorDialog1");
}

TEST_F(Preview, ColoursGoToTheirTargets) {
    fake.colorAnswers = {QColor(Qt::red), QColor(Qt::darkGreen)};
    form->SpeedButton7->click();
    form->SpeedButton6->click();
    EXPECT_EQ(form->painelfrente->Color(), QColor(Qt::red));
    EXPECT_EQ(form->painelverso->Color(), QColor(Qt::white));
    EXPECT_FALSE(form->CheckBox2->isChecked());
    for (lumo::TCardLabel* label : {form->picone, form->pnome, form->psufixo})
        EXPECT_EQ(label->FontColor(), QColor(Qt::darkGreen));
    EXPECT_EQ(fake.colorRequests[1].dialogName, "ColorDialog2");
    // Each dialog keeps its own start colour and custom colours.
    EXPECT_EQ(fake.colorRequests[1].initial, QColor(52, 111, 158));
}

TEST_F(Preview, IconFollowsNfcOnly) {
    EXPECT_FALSE(form->picone->isVisible());
    form->sangria->click();
    EXPECT_FALSE(form->picone->isVisible());
    form->CheckBox3->click();
    EXPECT_TRUE(form->picone->isVisible());
    form->sangria->click();
    EXPECT_TRUE(form->picone->isVisible());
    form->CheckBox3->click();
    EXPECT_FALSE(form->picone->isVisible());
}

TEST_F(Preview, BadPictureKeepsThePreviousPictureAndState) {
    fake.openAnswers.push_back(picture("bom.png", {20, 10}, Qt::red));
    form->SpeedButton11->click();
    const QImage logo = form->plogo->Picture();
    form->CheckBox2->setChecked(false);

    const QString bad[] = {dir.filePath("vazio.png"), dir.filePath("sumiu.jpg"), dir.filePath("x.txt")};
    writeAll(bad[0], "");
    for (const QString& path : bad) {
        fake.openAnswers.push_back(path);
        form->SpeedButton11->click();
    }
    EXPECT_EQ(fake.errors.size(), 3);
    EXPECT_TRUE(fake.errors.last().contains("Extensão de imagem desconhecida (.txt)."));
    EXPECT_EQ(form->plogo->Picture(), logo);
    EXPECT_FALSE(form->CheckBox2->isChecked());
}

TEST_F(Preview, PicturesArePlacedByTheirElementsRules) {
    fake.openAnswers = {picture("largo.png", {400, 100}, Qt::red), picture("logo.png", {400, 100}, Qt::blue)};
    form->SpeedButton8->click();
    form->SpeedButton11->click();
    const QImage front = form->painelfrente->grab().toImage();
    const QImage back = form->painelverso->grab().toImage();
    // The background is stretched over the whole front (inside the frame's rounding).
    EXPECT_EQ(QColor(front.pixel(60, 10)), QColor(Qt::red));
    EXPECT_EQ(QColor(front.pixel(136, 430)), QColor(Qt::red));
    // The wide logo keeps its proportions in the 228 × 390 box: 228 × 57, centred.
    EXPECT_EQ(QColor(back.pixel(136, 218)), QColor(Qt::blue));
    EXPECT_EQ(QColor(back.pixel(136, 23 + 390 / 2 - 57 / 2 - 3)), QColor(Qt::white));
    EXPECT_EQ(QColor(back.pixel(136, 23 + 390 / 2 + 57 / 2 + 3)), QColor(Qt::white));
    EXPECT_EQ(lumo::placePicture({400, 100}, {228, 390}, lumo::Placement::Fit), QRect(0, 166, 228, 57));
    EXPECT_EQ(lumo::placePicture({2000, 2000}, {200, 200}, lumo::Placement::ShrinkOnly),
              QRect(0, 0, 200, 200));
    EXPECT_EQ(lumo::placePicture({100, 50}, {200, 200}, lumo::Placement::ShrinkOnly), QRect(50, 75, 100, 50));
}
