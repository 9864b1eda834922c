#include "card/batch.h"

#include "card/cardoutput.h"
#include "card/cardtext.h"
#include "card/heapreuse.h"
#include "card/sheet.h"
#include "platform/errors.h"
#include "qrcode/encoder.h"
#include "qrcode/qrcodegenerator.h"
#include "report/pdfstream.h"

#include <QElapsedTimer>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <climits>
#include <cstring>
#include <deque>
#include <future>
#include <memory>
#include <optional>

namespace lumo {

namespace {

// How many cards the QR work may run ahead of the PDF writer: enough to keep every worker
// busy, few enough that the pictures waiting take no memory to speak of.
constexpr int kCardsAhead = 64;

// Pixels per module side in a card's QR picture. One would do for most readers, but a viewer
// that smooths a picture it enlarges blurs a one-pixel module away at screen resolutions;
// with four only the modules' edges soften, and the picture still takes a few hundred bytes.
constexpr int kQrModulePixels = 4;

// A contact's QR picture, or why there is none.
struct ContactQr {
    QImage picture;
    // When the vCard does not fit: its size and the level's maximum, as the encoder counts them.
    int size = 0, limit = 0;
    // Any other failure to make the symbol.
    QString error;
};

// The encoder alone decides whether a vCard fits, so that the batch leaves out exactly the
// contacts the single card would refuse, with the same count of bytes.
ContactQr contactQr(const ContactFields& contact, TQRErrorCorrection level) {
    ContactQr qr;
    try {
        qr.picture = qrModulePicture(composeVCard(contact), level, kQrModulePixels);
    } catch (const QRCodeTooLargeError& tooLarge) {
        qr.size = tooLarge.size();
        qr.limit = tooLarge.limit();
    } catch (const std::exception& error) {
        qr.error = QString::fromUtf8(error.what());
    }
    return qr;
}

// The contacts with their QR pictures, made in order on worker threads while the writer
// draws the cards before them.
class QrAhead {
public:
    QrAhead(int total, const std::function<ContactFields()>& nextContact, TQRErrorCorrection level)
        : FTotal(total), FNextContact(nextContact), FLevel(level) {
        FPool.setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
        for (int i = 0; i < kCardsAhead; ++i)
            submit();
    }
    // Work not yet started is dropped; work under way is waited for.
    ~QrAhead() {
        FPool.clear();
        FPool.waitForDone();
    }
    QrAhead(const QrAhead&) = delete;
    QrAhead& operator=(const QrAhead&) = delete;

    struct Card {
        ContactFields contact;
        ContactQr qr;
    };
    // The next contact and its picture, waiting for the picture when it is not made yet.
    Card take() {
        Pending pending = std::move(FPending.front());
        FPending.pop_front();
        Card card{std::move(pending.contact), pending.qr.get()};
        submit();
        return card;
    }

private:
    struct Pending {
        ContactFields contact;
        std::future<ContactQr> qr;
    };

    void submit() {
        if (FSubmitted == FTotal)
            return;
        ContactFields contact = FNextContact();
        ++FSubmitted;
        auto promise = std::make_shared<std::promise<ContactQr>>();
        FPending.push_back({contact, promise->get_future()});
        FPool.start([promise, contact = std::move(contact), level = FLevel] {
            promise->set_value(contactQr(contact, level));
        });
    }

