#pragma once

// The list of imported contacts beside the main window: a search box over the names,
// e-mails and phones, and the contacts of the card's list; choosing one puts it on the card.

#include "contact/vcard.h"

#include <QWidget>

#include <functional>
#include <vector>

class QLineEdit;
class QListWidget;

class TContactList : public QWidget {
public:
    explicit TContactList(QWidget* owner);

    QLineEdit* edtbusca;
    QListWidget* lstcontatos;

    // Shows these contacts, keeping the search text.
    void SetContacts(const std::vector<lumo::ContactFields>& contacts);
    // Runs with the index in the card's list of the contact chosen (a click, Enter or a
    // double click).
    void SetChosenHandler(std::function<void(int)> handler) { FChosen = std::move(handler); }

private:
    void filter();

    std::vector<lumo::ContactFields> FContacts;
    std::function<void(int)> FChosen;
};

// The text a contact is found by: names, suffix, e-mail and phones, folded for search.
QString contactSearchText(const lumo::ContactFields& contact);
// Lower case without accents, so "joao" finds "João".
QString foldForSearch(const QString& text);
