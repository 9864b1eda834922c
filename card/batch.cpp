#include "card/batch.h"

#include "card/cardoutput.h"
#include "platform/errors.h"
#include "qrcode/qrcodegenerator.h"
#include "report/pdfstream.h"

#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <climits>
#include <deque>
#include <future>
#include <memory>

namespace lumo {

namespace {

// How many cards the QR work may run ahead of the PDF writer: enough to keep every worker
// busy, few enough that the pictures waiting take no memory to speak of.
constexpr int kCardsAhead = 64;

// The QR picture of a contact's vCard; null when no QR symbol holds it.
QImage contactQr(const ContactFields& contact) {
    try {
        return qrModulePicture(composeVCard(contact));
    } catch (const std::exception&) {
        return QImage();
    }
}

// The contacts' QR pictures, made in order on worker threads while the writer draws the
// cards before them.
class QrAhead {
public:
    explicit QrAhead(const std::vector<ContactFields>& contacts) : FContacts(contacts) {
        FPool.setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
        for (int i = 0; i < kCardsAhead; ++i)
            submit();
    }
    // Work not yet started is dropped; work under way is waited for, since it reads the contacts.
    ~QrAhead() {
        FPool.clear();
        FPool.waitForDone();
    }
    QrAhead(const QrAhead&) = delete;
    QrAhead& operator=(const QrAhead&) = delete;

    // The next contact's picture, waiting for it when it is not made yet.
    QImage take() {
        QImage picture = FPending.front().get();
        FPending.pop_front();
        submit();
        return picture;
    }

private:
    void submit() {
        if (FNext == FContacts.size())
            return;
        auto promise = std::make_shared<std::promise<QImage>>();
        FPending.push_back(promise->get_future());
        const ContactFields* contact = &FContacts[FNext++];
        FPool.start([promise, contact] { promise->set_value(contactQr(*contact)); });
    }

    const std::vector<ContactFields>& FContacts;
    std::size_t FNext = 0;
    std::deque<std::future<QImage>> FPending;
    QThreadPool FPool;
};

QString shownName(const ContactFields& contact) {
    const QString name = (contact.nome + u' ' + contact.sobrenome).trimmed();
    return name.isEmpty() ? QStringLiteral("sem nome") : name;
}

} // namespace

QImage qrModulePicture(const QString& text) {
    TQRCodeGenerator generator;
    // Encoding and margin first, so that the text itself is encoded once.
    generator.SetEncoding(qrUTF8BOM);
    generator.SetQuietZone(0);
    try {
        generator.SetData(text);
    } catch (const std::exception&) {
        throw UserError(QStringLiteral("O texto não cabe em nenhum código QR."));
    }
    const int side = generator.Rows();
    if (side <= 0 || generator.Columns() != side)
        throw UserError(QStringLiteral("Não foi possível gerar o código QR deste vCard."));

    QImage picture(side, side, QImage::Format_Mono);
    picture.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    picture.fill(1);
    for (int y = 0; y < side; ++y) {
        uchar* line = picture.scanLine(y);
        for (int x = 0; x < side; ++x)
            if (generator.IsBlack(y, x))
                line[x >> 3] &= uchar(~(0x80 >> (x & 7)));
    }
    return picture;
}

bool exportBatchPdf(const CardState& design, const std::vector<ContactFields>& contacts, const QString& path,
                    const BatchProgress& progress) {
    if (!design.front && !design.back)
        throw UserError(
            QStringLiteral("Nenhum lado do cartão está marcado: marque a frente, o verso ou os dois."));
    if (contacts.empty())
        throw UserError(QStringLiteral("A lista não tem nenhum contato."));
    if (contacts.size() > std::size_t(INT_MAX))
        throw UserError(QStringLiteral("A lista tem contatos demais."));
    const int total = int(contacts.size());

    // One card document serves every contact: only the name line, the suffix and the QR
    // picture change from card to card, so the shared pictures stay the very same images.
    const std::unique_ptr<report::TReport> document = makeCardDocument(design.bleed);
    CardDesign card = designOf(design, QImage());
    try {
        report::TPdfPageStream stream(*makePdfExport(), path);
        QrAhead qr(contacts);
        for (int i = 0; i < total; ++i) {
            const ContactFields& contact = contacts[std::size_t(i)];
            card.qr = qr.take();
            if (card.qr.isNull())
                throw UserError(QStringLiteral("O vCard do contato %1 (%2) não cabe em nenhum código QR; "
                                               "encurte os dados desse contato. Nenhum PDF foi gravado.")
                                    .arg(i + 1)
                                    .arg(shownName(contact)));
            card.name = contact.nome + u' ' + contact.sobrenome;
            card.suffix = contact.sufixo;
            fillCardDocument(*document, card);
            for (const auto& page : document->Pages())
                if (page->Visible())
                    stream.AddPage(*page);
            if (progress && !progress(i + 1, total))
                return false;
        }
        stream.Finish();
    } catch (const report::ReportError& error) {
        throw UserError(QString::fromStdString(error.what()));
    }
    return true;
}

} // namespace lumo
