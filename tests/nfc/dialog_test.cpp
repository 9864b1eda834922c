#include "chiptest.h"

#include "app/nfccommand.h"
#include "app/nfcdialog.h"
#include "card/document.h"
#include "contact/vcard.h"
#include "fakeplatform.h"
#include "nfc/chipwriter.h"
#include "platform/utf8.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace lumo;

namespace {

// Runs the event loop until `done` holds, at most 10 s without progress.
template <class F> bool until(NfcWriteDialog& dialog, F done) {
    QSignalSpy spy(&dialog, &NfcWriteDialog::progressed);
    while (!done())
        if (!spy.wait(10000))
            return done();
    return true;
}

} // namespace

// The dialog waits for a chip on a thread with the window alive, writes the card's QR bytes
// when one comes, beeps and says how much it wrote; locking asks first; Cancel ends a wait.
TEST_F(ChipTest, DialogWaitsWritesTheCardAndBeeps) {
    FakePlatform fake;
    CardModel model;
    model.SetContact(contactOfSize(300));
    model.Generate();
    NfcWriteDialog dialog(nullptr, {chipJobOfCard(model)}, {reader()});
    dialog.show();
    dialog.start();
    EXPECT_EQ(dialog.lblstatus->text(), QStringLiteral("Aproxime o cartão do leitor"));
    EXPECT_FALSE(dialog.cmbleitor->isEnabled());
    EXPECT_EQ(dialog.cmbleitor->currentText(), reader());
    dialog.grab().save(QStringLiteral(LUMO_NFC_SCREENSHOT));

    fake.questionAnswers = {1};
    dialog.chkproteger->setChecked(true);
    EXPECT_FALSE(dialog.chkproteger->isChecked());
    ASSERT_EQ(fake.questions.size(), 1);
    EXPECT_TRUE(fake.questions[0].contains(QStringLiteral("não pode ser desfeito")));

    auto chip = std::make_shared<VirtualNtag>(VirtualNtag::Ntag215, VirtualNtag::Options{});
    bring(chip);
    ASSERT_TRUE(until(dialog, [&] { return dialog.lblstatus->text().startsWith(QStringLiteral("Gravado")); }))
        << dialog.lblstatus->text().toStdString() << dialog.lblresultado->text().toStdString();
    EXPECT_EQ(
        dialog.lblstatus->text(),
        QStringLiteral("Gravado e conferido: %1 de 496 bytes").arg(vcardMessage(qrBytesOf(model)).size()));
    EXPECT_EQ(fake.beeps, 1);
    EXPECT_EQ(vcardSeenByPython(chip->dataArea(), false), qrBytesOf(model));
    EXPECT_EQ(dialog.btncancelar->text(), QStringLiteral("Fechar"));

    NfcWriteDialog waiting(nullptr, {chipJobOfCard(model)}, {reader()});
    waiting.show();
    takeAway();
    waiting.start();
    waiting.btncancelar->click();
    EXPECT_EQ(waiting.result(), QDialog::Rejected);
    EXPECT_EQ(fake.beeps, 1);
}

