#include "nfc/chipwriter.h"

#include "nfc/ndef.h"

namespace lumo {

QByteArray vcardMessage(const QByteArray& vcard) {
    return encodeNdefMessage({mimeRecord(QByteArrayLiteral("text/vcard"), vcard)});
}

QString siteUri(const QString& site) {
    const QString trimmed = site.trimmed();
    if (trimmed.contains(QStringLiteral("://")) ||
        trimmed.startsWith(QStringLiteral("mailto:"), Qt::CaseInsensitive))
        return trimmed;
    return QStringLiteral("https://") + trimmed;
}

QString ChipWriteResult::summary() const {
    return QStringLiteral("Gravado e conferido: %1 de %2 bytes").arg(written).arg(areaSize);
}

ChipWriteResult writeContactChip(PcscContext& context, const QString& reader,
                                 const ChipWriteRequest& request) {
    PcscCard card(context, reader);
    ChipWriteResult result;
    result.uid = card.uid();
    const std::unique_ptr<NdefTag> tag = NdefTag::open(card, card.atr());
    const TagInfo& info = tag->info();
    result.model = info.model;
    result.areaSize = info.areaSize;
    if (info.readOnly)
        throw UserError(QStringLiteral("O chip está protegido contra gravação; nada foi gravado."));
    if (request.lock && !tag->canLock())
        throw UserError(QStringLiteral("Este chip não pode ser protegido contra gravação pelo programa; "
                                       "nada foi gravado."));

    QByteArray message = vcardMessage(request.vcard);
    if (message.size() > info.capacity) {
        const QString sizes = doesNotFitMessage(info.capacity, int(message.size()));
        const QString site = request.site.trimmed();
        if (site.isEmpty() || !request.offerSite)
            throw UserError(sizes);
        const QString uri = siteUri(site);
        message = encodeNdefMessage({uriRecord(uri)});
        if (message.size() > info.capacity)
            throw UserError(sizes);
        if (!request.offerSite(sizes + QStringLiteral("\nGravar só o endereço do site (%1)?").arg(uri))) {
            result.declined = true;
            return result;
        }
        result.siteOnly = true;
    }
    const WriteReport report = writeAndVerify(*tag, message, request.lock);
    result.written = report.written;
    result.locked = request.lock;
    return result;
}

QByteArray chipUid(PcscContext& context, const QString& reader) {
    PcscCard card(context, reader);
    return card.uid();
}

} // namespace lumo
