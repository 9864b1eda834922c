// The main window's "Arquivo" menu: card documents, recent documents and the close prompt.

#include "app/batchprogress.h"
#include "app/contactlist.h"
#include "app/mainwindow.h"
#include "app/nfcdialog.h"
#include "app/printshopdialog.h"
#include "card/batch.h"
#include "card/cardmodel.h"
#include "card/document.h"
#include "card/recovery.h"
#include "contact/contactimport.h"
#include "platform/dialogs.h"
#include "platform/errors.h"
#include "platform/platform.h"
#include "platform/settings.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>

namespace {

const QString kDocumentFilter = QStringLiteral("Cartão Lumo (*.lumocard)");
const QString kDocumentSuffix = QStringLiteral("lumocard");
const QString kDocumentDialog = QStringLiteral("DocumentDialog");

QString withDocumentSuffix(QString path) {
    if (!path.endsWith(u'.' + kDocumentSuffix, Qt::CaseInsensitive))
        path += u'.' + kDocumentSuffix;
    return path;
}

} // namespace

void TForm1::buildMenu() {
    MainMenu1 = new QMenuBar(this);
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    Arquivo1 = MainMenu1->addMenu(QStringLiteral("&Arquivo"));
    Arquivo1->setObjectName(QStringLiteral("Arquivo1"));
    auto item = [this](const QString& name, const QString& caption, const QKeySequence& keys,
                       void (TForm1::*handler)()) {
        QAction* action = Arquivo1->addAction(caption);
        action->setObjectName(name);
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this,
                [this, handler] { lumo::runGuarded(this, [this, handler] { (this->*handler)(); }); });
        return action;
    };
    Novo1 = item(QStringLiteral("Novo1"), QStringLiteral("&Novo"), QKeySequence::New, &TForm1::Novo1Click);
    Abrir1 =
        item(QStringLiteral("Abrir1"), QStringLiteral("&Abrir…"), QKeySequence::Open, &TForm1::Abrir1Click);
    AbrirRecente1 = Arquivo1->addMenu(QStringLiteral("Abrir &recente"));
    AbrirRecente1->setObjectName(QStringLiteral("AbrirRecente1"));
    connect(AbrirRecente1, &QMenu::aboutToShow, this, &TForm1::fillRecentMenu);
    Arquivo1->addSeparator();
    SalvarCartao1 = item(QStringLiteral("SalvarCartao1"), QStringLiteral("&Salvar"), QKeySequence::Save,
                         &TForm1::SalvarCartao1Click);
    SalvarComo1 = item(QStringLiteral("SalvarComo1"), QStringLiteral("Salvar &como…"),
                       QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), &TForm1::SalvarComo1Click);
    Arquivo1->addSeparator();
    ImportarContatos1 = item(QStringLiteral("ImportarContatos1"), QStringLiteral("&Importar contatos…"),
                             QKeySequence(Qt::CTRL | Qt::Key_I), &TForm1::ImportarContatos1Click);
    AssociarColunas1 = item(QStringLiteral("AssociarColunas1"), QStringLiteral("Associar co&lunas…"),
                            QKeySequence(), &TForm1::AssociarColunas1Click);
    ExportarTodos1 = item(QStringLiteral("ExportarTodos1"), QStringLiteral("&Exportar todos em PDF…"),
                          QKeySequence(), &TForm1::ExportarTodos1Click);
    ExportarCada1 = item(QStringLiteral("ExportarCada1"), QStringLiteral("Exportar um &PDF por contato…"),
                         QKeySequence(), &TForm1::ExportarCada1Click);
    // The print shop's file, of the current card or of every contact.
    for (const bool all : {false, true}) {
        QAction* action = Arquivo1->addAction(all ? QStringLiteral("Exportar todos para &gráfica…")
                                                  : QStringLiteral("Exportar para gráfica (PDF/&X)…"));
        action->setObjectName(all ? QStringLiteral("ExportarTodosGrafica1")
                                  : QStringLiteral("ExportarGrafica1"));
        connect(action, &QAction::triggered, this, [this, all] {
            lumo::runGuarded(this, [this, all] {
                const QString name =
                    QFileInfo(FDocumentPath.isEmpty() ? QStringLiteral("Cartões") : FDocumentPath)
                        .completeBaseName();
                if (all ? lumo::exportAllForPrintShop(this, *FModel, name)
                        : outputReady() && lumo::exportCardForPrintShop(this, *FModel, FModel->NameLine()))
                    lumo::platform().beep();
            });
        });
    }
    Arquivo1->addSeparator();
    Sair1 = item(QStringLiteral("Sair1"), QStringLiteral("Sai&r"), QKeySequence(Qt::CTRL | Qt::Key_Q),
                 &TForm1::Sair1Click);
    // The card's QR symbol: how much of it may be lost and still scan.
    Cartao1 = MainMenu1->addMenu(QStringLiteral("&Cartão"));
    Cartao1->setObjectName(QStringLiteral("Cartao1"));
    CorrecaoErros1 = Cartao1->addMenu(QStringLiteral("Correção de erros do QR"));
    CorrecaoErros1->setObjectName(QStringLiteral("CorrecaoErros1"));
    auto* levels = new QActionGroup(this);
    const char* const captions[] = {"L (7 %, o padrão)", "M (15 %)", "Q (25 %)", "H (30 %)"};
    for (int level = qrLevelL; level <= qrLevelH; ++level) {
        QAction* action = CorrecaoErros1->addAction(QString::fromUtf8(captions[level]));
        action->setObjectName(QStringLiteral("NivelQR%1").arg(QChar("LMQH"[level])));
        action->setCheckable(true);
        levels->addAction(action);
        FQrLevelActions[std::size_t(level)] = action;
        connect(action, &QAction::triggered, this, [this, level] {
            lumo::runGuarded(this, [this, level] {
                // A text too long for the level keeps the old level, and the menu shows it.
                try {
                    FModel->SetQrLevel(TQRErrorCorrection(level));
                } catch (...) {
                    showModel();
                    throw;
                }
            });
        });
    }
    buildPaperMenu();

    AvisoRecuperacao1 = new QLabel(MainMenu1);
    AvisoRecuperacao1->setObjectName(QStringLiteral("AvisoRecuperacao1"));
    AvisoRecuperacao1->setStyleSheet(QStringLiteral("QLabel { color: #a00000; padding: 0 8px; }"));
    AvisoRecuperacao1->hide();
    MainMenu1->setCornerWidget(AvisoRecuperacao1, Qt::TopRightCorner);

    fillRecentMenu();
    updateTitle();

    ContactList1 = new TContactList(this);
    ContactList1->SetModel(FModel.get());
    ContactList1->SetChosenHandler(
        [this](int index) { lumo::runGuarded(this, [this, index] { ContactChosen(index); }); });
    lumo::addNfcEntries(this, Cartao1, ContactList1, *FModel);
}

