#include "app/nfccommand.h"

#include "app/nfcdialog.h"
#include "card/cardmodel.h"
#include "card/document.h"
#include "nfc/chipwriter.h"
#include "nfc/pcsc.h"

#include <cstdio>

namespace lumo {

namespace {

void print(FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

} // namespace

int runNfcCommand(const QString& documentPath, const QString& readerName, int timeoutSeconds) {
    if (timeoutSeconds <= 0) {
        print(stderr,
              QStringLiteral("lumocard: --timeout precisa de um número de segundos maior que zero.\n"));
        return 2;
    }
    try {
        CardModel model;
        model.SetState(openCardDocument(documentPath));
        const ChipJob job = chipJobOfCard(model);

        PcscContext context;
        const QStringList readers = context.readers();
        if (readers.isEmpty())
            throw UserError(noReaderMessage());
        QString reader = readerName.isEmpty() ? readers.first() : readerName;
        if (!readers.contains(reader))
            throw UserError(QStringLiteral("O leitor \"%1\" não foi encontrado. Leitores: %2.")
                                .arg(readerName, readers.join(QStringLiteral(", "))));

        print(stderr,
              QStringLiteral("Aproxime o cartão do leitor %1 (até %2 s)…\n").arg(reader).arg(timeoutSeconds));
        if (context.waitForCard(reader, timeoutSeconds * 1000) != WaitResult::Present)
            throw UserError(QStringLiteral("Nenhum cartão foi aproximado em %1 s; nada foi gravado.")
                                .arg(timeoutSeconds));
        const ChipWriteResult result = writeContactChip(context, reader, {job.vcard, job.site, false, {}});
        print(stdout, result.summary() + u'\n');
        return 0;
    } catch (const std::exception& error) {
        print(stderr, QStringLiteral("lumocard: %1\n").arg(QString::fromUtf8(error.what())));
        return 1;
    }
}

} // namespace lumo
