#include "app/contactlist.h"

#include "app/columnsdialog.h"
#include "card/cardmodel.h"
#include "card/document.h"
#include "contact/contactcli.h"
#include "contact/contactimport.h"
#include "contact/csvreader.h"
#include "contact/vcardreader.h"
#include "platform/errors.h"
#include "platform/platform.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
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
    lstcontatos->setUniformItemSizes(true);
    const auto button = [this](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    btnmarcar = button("btnmarcar", QStringLiteral("Marcar todos"));
    btndesmarcar = button("btndesmarcar", QStringLiteral("Desmarcar todos"));
    btneditar = button("btneditar", QStringLiteral("Editar"));
    btnremover = button("btnremover", QStringLiteral("Remover"));
    lblmarcados = new QLabel(this);
    lblmarcados->setObjectName(QStringLiteral("lblmarcados"));
    auto* ticks = new QHBoxLayout;
    ticks->addWidget(btnmarcar);
    ticks->addWidget(btndesmarcar);
    auto* actions = new QHBoxLayout;
    actions->addWidget(btneditar);
    actions->addWidget(btnremover);
    layout->addWidget(label);
    layout->addWidget(edtbusca);
    layout->addLayout(ticks);
    layout->addWidget(lstcontatos, 1);
    layout->addWidget(lblmarcados);
    layout->addLayout(actions);
    resize(300, 520);

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
    connect(lstcontatos, &QListWidget::itemClicked, this, [this, choose](QListWidgetItem* item) {
        if (!std::exchange(FTickChanged, false))
            choose(item);
    });
    connect(lstcontatos, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        const int index = item->data(Qt::UserRole).toInt();
        const bool ticked = item->checkState() == Qt::Checked;
        if (index < 0 || std::size_t(index) >= FTicks.size() || FTicks[std::size_t(index)] == ticked)
            return;
        FTickChanged = true;
        FTicks[std::size_t(index)] = ticked;
        if (FModel)
            FModel->SetTicked(std::size_t(index), ticked);
        showTicks();
    });
    // "Marcar todos" and "Desmarcar todos" act on the contacts the search shows.
    const auto tickShown = [this](bool ticked) {
        if (!FModel)
            return;
        bool all = edtbusca->text().trimmed().isEmpty();
        if (all) {
            FModel->SetAllTicked(ticked);
        } else {
            for (int row = 0; row < lstcontatos->count(); ++row)
                if (!lstcontatos->item(row)->isHidden())
                    FModel->SetTicked(std::size_t(IndexAt(row)), ticked);
        }
        SetContacts(FModel->Contacts());
    };
    connect(btnmarcar, &QPushButton::clicked, this, [tickShown] { tickShown(true); });
    connect(btndesmarcar, &QPushButton::clicked, this, [tickShown] { tickShown(false); });
    connect(btneditar, &QPushButton::clicked, this, [this] {
        if (const int index = currentIndex(); FModel && index >= 0)
            FModel->EditContact(std::size_t(index));
    });
    connect(btnremover, &QPushButton::clicked, this, [this] {
        const int index = currentIndex();
        if (!FModel || index < 0)
            return;
        const int row = lstcontatos->currentRow();
        FModel->RemoveContact(std::size_t(index));
        SetContacts(FModel->Contacts());
        lstcontatos->setCurrentRow(std::min(row, lstcontatos->count() - 1));
    });
}

int TContactList::IndexAt(int row) const {
    const QListWidgetItem* item = lstcontatos->item(row);
    return item ? item->data(Qt::UserRole).toInt() : -1;
}

int TContactList::currentIndex() const {
    const QListWidgetItem* item = lstcontatos->currentItem();
    return item && !item->isHidden() ? item->data(Qt::UserRole).toInt() : -1;
}

void TContactList::SetContacts(const std::vector<lumo::ContactFields>& contacts) {
    std::vector<bool> ticks(contacts.size(), true);
    if (FModel && FModel->Contacts().size() == contacts.size())
        for (std::size_t i = 0; i < contacts.size(); ++i)
            ticks[i] = FModel->Ticked(i);
    if (contacts == FContacts && ticks == FTicks)
        return;
    const bool sameContacts = contacts == FContacts && std::size_t(lstcontatos->count()) == contacts.size();
    FTicks = std::move(ticks);
    const QSignalBlocker blocker(lstcontatos);
    if (sameContacts) {
        for (int row = 0; row < lstcontatos->count(); ++row)
            lstcontatos->item(row)->setCheckState(FTicks[std::size_t(row)] ? Qt::Checked : Qt::Unchecked);
        showTicks();
        return;
    }
    FContacts = contacts;
    FSearchTexts.clear();
    FSearchTexts.reserve(FContacts.size());
    lstcontatos->clear();
    for (std::size_t i = 0; i < FContacts.size(); ++i) {
        const lumo::ContactFields& c = FContacts[i];
        QString line = (c.nome + u' ' + c.sobrenome).trimmed();
        if (line.isEmpty())
            line = c.email.isEmpty() ? QStringLiteral("(sem nome)") : c.email;
        auto* item = new QListWidgetItem(line, lstcontatos);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(FTicks[i] ? Qt::Checked : Qt::Unchecked);
        item->setData(Qt::UserRole, int(i));
        item->setToolTip(QStringList{c.sufixo, c.email, c.celular}.join(u'\n').trimmed());
        FSearchTexts.push_back(contactSearchText(c));
    }
    filter();
    showTicks();
}