int TForm1::menuHeight() const {
    return MainMenu1->sizeHint().height();
}

void TForm1::fillRecentMenu() {
    AbrirRecente1->clear();
    const QStringList recent = lumo::Settings::recentDocuments();
    for (const QString& path : recent) {
        QAction* action = AbrirRecente1->addAction(QDir::toNativeSeparators(path));
        connect(action, &QAction::triggered, this, [this, path] {
            lumo::runGuarded(this, [this, path] {
                if (!MaybeSave())
                    return;
                if (!QFileInfo::exists(path)) {
                    lumo::Settings::removeRecentDocument(path);
                    throw lumo::UserError(QStringLiteral("O cartão \"%1\" não existe mais.")
                                              .arg(QDir::toNativeSeparators(path)));
                }
                OpenDocument(path);
            });
        });
    }
    AbrirRecente1->setEnabled(!recent.isEmpty());
}

void TForm1::updateTitle() {
    const QString name =
        FDocumentPath.isEmpty() ? QStringLiteral("Sem título") : QFileInfo(FDocumentPath).completeBaseName();
    setWindowTitle(name + QStringLiteral("[*] - Lumo Card"));
}

void TForm1::documentOpened(const QString& path) {
    FDocumentPath = QFileInfo(path).absoluteFilePath();
    lumo::Settings::addRecentDocument(FDocumentPath);
    setWindowModified(false);
    updateTitle();
    cardClean();
}

void TForm1::cardClean() {
    if (!FRecovery)
        return;
    FRecovery->setDocumentPath(FDocumentPath);
    FRecovery->markClean();
}

