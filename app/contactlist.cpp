#include "app/contactlist.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

QString foldForSearch(const QString& text) {
    QString out;
    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    out.reserve(decomposed.size());
    for (QChar c : decomposed)
        if (c.category() != QChar::Mark_NonSpacing)
            out += c.toCaseFolded();
    return out;
}

QString contactSearchText(const lumo::ContactFields& c) {
    return foldForSearch(QStringList{c.nome, c.sobrenome, c.sufixo, c.email, c.celular, c.fixo}.join(u' '));
}

TContactList::TContactList(QWidget* owner) : QWidget(owner, Qt::Tool) {
    setObjectName(QStringLiteral("ContactList1"));
    setWindowTitle(QStringLiteral("Contatos"));
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(QStringLiteral("Buscar"), this);
    edtbusca = new QLineEdit(this);
    edtbusca->setObjectName(QStringLiteral("edtbusca"));
    edtbusca->setClearButtonEnabled(true);
    edtbusca->setPlaceholderText(QStringLiteral("Nome, e-mail ou telefone"));
    label->setBuddy(edtbusca);
    edtbusca->setAccessibleName(QStringLiteral("Buscar contato"));
    lstcontatos = new QListWidget(this);
    lstcontatos->setObjectName(QStringLiteral("lstcontatos"));
    lstcontatos->setAccessibleName(QStringLiteral("Contatos"));
    layout->addWidget(label);
    layout->addWidget(edtbusca);
    layout->addWidget(lstcontatos, 1);
    resize(300, 480);

    connect(edtbusca, &QLineEdit::textChanged, this, &TContactList::filter);
    // Enter in the search box takes the first contact shown.
    connect(edtbusca, &QLineEdit::returnPressed, this, [this] {
        for (int row = 0; row < lstcontatos->count(); ++row)
            if (!lstcontatos->item(row)->isHidden()) {
                lstcontatos->setCurrentRow(row);
                emit lstcontatos->itemActivated(lstcontatos->item(row));
                return;
            }
    });
    auto choose = [this](QListWidgetItem* item) {
        if (item && FChosen)
            FChosen(item->data(Qt::UserRole).toInt());
    };
    connect(lstcontatos, &QListWidget::itemActivated, this, choose);
    connect(lstcontatos, &QListWidget::itemClicked, this, choose);
}

void TContactList::SetContacts(const std::vector<lumo::ContactFields>& contacts) {
    if (contacts == FContacts)
        return;
    FContacts = contacts;
    lstcontatos->clear();
    for (std::size_t i = 0; i < FContacts.size(); ++i) {
        const lumo::ContactFields& c = FContacts[i];
        QString line = (c.nome + u' ' + c.sobrenome).trimmed();
        if (line.isEmpty())
            line = c.email.isEmpty() ? QStringLiteral("(sem nome)") : c.email;
        auto* item = new QListWidgetItem(line, lstcontatos);
        item->setData(Qt::UserRole, int(i));
        item->setToolTip(QStringList{c.sufixo, c.email, c.celular}.join(u'\n').trimmed());
    }
    filter();
}

void TContactList::filter() {
    const QStringList words = foldForSearch(edtbusca->text()).split(u' ', Qt::SkipEmptyParts);
    for (int row = 0; row < lstcontatos->count(); ++row) {
        QListWidgetItem* item = lstcontatos->item(row);
        const QString text = contactSearchText(FContacts[std::size_t(item->data(Qt::UserRole).toInt())]);
        bool shown = true;
        for (const QString& word : words)
            shown = shown && text.contains(word);
        item->setHidden(!shown);
    }
}
