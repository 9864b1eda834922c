#include "card/cardtext.h"

#include "card/cardoutput.h"

namespace lumo {

CardTextCuts cardTextCuts(const QString& name, const QString& suffix) {
    // The text objects of a card document, kept per thread: a batch asks for every card. Both
    // documents have boxes of the same sizes.
    thread_local const std::unique_ptr<report::TReport> card = makeCardDocument(false);
    thread_local report::TMemoView& nameView = *card->Find<report::TMemoView>(QStringLiteral("rnome"));
    thread_local report::TMemoView& suffixView = *card->Find<report::TMemoView>(QStringLiteral("rsufixo"));
    nameView.SetText(name);
    suffixView.SetText(suffix);
    return {nameView.Fit().Cut, suffixView.Fit().Cut};
}

CardTextCuts cardTextCuts(const CardDesign& design) {
    return cardTextCuts(design.name, design.suffix);
}

QString textCutNotice(CardTextCuts cuts) {
    if (cuts.name && cuts.suffix)
        return QStringLiteral("Nome e sufixo longos demais: saem cortados (…)");
    if (cuts.name)
        return QStringLiteral("Nome longo demais: sai cortado (…)");
    if (cuts.suffix)
        return QStringLiteral("Sufixo longo demais: sai cortado (…)");
    return {};
}

} // namespace lumo
