#include "app/printshopdialog.h"

#include "app/batchprogress.h"
#include "card/cardmodel.h"
#include "card/printshop.h"
#include "platform/dialogs.h"
#include "platform/errors.h"
#include "platform/platform.h"
#include "platform/settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <optional>

namespace lumo {

namespace {

const QString kBleedKey = QStringLiteral("grafica/sangria");
const QString kMarksKey = QStringLiteral("grafica/marcas");
const QString kConditionKey = QStringLiteral("grafica/condicao");

report::TPdfxOptions optionsOf(const PrintShopChoice& choice, const QString& title) {
    return report::TPdfxOptions{choice.bleedMm, choice.marks, choice.condition, title};
}

// The dialog, then the file's name; nothing when either is cancelled.
std::optional<std::pair<PrintShopChoice, QString>> ask(QWidget* parent, const CardDesign& measured,
                                                       const QString& fileName) {
    PrintShopDialog dialog(describeMarginWarnings(safetyMarginWarnings(measured)), parent);
    dialog.SetChoice(rememberedPrintShopChoice());
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const PrintShopChoice choice = dialog.Choice();
    rememberPrintShopChoice(choice);

    SaveFileRequest request;
    request.dialogName = QStringLiteral("PrintShopSaveDialog");
    request.fileName = fileName;
    request.defaultSuffix = QStringLiteral("pdf");
    request.filter = QStringLiteral("PDF/X (*.pdf)");
    const std::optional<QString> chosen = platform().saveFileName(parent, request);
    if (!chosen || chosen->isEmpty())
        return std::nullopt;
    return std::pair{choice, withExtension(*chosen, request.defaultSuffix)};
}

} // namespace

PrintShopChoice rememberedPrintShopChoice() {
    PrintShopChoice choice;
    choice.bleedMm = Settings::choice(kBleedKey, 3).toInt() == 2 ? 2 : 3;
    choice.marks = Settings::choice(kMarksKey, false).toBool();
    choice.condition = Settings::choice(kConditionKey, QStringLiteral("fogra39")).toString() == u"fogra29"
                           ? report::TPressCondition::Fogra29
                           : report::TPressCondition::Fogra39;
    return choice;
}

void rememberPrintShopChoice(const PrintShopChoice& choice) {
    Settings::setChoice(kBleedKey, int(choice.bleedMm));
    Settings::setChoice(kMarksKey, choice.marks);
    Settings::setChoice(kConditionKey, choice.condition == report::TPressCondition::Fogra29
                                           ? QStringLiteral("fogra29")
                                           : QStringLiteral("fogra39"));
}

PrintShopDialog::PrintShopDialog(const QStringList& margin, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("PrintShopDialog"));
    setWindowTitle(QStringLiteral("Exportar para gráfica (PDF/X)"));
    auto* form = new QFormLayout;

    auto* bleeds = new QHBoxLayout;
    FBleed2 = new QRadioButton(QStringLiteral("2 mm"), this);
    FBleed2->setObjectName(QStringLiteral("sangria2"));
    FBleed3 = new QRadioButton(QStringLiteral("3 mm"), this);
    FBleed3->setObjectName(QStringLiteral("sangria3"));
    bleeds->addWidget(FBleed2);
    bleeds->addWidget(FBleed3);
    bleeds->addStretch();
    form->addRow(QStringLiteral("Sangria:"), bleeds);

    FMarks = new QCheckBox(QStringLiteral("Marcas de corte (fora da sangria)"), this);
    FMarks->setObjectName(QStringLiteral("marcascorte"));
    form->addRow(QString(), FMarks);

    FCondition = new QComboBox(this);
    FCondition->setObjectName(QStringLiteral("condicao"));
    FCondition->addItem(QStringLiteral("Papel couché (FOGRA39)"));
    FCondition->addItem(QStringLiteral("Papel não revestido (FOGRA29)"));
    form->addRow(QStringLiteral("Condição de impressão:"), FCondition);

    auto* marginLabel = new QLabel(QStringLiteral("Margem de segurança: o que fica a menos de 3 mm do corte "
                                                  "(nada é movido; a gráfica pode cortá-lo):"),
                                   this);
    marginLabel->setWordWrap(true);
    FMargin = new QListWidget(this);
    FMargin->setObjectName(QStringLiteral("margem"));
    FMargin->addItems(margin);
    FMargin->setSelectionMode(QAbstractItemView::NoSelection);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Exportar…"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancelar"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(marginLabel);
    layout->addWidget(FMargin);
    layout->addWidget(buttons);
    SetChoice(PrintShopChoice{});
}

PrintShopChoice PrintShopDialog::Choice() const {
    return PrintShopChoice{FBleed2->isChecked() ? 2.0 : 3.0, FMarks->isChecked(),
                           FCondition->currentIndex() == 1 ? report::TPressCondition::Fogra29
                                                           : report::TPressCondition::Fogra39};
}

void PrintShopDialog::SetChoice(const PrintShopChoice& choice) {
    (choice.bleedMm == 2 ? FBleed2 : FBleed3)->setChecked(true);
    FMarks->setChecked(choice.marks);
    FCondition->setCurrentIndex(choice.condition == report::TPressCondition::Fogra29 ? 1 : 0);
}

bool exportCardForPrintShop(QWidget* parent, const CardModel& model, const QString& fileName) {
    const CardDesign design = designOf(model);
    const auto asked = ask(parent, design, fileName);
    if (!asked)
        return false;
    exportPrintShopPdf(design, asked->second, optionsOf(asked->first, design.name.trimmed()));
    return true;
}

bool exportAllForPrintShop(QWidget* parent, const CardModel& model, const QString& fileName) {
    const std::vector<ContactFields> contacts = model.TickedContactsToOutput();
    if (!model.Front() && !model.Back())
        return false;
    // The margin is measured with the longest name line of the list, the likeliest to reach
    // the edges.
    CardDesign measured = designOf(model);
    for (const ContactFields& c : contacts) {
        const QString line = c.nome + u' ' + c.sobrenome;
        if (line.size() > measured.name.size())
            measured.name = line;
    }
    const auto asked = ask(parent, measured, fileName);
    if (!asked)
        return false;

    const int total = int(contacts.size());
    BatchProgressDialog progress(parent, QStringLiteral("ProgressoGrafica1"),
                                 QStringLiteral("Exportar todos para gráfica"),
                                 QStringLiteral("Cartão 1 de %1").arg(total), total);
    BatchSummary summary;
    bool finished = false;
    try {
        finished = exportPrintShopPdf(
            model.State(), contacts, asked->second,
            optionsOf(asked->first, QFileInfo(asked->second).completeBaseName()),
            [&progress, total](int done, int steps) {
                progress.setMaximum(steps);
                return progress.tell(done, done < total
                                               ? QStringLiteral("Cartão %1 de %2").arg(done + 1).arg(total)
                                               : QStringLiteral("Convertendo para CMYK…"));
            },
            &summary);
    } catch (const UserError& error) {
        // No card could be made: the list says why.
        const QStringList lines = batchSummaryLines(summary);
        if (lines.isEmpty())
            throw;
        throw UserError(QString::fromUtf8(error.what()) + u'\n' + lines.join(u'\n'));
    }
    // The cards left out and those to look at, as after "Exportar todos em PDF…".
    if (const QStringList lines = batchSummaryLines(summary); finished && !lines.isEmpty())
        platform().message(parent, lines.join(u'\n'));
    return finished;
}

} // namespace lumo
