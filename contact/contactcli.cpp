#include "contact/contactcli.h"

#include "contact/importrules.h"

#include <algorithm>

namespace lumo {

namespace {

QString boxList() {
    QStringList keys;
    for (int box = 0; box < kBoxCount; ++box)
        keys << boxKey(box);
    return keys.join(QStringLiteral(", ")) + QStringLiteral(" ou ") + boxKey(kIgnoreColumn);
}

[[noreturn]] void badOption(const QString& reason) {
    throw UserError(QStringLiteral("Opção --columns inválida: %1").arg(reason));
}

} // namespace

ColumnChoices parseColumnsOption(const QString& text) {
    ColumnChoices choices;
    const QStringList parts = text.split(u',');
    for (const QString& part : parts) {
        if (part.trimmed().isEmpty())
            continue;
        const qsizetype eq = part.lastIndexOf(u'=');
        if (eq < 0)
            badOption(QStringLiteral("\"%1\" não tem \"=\"; escreva Coluna=caixa, separados por vírgulas.")
                          .arg(part.trimmed()));
        const QString column = part.left(eq).trimmed();
        const QString box = part.mid(eq + 1).trimmed();
        if (column.isEmpty())
            badOption(QStringLiteral("falta o nome da coluna antes de \"=%1\".").arg(box));
        const std::optional<int> chosen = boxFromKey(box);
        if (!chosen)
            badOption(QStringLiteral("\"%1\" não é uma caixa (coluna \"%2\"); as caixas são %3.")
                          .arg(box, column, boxList()));
        const auto same = std::find_if(choices.begin(), choices.end(), [&](const auto& c) {
            return foldedKey(c.first) == foldedKey(column);
        });
        if (same != choices.end())
            badOption(QStringLiteral("a coluna \"%1\" aparece duas vezes.").arg(column));
        choices[column] = *chosen;
    }
    if (choices.empty())
        badOption(QStringLiteral(
            "nenhuma coluna; escreva por exemplo --columns \"Nome completo=nome,Celular=celular\"."));
    return choices;
}

QString columnsNeededText(const CsvColumnsNeeded& error) {
    QStringList example;
    for (const QString& column : error.unknownColumns)
        example << QString(column).remove(u',').remove(u'"') + QStringLiteral("=CAIXA");
    if (example.isEmpty())
        example << QStringLiteral("Coluna=CAIXA");
    return QString::fromUtf8(error.what()) +
           QStringLiteral("\nIndique a caixa de cada coluna com --columns \"%1\" (caixas: %2).")
               .arg(example.join(u','), boxList());
}

QString dryRunText(const ImportResult& stats, int total, const std::vector<ContactFields>& first) {
    ImportResult counted = stats;
    counted.contacts.resize(size_t(std::max(total, 0)));
    QString out = importSummary(counted) + u'\n';
    if (stats.nonAscii)
        out += QStringLiteral("Codificação: %1\n").arg(encodingName(stats.encoding));
    const size_t shown = std::min(first.size(), size_t(kDryRunContacts));
    if (shown == 0)
        return out;

    // The boxes any contact shown fills, each as wide as its widest value (one line each).
    std::vector<int> boxes;
    std::vector<QStringList> cells(shown);
    for (int box = 0; box < kBoxCount; ++box) {
        bool filled = false;
        for (size_t i = 0; i < shown; ++i) {
            ContactFields c = first[i];
            filled = filled || !boxesOf(c)[size_t(box)]->isEmpty();
        }
        if (filled)
            boxes.push_back(box);
    }
    std::vector<qsizetype> widths;
    for (int box : boxes)
        widths.push_back(boxCaption(box).size());
    for (size_t i = 0; i < shown; ++i) {
        ContactFields c = first[i];
        const std::vector<QString*> values = boxesOf(c);
        for (size_t k = 0; k < boxes.size(); ++k) {
            QString value = *values[size_t(boxes[k])];
            value.replace(u'\n', QStringLiteral(" / ")).replace(u'\t', u' ');
            widths[k] = std::max(widths[k], value.size());
            cells[i] << value;
        }
    }
    const auto row = [&](const QStringList& values) {
        qsizetype end = values.size();
        while (end > 1 && values[end - 1].isEmpty())
            --end;
        QString line;
        for (qsizetype k = 0; k < end; ++k)
            line += (k ? QStringLiteral(" | ") : QString()) + values[k].leftJustified(widths[size_t(k)]);
        while (line.endsWith(u' '))
            line.chop(1);
        return line;
    };
    QStringList header, rule;
    for (size_t k = 0; k < boxes.size(); ++k) {
        header << boxCaption(boxes[k]);
        rule << QString(widths[k], u'-');
    }
    out += row(header) + u'\n' + rule.join(QStringLiteral("-+-")) + u'\n';
    for (const QStringList& values : cells)
        out += row(values) + u'\n';
    if (total > int(shown))
        out += QStringLiteral("… e mais %1\n").arg(total - int(shown));
    return out;
}

QString eachPdfFileName(const ContactFields& contact, QSet<QString>& used) {
    QString name = (contact.nome.trimmed() + u' ' + contact.sobrenome.trimmed()).simplified();
    if (name.isEmpty())
        name = contact.email.trimmed();
    // Windows refuses these characters, and names ending in a dot or a space.
    for (QChar& c : name)
        if (c.unicode() < 0x20 || QStringView(u"<>:\"/\\|?*").contains(c) || c == QChar(0x7F))
            c = u'_';
    name = name.left(120);
    while (!name.isEmpty() && (name.endsWith(u'.') || name.endsWith(u' ')))
        name.chop(1);
    static const QStringList reserved = {QStringLiteral("con"), QStringLiteral("prn"), QStringLiteral("aux"),
                                         QStringLiteral("nul")};
    const QString lower = name.toLower();
    if (name.isEmpty() || name == u"_")
        name = QStringLiteral("Contato");
    else if (reserved.contains(lower) ||
             (lower.size() == 4 && (lower.startsWith(u"com") || lower.startsWith(u"lpt")) &&
              lower[3].isDigit()))
        name += u'_';
    QString file = name + QStringLiteral(".pdf");
    for (int n = 2; used.contains(file.toLower()); ++n)
        file = QStringLiteral("%1 (%2).pdf").arg(name).arg(n);
    used.insert(file.toLower());
    return file;
}

} // namespace lumo
