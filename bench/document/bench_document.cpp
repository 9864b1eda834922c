// Card documents with a 6000 × 4000 photograph as the front background: building the
// document's bytes, writing them, saving (both together), opening to a model, and for each
// change the time the recovery writer takes on the window's thread and on its worker.

#include "app/mainwindow.h"
#include "card/cardpanel.h"
#include "card/document.h"
#include "card/recovery.h"
#include "contact/vcard.h"
#include "platform/fileio.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QBuffer>
#include <QEventLoop>
#include <QTemporaryDir>

#include <chrono>

namespace {

using lumo::CardState;

QString folder;

// The photograph-like picture of bench_session: gradients with some detail, so the JPEG
// has the size of a real photograph's.
lumo::CardPicture photograph() {
    QImage image(6000, 4000, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = qRgb((x / 24 + y / 40) & 0xFF, (y * 255 / 4000) ^ (x & 7),
                           (x * 255 / 6000 + (y & 15)) & 0xFF);
    }
    lumo::CardPicture picture;
    QBuffer buffer(&picture.bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    picture.extension = QStringLiteral("jpg");
    picture.image = lumo::decodePicture(picture.bytes, picture.extension, QStringLiteral("foto.jpg"));
    return picture;
}

const CardState& card() {
    static const CardState state = [] {
        CardState s;
        s.contact.nome = QStringLiteral("João");
        s.contact.sobrenome = QStringLiteral("Conceição");
        s.contact.sufixo = QStringLiteral("Fotógrafo");
        s.contact.celular = QStringLiteral("(11) 98765-4321");
        s.contact.email = QStringLiteral("joao@estudio.com.br");
        s.contact.rua = QStringLiteral("Rua das Acácias");
        s.contact.numero = QStringLiteral("120");
        s.contact.cidade = QStringLiteral("São Paulo");
        s.qrText = lumo::composeVCard(s.contact);
        s.memo = QString(s.qrText).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        s.generated = true;
        s.generateGlyph = 0;
        s.frontBackground = photograph();
        return s;
    }();
    return state;
}

QString documentPath() {
    return folder + QStringLiteral("/cartao.lumocard");
}

void BM_DocumentBytes(benchmark::State& state) {
    QByteArray bytes;
    for (auto _ : state)
        benchmark::DoNotOptimize(bytes = lumo::cardDocumentBytes(card()));
    state.counters["photo_bytes"] = double(card().frontBackground.bytes.size());
    state.counters["overhead_bytes"] = double(bytes.size() - card().frontBackground.bytes.size());
}

// What writing the document's bytes alone costs, for comparison with the save.
void BM_WriteBytesOnly(benchmark::State& state) {
    const QByteArray bytes = lumo::cardDocumentBytes(card());
    for (auto _ : state)
        lumo::writeFileAtomically(documentPath(), bytes);
}

void BM_SaveDocument(benchmark::State& state) {
    for (auto _ : state)
        lumo::saveCardDocument(documentPath(), card());
}

// A document opened into a new model: reading, decoding the photograph, the QR picture.
void BM_OpenDocument(benchmark::State& state) {
    lumo::saveCardDocument(documentPath(), card());
    for (auto _ : state) {
        lumo::CardModel model;
        model.SetState(lumo::openCardDocument(documentPath()));
        benchmark::DoNotOptimize(model.QrPicture());
    }
}

// What the user waits for: the document opened in the window and its preview drawn.
void BM_OpenDocumentToDrawnPreview(benchmark::State& state) {
    lumo::saveCardDocument(documentPath(), card());
    TForm1 form;
    form.show();
    for (auto _ : state) {
        form.OpenDocument(documentPath());
        benchmark::DoNotOptimize(form.painelfrente->grab());
        benchmark::DoNotOptimize(form.painelverso->grab());
    }
}

// The window's thread per change: the model's signal reaching the writer, and the write
// started (state copied, work handed to the worker). The write itself is waited for apart.
void recoveryBlocksPerChange(benchmark::State& state, int contacts) {
    lumo::CardState withList = card();
    for (int i = 0; i < contacts; ++i) {
        lumo::ContactFields contact = withList.contact;
        contact.nome += QString::number(i);
        withList.contacts.push_back(contact);
    }
    lumo::CardModel model;
    model.SetState(withList);
    lumo::RecoveryWriter writer(&model, folder + QStringLiteral("/recuperacao"));
    writer.setDelay(std::chrono::hours(1));
    int n = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        model.SetMemo(QStringLiteral("alteração %1").arg(++n));
        writer.writeNow();
        const auto end = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
        QEventLoop loop;
        QObject::connect(&writer, &lumo::RecoveryWriter::written, &loop, &QEventLoop::quit);
        loop.exec();
    }
    writer.discard();
}

void BM_RecoveryBlocksPerChange(benchmark::State& state) {
    recoveryBlocksPerChange(state, 0);
}

// The same with as many contacts as a card keeps.
void BM_RecoveryBlocksPerChangeWithList(benchmark::State& state) {
    recoveryBlocksPerChange(state, int(lumo::kMaxCardContacts));
}

// A camera's 24-megapixel JPEG: fine detail everywhere, so it is as large as a real one's.
lumo::CardPicture cameraPhotograph() {
    QImage image(6000, 4000, QImage::Format_RGB32);
    quint32 noise = 12345;
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            noise = noise * 1664525u + 1013904223u;
            line[x] = qRgb((x / 24 + y / 40 + int(noise >> 28)) & 0xFF, (y * 255 / 4000) ^ int(noise >> 26),
                           (x * 255 / 6000 + int((noise >> 8) & 31)) & 0xFF);
        }
    }
    lumo::CardPicture picture;
    QBuffer buffer(&picture.bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    picture.extension = QStringLiteral("jpg");
    picture.image = lumo::decodePicture(picture.bytes, picture.extension, QStringLiteral("camera.jpg"));
    return picture;
}

// The worker's write of one change of a text, with a camera's photograph as each picture
// (on disk since the first write): from the write handed over to its end reported on the
// window's thread. first_write_ms is the first write, pictures included: what every change
// cost when the whole card was written each time.
void BM_RecoveryWritePerChange(benchmark::State& state) {
    lumo::CardState heavy = card();
    heavy.frontBackground = cameraPhotograph();
    heavy.backBackground = cameraPhotograph();
    heavy.logo = cameraPhotograph();
    lumo::CardModel model;
    model.SetState(heavy);
    lumo::RecoveryWriter writer(&model, folder + QStringLiteral("/recuperacao"));
    writer.setDelay(std::chrono::hours(1));
    QEventLoop loop;
    QObject::connect(&writer, &lumo::RecoveryWriter::written, &loop, &QEventLoop::quit);
    const auto first = std::chrono::steady_clock::now();
    writer.writeNow();
    loop.exec();
    state.counters["first_write_ms"] =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - first).count();
    state.counters["picture_bytes"] = double(3 * heavy.frontBackground.bytes.size());
    int n = 0;
    for (auto _ : state) {
        model.SetMemo(QStringLiteral("alteração %1").arg(++n));
        const auto start = std::chrono::steady_clock::now();
        writer.writeNow();
        loop.exec();
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    writer.discard();
}

BENCHMARK(BM_DocumentBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteBytesOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveDocument)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenDocument)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenDocumentToDrawnPreview)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecoveryBlocksPerChange)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RecoveryBlocksPerChangeWithList)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RecoveryWritePerChange)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir temp;
    folder = temp.path();
    card(); // the photograph is made once, outside the measurements
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
