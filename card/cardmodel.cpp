#include "card/cardmodel.h"

#include "card/cardoutput.h"
#include "card/qrpicture.h"
#include "platform/errors.h"

#include <concepts>

namespace lumo {

namespace {

template <class Fields, class Result> Result& fieldIn(Fields& f, ContactField field) {
    switch (field) {
    case ContactField::Nome:
        return f.nome;
    case ContactField::Sobrenome:
        return f.sobrenome;
    case ContactField::Sufixo:
        return f.sufixo;
    case ContactField::Fixo:
        return f.fixo;
    case ContactField::Celular:
        return f.celular;
    case ContactField::Site:
        return f.site;
    case ContactField::Email:
        return f.email;
    case ContactField::Rua:
        return f.rua;
    case ContactField::Numero:
        return f.numero;
    case ContactField::Bairro:
        return f.bairro;
    case ContactField::Cidade:
        return f.cidade;
    case ContactField::Estado:
        return f.estado;
    case ContactField::Cep:
        break;
    }
    return f.cep;
}

bool samePicture(const CardPicture& a, const CardPicture& b) {
    if (a.extension != b.extension || a.bytes != b.bytes || a.isNull() != b.isNull())
        return false;
    // Pictures from the same file bytes decode alike; others are compared pixel by pixel.
    return !a.bytes.isEmpty() || a.image.cacheKey() == b.image.cacheKey() || a.image == b.image;
}

} // namespace

QString& fieldOf(ContactFields& fields, ContactField field) {
    return fieldIn<ContactFields, QString>(fields, field);
}

const QString& fieldOf(const ContactFields& fields, ContactField field) {
    return fieldIn<const ContactFields, const QString>(fields, field);
}

namespace {

// Whether the same contacts are ticked, a list of another length meaning all.
bool sameTicks(const CardState& a, const CardState& b) {
    const auto ticked = [](const CardState& s, std::size_t i) {
        return s.ticked.size() != s.contacts.size() || s.ticked[i];
    };
    for (std::size_t i = 0; i < std::min(a.contacts.size(), b.contacts.size()); ++i)
        if (ticked(a, i) != ticked(b, i))
            return false;
    return true;
}

} // namespace

bool CardState::operator==(const CardState& o) const {
    return contact == o.contact && contacts == o.contacts && memo == o.memo && qrText == o.qrText &&
           generated == o.generated && generateGlyph == o.generateGlyph && frontColor == o.frontColor &&
           backColor == o.backColor && textColor == o.textColor &&
           samePicture(frontBackground, o.frontBackground) && samePicture(backBackground, o.backBackground) &&
           samePicture(logo, o.logo) && icon == o.icon && bleed == o.bleed && front == o.front &&
           back == o.back && qrLevel == o.qrLevel && sheet == o.sheet && sameTicks(*this, o);
}

CardModel::CardModel(QObject* parent) : QObject(parent) {}

template <class T> void CardModel::assign(T& field, const T& value) {
    if constexpr (std::equality_comparable<T>)
        if (field == value)
            return;
    field = value;
    emit changed();
}

CardState CardModel::StateWithoutContacts() {
    std::vector<ContactFields> contacts = std::move(FState.contacts);
    CardState copy = FState;
    FState.contacts = std::move(contacts);
    return copy;
}

QString CardModel::SetState(const CardState& state) {
    const bool qrChanged = state.qrText != FState.qrText || state.qrLevel != FState.qrLevel;
    FState = state;
    ++FContactsSerial;
    QString problem;
    FEdited = -1;
    if (qrChanged || (FQrPicture.isNull() && !FState.qrText.isEmpty()))
        problem = remakeQrPicture();
    emit changed();
    return problem;
}

void CardModel::SetField(ContactField field, const QString& value) {
    QString& current = fieldOf(FState.contact, field);
    if (current == value)
        return;
    current = value;
    FState.generated = false;
    FState.generateGlyph = 1;
    emit changed();
}

void CardModel::SetContact(const ContactFields& contact) {
    // A contact put in the boxes from anywhere but "Editar" is not stored back in the list.
    FEdited = -1;
    for (int i = 0; i < kContactFieldCount; ++i)
        SetField(ContactField(i), fieldOf(contact, ContactField(i)));
}

void CardModel::SetQrLevel(TQRErrorCorrection level) {
    if (level == FState.qrLevel)
        return;
    QImage picture;
    if (!FState.qrText.isEmpty())
        picture = renderQrPicture(FState.qrText, level);
    FState.qrLevel = level;
    FQrPicture = std::move(picture);
    emit changed();
}

void CardModel::SetSheet(SheetKind sheet) {
    assign(FState.sheet, sheet);
}

void CardModel::SetContacts(const std::vector<ContactFields>& contacts) {
    if (contacts != FState.contacts)
        ++FContactsSerial;
    FState.ticked.assign(contacts.size(), true);
    FEdited = -1;
    assign(FState.contacts, contacts);
}

bool CardModel::Ticked(std::size_t index) const {
    return FState.ticked.size() != FState.contacts.size() ||
           (index < FState.ticked.size() && FState.ticked[index]);
}

void CardModel::SetTicked(std::size_t index, bool ticked) {
    if (index >= FState.contacts.size() || Ticked(index) == ticked)
        return;
    if (FState.ticked.size() != FState.contacts.size())
        FState.ticked.assign(FState.contacts.size(), true);
    FState.ticked[index] = ticked;
    emit changed();
}

void CardModel::SetAllTicked(bool ticked) {
    FState.ticked.assign(FState.contacts.size(), ticked);
    emit changed();
}

std::vector<ContactFields> CardModel::TickedContacts() const {
    std::vector<ContactFields> ticked;
    for (std::size_t i = 0; i < FState.contacts.size(); ++i)
        if (Ticked(i))
            ticked.push_back(FState.contacts[i]);
    return ticked;
}

std::vector<ContactFields> CardModel::TickedContactsToOutput() const {
    std::vector<ContactFields> ticked = TickedContacts();
    if (ticked.empty())
        throw UserError(FState.contacts.empty()
                            ? QStringLiteral("A lista de contatos está vazia: importe os contatos primeiro "
                                             "(Arquivo › Importar contatos…).")
                            : QStringLiteral("Nenhum contato da lista está marcado."));
    return ticked;
}

std::size_t CardModel::TickedCount() const {
    std::size_t n = 0;
    for (std::size_t i = 0; i < FState.contacts.size(); ++i)
        n += Ticked(i);
    return n;
}

void CardModel::RemoveContact(std::size_t index) {
    if (index >= FState.contacts.size())
        return;
    if (FState.ticked.size() != FState.contacts.size())
        FState.ticked.assign(FState.contacts.size(), true);
    FState.ticked.erase(FState.ticked.begin() + std::ptrdiff_t(index));
    FState.contacts.erase(FState.contacts.begin() + std::ptrdiff_t(index));
    ++FContactsSerial;
    if (FEdited == int(index))
        FEdited = -1;
    else if (FEdited > int(index))
        --FEdited;
    emit changed();
}

void CardModel::EditContact(std::size_t index) {
    if (index >= FState.contacts.size())
        return;
    SetContact(FState.contacts[index]);
    FEdited = int(index);
}

void CardModel::SetMemo(const QString& memo) {
    if (memo == FState.memo)
        return;
    assign(FState.memo, memo);
}

void CardModel::Generate() {
    const QString vcard = composeVCard(FState.contact);
    FState.memo = QString(vcard).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    emit changed();
    // Throws when the text is too long for any QR symbol: the picture and the state stay.
    QImage picture = renderQrPicture(vcard, FState.qrLevel);
    FState.qrText = vcard;
    FQrPicture = std::move(picture);
    FState.generated = true;
    FState.generateGlyph = 0;
    if (FEdited >= 0 && std::size_t(FEdited) < FState.contacts.size() &&
        FState.contacts[std::size_t(FEdited)] != FState.contact) {
        FState.contacts[std::size_t(FEdited)] = FState.contact;
        ++FContactsSerial;
    }
    emit changed();
}

QString CardModel::remakeQrPicture() {
    FQrPicture = QImage();
    if (FState.qrText.isEmpty())
        return {};
    try {
        FQrPicture = renderQrPicture(FState.qrText, FState.qrLevel);
    } catch (const std::exception& e) {
        // A text that does not fit the level (a document edited elsewhere) has no picture:
        // the card is stale until the next Generate.
        FState.qrText.clear();
        FState.generated = false;
        FState.generateGlyph = 1;
        return QString::fromUtf8(e.what());
    }
    return {};
}

void CardModel::SetFrontColor(const QColor& color) {
    assign(FState.frontColor, color);
}
void CardModel::SetBackColor(const QColor& color) {
    assign(FState.backColor, color);
}
void CardModel::SetTextColor(const QColor& color) {
    assign(FState.textColor, color);
}
void CardModel::SetFrontBackground(const CardPicture& picture) {
    assign(FState.frontBackground, picture);
}
void CardModel::SetBackBackground(const CardPicture& picture) {
    assign(FState.backBackground, picture);
}
void CardModel::SetLogo(const CardPicture& picture) {
    assign(FState.logo, picture);
}
void CardModel::SetIcon(bool on) {
    assign(FState.icon, on);
}
void CardModel::SetBleed(bool on) {
    assign(FState.bleed, on);
}
void CardModel::SetFront(bool on) {
    assign(FState.front, on);
}
void CardModel::SetBack(bool on) {
    assign(FState.back, on);
}

CardDesign designOf(const CardModel& model) {
    return designOf(model.State(), model.QrPicture());
}

CardDesign designOf(const CardState& s, const QImage& qr) {
    CardDesign d;
    d.front = s.front;
    d.back = s.back;
    d.bleed = s.bleed;
    d.icon = s.icon;
    d.frontColor = s.frontColor;
    d.backColor = s.backColor;
    d.nameColor = s.textColor;
    d.suffixColor = s.textColor;
    d.name = s.nameLine();
    d.suffix = s.contact.sufixo;
    d.frontBackground = s.frontBackground.image;
    d.backBackground = s.backBackground.image;
    d.logo = s.logo.image;
    d.qr = qr;
    return d;
}

} // namespace lumo