// The list goes through its contacts in order, each on a chip other than the last one
// written; Pular moves on; the summary counts written, skipped and failed.
TEST_F(ChipTest, ListWritesEachContactOnANewChipAndSummarises) {
    FakePlatform fake;
    std::vector<ContactFields> contacts(4, contactOfSize(200));
    contacts[1].nome = QStringLiteral("Bruno");
    contacts[2].nome = QStringLiteral("Carla");
    contacts[3].nome = QStringLiteral("Davi");
    std::vector<ChipJob> jobs;
    for (const ContactFields& c : contacts)
        jobs.push_back(chipJobOfContact(c));
    NfcWriteDialog dialog(nullptr, jobs, {reader()});
    dialog.show();
    dialog.start();
    EXPECT_EQ(dialog.lblstatus->text(), QStringLiteral("Cartão 1 de 4: aproxime o próximo cartão"));
    EXPECT_TRUE(dialog.btnpular->isVisible());

    auto first = std::make_shared<VirtualNtag>(VirtualNtag::Ntag215, VirtualNtag::Options{.uidLast = 1});
    bring(first);
    ASSERT_TRUE(
        until(dialog, [&] { return dialog.lblstatus->text().startsWith(QStringLiteral("Cartão 2")); }));
    const int writes = first->writes();
    // The same chip left in the field is not taken for the second contact.
    takeAway();
    QCoreApplication::processEvents();
    EXPECT_EQ(first->writes(), writes);
    EXPECT_EQ(vcardSeenByPython(first->dataArea(), false), toUtf8(composeVCard(contacts[0])));

    auto second = std::make_shared<VirtualNtag>(VirtualNtag::Ntag216, VirtualNtag::Options{.uidLast = 2});
    bring(second);
    ASSERT_TRUE(
        until(dialog, [&] { return dialog.lblstatus->text().startsWith(QStringLiteral("Cartão 3")); }));
    EXPECT_EQ(vcardSeenByPython(second->dataArea(), false), toUtf8(composeVCard(contacts[1])));
    // A chip that fails keeps the contact waiting; Pular then counts it as failed, with why.
    bring(std::make_shared<VirtualNtag>(VirtualNtag::Ntag215,
                                        VirtualNtag::Options{.readOnly = true, .uidLast = 3}));
    ASSERT_TRUE(
        until(dialog, [&] { return dialog.lblresultado->text().contains(QStringLiteral("protegido")); }));
    EXPECT_TRUE(dialog.lblstatus->text().startsWith(QStringLiteral("Cartão 3")));
    dialog.btnpular->click();
    EXPECT_TRUE(dialog.lblstatus->text().startsWith(QStringLiteral("Cartão 4")));
    dialog.btnpular->click();
    EXPECT_EQ(fake.beeps, 2);
    ASSERT_EQ(fake.messages.size(), 1);
    EXPECT_EQ(fake.messages[0].toStdString(),
              "Gravados: 2. Pulados: 1. Com falha: 1.\nCarla Araújo: O chip está "
              "protegido contra gravação; nada foi gravado.");
}

// Without the PC/SC service the menu entry says what is missing and opens nothing.
TEST(NfcMenu, WithoutTheServiceSaysWhatIsMissing) {
    if (TestPcscd::started())
        GTEST_SKIP() << "needs a process of its own, as ctest runs it";
    qputenv("PCSCLITE_CSOCK_NAME", "/nonexistent/pcscd.comm");
    FakePlatform fake;
    CardModel model;
    model.SetContact(contactOfSize(200));
    model.Generate();
    writeCardChip(nullptr, model);
    EXPECT_EQ(fake.messages, QStringList{noReaderMessage()});
}

// The command writes the document's QR bytes and exits 0 only after the read-back matched;
// 1 when the chip is too small, the reader unknown, the document missing or no chip came; 2
// for a timeout that is no number of seconds.
TEST_F(ChipTest, CommandExitsZeroOnlyAfterTheReadBackMatched) {
    QTemporaryDir dir;
    CardModel model;
    model.SetContact(contactOfSize(300));
    model.Generate();
    const QString path = dir.filePath(QStringLiteral("cartão.lumocard"));
    saveCardDocument(path, model.State());

    auto chip = std::make_shared<VirtualNtag>(VirtualNtag::Ntag215, VirtualNtag::Options{});
    bring(chip);
    EXPECT_EQ(runNfcCommand(path, QString(), 10), 0);
    EXPECT_EQ(vcardSeenByPython(chip->dataArea(), false), qrBytesOf(model));
    EXPECT_EQ(runNfcCommand(path, QStringLiteral("Outro leitor"), 10), 1);
    EXPECT_EQ(runNfcCommand(dir.filePath(QStringLiteral("nenhum.lumocard")), QString(), 10), 1);
    EXPECT_EQ(runNfcCommand(path, reader(), 0), 2);

    auto small = std::make_shared<VirtualNtag>(VirtualNtag::Ntag213, VirtualNtag::Options{});
    bring(small);
    EXPECT_EQ(runNfcCommand(path, reader(), 10), 1);
    EXPECT_EQ(small->writes(), 0);
    takeAway();
    EXPECT_EQ(runNfcCommand(path, reader(), 1), 1);
}
