#include "chiptest.h"

#include "nfc/chipwriter.h"
#include "nfc/ndef.h"
#include "nfc/tag.h"
#include "platform/utf8.h"

#include <QProcess>
#include <QTemporaryFile>

#include <thread>

using namespace lumo;

ContactFields contactOfSize(int bytes, const QString& site) {
    ContactFields c;
    c.nome = QStringLiteral("Joana");
    c.sobrenome = QStringLiteral("Araújo");
    c.site = site;
    const auto size = [&] { return int(toUtf8(composeVCard(c)).size()); };
    // The phone and e-mail where they leave room, then the suffix pads to the size.
    c.celular = QStringLiteral("(11) 98765-4321");
    c.email = QStringLiteral("joana@exemplo.com.br");
    if (size() > bytes)
        c.celular.clear(), c.email.clear();
    c.sufixo = QString(std::max(0, bytes - size()), u'x');
    return c;
}

QByteArray qrBytesOf(const CardModel& model) {
    return toUtf8(model.QrText());
}

QByteArray vcardSeenByPython(const QByteArray& memory, bool type4) {
    QTemporaryFile file;
    if (!file.open())
        return {};
    file.write(memory);
    file.close();
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(LUMO_NFC_TEST_DIR "/read_chip.py"),
                  type4 ? QStringLiteral("type4") : QStringLiteral("type2"), file.fileName()});
    if (!python.waitForFinished(30000) || python.exitCode() != 0)
        return "python: " + python.readAllStandardError();
    return python.readAllStandardOutput();
}

namespace {

ChipWriteRequest request(const QByteArray& vcard, const QString& site, bool lock = false,
                         std::function<bool(const QString&)> offer = {}) {
    return {vcard, site, lock, std::move(offer)};
}

QByteArray generatedQr(int size, CardModel& model,
                       const QString& site = QStringLiteral("www.exemplo.com.br")) {
    model.SetContact(contactOfSize(size, site));
    model.Generate();
    return qrBytesOf(model);
}

} // namespace

// On every chip it writes, the chip ends up holding exactly the QR's bytes in one text/vcard
// record, as a reader apart from ours sees it; a blank NTAG is formatted first; a vCard over
// 255 bytes takes the long record and the three-byte TLV length.
TEST_F(ChipTest, WritesTheCardsQrBytesAndReadsThemBack) {
    struct Case {
        const char* name;
        int vcardSize;
        std::function<std::shared_ptr<VirtualChip>()> make;
        int areaSize;
    };
    const Case cases[] = {
        {"NTAG215", 300,
         [] { return std::make_shared<VirtualNtag>(VirtualNtag::Ntag215, VirtualNtag::Options{}); }, 496},
        {"NTAG216", 800,
         [] { return std::make_shared<VirtualNtag>(VirtualNtag::Ntag216, VirtualNtag::Options{}); }, 872},
        {"NTAG213", 125,
         [] { return std::make_shared<VirtualNtag>(VirtualNtag::Ntag213, VirtualNtag::Options{}); }, 144},
        {"NTAG215", 200,
         [] {
             return std::make_shared<VirtualNtag>(VirtualNtag::Ntag215, VirtualNtag::Options{.blank = true});
         },
         496},
        {"Type 4", 1500, [] { return std::make_shared<VirtualType4>(2048); }, 2048},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CardModel model;
        const QByteArray qr = generatedQr(c.vcardSize, model);
        ASSERT_NEAR(qr.size(), c.vcardSize, 2);
        const std::shared_ptr<VirtualChip> chip = c.make();
        bring(chip);
        const ChipWriteResult result =
            writeContactChip(*context, reader(), request(qr, model.Field(ContactField::Site)));
        EXPECT_EQ(result.model, QString::fromLatin1(c.name));
        EXPECT_FALSE(result.siteOnly);
        EXPECT_EQ(result.summary(), QStringLiteral("Gravado e conferido: %1 de %2 bytes")
                                        .arg(vcardMessage(qr).size())
                                        .arg(c.areaSize));
        if (auto* ntag = dynamic_cast<VirtualNtag*>(chip.get())) {
            EXPECT_EQ(vcardSeenByPython(ntag->dataArea(), false), qr);
            EXPECT_EQ(ntag->memory().mid(12, 4).toHex(), QByteArray::fromHex("E110").toHex() +
                                                             QByteArray(1, char(c.areaSize / 8)).toHex() +
                                                             "00");
        } else {
            EXPECT_EQ(vcardSeenByPython(static_cast<VirtualType4*>(chip.get())->ndefFile(), true), qr);
        }
    }
}

// A vCard an NTAG213 cannot hold: refused with both sizes when the card has no site; with a
// site, its address is offered and written as a URI record, or nothing when turned down.
TEST_F(ChipTest, TooSmallChipOffersTheSiteOrRefusesWithBothSizes) {
    CardModel model;
    const QByteArray qr = generatedQr(312, model, QString());
    const QString sizes =
        QStringLiteral("O chip tem 142 bytes livres; o cartão precisa de %1.").arg(vcardMessage(qr).size());
    auto chip = std::make_shared<VirtualNtag>(VirtualNtag::Ntag213, VirtualNtag::Options{});
    bring(chip);
    QStringList asked;
    const auto offer = [&](bool answer) {
        return [&asked, answer](const QString& q) {
            asked << q;
            return answer;
        };
    };
    try {
        writeContactChip(*context, reader(), request(qr, QString(), false, offer(true)));
        ADD_FAILURE() << "written";
    } catch (const UserError& e) {
        EXPECT_EQ(QString::fromUtf8(e.what()), sizes);
    }
    EXPECT_TRUE(asked.isEmpty());

    const ChipWriteResult declined = writeContactChip(
        *context, reader(), request(qr, QStringLiteral("exemplo.com.br"), false, offer(false)));
    EXPECT_TRUE(declined.declined);
    EXPECT_EQ(chip->writes(), 0);
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked[0].startsWith(sizes)) << asked[0].toStdString();
    EXPECT_TRUE(asked[0].contains(QStringLiteral("https://exemplo.com.br")));

    const ChipWriteResult site = writeContactChip(
        *context, reader(), request(qr, QStringLiteral("exemplo.com.br"), false, offer(true)));
    EXPECT_TRUE(site.siteOnly);
    const auto records = parseNdefMessage(*messageInType2Area(chip->dataArea()));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].payload, "\x04"
                                  "exemplo.com.br");
}

