#include "app/nfcdialog.h"

#include "contact/vcard.h"
#include "nfc/chipwriter.h"
#include "nfc/pcsc.h"
#include "platform/platform.h"
#include "platform/utf8.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

namespace lumo {

ChipJob chipJobOfCard(const CardModel& model) {
    if (!model.Generated() || model.QrText().isEmpty())
        throw UserError(QStringLiteral("Gere o cartão antes de gravar o chip."));
    // The QR symbol's bytes: its text in the program's UTF-8, as the encoder takes it.
    return {model.NameLine().trimmed(), toUtf8(model.QrText()), model.Field(ContactField::Site)};
}

ChipJob chipJobOfContact(const ContactFields& contact) {
    return {(contact.nome + u' ' + contact.sobrenome).trimmed(), toUtf8(composeVCard(contact)), contact.site};
}

NfcWriteDialog::NfcWriteDialog(QWidget* parent, std::vector<ChipJob> jobs, const QStringList& readers)
    : QDialog(parent), FJobs(std::move(jobs)) {
    setObjectName(QStringLiteral("NfcWriteDialog"));
    setWindowTitle(FJobs.size() > 1 ? QStringLiteral("Gravar chips NFC da lista")
                                    : QStringLiteral("Gravar no chip NFC"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    cmbleitor = new QComboBox(this);
    cmbleitor->setObjectName(QStringLiteral("cmbleitor"));
    cmbleitor->addItems(readers);
    // With one reader there is nothing to choose.
    cmbleitor->setEnabled(readers.size() > 1);
    form->addRow(QStringLiteral("Leitor:"), cmbleitor);
    layout->addLayout(form);

    lblcontato = new QLabel(this);
    lblcontato->setObjectName(QStringLiteral("lblcontato"));
    lblstatus = new QLabel(this);
    lblstatus->setObjectName(QStringLiteral("lblstatus"));
    QFont big = lblstatus->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setBold(true);
    lblstatus->setFont(big);
    lblstatus->setMinimumHeight(48);
    lblresultado = new QLabel(this);
    lblresultado->setObjectName(QStringLiteral("lblresultado"));
    lblresultado->setWordWrap(true);
    layout->addWidget(lblcontato);
    layout->addWidget(lblstatus);
    layout->addWidget(lblresultado);

    chkproteger = new QCheckBox(QStringLiteral("Proteger o chip contra gravação depois de gravar"), this);
    chkproteger->setObjectName(QStringLiteral("chkproteger"));
    layout->addWidget(chkproteger);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    btnpular = new QPushButton(QStringLiteral("Pular"), this);
    btnpular->setObjectName(QStringLiteral("btnpular"));
    btnpular->setVisible(FJobs.size() > 1);
    btncancelar = new QPushButton(QStringLiteral("Cancelar"), this);
    btncancelar->setObjectName(QStringLiteral("btncancelar"));
    buttons->addWidget(btnpular);
    buttons->addWidget(btncancelar);
    layout->addLayout(buttons);
    setMinimumWidth(460);

    connect(chkproteger, &QCheckBox::toggled, this, &NfcWriteDialog::lockToggled);
    connect(btnpular, &QPushButton::clicked, this, [this] { runGuarded(this, [this] { skip(); }); });
    connect(btncancelar, &QPushButton::clicked, this, [this] { finish(); });
    connect(cmbleitor, &QComboBox::currentIndexChanged, this, [this] {
        if (!FDone)
            waitForChip(false);
    });
    connect(this, &QDialog::rejected, this, [this] { stopWaiting(); });
}

NfcWriteDialog::~NfcWriteDialog() {
    stopWaiting();
}

QString NfcWriteDialog::reader() const {
    return cmbleitor->currentText();
}

void NfcWriteDialog::start() {
    FCurrent = 0;
    waitForChip(false);
}

void NfcWriteDialog::showWaiting() {
    const ChipJob& job = FJobs[FCurrent];
    if (FJobs.size() > 1) {
        lblcontato->setText(job.name);
        lblstatus->setText(
            QStringLiteral("Cartão %1 de %2: aproxime o próximo cartão").arg(FCurrent + 1).arg(FJobs.size()));
    } else {
        lblcontato->setText(job.name);
        lblstatus->setText(QStringLiteral("Aproxime o cartão do leitor"));
    }
    emit progressed();
}

void NfcWriteDialog::waitForChip(bool removalFirst) {
    stopWaiting();
    showWaiting();
    // A context of the waiter's own: PC/SC lets another thread only cancel its wait.
    try {
        FWaitContext = std::make_unique<PcscContext>();
    } catch (const UserError& e) {
        lblresultado->setText(QString::fromUtf8(e.what()));
        emit progressed();
        return;
    }
    const unsigned generation = ++FGeneration;
    PcscContext* context = FWaitContext.get();
    const QString name = reader();
    // The chip written last is not taken for the next contact: the list waits for another.
    const QByteArray refused = FJobs.size() > 1 ? FLastUid : QByteArray();
    FWaiter = std::thread([this, context, name, refused, removalFirst, generation] {
        try {
            if (removalFirst && context->waitForRemoval(name, -1) == WaitResult::Cancelled)
                return;
            for (;;) {
                if (context->waitForCard(name, -1) != WaitResult::Present)
                    return;
                QByteArray uid;
                try {
                    uid = chipUid(*context, name);
                } catch (const CardGoneError&) {
                    continue;
                }
                if (refused.isEmpty() || uid != refused) {
                    QMetaObject::invokeMethod(
                        this,
                        [this, generation, uid] { runGuarded(this, [&] { chipArrived(generation, uid); }); },
                        Qt::QueuedConnection);
                    return;
                }
                if (context->waitForRemoval(name, -1) != WaitResult::Absent)
                    return;
            }
        } catch (const std::exception& e) {
            const QString message = QString::fromUtf8(e.what());
            QMetaObject::invokeMethod(
                this, [this, generation, message] { waitFailed(generation, message); }, Qt::QueuedConnection);
        }
    });
}

void NfcWriteDialog::stopWaiting() {
    if (FWaitContext)
        FWaitContext->cancel();
    if (FWaiter.joinable())
        FWaiter.join();
    FWaitContext.reset();
    ++FGeneration;
}

void NfcWriteDialog::waitFailed(unsigned generation, const QString& message) {
    if (generation != FGeneration)
        return;
    lblresultado->setText(message);
    emit progressed();
}

void NfcWriteDialog::chipArrived(unsigned generation, const QByteArray& uid) {
    if (generation != FGeneration || FDone)
        return;
    stopWaiting();
    writeCurrent(uid);
}

void NfcWriteDialog::writeCurrent(const QByteArray& uid) {
    const ChipJob& job = FJobs[FCurrent];
    lblstatus->setText(QStringLiteral("Gravando…"));
    emit progressed();
    ChipWriteRequest request{
        job.vcard, job.site, chkproteger->isChecked(), [this](const QString& question) {
            return platform().question(this, question,
                                       {QStringLiteral("Gravar o site"), QStringLiteral("Cancelar")}, 1) == 0;
        }};
    try {
        PcscContext context;
        const ChipWriteResult result = writeContactChip(context, reader(), request);
        if (result.declined) {
            lblresultado->setText(QString());
            waitForChip(true);
            return;
        }
        platform().beep();
        FLastUid = uid;
        FLastFailure.clear();
        ++FWritten;
        QString text = result.summary();
        if (result.siteOnly)
            text += QStringLiteral(" (só o endereço do site)");
        if (FJobs.size() > 1)
            text = job.name + QStringLiteral(": ") + text;
        lblresultado->setText(text);
        next();
    } catch (const UserError& e) {
        // The same contact again, on a chip brought anew.
        FLastFailure = QString::fromUtf8(e.what());
        lblresultado->setText(FLastFailure);
        waitForChip(true);
    }
}

void NfcWriteDialog::next() {
    if (++FCurrent >= FJobs.size()) {
        FDone = true;
        if (FJobs.size() == 1) {
            lblstatus->setText(lblresultado->text());
            lblresultado->clear();
            btncancelar->setText(QStringLiteral("Fechar"));
            chkproteger->setEnabled(false);
            emit progressed();
        } else {
            finish();
        }
        return;
    }
    waitForChip(false);
}

void NfcWriteDialog::skip() {
    if (FDone)
        return;
    stopWaiting();
    if (FLastFailure.isEmpty())
        ++FSkipped;
    else
        FFailures << FJobs[FCurrent].name + QStringLiteral(": ") + FLastFailure;
    FLastFailure.clear();
    lblresultado->setText(FJobs[FCurrent].name + QStringLiteral(": pulado"));
    next();
}

void NfcWriteDialog::lockToggled(bool on) {
    if (!on)
        return;
    const int answer = platform().question(
        this,
        QStringLiteral("Proteger o chip contra gravação não pode ser desfeito: depois disso ninguém, nem "
                       "este programa, poderá gravar nele de novo. Proteger cada chip gravado?"),
        {QStringLiteral("Proteger"), QStringLiteral("Cancelar")}, 1);
    if (answer != 0) {
        const QSignalBlocker blocker(chkproteger);
        chkproteger->setChecked(false);
    }
}

QString NfcWriteDialog::summary() const {
    QString text = QStringLiteral("Gravados: %1. Pulados: %2. Com falha: %3.")
                       .arg(FWritten)
                       .arg(FSkipped)
                       .arg(FFailures.size());
    const int left = int(FJobs.size()) - FWritten - FSkipped - int(FFailures.size());
    if (left > 0)
        text += QStringLiteral(" Não gravados (cancelado): %1.").arg(left);
    for (const QString& failure : FFailures)
        text += u'\n' + failure;
    return text;
}

void NfcWriteDialog::finish() {
    stopWaiting();
    const bool list = FJobs.size() > 1;
    // A contact whose chip failed and was not written again counts as failed.
    if (list && FCurrent < FJobs.size() && !FLastFailure.isEmpty()) {
        FFailures << FJobs[FCurrent].name + QStringLiteral(": ") + FLastFailure;
        FLastFailure.clear();
    }
    FDone = true;
    if (list)
        platform().message(this, summary());
    if (FWritten == int(FJobs.size()))
        accept();
    else
        reject();
}

namespace {

// The readers, or nothing after telling the user what is missing.
std::optional<QStringList> availableReaders(QWidget* parent) {
    QStringList readers;
    try {
        readers = PcscContext().readers();
    } catch (const UserError&) {
    }
    if (readers.isEmpty()) {
        platform().message(parent, noReaderMessage());
        return std::nullopt;
    }
    return readers;
}

} // namespace

void writeCardChip(QWidget* parent, const CardModel& model) {
    const ChipJob job = chipJobOfCard(model);
    const std::optional<QStringList> readers = availableReaders(parent);
    if (!readers)
        return;
    NfcWriteDialog dialog(parent, {job}, *readers);
    dialog.start();
    dialog.exec();
}

void writeListChips(QWidget* parent, const CardModel& model) {
    const std::vector<ContactFields> ticked = model.TickedContactsToOutput();
    const std::optional<QStringList> readers = availableReaders(parent);
    if (!readers)
        return;
    std::vector<ChipJob> jobs;
    for (const ContactFields& contact : ticked)
        jobs.push_back(chipJobOfContact(contact));
    NfcWriteDialog dialog(parent, std::move(jobs), *readers);
    dialog.start();
    dialog.exec();
}

void addNfcEntries(QWidget* window, QMenu* cardMenu, QWidget* contactList, const CardModel& model) {
    cardMenu->addSeparator();
    QAction* card = cardMenu->addAction(QStringLiteral("Gravar no chip NFC…"));
    card->setObjectName(QStringLiteral("GravarNfc1"));
    QObject::connect(card, &QAction::triggered, window,
                     [window, &model] { runGuarded(window, [&] { writeCardChip(window, model); }); });
    QAction* list = cardMenu->addAction(QStringLiteral("Gravar chips NFC da lista…"));
    list->setObjectName(QStringLiteral("GravarNfcLista1"));
    QObject::connect(list, &QAction::triggered, window,
                     [window, &model] { runGuarded(window, [&] { writeListChips(window, model); }); });
    if (contactList) {
        // The same entry in the list's own context menu.
        contactList->addAction(list);
        contactList->setContextMenuPolicy(Qt::ActionsContextMenu);
    }
}

} // namespace lumo
