// One Encode of four texts in byte mode at level L, beside libqrencode (QR_MODE_8, version 0,
// QR_ECLEVEL_L) and qrcodegen (makeBytes, Ecc::LOW, no boost). See bench/README.md.
#include "qrcode/encoder.h"
#include "qrcode/qrcode.h"
#include "qrcode/qrcodegenerator.h"

#include <benchmark/benchmark.h>
#include <qrcodegen.hpp>
#include <qrencode.h>

#include <string>
#include <vector>

namespace {

struct Input {
    std::string name;
    QString text;
    QByteArray bytes; // the UTF-8 the other libraries get
};

QString asciiText(int count) {
    QString text;
    unsigned state = 12345;
    for (int i = 0; i < count; ++i) {
        state = state * 1103515245u + 12345u;
        text.append(QChar(char16_t(0x20 + (state >> 16) % 95)));
    }
    return text;
}

std::vector<Input> inputs() {
    const QString typical =
        QString::fromUtf8("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Conceição;João;;;\r\n"
                          "FN:João Conceição\r\nTITLE:Sócio\r\nTEL;TYPE=CELL:+55 11 98765-4321\r\n"
                          "EMAIL:joao@exemplo.com.br\r\nEND:VCARD");
    const QString empty = QStringLiteral("BEGIN:VCARD\r\nVERSION:3.0\r\nFN: \r\nN:;;;;\r\nEND:VCARD");
    std::vector<Input> list = {
        {"a_vcard", typical, {}},
        {"b_empty_vcard", empty, {}},
        {"c_1000_bytes", asciiText(1000), {}},
        {"d_2953_bytes", asciiText(2953), {}},
    };
    for (Input& input : list)
        input.bytes = input.text.toUtf8();
    return list;
}

void lumoEncode(benchmark::State& state, const Input& input) {
    const TErrorCorrectionLevel level(1);
    int version = 0;
    for (auto _ : state) {
        TEncoder encoder;
        TQRCode record;
        encoder.Encode(input.text, qrUTF8BOM, level, record);
        benchmark::DoNotOptimize(record.Matrix());
        version = record.Version();
    }
    state.counters["bytes"] = double(input.bytes.size());
    state.counters["version"] = version;
}

void libqrencodeEncode(benchmark::State& state, const Input& input) {
    const auto* data = reinterpret_cast<const unsigned char*>(input.bytes.constData());
    int version = 0;
    for (auto _ : state) {
        QRcode* code = QRcode_encodeData(int(input.bytes.size()), data, 0, QR_ECLEVEL_L);
        benchmark::DoNotOptimize(code->data);
        version = code->version;
        QRcode_free(code);
    }
    state.counters["bytes"] = double(input.bytes.size());
    state.counters["version"] = version;
}

void qrcodegenEncode(benchmark::State& state, const Input& input) {
    const std::vector<std::uint8_t> data(input.bytes.begin(), input.bytes.end());
    int version = 0;
    for (auto _ : state) {
        const qrcodegen::QrCode code = qrcodegen::QrCode::encodeSegments(
            {qrcodegen::QrSegment::makeBytes(data)}, qrcodegen::QrCode::Ecc::LOW, 1, 40, -1, false);
        benchmark::DoNotOptimize(code.getModule(0, 0));
        version = code.getVersion();
    }
    state.counters["bytes"] = double(input.bytes.size());
    state.counters["version"] = version;
}

} // namespace

int main(int argc, char** argv) {
    static const std::vector<Input> list = inputs();
    for (const Input& input : list) {
        benchmark::RegisterBenchmark((input.name + "/lumo").c_str(), lumoEncode, input)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark((input.name + "/libqrencode").c_str(), libqrencodeEncode, input)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark((input.name + "/qrcodegen").c_str(), qrcodegenEncode, input)
            ->Unit(benchmark::kMicrosecond);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
