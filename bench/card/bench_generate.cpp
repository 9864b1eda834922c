// One whole Generate of the main window (compose the vCard, encode it, draw the
// 2000 × 2000 QR picture, copy it to the preview), with the window never painted.

#include "app/mainwindow.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

namespace {

void fillTypical(TForm1& form) {
    form.edtnome->setText("João");
    form.edtsobrenome->setText("Conceição");
    form.edtsufixo->setText("Fotógrafo");
    form.edtcelular->setText("(11) 98765-4321");
    form.edtemail->setText("joao@estudio.com.br");
    form.edtrua->setText("Rua das Acácias");
    form.edtnumero->setText("120");
    form.edtcidade->setText("São Paulo");
}

void generate(benchmark::State& state, bool version40) {
    TForm1 form;
    fillTypical(form);
    if (version40) // about 2900 UTF-8 bytes: the largest symbol
        form.edtsufixo->setText(QString(2700, u'a'));
    for (auto _ : state) {
        form.gerarvcardClick();
        benchmark::DoNotOptimize(vcardgerado);
    }
}

void BM_GenerateTypical(benchmark::State& state) {
    generate(state, false);
}
void BM_GenerateVersion40(benchmark::State& state) {
    generate(state, true);
}

BENCHMARK(BM_GenerateTypical)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GenerateVersion40)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
