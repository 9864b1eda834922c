#pragma once

// The list of imported contacts beside the main window: a search box over the names,
// e-mails and phones, and the contacts of the card's list, each with a tick box saying
// whether the batch outputs take it; choosing one puts it on the card, "Editar" puts it in
// the boxes for Gerar to store back, "Remover" takes it out of the list.

#include "card/batch.h"
#include "contact/vcard.h"

#include <QWidget>

#include <functional>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace lumo {
class CardModel;
struct CardState;
} // namespace lumo

class TContactList : public QWidget {
public:
    explicit TContactList(QWidget* owner);

    QLineEdit* edtbusca;
    QListWidget* lstcontatos;
    QPushButton *btnmarcar, *btndesmarcar, *btneditar, *btnremover;
    QLabel* lblmarcados; // "3 de 10 marcados"

    // Ticks, "Editar" and "Remover" act on this model's list.
    void SetModel(lumo::CardModel* model) { FModel = model; }
    // Shows these contacts (and the model's ticks), keeping the search text.
    void SetContacts(const std::vector<lumo::ContactFields>& contacts);
    // Runs with the index in the card's list of the contact chosen (a click, Enter or a
    // double click).
    void SetChosenHandler(std::function<void(int)> handler) { FChosen = std::move(handler); }
    // The index in the card's list of the contact shown in `row`.
    int IndexAt(int row) const;

private:
    void filter();
    void showTicks();
    int currentIndex() const;

    std::vector<lumo::ContactFields> FContacts;
    std::vector<QString> FSearchTexts;
    std::vector<bool> FTicks;
    std::function<void(int)> FChosen;
    lumo::CardModel* FModel = nullptr;
    bool FTickChanged = false; // a click on a tick box is not a choice
};

// The text a contact is found by: names, suffix, e-mail and phones, folded for search.
QString contactSearchText(const lumo::ContactFields& contact);
// Lower case without accents, so "joao" finds "João".
QString foldForSearch(const QString& text);

// "Importar contatos…" and "Associar colunas…": asks for a vCard or CSV file and reads it
// into `model`: one contact into the boxes, several into the list (asking whether to add to
// or replace a list there, merging duplicates). A CSV file whose columns are not known, or
// any CSV file when `chooseColumns`, goes through "Associar colunas" first; the choice is
// remembered for its header. The summary says how the text was read and offers to read it
// again as the other encoding. Returns true when the list changed. Throws lumo::UserError.
bool importContacts(QWidget* parent, lumo::CardModel& model, bool chooseColumns);

// "Exportar um PDF por contato…" and --each: one PDF of `design` per contact into `folder`,
// named by eachPdfFileName (a name already in the folder gets " (2)", so no file there is
// replaced; each file all or nothing). Returns the files written, in contact order; fewer when `progress`
// cancelled. A contact whose vCard does not fit the QR level is left out and listed in `summary`, with the
// cards to look at, as the batch lists them. Throws lumo::UserError naming the contact whose card could not
// be made otherwise, and when no file at all was written.
QStringList exportEachPdf(const lumo::CardState& design, const std::vector<lumo::ContactFields>& contacts,
                          const QString& folder, const lumo::BatchProgress& progress = {},
                          lumo::BatchSummary* summary = nullptr);

// Where the list opens: beside the window's right edge, else beside its left one, else over
// the window's left part (the contact form), never over the card previews on the right.
QPoint contactListPlace(const QRect& window, const QSize& list, const QRect& screen);
