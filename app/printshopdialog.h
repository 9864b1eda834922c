#pragma once

// "Arquivo › Exportar para gráfica (PDF/X)…" and "Exportar todos para gráfica…": the choices
// of the print-shop file (remembered between sessions), the list of what lies near the trim,
// and the export of the current card or of every contact.

#include "report/pdfx.h"

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QListWidget;
class QRadioButton;

namespace lumo {

class CardModel;

struct PrintShopChoice {
    double bleedMm = 3; // 2 or 3
    bool marks = false;
    report::TPressCondition condition = report::TPressCondition::Fogra39;
    bool operator==(const PrintShopChoice&) const = default;
};

// The choice of the last export, or the defaults (3 mm, no marks, FOGRA39).
PrintShopChoice rememberedPrintShopChoice();
void rememberPrintShopChoice(const PrintShopChoice& choice);

class PrintShopDialog : public QDialog {
public:
    // `margin` lists what lies within the safety margin (describeMarginWarnings).
    PrintShopDialog(const QStringList& margin, QWidget* parent);
    PrintShopChoice Choice() const;
    void SetChoice(const PrintShopChoice& choice);

private:
    QRadioButton *FBleed2, *FBleed3;
    QCheckBox* FMarks;
    QComboBox* FCondition;
    QListWidget* FMargin;
};

// Asks for the choices and the file, then writes the current card (the sides ticked) or every
// contact of the model's list. Returns true when a file was written; false when the user
// cancelled. `fileName` is the file name offered. Throws UserError as the exports do.
bool exportCardForPrintShop(QWidget* parent, const CardModel& model, const QString& fileName);
bool exportAllForPrintShop(QWidget* parent, const CardModel& model, const QString& fileName);

} // namespace lumo
