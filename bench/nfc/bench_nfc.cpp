// One chip write as the dialog does it, on an emulated NTAG215 that stays in the field:
// connect, identify the chip, write the NDEF message of a 300-byte vCard, read it back and
// compare. The emulated chip answers at once, so this is the cost of the program, pcsc-lite,
// pcscd and the virtual reader's socket; on a real reader the radio adds about 5 ms a page.

#include "nfc/chipwriter.h"
#include "pcscd.h"
#include "virtualchip.h"

#include "contact/vcard.h"
#include "platform/utf8.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <cstdio>

namespace {

QByteArray vcardOf(int bytes) {
    lumo::ContactFields c;
    c.nome = QStringLiteral("Joana");
    c.sobrenome = QStringLiteral("Araújo");
    c.celular = QStringLiteral("(11) 98765-4321");
    c.email = QStringLiteral("joana@exemplo.com.br");
    c.site = QStringLiteral("www.exemplo.com.br");
    c.sufixo = QString(std::max(0, bytes - int(lumo::toUtf8(lumo::composeVCard(c)).size())), u'x');
    return lumo::toUtf8(lumo::composeVCard(c));
}

void BM_WriteAndVerifyNtag215(benchmark::State& state) {
    QString why;
    TestPcscd* daemon = TestPcscd::get(&why);
    if (!daemon) {
        state.SkipWithError(why.toUtf8().constData());
        return;
    }
    lumo::PcscContext context;
    // One chip for every run: the reader notices a chip taken away only at its next poll.
    static auto chip = std::make_shared<VirtualNtag>(VirtualNtag::Ntag215, VirtualNtag::Options{});
    static ChipInField field(daemon->port(), chip);
    if (context.waitForCard(daemon->reader(), 10000) != lumo::WaitResult::Present) {
        state.SkipWithError("the virtual reader saw no chip");
        return;
    }
    const QByteArray vcard = vcardOf(int(state.range(0)));
    const int before = chip->writes();
    for (auto _ : state) {
        const lumo::ChipWriteResult result =
            writeContactChip(context, daemon->reader(), {vcard, {}, false, {}});
        benchmark::DoNotOptimize(result.written);
    }
    state.counters["vcard_bytes"] = double(vcard.size());
    state.counters["page_writes"] =
        benchmark::Counter(double(chip->writes() - before), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_WriteAndVerifyNtag215)->Arg(300)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