void TContactList::showTicks() {
    const auto ticked = std::count(FTicks.begin(), FTicks.end(), true);
    lblmarcados->setText(QStringLiteral("%1 de %2 marcados").arg(ticked).arg(FTicks.size()));
}

void TContactList::filter() {
    const QStringList words = foldForSearch(edtbusca->text()).split(u' ', Qt::SkipEmptyParts);
    for (int row = 0; row < lstcontatos->count(); ++row) {
        QListWidgetItem* item = lstcontatos->item(row);
        const QString& text = FSearchTexts[std::size_t(item->data(Qt::UserRole).toInt())];
        bool shown = true;
        for (const QString& word : words)
            shown = shown && text.contains(word);
        item->setHidden(!shown);
    }
}

namespace {

// The list the import leaves: the contacts read added to (or in place of) the list there,
// the ticks of the contacts kept as they were. Returns how many were merged.
int applyImport(lumo::CardModel& model, const std::vector<lumo::ContactFields>& before,
                const std::vector<bool>& ticksBefore, const std::vector<lumo::ContactFields>& read, bool add,
                const QString& shown) {
    std::vector<lumo::ContactFields> list = add ? before : std::vector<lumo::ContactFields>();
    const int merged = lumo::addContacts(list, read);
    // A list the card's document could not hold is refused before anything changes.
    lumo::checkCardContacts(list, shown);
    model.SetContacts(list);
    if (add)
        for (std::size_t i = 0; i < ticksBefore.size(); ++i)
            model.SetTicked(i, ticksBefore[i]);
    return merged;
}

} // namespace

bool importContacts(QWidget* parent, lumo::CardModel& model, bool chooseColumns) {
    lumo::OpenFileRequest request;
    request.dialogName = QStringLiteral("ImportDialog");
    request.filter = QStringLiteral("Contatos (*.vcf *.vcard *.csv);;Todos os arquivos (*)");
    const std::optional<QString> chosen = lumo::platform().openFileName(parent, request);
    if (!chosen || chosen->isEmpty())
        return false;
    const QString shown = QDir::toNativeSeparators(*chosen);
    // A bad file throws here or below: the card and the list stay as they were.
    const QByteArray bytes = lumo::contactsFileBytes(*chosen);
    const bool vcard = lumo::isVCardFile(*chosen, bytes);

    lumo::CsvOptions options;
    QStringList header;
    bool asked = false;
    const auto askColumns = [&] {
        TColumnsDialog dialog(parent, bytes, shown, options);
        if (!dialog.Run())
            return false;
        options.columns = dialog.Choices();
        asked = true;
        return true;
    };
    const auto read = [&]() -> std::optional<lumo::ImportResult> {
        if (vcard) {
            lumo::checkContactsFileCount(*chosen, options);
            return lumo::readVCards(bytes, shown);
        }
        for (;;) {
            try {
                lumo::checkContactsFileCount(*chosen, options);
                return lumo::readCsv(bytes, shown, options);
            } catch (const lumo::CsvColumnsNeeded&) {
                // Choices that still give no name, phone or e-mail are refused with the reason.
                if (asked)
                    throw;
                if (!askColumns())
                    return std::nullopt;
            }
        }
    };
    if (!vcard) {
        header = lumo::inspectCsv(bytes, shown).names;
        options.columns = rememberedColumns(header);
        if (chooseColumns && !askColumns())
            return false;
    }
    // The contacts as a card keeps them: boxes too long for a document left out, a list too
    // long for one refused.
    const auto readForCard = [&]() -> std::optional<lumo::ImportResult> {
        std::optional<lumo::ImportResult> result = read();
        if (result)
            lumo::fitContactsToCard(*result, shown);
        return result;
    };
    std::optional<lumo::ImportResult> result = readForCard();
    if (!result)
        return false;
    if (asked)
        rememberColumns(header, options.columns);

    if (result->contacts.size() == 1 && result->skippedLines == 0 && !result->nonAscii) {
        model.SetContact(result->contacts.front());
        return false;
    }
    const std::vector<lumo::ContactFields> before = model.Contacts();
    std::vector<bool> ticksBefore;
    for (std::size_t i = 0; i < before.size(); ++i)
        ticksBefore.push_back(model.Ticked(i));
    bool add = false;
    if (!before.empty() && result->contacts.size() > 1) {
        const int answer = lumo::platform().question(
            parent,
            QStringLiteral(
                "O cartão já tem uma lista de %1 contatos. Os contatos de \"%2\" vão para a lista ou "
                "ficam no lugar dela?")
                .arg(before.size())
                .arg(shown),
            {QStringLiteral("Adicionar à lista"), QStringLiteral("Substituir a lista"),
             QStringLiteral("Cancelar")},
            0);
        if (answer != 0 && answer != 1)
            return false;
        add = answer == 0;
    }

    for (;;) {
        int merged = 0;
        if (result->contacts.size() == 1)
            model.SetContact(result->contacts.front());
        else
            merged = applyImport(model, before, ticksBefore, result->contacts, add, shown);
        QString summary = lumo::importSummary(*result);
        if (merged > 0)
            summary += merged == 1 ? QStringLiteral("; 1 contato repetido juntado a outro")
                                   : QStringLiteral("; %1 contatos repetidos juntados a outros").arg(merged);
        // A CSV file without a byte-order mark was told UTF-8 or Windows-1252 by its bytes;
        // the user may know better.
        if (vcard || result->byteOrderMark || !result->nonAscii) {
            lumo::platform().message(parent, summary);
            break;
        }
        const lumo::TextEncoding other = result->encoding == lumo::TextEncoding::Utf8
                                             ? lumo::TextEncoding::Windows1252
                                             : lumo::TextEncoding::Utf8;
        summary += QStringLiteral("\n\nO texto foi lido como %1.").arg(lumo::encodingName(result->encoding));
        const int answer = lumo::platform().question(
            parent, summary,
            {QStringLiteral("OK"), QStringLiteral("Ler como %1").arg(lumo::encodingName(other))}, 0);
        if (answer != 1)
            break;
        options.encoding = other;
        result = readForCard();
        if (!result)
            break;
    }
    return result && result->contacts.size() > 1;
}