void TForm1::AttachRecovery(lumo::RecoveryWriter* writer) {
    FRecovery = writer;
    // Said once, without a box: the failure repeats at every change until the cause goes.
    connect(writer, &lumo::RecoveryWriter::writeFailed, this, [this](const QString& message) {
        const QString reason = message.section(QStringLiteral("\": "), -1);
        AvisoRecuperacao1->setText(
            QStringLiteral("Não foi possível gravar a cópia de recuperação: %1").arg(reason));
        AvisoRecuperacao1->setToolTip(message);
        AvisoRecuperacao1->show();
    });
    connect(writer, &lumo::RecoveryWriter::written, AvisoRecuperacao1, &QWidget::hide);
    FRecovery->setDocumentPath(FDocumentPath);
}

void TForm1::OpenDocument(const QString& path) {
    // Read first: a bad document throws here and the card on screen stays as it was.
    const lumo::CardState state = lumo::openCardDocument(path);
    FReplacingCard = true;
    const QString qrProblem = FModel->SetState(state);
    FReplacingCard = false;
    documentOpened(path);
    showContactList();
    if (!qrProblem.isEmpty())
        lumo::platform().error(this, qrProblem);
}

void TForm1::RestoreCard(const lumo::CardState& state, const QString& documentPath) {
    FReplacingCard = true;
    const QString qrProblem = FModel->SetState(state);
    FReplacingCard = false;
    FDocumentPath = documentPath;
    if (FRecovery)
        FRecovery->setDocumentPath(FDocumentPath);
    setWindowModified(true);
    updateTitle();
    showContactList();
    if (!qrProblem.isEmpty())
        lumo::platform().error(this, qrProblem);
}

bool TForm1::SaveDocument(bool askName) {
    QString path = FDocumentPath;
    if (askName || path.isEmpty()) {
        lumo::SaveFileRequest request;
        request.dialogName = kDocumentDialog;
        const QString preset = FDocumentPath.isEmpty() ? FModel->NameLine().trimmed() : FDocumentPath;
        request.fileName = preset.isEmpty() ? QStringLiteral("Sem título") : preset;
        request.defaultSuffix = kDocumentSuffix;
        request.filter = kDocumentFilter;
        const std::optional<QString> chosen = lumo::platform().saveFileName(this, request);
        if (!chosen || chosen->isEmpty())
            return false;
        path = withDocumentSuffix(*chosen);
    }
    lumo::saveCardDocument(path, FModel->State());
    documentOpened(path);
    return true;
}

bool TForm1::MaybeSave() {
    if (!isWindowModified())
        return true;
    const QString name =
        FDocumentPath.isEmpty() ? QStringLiteral("Sem título") : QFileInfo(FDocumentPath).completeBaseName();
    const int answer = lumo::platform().question(
        this, QStringLiteral("Salvar as alterações em \"%1\"?").arg(name),
        {QStringLiteral("Salvar"), QStringLiteral("Descartar"), QStringLiteral("Cancelar")}, 0);
    if (answer == 1)
        return true;
    if (answer != 0)
        return false;
    try {
        return SaveDocument(false);
    } catch (const std::exception& e) {
        // The card is not closed when it could not be saved.
        lumo::platform().error(this, QString::fromUtf8(e.what()));
        return false;
    }
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (!MaybeSave()) {
        event->ignore();
        return;
    }
    event->accept();
    if (FClosedHandler)
        FClosedHandler();
}

void TForm1::Novo1Click() {
    if (!MaybeSave())
        return;
    FReplacingCard = true;
    FModel->SetState(lumo::CardState());
    FReplacingCard = false;
    FDocumentPath.clear();
    setWindowModified(false);
    updateTitle();
    cardClean();
    showContactList();
}

void TForm1::Abrir1Click() {
    if (!MaybeSave())
        return;
    lumo::OpenFileRequest request;
    request.dialogName = kDocumentDialog;
    request.filter = kDocumentFilter;
    const std::optional<QString> chosen = lumo::platform().openFileName(this, request);
    if (chosen && !chosen->isEmpty())
        OpenDocument(*chosen);
}

void TForm1::SalvarCartao1Click() {
    SaveDocument(false);
}

void TForm1::SalvarComo1Click() {
    SaveDocument(true);
}

void TForm1::Sair1Click() {
    close();
}