// Chips that are not ours to write are refused with a reason before any write, and one that
// does not keep what it was sent is not called written.
TEST_F(ChipTest, RefusesReadOnlyClassicAndPaymentCardsWithoutWriting) {
    struct Case {
        std::shared_ptr<VirtualChip> chip;
        const char* message;
    };
    const Case cases[] = {
        {std::make_shared<VirtualNtag>(VirtualNtag::Ntag215, VirtualNtag::Options{.readOnly = true}),
         "O chip está protegido contra gravação; nada foi gravado."},
        {std::make_shared<VirtualType4>(1024, true),
         "O chip está protegido contra gravação; nada foi gravado."},
        {std::make_shared<VirtualClassic>(), "Este é um cartão MIFARE Classic"},
        {std::make_shared<VirtualType4>(1024, false, false), "Este cartão não é um chip NFC gravável"},
        // Acknowledging a write is not enough: the read-back has to show it.
        {std::make_shared<VirtualNtag>(VirtualNtag::Ntag215, VirtualNtag::Options{.forgetsWrites = true}),
         "A conferência falhou"},
    };
    CardModel model;
    const QByteArray qr = generatedQr(100, model);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        bring(c.chip);
        try {
            writeContactChip(*context, reader(), request(qr, QString()));
            ADD_FAILURE() << "written";
        } catch (const UserError& e) {
            EXPECT_TRUE(QString::fromUtf8(e.what()).startsWith(QString::fromUtf8(c.message))) << e.what();
        }
        EXPECT_EQ(c.chip->writes(), 0);
    }
}

// A chip leaving the field in the middle is reported as such, never as written; what it holds
// then is a valid, empty message, not a length promising bytes that never came.
TEST_F(ChipTest, ChipTakenAwayMidWriteIsReportedAndLeftEmpty) {
    CardModel model;
    const QByteArray qr = generatedQr(300, model);
    auto chip =
        std::make_shared<VirtualNtag>(VirtualNtag::Ntag215, VirtualNtag::Options{.leaveAfterWrites = 20});
    bring(chip);
    try {
        writeContactChip(*context, reader(), request(qr, QString()));
        ADD_FAILURE() << "called a success";
    } catch (const UserError& e) {
        EXPECT_STREQ(e.what(), "O cartão foi afastado antes do fim; grave de novo");
    }
    EXPECT_EQ(chip->writes(), 20);
    EXPECT_EQ(messageInType2Area(chip->dataArea()), QByteArray());
}

// Locking sets the capability container read-only and the lock bits; the chip then keeps its
// vCard and refuses the next write.
TEST_F(ChipTest, LockedChipKeepsItsVcardAndRefusesTheNextWrite) {
    CardModel model;
    const QByteArray qr = generatedQr(300, model);
    auto chip = std::make_shared<VirtualNtag>(VirtualNtag::Ntag215, VirtualNtag::Options{});
    bring(chip);
    EXPECT_TRUE(writeContactChip(*context, reader(), request(qr, QString(), true)).locked);
    const QByteArray memory = chip->memory();
    EXPECT_EQ(quint8(memory[15]), 0x0F);
    EXPECT_EQ(memory.mid(10, 2).toHex(), "ffff");
    EXPECT_EQ(memory.mid(0x82 * 4, 3).toHex(), "ffffff");
    EXPECT_THROW(writeContactChip(*context, reader(), request("BEGIN:VCARD", QString())), UserError);
    EXPECT_EQ(vcardSeenByPython(chip->dataArea(), false), qr);
    // A Type 4 chip cannot be locked by us: refused before writing.
    auto type4 = std::make_shared<VirtualType4>(1024);
    bring(type4);
    EXPECT_THROW(writeContactChip(*context, reader(), request(qr, QString(), true)), UserError);
    EXPECT_EQ(type4->writes(), 0);
}

// Waiting ends with the card, with the timeout or with a cancel from another thread.
TEST_F(ChipTest, WaitingEndsOnCardTimeoutOrCancel) {
    EXPECT_EQ(context->waitForCard(reader(), 50), WaitResult::TimedOut);
    EXPECT_TRUE(context->readers().contains(reader()));
    std::thread canceller([this] { context->cancel(); });
    canceller.join();
    EXPECT_EQ(context->waitForCard(reader(), -1), WaitResult::Cancelled);

    PcscContext fresh;
    auto chip = std::make_shared<VirtualNtag>(VirtualNtag::Ntag215, VirtualNtag::Options{.uidLast = 0x42});
    field = std::make_unique<ChipInField>(daemon->port(), chip);
    EXPECT_EQ(fresh.waitForCard(reader(), 10000), WaitResult::Present);
    EXPECT_EQ(chipUid(fresh, reader()).toHex(), "04a1b2c3d4e542");
    context = std::make_unique<PcscContext>();
}
