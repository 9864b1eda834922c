#include "app/columnsdialog.h"

#include "contact/importrules.h"
#include "platform/settings.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// The settings key of a header: its column names folded, so that "NOME;Fone" and "nome;fone"
// share their choices.
QString headerKey(const QStringList& header) {
    QStringList folded;
    for (const QString& name : header)
        folded << lumo::foldedKey(name);
    const QByteArray hash =
        QCryptographicHash::hash(folded.join(QChar(0x1F)).toUtf8(), QCryptographicHash::Sha1);
    return QStringLiteral("colunas/") + QString::fromLatin1(hash.toHex());
}

QSettings settings() {
    return QSettings(lumo::Settings::path(), QSettings::IniFormat);
}

} // namespace

lumo::ColumnChoices rememberedColumns(const QStringList& header) {
    lumo::ColumnChoices choices;
    const QStringList stored = settings().value(headerKey(header)).toStringList();
    for (const QString& entry : stored) {
        const qsizetype eq = entry.lastIndexOf(u'=');
        bool ok = false;
        const int box = entry.mid(eq + 1).toInt(&ok);
        if (eq <= 0 || !ok || box < lumo::kIgnoreColumn || box >= lumo::kBoxCount)
            continue;
        // The header's own spelling, which may differ in case or accents from the one stored.
        const QString key = lumo::foldedKey(entry.left(eq));
        for (const QString& name : header)
            if (lumo::foldedKey(name) == key)
                choices[name] = box;
    }
    return choices;
}

void rememberColumns(const QStringList& header, const lumo::ColumnChoices& choices) {
    QStringList stored;
    for (const auto& [name, box] : choices)
        stored << name + u'=' + QString::number(box);
    settings().setValue(headerKey(header), stored);
}

TColumnsDialog::TColumnsDialog(QWidget* owner, const QByteArray& bytes, const QString& fileName,
                               const lumo::CsvOptions& initial)
    : QDialog(owner), FBytes(bytes), FOptions(initial), FHeader(lumo::inspectCsv(bytes, fileName, initial)) {
    setObjectName(QStringLiteral("ColumnsDialog1"));
    setWindowTitle(QStringLiteral("Associar colunas"));
    auto* layout = new QVBoxLayout(this);
    auto* intro =
        new QLabel(QStringLiteral("Escolha a caixa de cada coluna de \"%1\". A escolha vale para os "
                                  "arquivos com o mesmo cabeçalho.")
                       .arg(fileName),
                   this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    tblcolunas = new QTableWidget(int(FHeader.names.size()), 4, this);
    tblcolunas->setObjectName(QStringLiteral("tblcolunas"));
    tblcolunas->setAccessibleName(QStringLiteral("Colunas do arquivo"));
    tblcolunas->setHorizontalHeaderLabels({QStringLiteral("Coluna"), QStringLiteral("Exemplo"),
                                           QStringLiteral("Exemplo"), QStringLiteral("Caixa")});
    tblcolunas->verticalHeader()->hide();
    tblcolunas->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblcolunas->setSelectionMode(QAbstractItemView::NoSelection);
    for (int row = 0; row < int(FHeader.names.size()); ++row) {
        const QString& name = FHeader.names[row];
        tblcolunas->setItem(
            row, 0, new QTableWidgetItem(name.trimmed().isEmpty() ? QStringLiteral("(sem nome)") : name));
        const QStringList& samples = FHeader.samples[std::size_t(row)];
        for (int k = 0; k < 2; ++k)
            tblcolunas->setItem(row, 1 + k,
                                new QTableWidgetItem(k < samples.size() ? samples[k] : QString()));
        auto* choice = new QComboBox(tblcolunas);
        choice->setObjectName(QStringLiteral("cbxcaixa%1").arg(row));
        choice->setAccessibleName(QStringLiteral("Caixa da coluna %1").arg(name));
        for (int box = lumo::kIgnoreColumn; box < lumo::kBoxCount; ++box)
            choice->addItem(lumo::boxCaption(box), box);
        const auto chosen = initial.columns.find(name);
        const int box = chosen != initial.columns.end() ? chosen->second : FHeader.boxes[std::size_t(row)];
        choice->setCurrentIndex(box - lumo::kIgnoreColumn);
        tblcolunas->setCellWidget(row, 3, choice);
        FChoices.push_back(choice);
        connect(choice, &QComboBox::currentIndexChanged, this, &TColumnsDialog::refreshPreview);
    }
    tblcolunas->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tblcolunas->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(tblcolunas, 2);

    layout->addWidget(new QLabel(QStringLiteral("Os primeiros contatos como ficariam:"), this));
    tblprevia = new QTableWidget(0, lumo::kBoxCount, this);
    tblprevia->setObjectName(QStringLiteral("tblprevia"));
    tblprevia->setAccessibleName(QStringLiteral("Prévia dos contatos"));
    QStringList captions;
    for (int box = 0; box < lumo::kBoxCount; ++box)
        captions << lumo::boxCaption(box);
    tblprevia->setHorizontalHeaderLabels(captions);
    tblprevia->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblprevia->verticalHeader()->hide();
    layout->addWidget(tblprevia, 1);
    lblaviso = new QLabel(this);
    lblaviso->setObjectName(QStringLiteral("lblaviso"));
    lblaviso->setWordWrap(true);
    layout->addWidget(lblaviso);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancelar"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(760, 560);
    refreshPreview();
}

QComboBox* TColumnsDialog::BoxChoice(int row) const {
    return row >= 0 && std::size_t(row) < FChoices.size() ? FChoices[std::size_t(row)] : nullptr;
}

lumo::ColumnChoices TColumnsDialog::Choices() const {
    lumo::ColumnChoices choices;
    for (std::size_t i = 0; i < FChoices.size(); ++i)
        if (!FHeader.names[qsizetype(i)].trimmed().isEmpty())
            choices[FHeader.names[qsizetype(i)]] = FChoices[i]->currentData().toInt();
    return choices;
}

void TColumnsDialog::refreshPreview() {
    lumo::CsvOptions options = FOptions;
    options.columns = Choices();
    const std::vector<lumo::ContactFields> contacts = lumo::previewCsv(FBytes, options, kPreviewContacts);
    tblprevia->setRowCount(int(contacts.size()));
    for (int row = 0; row < int(contacts.size()); ++row) {
        lumo::ContactFields c = contacts[std::size_t(row)];
        const std::vector<QString*> boxes = lumo::boxesOf(c);
        for (int box = 0; box < lumo::kBoxCount; ++box)
            tblprevia->setItem(row, box, new QTableWidgetItem(*boxes[std::size_t(box)]));
    }
    tblprevia->resizeColumnsToContents();
    lblaviso->setText(contacts.empty()
                          ? QStringLiteral("Com estas escolhas nenhum contato seria importado: associe "
                                           "uma coluna a Nome, Sobrenome, Celular, Fixo ou E-mail.")
                          : QString());
}

bool TColumnsDialog::Run() {
    if (TestHook())
        return TestHook()(*this);
    return exec() == QDialog::Accepted;
}

std::function<bool(TColumnsDialog&)>& TColumnsDialog::TestHook() {
    static std::function<bool(TColumnsDialog&)> hook;
    return hook;
}
