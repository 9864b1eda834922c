#include "card/printshop.h"

#include "card/heapreuse.h"
#include "contact/vcard.h"
#include "platform/errors.h"
#include "qrcode/encoder.h"
#include "report/export.h"
#include "report/pdfstream.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QPainter>
#include <QScopeGuard>
#include <QTemporaryFile>
#include <QThread>
#include <QThreadPool>

#include <atomic>
#include <chrono>
#include <climits>
#include <deque>
#include <future>

namespace lumo {

namespace {

// Pixels per QR module, as in the batch: few enough to stay small, enough to stay sharp.
constexpr int kQrModulePixels = 4;
// How many QR pictures may wait for their card: enough to keep the other core busy.
constexpr std::size_t kCardsAhead = 64;
// Cards drawn into one intermediate PDF and converted together. The conversion's memory grows
// with the piece (qpdf holds a piece's objects, some 36 kB a card); each piece draws the
// shared pictures and fonts again, which the conversion then finds already written. Larger
// pieces save little time: 250 cards a piece are 3 % faster and take 10 MB more.
constexpr int kPieceCards = 100;

// The intermediate PDF of the renderer, beside the target so that a large batch needs no
// room elsewhere. Removed when it goes out of scope.
std::unique_ptr<QTemporaryFile> intermediateFile(const QString& path) {
    const QFileInfo target(path);
    auto file = std::make_unique<QTemporaryFile>(
        target.absoluteDir().filePath(QStringLiteral(".lumocard-XXXXXX.pdf")));
    if (!file->open())
        throw UserError(QStringLiteral("Não foi possível criar um arquivo temporário em \"%1\": %2.")
                            .arg(target.absolutePath(), file->errorString()));
    file->close();
    return file;
}

// The card of `contact` with the QR picture made for it, counted in `summary`; or why the
// contact gets no card (its vCard does not fit the level).
std::optional<BatchCardNote> cardOfContact(CardDesign& card, const ContactFields& contact,
                                           std::future<QImage>& qr, int number, TQRErrorCorrection level,
                                           BatchSummary& summary) {
    try {
        card.qr = qr.get();
    } catch (const QRCodeTooLargeError& error) {
        return qrTooLargeNote(number, contact, level, error.size(), error.limit());
    } catch (const std::exception& error) {
        throw UserError(
            QStringLiteral("O código QR do contato %1 (%2) não pôde ser gerado: %3 Nenhum PDF foi gravado.")
                .arg(number)
                .arg(shownName(contact), QString::fromUtf8(error.what())));
    }
    card.name = contact.nome + u' ' + contact.sobrenome;
    card.suffix = contact.sufixo;
    noteCardWritten(summary, number, contact, card);
    return std::nullopt;
}

} // namespace

void exportPrintShopPdf(const CardDesign& design, const QString& path, const report::TPdfxOptions& options) {
    if (!design.front && !design.back)
        throw UserError(
            QStringLiteral("Nenhum lado do cartão está marcado: marque a frente, o verso ou os dois."));
    try {
        const std::unique_ptr<report::TReport> document = makeBleedCardDocument(options.BleedMm);
        fillCardDocument(*document, design);
        document->PrepareReport(true);
        const auto intermediate = intermediateFile(path);
        std::unique_ptr<report::TPDFExport> pdf = makePdfExport();
        pdf->SetFileName(intermediate->fileName());
        document->Export(*pdf);
        report::TPdfxOptions named = options;
        if (named.Title.isEmpty())
            named.Title = design.name.trimmed();
        report::convertToPdfx(intermediate->fileName(), path, named);
    } catch (const report::ReportError& error) {
        throw UserError(QString::fromStdString(error.what()));
    }
}

void exportPrintShopPdf(const CardState& card, const QString& path, const report::TPdfxOptions& options) {
    exportPrintShopPdf(
        designOf(card, qrModulePicture(composeVCard(card.contact), card.qrLevel, kQrModulePixels)), path,
        options);
}

bool exportPrintShopPdf(const CardState& design, const std::vector<ContactFields>& contacts,
                        const QString& path, const report::TPdfxOptions& options,
                        const BatchProgress& progress, BatchSummary* summary) {
    if (contacts.size() > std::size_t(INT_MAX / 2))
        throw UserError(QStringLiteral("A lista tem contatos demais."));
    std::size_t next = 0;
    return exportPrintShopPdf(
        design, int(contacts.size()), [&] { return contacts[next++]; }, path, options, progress, summary);
}

bool exportPrintShopPdf(const CardState& design, int total, const std::function<ContactFields()>& nextContact,
                        const QString& path, const report::TPdfxOptions& options,
                        const BatchProgress& progress, BatchSummary* summary) {
    if (!design.front && !design.back)
        throw UserError(
            QStringLiteral("Nenhum lado do cartão está marcado: marque a frente, o verso ou os dois."));
    if (total <= 0)
        throw UserError(QStringLiteral("A lista não tem nenhum contato."));
    if (total > INT_MAX / 2)
        throw UserError(QStringLiteral("A lista tem contatos demais."));
    const HeapKeptForReuse heap;
    BatchSummary told;
    BatchSummary& result = summary ? *summary : told;
    result = BatchSummary{};
    try {
        const std::unique_ptr<report::TReport> document = makeBleedCardDocument(options.BleedMm);
        CardDesign card = designOf(design, QImage());
        // Two intermediate files in turn: while a piece is drawn into one, the piece before
        // it is converted from the other on another thread.
        const std::unique_ptr<QTemporaryFile> intermediates[2] = {intermediateFile(path),
                                                                  intermediateFile(path)};
        report::TPdfxWriter pdfx(path, options);
        std::future<bool> converting;
        std::atomic<bool> stop{false};
        // However the loop ends, the other thread is done with the writer before it goes.
        const auto join = qScopeGuard([&] {
            if (converting.valid()) {
                stop = true;
                converting.wait();
            }
        });
        // The piece being converted, when it is done; false when it was cancelled.
        auto collect = [&](bool wait) {
            if (!converting.valid() ||
                (!wait && converting.wait_for(std::chrono::seconds(0)) != std::future_status::ready))
                return true;
            return converting.get();
        };
        // The QR pictures are made on other threads a few cards ahead of the drawing; the
        // contacts are read here, on the calling thread, in order.
        std::deque<std::pair<ContactFields, std::future<QImage>>> ahead;
        QThreadPool pool;
        pool.setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
        int read = 0;
        auto fill = [&] {
            while (read < total && ahead.size() < kCardsAhead) {
                ContactFields next = nextContact();
                ++read;
                auto promise = std::make_shared<std::promise<QImage>>();
                ahead.emplace_back(next, promise->get_future());
                pool.start([promise, vcard = composeVCard(next), level = design.qrLevel] {
                    try {
                        promise->set_value(qrModulePicture(vcard, level, kQrModulePixels));
                    } catch (...) {
                        promise->set_exception(std::current_exception());
                    }
                });
            }
        };
        // Progress counts the cards drawn (the pieces before are converted meanwhile), then the
        // last piece's cards as it is converted; it is told on this thread only.
        const int lastPiece = (total - 1) % kPieceCards + 1;
        const int steps = total + lastPiece;
        for (int start = 0, piece = 0; start < total; start += kPieceCards, ++piece) {
            const int count = std::min(kPieceCards, total - start);
            const QString file = intermediates[piece % 2]->fileName();
            bool drawn = false;
            {
                report::TPdfPageStream stream(*makePdfExport(), file);
                for (int i = start; i < start + count; ++i) {
                    fill();
                    const ContactFields contact = std::move(ahead.front().first);
                    std::future<QImage> qr = std::move(ahead.front().second);
                    ahead.pop_front();
                    // A contact whose vCard does not fit the level gets no card; the others go on.
                    if (const std::optional<BatchCardNote> leftOut =
                            cardOfContact(card, contact, qr, i + 1, design.qrLevel, result)) {
                        result.leftOut.push_back(*leftOut);
                    } else {
                        fillCardDocument(*document, card);
                        for (const auto& page : document->Pages())
                            if (page->Visible())
                                stream.AddPage(*page);
                        drawn = true;
                    }
                    if (!collect(false) || (progress && !progress(i + 1, steps)))
                        return false;
                }
                if (drawn)
                    stream.Finish();
            }
            // The writer takes the pieces in order: the one before must be done first.
            if (!collect(true))
                return false;
            if (!drawn) {
                // Every contact of the piece was left out: nothing to convert.
                if (start + count >= total && result.cardsWritten == 0)
                    throw UserError(
                        QStringLiteral("Nenhum cartão foi gravado: o vCard de nenhum contato cabe no "
                                       "código QR de nível %1.")
                            .arg(QStringLiteral("LMQH").at(std::min<int>(design.qrLevel, 3))));
                if (start + count >= total && progress && !progress(steps, steps))
                    return false;
                continue;
            }
            if (start + count < total) {
                converting = std::async(std::launch::async, [&pdfx, &stop, file] {
                    return pdfx.Append(file, [&stop](int) { return !stop; });
                });
            } else if (!pdfx.Append(file, [&](int percent) {
                           return !progress || progress(total + int(qint64(count) * percent / 100), steps);
                       })) {
                return false;
            }
        }
        pdfx.Finish();
        return true;
    } catch (const report::ReportError& error) {
        throw UserError(QString::fromStdString(error.what()));
    }
}

namespace {

struct Described {
    const char* name;
    const char* shown;
};
constexpr Described kObjects[] = {
    {"rnome", "o nome"},
    {"rsufixo", "o sufixo"},
    {"ricone", "o ícone de aproximação"},
    {"Picture5", "a placa do código QR"},
    {"Picture1", "o código QR"},
    {"Picture3", "o logotipo"},
};

// The box, in page pixels, of what `object` paints alone on a transparent page; empty when
// it paints nothing.
QRect inkOf(const report::TReportObject& object, const report::TReportPage& page, double dpi) {
    const QRectF units = page.UnitRect();
    const double scale = dpi / report::kUnitsPerInch;
    QImage canvas(QSize(int(std::ceil(units.width() * scale)), int(std::ceil(units.height() * scale))),
                  QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    {
        QPainter painter(&canvas);
        painter.scale(scale, scale);
        object.Draw(painter, units, report::TRenderOptions{dpi, QColor()});
    }
    int left = canvas.width(), top = canvas.height(), right = -1, bottom = -1;
    for (int y = 0; y < canvas.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(canvas.constScanLine(y));
        for (int x = 0; x < canvas.width(); ++x)
            if (qAlpha(line[x]) > 0) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

} // namespace

std::vector<MarginWarning> safetyMarginWarnings(const CardDesign& design, double marginMm) {
    // The card without bleed: its page is the trim.
    const std::unique_ptr<report::TReport> document = makeCardDocument(false);
    fillCardDocument(*document, design);
    constexpr double dpi = 300;
    const double mmPerPixel = 25.4 / dpi;
    std::vector<MarginWarning> warnings;
    for (const auto& page : document->Pages()) {
        if (!page->Visible())
            continue;
        const double width = page->PaperWidth(), height = page->PaperHeight();
        for (const Described& d : kObjects) {
            const report::TReportObject* object = page->FindObject(QString::fromLatin1(d.name));
            if (!object || !object->Visible() || object->Blank())
                continue;
            const QRect ink = inkOf(*object, *page, dpi);
            if (ink.isEmpty())
                continue;
            const std::pair<const char*, double> edges[] = {
                {"superior", ink.top() * mmPerPixel},
                {"inferior", height - (ink.bottom() + 1) * mmPerPixel},
                {"esquerda", ink.left() * mmPerPixel},
                {"direita", width - (ink.right() + 1) * mmPerPixel},
            };
            for (const auto& [edge, mm] : edges)
                if (mm < marginMm)
                    warnings.push_back(
                        {page->Name(), QString::fromUtf8(d.shown), QString::fromLatin1(edge), mm});
        }
    }
    return warnings;
}

QStringList describeMarginWarnings(const std::vector<MarginWarning>& warnings, double marginMm) {
    const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
    QStringList lines;
    for (const MarginWarning& w : warnings)
        lines << QStringLiteral("%1 (%2): %3 mm da borda %4")
                     .arg(w.object, w.side, brazil.toString(std::max(0.0, w.mm), 'f', 1), w.edge);
    if (lines.isEmpty())
        lines << QStringLiteral("Nada fica a menos de %1 mm do corte.").arg(brazil.toString(marginMm));
    return lines;
}

} // namespace lumo
