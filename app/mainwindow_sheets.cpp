// The main window's choice of paper: card-size pages, or sheets of nine cards on A4 or Letter.

#include "app/mainwindow.h"
#include "card/cardmodel.h"
#include "card/sheet.h"
#include "platform/dialogs.h"
#include "platform/platform.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>

void TForm1::buildPaperMenu() {
    Papel1 = Cartao1->addMenu(QStringLiteral("Papel"));
    Papel1->setObjectName(QStringLiteral("Papel1"));
    auto* group = new QActionGroup(this);
    const std::pair<lumo::SheetKind, const char*> choices[] = {
        {lumo::SheetKind::Card, "Tamanho do cartão"},
        {lumo::SheetKind::A4, "Folha A4 (9 cartões)"},
        {lumo::SheetKind::Letter, "Folha Carta (9 cartões)"},
    };
    const char* const names[] = {"PapelCartao", "PapelA4", "PapelCarta"};
    for (const auto& [kind, caption] : choices) {
        QAction* action = Papel1->addAction(QString::fromUtf8(caption));
        action->setObjectName(QLatin1String(names[int(kind)]));
        action->setCheckable(true);
        group->addAction(action);
        FSheetActions[std::size_t(kind)] = action;
        connect(action, &QAction::triggered, this,
                [this, kind] { lumo::runGuarded(this, [this, kind] { FModel->SetSheet(kind); }); });
    }
}

void TForm1::exportSheets() {
    if (!outputReady())
        return;
    SaveDialog2->SetFileName(FModel->NameLine());
    if (!SaveDialog2->Execute(this))
        return;
    lumo::exportSheetsPdf(Design(), FModel->Sheet(), SaveDialog2->FileName());
    lumo::platform().beep();
}
