#include "contact/contactimport.h"

#include "contact/csvreader.h"
#include "contact/importrules.h"
#include "contact/vcardreader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace lumo {

namespace {

bool looksLikeVCard(const QByteArray& bytes) {
    QByteArray converted;
    const QByteArrayView text = textBytes(bytes, converted).trimmed();
    return text.size() >= 11 && text.first(11).compare("BEGIN:VCARD", Qt::CaseInsensitive) == 0;
}

} // namespace

ImportResult readContactsFile(const QString& path) {
    const QString shown = QDir::toNativeSeparators(path);
    const QFileInfo info(path);
    if (!info.exists())
        importFailed(shown, QStringLiteral("o arquivo não existe."));
    // Folders, devices and pipes could block or never end.
    if (!info.isFile())
        importFailed(shown, QStringLiteral("não é um arquivo comum."));
    constexpr qint64 mib = 1024 * 1024;
    const auto tooLarge = [&](qint64 size) {
        importFailed(shown,
                     QStringLiteral("o arquivo tem %1 MiB e o limite para importar contatos é de %2 MiB.")
                         .arg((size + mib - 1) / mib)
                         .arg(kMaxContactsFileSize / mib));
    };
    if (info.size() > kMaxContactsFileSize)
        tooLarge(info.size());
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        importFailed(shown, file.errorString());
    // The file may have grown since it was measured.
    const QByteArray bytes = file.read(kMaxContactsFileSize + 1);
    if (file.error() != QFileDevice::NoError)
        importFailed(shown, file.errorString());
    if (bytes.size() > kMaxContactsFileSize)
        tooLarge(bytes.size());

    const QString suffix = info.suffix().toLower();
    if (suffix == u"vcf" || suffix == u"vcard")
        return readVCards(bytes, shown);
    if (suffix == u"csv")
        return readCsv(bytes, shown);
    return looksLikeVCard(bytes) ? readVCards(bytes, shown) : readCsv(bytes, shown);
}

QString importSummary(const ImportResult& result) {
    const qsizetype n = qsizetype(result.contacts.size());
    QString text =
        n == 1 ? QStringLiteral("1 contato importado") : QStringLiteral("%1 contatos importados").arg(n);
    const int m = result.skippedLines;
    if (m > 0)
        text +=
            m == 1 ? QStringLiteral(", 1 linha ignorada") : QStringLiteral(", %1 linhas ignoradas").arg(m);
    return text;
}

} // namespace lumo
