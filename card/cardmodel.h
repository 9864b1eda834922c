#pragma once

// The card being designed, apart from any window: the contact values, the vCard memo, the
// QR text, the colours, pictures and ticks. The main window shows and edits it; documents,
// the crash recovery and the outputs read it.

#include "card/pictureloader.h"
#include "card/sheetkind.h"
#include "contact/vcard.h"
#include "qrcode/qrcodegenerator.h"

#include <QColor>
#include <QImage>
#include <QObject>
#include <QString>

#include <vector>

namespace lumo {

struct CardDesign;

// The thirteen contact boxes, in the order of the form.
enum class ContactField {
    Nome,
    Sobrenome,
    Sufixo,
    Fixo,
    Celular,
    Site,
    Email,
    Rua,
    Numero,
    Bairro,
    Cidade,
    Estado,
    Cep
};
constexpr int kContactFieldCount = 13;

QString& fieldOf(ContactFields& fields, ContactField field);
const QString& fieldOf(const ContactFields& fields, ContactField field);

// Every value of a card. Pictures and texts are shared until written, so all but the
// contact list copy in constant time and a snapshot can be handed to another thread.
struct CardState {
    ContactFields contact;
    // The memo's text, line breaks as LF, characters exactly as shown.
    QString memo;
    // The text the QR picture was made from at the last successful Generate; empty while
    // there is no picture.
    QString qrText;
    // Whether the vCard, the QR picture and the preview match the contact boxes, and the
    // Generate button's glyph: -1 none, 0 check mark, 1 refresh arrow.
    bool generated = false;
    int generateGlyph = -1;
    QColor frontColor = Qt::white, backColor = Qt::white, textColor = Qt::black;
    CardPicture frontBackground, backBackground, logo;
    bool icon = false, bleed = false, front = true, back = false;
    // The QR symbol's error-correction level.
    TQRErrorCorrection qrLevel = qrLevelL;
    // What print and PDF put the card on.
    SheetKind sheet = SheetKind::Card;
    // Contacts imported for this design, for choosing one or making cards of all.
    std::vector<ContactFields> contacts;
    // Which of them the outputs of the list take; a list of another length (none kept) stands
    // for all ticked.
    std::vector<bool> ticked;

    // The preview's name line: given and family name joined by one space.
    QString nameLine() const { return contact.nome + u' ' + contact.sobrenome; }
    bool operator==(const CardState& other) const;
};

class CardModel : public QObject {
    Q_OBJECT
public:
    explicit CardModel(QObject* parent = nullptr);

    const CardState& State() const { return FState; }
    // The state with an empty contact list, in constant time, and a number that changes
    // whenever the list does: a snapshot copies the list only when it changed.
    CardState StateWithoutContacts();
    quint64 ContactsSerial() const { return FContactsSerial; }
    // Replaces every value at once (a document opened, a card restored, "Novo"). When the
    // QR text does not fit a symbol of the card's level, the card has no QR picture and is
    // stale, as before a Generate: the reason is returned, empty when there is none.
    QString SetState(const CardState& state);

    const ContactFields& Contact() const { return FState.contact; }
    QString Field(ContactField field) const { return fieldOf(FState.contact, field); }
    // A changed contact value makes the vCard stale.
    void SetField(ContactField field, const QString& value);
    QString NameLine() const { return FState.nameLine(); }
    // Puts every value of `contact` in the boxes, as typing them would.
    void SetContact(const ContactFields& contact);

    QString Memo() const { return FState.memo; }
    void SetMemo(const QString& memo);

    // Composes the vCard of the contact values into the memo, then makes the QR picture
    // from it. When no QR symbol holds the text, throws after the memo is set and leaves
    // the picture and the stale state as they were.
    void Generate();
    bool Generated() const { return FState.generated; }
    int GenerateGlyph() const { return FState.generateGlyph; }
    QString QrText() const { return FState.qrText; }
    // The 2000 × 2000 picture of QrText's symbol; null while there is none.
    const QImage& QrPicture() const { return FQrPicture; }

    QColor FrontColor() const { return FState.frontColor; }
    void SetFrontColor(const QColor& color);
    QColor BackColor() const { return FState.backColor; }
    void SetBackColor(const QColor& color);
    QColor TextColor() const { return FState.textColor; }
    void SetTextColor(const QColor& color);
    const CardPicture& FrontBackground() const { return FState.frontBackground; }
    void SetFrontBackground(const CardPicture& picture);
    const CardPicture& BackBackground() const { return FState.backBackground; }
    void SetBackBackground(const CardPicture& picture);
    const CardPicture& Logo() const { return FState.logo; }
    void SetLogo(const CardPicture& picture);
    bool Icon() const { return FState.icon; }
    void SetIcon(bool on);
    bool Bleed() const { return FState.bleed; }
    void SetBleed(bool on);
    bool Front() const { return FState.front; }
    void SetFront(bool on);
    bool Back() const { return FState.back; }
    void SetBack(bool on);
    TQRErrorCorrection QrLevel() const { return FState.qrLevel; }
    // Remakes the QR picture at the new level; throws, keeping the old level, when the
    // symbol's text does not fit it.
    void SetQrLevel(TQRErrorCorrection level);
    SheetKind Sheet() const { return FState.sheet; }
    void SetSheet(SheetKind sheet);
    const std::vector<ContactFields>& Contacts() const { return FState.contacts; }
    // A new list: every contact ticked, none being edited.
    void SetContacts(const std::vector<ContactFields>& contacts);

    // Which contacts of the list the batch outputs take (all of a list set any other way).
    bool Ticked(std::size_t index) const;
    void SetTicked(std::size_t index, bool ticked);
    void SetAllTicked(bool ticked);
    // The ticked contacts in list order: what "Exportar todos em PDF…", the sheets and the
    // print-shop export make cards of.
    std::vector<ContactFields> TickedContacts() const;
    // The same for an output of the list; throws lumo::UserError saying why when there is none
    // (the list is empty, or no contact is ticked).
    std::vector<ContactFields> TickedContactsToOutput() const;
    std::size_t TickedCount() const;
    // Removes a contact from the list.
    void RemoveContact(std::size_t index);
    // Puts the contact at `index` in the boxes; the next successful Generate stores the boxes
    // back there. -1 when no contact of the list is being edited.
    void EditContact(std::size_t index);
    int EditedContact() const { return FEdited; }

signals:
    // After every change of any value.
    void changed();

private:
    template <class T> void assign(T& field, const T& value);
    QString remakeQrPicture();

    CardState FState;
    QImage FQrPicture;
    quint64 FContactsSerial = 0;
    int FEdited = -1;
};

// What the outputs draw of the card.
CardDesign designOf(const CardModel& model);
// The same of a card's values, with `qr` as its QR picture.
CardDesign designOf(const CardState& state, const QImage& qr);

} // namespace lumo