QStringList exportEachPdf(const lumo::CardState& design, const std::vector<lumo::ContactFields>& contacts,
                          const QString& folder, const lumo::BatchProgress& progress,
                          lumo::BatchSummary* summary) {
    if (!QFileInfo(folder).isDir())
        throw lumo::UserError(
            QStringLiteral("A pasta \"%1\" não existe.").arg(QDir::toNativeSeparators(folder)));
    lumo::BatchSummary told;
    lumo::BatchSummary& result = summary ? *summary : told;
    result = lumo::BatchSummary{};
    // Files already in the folder are never replaced: a name taken gets " (2)".
    QSet<QString> used;
    for (const QString& name :
         QDir(folder).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden))
        used.insert(name.toLower());
    QStringList written;
    const int total = int(contacts.size());
    // The contact's own notes, numbered in the whole list.
    const auto add = [](std::vector<lumo::BatchCardNote>& to, std::vector<lumo::BatchCardNote> notes,
                        int number) {
        for (lumo::BatchCardNote& note : notes) {
            note.number = number;
            to.push_back(std::move(note));
        }
    };
    for (int i = 0; i < total; ++i) {
        if (progress && !progress(i, total))
            return written;
        const lumo::ContactFields& contact = contacts[std::size_t(i)];
        const QString path = QDir(folder).filePath(lumo::eachPdfFileName(contact, used));
        lumo::BatchSummary one;
        try {
            lumo::exportBatchPdf(design, {contact}, path, {}, &one);
        } catch (const lumo::UserError& e) {
            // A contact whose vCard does not fit the QR level is left out, as in the batch.
            if (one.leftOut.empty())
                throw lumo::UserError(
                    QStringLiteral("Contato %1 de %2 (%3): %4")
                        .arg(i + 1)
                        .arg(total)
                        .arg(QFileInfo(path).completeBaseName(), QString::fromUtf8(e.what())));
        }
        add(result.leftOut, std::move(one.leftOut), i + 1);
        add(result.notes, std::move(one.notes), i + 1);
        if (one.cardsWritten > 0) {
            ++result.cardsWritten;
            written << path;
        }
    }
    if (progress)
        progress(total, total);
    if (written.isEmpty())
        throw lumo::UserError(
            QStringLiteral("Nenhum PDF foi gravado: o vCard de nenhum contato cabe no código QR.") + u'\n' +
            lumo::batchSummaryLines(result).join(u'\n'));
    return written;
}

QPoint contactListPlace(const QRect& window, const QSize& list, const QRect& screen) {
    constexpr int gap = 8;
    const int top = screen.isValid() ? std::clamp(window.top(), screen.top(),
                                                  std::max(screen.top(), screen.bottom() - list.height()))
                                     : window.top();
    if (!screen.isValid() || window.right() + gap + list.width() <= screen.right())
        return {window.right() + gap, top};
    if (window.left() - gap - list.width() >= screen.left())
        return {window.left() - gap - list.width(), top};
    return {std::max(screen.left(), window.left() + 16), top};
}
