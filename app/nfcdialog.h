#pragma once

// Writing contacts to NFC chips from the window: the card's own vCard ("Gravar no chip NFC…")
// or those of the ticked contacts of the list, one chip each ("Gravar chips NFC da lista…").
// The wait for a chip runs on a thread (PC/SC's SCardGetStatusChange), so the window stays
// responsive and the wait can be cancelled; writing and its read-back run when the chip came.

#include "card/cardmodel.h"

#include <QByteArray>
#include <QDialog>
#include <QString>
#include <QStringList>

#include <memory>
#include <thread>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QMenu;
class QPushButton;

namespace lumo {

class PcscContext;

// One chip to write: whose, the bytes of its vCard (its QR's bytes) and its site box.
struct ChipJob {
    QString name;
    QByteArray vcard;
    QString site;
};

// The card's own job: exactly the bytes of its QR symbol. Throws UserError when the card has
// no QR code yet.
ChipJob chipJobOfCard(const CardModel& model);
// A listed contact's job: the vCard its card in a batch carries in its QR symbol.
ChipJob chipJobOfContact(const ContactFields& contact);

class NfcWriteDialog : public QDialog {
    Q_OBJECT
public:
    // With one job the dialog writes one chip; with more it goes through them in order, each
    // on a chip other than the one before (a different UID).
    NfcWriteDialog(QWidget* parent, std::vector<ChipJob> jobs, const QStringList& readers);
    ~NfcWriteDialog() override;

    QComboBox* cmbleitor;
    QLabel *lblcontato, *lblstatus, *lblresultado;
    QCheckBox* chkproteger;
    QPushButton *btnpular, *btncancelar;

    // Starts waiting for a chip in the chosen reader.
    void start();

    int written() const { return FWritten; }
    int skipped() const { return FSkipped; }
    const QStringList& failures() const { return FFailures; }
    // The list's closing summary: written, skipped, failed with reasons.
    QString summary() const;

signals:
    // After each change of the status lines.
    void progressed();

private:
    void waitForChip(bool removalFirst);
    void stopWaiting();
    void chipArrived(unsigned generation, const QByteArray& uid);
    void waitFailed(unsigned generation, const QString& message);
    void writeCurrent(const QByteArray& uid);
    void next();
    void skip();
    void lockToggled(bool on);
    void showWaiting();
    void finish();
    QString reader() const;

    std::vector<ChipJob> FJobs;
    std::size_t FCurrent = 0;
    int FWritten = 0, FSkipped = 0;
    QStringList FFailures;
    QString FLastFailure;
    QByteArray FLastUid;
    bool FDone = false;

    std::unique_ptr<PcscContext> FWaitContext;
    std::thread FWaiter;
    unsigned FGeneration = 0;
};

// "Cartão › Gravar no chip NFC…".
void writeCardChip(QWidget* parent, const CardModel& model);
// "Gravar chips NFC da lista…": the list's ticked contacts, in its order.
void writeListChips(QWidget* parent, const CardModel& model);
// The two entries in the card menu (and the list's context menu, when given), connected.
void addNfcEntries(QWidget* window, QMenu* cardMenu, QWidget* contactList, const CardModel& model);

} // namespace lumo