    const int FTotal;
    const std::function<ContactFields()>& FNextContact;
    TQRErrorCorrection FLevel;
    int FSubmitted = 0;
    std::deque<Pending> FPending;
    QThreadPool FPool;
};

// What a card whose name or suffix could not be fitted whole shows instead.
QString cutTextReason(CardTextCuts cuts) {
    if (cuts.name && cuts.suffix)
        return QStringLiteral("o nome e o sufixo saem cortados (…)");
    if (cuts.name)
        return QStringLiteral("o nome sai cortado (…)");
    if (cuts.suffix)
        return QStringLiteral("o sufixo sai cortado (…)");
    return {};
}

} // namespace

QString shownName(const ContactFields& contact) {
    const QString name = (contact.nome + u' ' + contact.sobrenome).trimmed();
    return name.isEmpty() ? QStringLiteral("sem nome") : name;
}

BatchCardNote qrTooLargeNote(int number, const ContactFields& contact, TQRErrorCorrection level, int size,
                             int limit) {
    return {number, shownName(contact),
            QStringLiteral("o vCard não cabe no código QR (nível %1: %2 bytes, máximo %3)")
                .arg(QStringLiteral("LMQH").at(std::min<int>(level, 3)))
                .arg(size)
                .arg(limit)};
}

void noteCardWritten(BatchSummary& summary, int number, const ContactFields& contact,
                     const CardDesign& card) {
    ++summary.cardsWritten;
    if (const QString cut = cutTextReason(cardTextCuts(card)); !cut.isEmpty())
        summary.notes.push_back({number, shownName(contact), cut});
}

QImage qrModulePicture(const QString& text, TQRErrorCorrection level, int modulePixels) {
    TQRCodeGenerator generator;
    // Level, encoding and margin first, so that the text itself is encoded once.
    generator.SetErrorCorrection(level);
    generator.SetEncoding(qrUTF8BOM);
    generator.SetQuietZone(0);
    try {
        generator.SetData(text);
    } catch (const QRCodeTooLargeError&) {
        throw;
    } catch (const std::exception&) {
        throw UserError(QStringLiteral("O texto não cabe em nenhum código QR."));
    }
    const int modules = generator.Rows();
    if (modules <= 0 || generator.Columns() != modules || modulePixels < 1 || modulePixels > 64)
        throw UserError(QStringLiteral("Não foi possível gerar o código QR deste vCard."));

    const int side = modules * modulePixels;
    QImage picture(side, side, QImage::Format_Mono);
    picture.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    picture.fill(1);
    for (int row = 0; row < modules; ++row) {
        uchar* line = picture.scanLine(row * modulePixels);
        for (int x = 0; x < side; ++x)
            if (generator.IsBlack(row, x / modulePixels))
                line[x >> 3] &= uchar(~(0x80 >> (x & 7)));
        for (int copy = 1; copy < modulePixels; ++copy)
            std::memcpy(picture.scanLine(row * modulePixels + copy), line,
                        std::size_t(picture.bytesPerLine()));
    }
    return picture;
}

QStringList batchSummaryLines(const BatchSummary& summary) {
    QStringList lines;
    const auto list = [&](const std::vector<BatchCardNote>& cards, const QString& one, const QString& many) {
        if (cards.empty())
            return;
        lines << (cards.size() == 1 ? one : many.arg(cards.size()));
        for (const BatchCardNote& card : cards)
            lines << QStringLiteral("  contato %1, %2: %3").arg(card.number).arg(card.name, card.reason);
    };
    list(summary.leftOut, QStringLiteral("1 cartão deixado de fora:"),
         QStringLiteral("%1 cartões deixados de fora:"));
    list(summary.notes, QStringLiteral("1 cartão a conferir:"), QStringLiteral("%1 cartões a conferir:"));
    return lines;
}

bool exportBatchPdf(const CardState& design, const std::vector<ContactFields>& contacts, const QString& path,
                    const BatchProgress& progress, BatchSummary* summary) {
    if (contacts.size() > std::size_t(INT_MAX))
        throw UserError(QStringLiteral("A lista tem contatos demais."));
    std::size_t next = 0;
    return exportBatchPdf(
        design, int(contacts.size()), [&] { return contacts[next++]; }, path, progress, summary);
}

bool exportBatchPdf(const CardState& design, int total, const std::function<ContactFields()>& nextContact,
                    const QString& path, const BatchProgress& progress, BatchSummary* summary) {
    if (!design.front && !design.back)
        throw UserError(
            QStringLiteral("Nenhum lado do cartão está marcado: marque a frente, o verso ou os dois."));
    if (total <= 0)
        throw UserError(QStringLiteral("A lista não tem nenhum contato."));
    const HeapKeptForReuse heap;

    // One card document serves every contact: only the name line, the suffix and the QR
    // picture change from card to card, so the shared pictures stay the very same images.
    const std::unique_ptr<report::TReport> document = makeCardDocument(design.bleed);
    CardDesign card = designOf(design, QImage());
    // On sheets the cards wait until their sheet is full, or the list ends, and go on it together.
    std::optional<SheetPages> sheets;
    if (design.sheet != SheetKind::Card)
        sheets.emplace(design.sheet, design.bleed);
    std::vector<CardDesign> onSheet;
    BatchSummary told;
    BatchSummary& result = summary ? *summary : told;
    result = BatchSummary{};
    const QChar levelLetter = QStringLiteral("LMQH").at(std::min<int>(design.qrLevel, 3));
    try {
        report::TPdfPageStream stream(*makePdfExport(), path);
        QrAhead qr(total, nextContact, design.qrLevel);
        const auto sheetOut = [&] {
            for (const auto& page : sheets->Sheets(onSheet))
                stream.AddPage(*page);
            onSheet.clear();
        };
        for (int i = 0; i < total; ++i) {
            QrAhead::Card next = qr.take();
            const ContactFields& contact = next.contact;
            if (!next.qr.error.isEmpty())
                throw UserError(QStringLiteral("O código QR do contato %1 (%2) não pôde ser gerado: %3 "
                                               "Nenhum PDF foi gravado.")
                                    .arg(i + 1)
                                    .arg(shownName(contact), next.qr.error));
            if (next.qr.picture.isNull()) {
                result.leftOut.push_back(
                    qrTooLargeNote(i + 1, contact, design.qrLevel, next.qr.size, next.qr.limit));
            } else {
                card.qr = std::move(next.qr.picture);
                card.name = contact.nome + u' ' + contact.sobrenome;
                card.suffix = contact.sufixo;
                noteCardWritten(result, i + 1, contact, card);
                if (sheets) {
                    onSheet.push_back(card);
                } else {
                    fillCardDocument(*document, card);
                    for (const auto& page : document->Pages())
                        if (page->Visible())
                            stream.AddPage(*page);
                }
            }
            // On sheets the progress is told once a sheet is drawn.
            if (sheets) {
                if (int(onSheet.size()) < sheets->Layout().places() && i + 1 < total)
                    continue;
                if (!onSheet.empty())
                    sheetOut();
            }
            if (progress && !progress(i + 1, total))
                return false;
        }
        if (result.cardsWritten == 0)
            throw UserError(QStringLiteral("Nenhum cartão foi gravado: o vCard de nenhum contato cabe no "
                                           "código QR de nível %1.")
                                .arg(levelLetter));
        // Asked again every so often while the file is finished, which takes a while for a long
        // list: too seldom to be noticed in its time, often enough for a cancel to be prompt.
        QElapsedTimer sinceTold;
        sinceTold.start();
        return stream.Finish([&] {
            if (!progress || sinceTold.elapsed() < 200)
                return true;
            sinceTold.restart();
            return progress(total, total);
        });
    } catch (const report::ReportError& error) {
        throw UserError(QString::fromStdString(error.what()));
    }
}

} // namespace lumo