void TForm1::ImportarContatos1Click() {
    if (importContacts(this, *FModel, false))
        showContactList();
}

void TForm1::AssociarColunas1Click() {
    if (importContacts(this, *FModel, true))
        showContactList();
}

void TForm1::showContactList() {
    if (FModel->Contacts().empty()) {
        ContactList1->hide();
        return;
    }
    if (!ContactList1->isVisible())
        ContactList1->move(contactListPlace(frameGeometry(), ContactList1->frameGeometry().size(),
                                            screen() ? screen()->availableGeometry() : QRect()));
    ContactList1->show();
    ContactList1->raise();
}

void TForm1::ContactChosen(int index) {
    const std::vector<lumo::ContactFields>& contacts = FModel->Contacts();
    if (index < 0 || std::size_t(index) >= contacts.size())
        return;
    FModel->SetContact(contacts[std::size_t(index)]);
    FModel->Generate();
}

void TForm1::ExportarTodos1Click() {
    const std::vector<lumo::ContactFields> contacts = FModel->TickedContactsToOutput();
    // Neither side ticked: nothing to write, as for a single card.
    if (!FModel->Front() && !FModel->Back())
        return;
    lumo::SaveFileRequest request;
    request.dialogName = QStringLiteral("BatchDialog");
    request.fileName =
        QFileInfo(FDocumentPath.isEmpty() ? QStringLiteral("Cartões") : FDocumentPath).completeBaseName();
    request.defaultSuffix = QStringLiteral("pdf");
    request.filter = QStringLiteral("PDF (*.pdf)");
    const std::optional<QString> chosen = lumo::platform().saveFileName(this, request);
    if (!chosen || chosen->isEmpty())
        return;
    const QString path = lumo::withExtension(*chosen, request.defaultSuffix);

    const int total = int(contacts.size());
    lumo::BatchProgressDialog progress(this, QStringLiteral("ProgressoLote1"),
                                       QStringLiteral("Exportar todos em PDF"),
                                       QStringLiteral("Cartão 1 de %1").arg(total), total);
    lumo::BatchSummary summary;
    bool finished = false;
    try {
        finished = lumo::exportBatchPdf(
            FModel->State(), contacts, path,
            [&progress, total](int done, int) {
                return progress.tell(
                    done, QStringLiteral("Cartão %1 de %2").arg(std::min(done + 1, total)).arg(total));
            },
            &summary);
    } catch (const lumo::UserError& error) {
        // No card could be made: the list says why.
        const QStringList lines = lumo::batchSummaryLines(summary);
        if (lines.isEmpty())
            throw;
        throw lumo::UserError(QString::fromUtf8(error.what()) + u'\n' + lines.join(u'\n'));
    }
    // A cancelled export left no file: nothing to confirm.
    if (!finished)
        return;
    lumo::platform().beep();
    const QStringList lines = lumo::batchSummaryLines(summary);
    if (!lines.isEmpty())
        lumo::platform().message(this, lines.join(u'\n'));
}

void TForm1::ExportarCada1Click() {
    const std::vector<lumo::ContactFields> contacts = FModel->TickedContactsToOutput();
    if (!FModel->Front() && !FModel->Back())
        return;
    const std::optional<QString> folder = lumo::platform().folderName(this, QStringLiteral("EachPdfDialog"));
    if (!folder || folder->isEmpty())
        return;
    const int total = int(contacts.size());
    lumo::BatchProgressDialog progress(this, QStringLiteral("ProgressoCada1"),
                                       QStringLiteral("Exportar um PDF por contato"),
                                       QStringLiteral("Contato 1 de %1").arg(total), total);
    lumo::BatchSummary summary;
    const QStringList written = exportEachPdf(
        FModel->State(), contacts, *folder,
        [&](int done, int) {
            return progress.tell(
                done, QStringLiteral("Contato %1 de %2").arg(std::min(done + 1, total)).arg(total));
        },
        &summary);
    // Cancelled: the files written so far stay, each whole; nothing to confirm.
    if (written.size() + qsizetype(summary.leftOut.size()) < total)
        return;
    lumo::platform().beep();
    if (const QStringList lines = lumo::batchSummaryLines(summary); !lines.isEmpty())
        lumo::platform().message(this, lines.join(u'\n'));
}
