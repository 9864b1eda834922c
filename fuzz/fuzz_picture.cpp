// Random bytes saved under each picture extension the program accepts, read back through the
// loader the preview uses. Either a picture within the size bounds comes back or a
// lumo::UserError is raised; anything else (a crash, a hang, another exception) is a finding.
//
// Input: byte 0 picks the extension (in lower and upper case), the rest is the file.
//
// Qt's decoders are system libraries without coverage instrumentation, so the harness tells
// the fuzzer how far a file got instead: each distinct decoder warning, error message, picture
// format and size class reaches its own branch here, and an input that shows a new one is
// kept in the corpus.

#include "card/pictureloader.h"
#include "platform/errors.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "fuzzcheck.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// A branch of its own for each value below N, so the fuzzer's edge coverage sees the value.
template <unsigned N> [[gnu::noinline]] void reach(unsigned value) {
    if constexpr (N > 0) {
        if (value == N - 1) {
            [[maybe_unused]] volatile unsigned seen = N;
            return;
        }
        reach<N - 1>(value);
    }
}

// A message's words without its numbers (positions and sizes vary from file to file).
unsigned messageClass(const QString& text) {
    QString words = text;
    words.remove(QRegularExpression(QStringLiteral("[0-9]")));
    return unsigned(qHash(words)) % 64;
}

void decoderMessage(QtMsgType, const QMessageLogContext&, const QString& text) {
    reach<64>(messageClass(text));
}

unsigned log2Class(int n) {
    unsigned c = 0;
    while (n > 1 && c < 15) {
        n >>= 1;
        ++c;
    }
    return c;
}

const char* const kExtensions[] = {"jpg", "jpeg", "png", "bmp", "JPG", "JPEG", "PNG", "Bmp"};

// The application lives until the process ends: Qt's own globals are gone by the time static
// destructors would delete it.
QCoreApplication* app = nullptr;
std::unique_ptr<QTemporaryDir> folder;

} // namespace

// Qt's libraries are built without frame pointers. Past a Qt frame, AddressSanitizer's fast
// unwinder walks on through whatever the stack holds, so almost every allocation made inside
// Qt records a stack trace never seen before, and the store of traces, which is never freed,
// grows for as long as the run lasts (about 30 MB a minute here, up to libFuzzer's memory
// limit). Two frames stay meaningful and bounded. To see where a finding's memory was
// allocated and freed, replay it with ASAN_OPTIONS=malloc_context_size=30:fast_unwind_on_malloc=0.
extern "C" const char* __asan_default_options() {
    return "malloc_context_size=2";
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // The JPEG decoder is a Qt plug-in, found through the application's library paths.
    app = new QCoreApplication(*argc, *argv);
    qInstallMessageHandler(decoderMessage);
    folder = std::make_unique<QTemporaryDir>();
    CHECK(folder->isValid());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const QString path =
        folder->filePath(QStringLiteral("picture.") + QLatin1String(kExtensions[data[0] % 8]));
    {
        QFile file(path);
        CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        CHECK(file.write(reinterpret_cast<const char*>(data + 1), qint64(size - 1)) == qint64(size - 1));
    }
    try {
        const QImage image = lumo::loadPicture(path);
        CHECK(!image.isNull());
        // Decoded scaled down: never beyond the sides a card needs.
        CHECK(std::max(image.width(), image.height()) <= lumo::kPictureLongSide);
        CHECK(std::min(image.width(), image.height()) <= lumo::kPictureShortSide);
        reach<32>(unsigned(image.format()) % 32);
        reach<16>(log2Class(image.width()));
        reach<16>(log2Class(image.height()));
    } catch (const lumo::UserError& e) {
        CHECK(e.what()[0] != '\0');
        reach<64>(messageClass(QString::fromUtf8(e.what())));
    }
    return 0;
}
