// Export of a two-sided card: a 3000 × 2000 photograph on the front, a logo on the back, the
// 2000 × 2000 QR picture on its plate, name and suffix texts. Run in a Release build:
//   bench_report --benchmark_repetitions=9 --benchmark_report_aggregates_only=true

#include "tests/report/cardfixture.h"

#include "report/export.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace report;
using namespace reporttest;

namespace {

TReport photoCard() {
    TReport card = makeCard(CardOptions()
                                .withFrontBackground(makePhoto(3000, 2000))
                                .withLogo(makeLogo())
                                .withColours(QColor(200, 30, 60), QColor(240, 240, 200)));
    card.PrepareReport();
    return card;
}

TPDFExport pdfExport(const QString& fileName) {
    TPDFExport pdf;
    pdf.SetFileName(fileName);
    pdf.SetAuthor("Lumo Card");
    pdf.SetSubject("Lumo Card PDF export");
    pdf.SetCreator("Lumo Card");
    return pdf;
}

void BM_PdfExportTwoSides(benchmark::State& state) {
    const TReport card = photoCard();
    QTemporaryDir dir;
    TPDFExport pdf = pdfExport(dir.filePath("cartao.pdf"));
    for (auto _ : state)
        card.Export(pdf);
    state.counters["bytes"] = double(QFileInfo(dir.filePath("cartao.pdf")).size());
}
BENCHMARK(BM_PdfExportTwoSides)->Unit(benchmark::kMillisecond);

void BM_JpegExportTwoSides(benchmark::State& state) {
    const TReport card = photoCard();
    QTemporaryDir dir;
    TJPEGExport jpeg;
    jpeg.SetFileName(dir.filePath("cartao.jpg"));
    jpeg.SetResolution(300);
    jpeg.SetJPEGQuality(100);
    for (auto _ : state)
        card.Export(jpeg);
}
BENCHMARK(BM_JpegExportTwoSides)->Unit(benchmark::kMillisecond);

// The default card: white pages, QR on its plate, name and suffix, no pictures of the user.
void BM_PdfExportDefaultCard(benchmark::State& state) {
    TReport card = makeCard(CardOptions());
    card.PrepareReport();
    QTemporaryDir dir;
    TPDFExport pdf = pdfExport(dir.filePath("cartao.pdf"));
    for (auto _ : state)
        card.Export(pdf);
    state.counters["bytes"] = double(QFileInfo(dir.filePath("cartao.pdf")).size());
}
BENCHMARK(BM_PdfExportDefaultCard)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    loadIconFont();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
