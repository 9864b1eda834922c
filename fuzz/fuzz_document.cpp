// Card documents read from bytes. Either a card comes back or a lumo::UserError naming the
// document is raised; anything else (a crash, a hang, another exception) is a finding. A card
// that comes back is written again and must read back with the same values.
//
// Input: byte 0 picks the mode, the rest is
//   even: the document file itself;
//   odd:  the text of card.json, put into a well-formed archive beside a short contact list
//         (contacts.json) and three small pictures (pictures/frontBackground.jpg,
//         pictures/backBackground.png, pictures/logo.bmp), so mutations reach the values
//         without first breaking the archive's checksums.
//
// libzip and Qt's decoders are system libraries without coverage instrumentation, so each
// distinct error message reaches a branch of its own here, as in fuzz_picture.

#include "card/document.h"
#include "platform/errors.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <QRegularExpression>

#include <zip.h>

#include "fuzzcheck.h"

#include <cstdint>
#include <vector>

namespace {

template <unsigned N> [[gnu::noinline]] void reach(unsigned value) {
    if constexpr (N > 0) {
        if (value == N - 1) {
            [[maybe_unused]] volatile unsigned seen = N;
            return;
        }
        reach<N - 1>(value);
    }
}

unsigned messageClass(const QString& text) {
    static const QRegularExpression digits(QStringLiteral("[0-9]"));
    QString words = text;
    words.remove(digits);
    return unsigned(qHash(words)) % 128;
}

QByteArray encoded(const char* format, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QCoreApplication* app = nullptr;
std::vector<std::pair<const char*, QByteArray>> pictures;

QByteArray archiveAround(const QByteArray& cardJson) {
    zip_source_t* target = zip_source_buffer_create(nullptr, 0, 0, nullptr);
    zip_t* zip = zip_open_from_source(target, ZIP_TRUNCATE, nullptr);
    CHECK(zip);
    zip_source_keep(target);
    const auto add = [&](const char* name, const QByteArray& bytes) {
        zip_source_t* source = zip_source_buffer(zip, bytes.constData(), zip_uint64_t(bytes.size()), 0);
        const zip_int64_t index = source ? zip_file_add(zip, name, source, 0) : -1;
        // Stored: a deflate stream costs the fuzzer more than the whole read.
        CHECK(index >= 0 && zip_set_file_compression(zip, zip_uint64_t(index), ZIP_CM_STORE, 0) == 0);
    };
    const QByteArray mimeType(lumo::kCardDocumentMimeType);
    add("mimetype", mimeType);
    add("card.json", cardJson);
    // The archive reads its entries' bytes at zip_close: they must outlive it.
    static const QByteArray contacts(R"([{"nome":"Ana","email":"a@x.br"},{"celular":"9"},{}])");
    add("contacts.json", contacts);
    for (const auto& [name, bytes] : pictures)
        add(name, bytes);
    CHECK(zip_close(zip) == 0);
    zip_stat_t stat;
    CHECK(zip_source_stat(target, &stat) == 0 && zip_source_open(target) == 0);
    QByteArray out(qsizetype(stat.size), Qt::Uninitialized);
    CHECK(zip_source_read(target, out.data(), stat.size) == zip_int64_t(stat.size));
    zip_source_close(target);
    zip_source_free(target);
    return out;
}

bool samePicture(const lumo::CardPicture& a, const lumo::CardPicture& b) {
    return a.isNull() == b.isNull() && a.bytes == b.bytes && a.extension == b.extension &&
           a.image.size() == b.image.size();
}

bool same(const lumo::CardState& a, const lumo::CardState& b) {
    const QString lumo::ContactFields::*fields[] = {
        &lumo::ContactFields::nome,   &lumo::ContactFields::sobrenome, &lumo::ContactFields::sufixo,
        &lumo::ContactFields::fixo,   &lumo::ContactFields::celular,   &lumo::ContactFields::site,
        &lumo::ContactFields::email,  &lumo::ContactFields::rua,       &lumo::ContactFields::numero,
        &lumo::ContactFields::bairro, &lumo::ContactFields::cidade,    &lumo::ContactFields::estado,
        &lumo::ContactFields::cep};
    for (const auto field : fields)
        if (a.contact.*field != b.contact.*field)
            return false;
    if (a.contacts.size() != b.contacts.size())
        return false;
    for (std::size_t i = 0; i < a.contacts.size(); ++i)
        for (const auto field : fields)
            if (a.contacts[i].*field != b.contacts[i].*field)
                return false;
    return a.memo == b.memo && a.qrText == b.qrText && a.generated == b.generated &&
           a.generateGlyph == b.generateGlyph && a.frontColor == b.frontColor && a.backColor == b.backColor &&
           a.textColor == b.textColor && samePicture(a.frontBackground, b.frontBackground) &&
           samePicture(a.backBackground, b.backBackground) && samePicture(a.logo, b.logo) &&
           a.icon == b.icon && a.bleed == b.bleed && a.front == b.front && a.back == b.back;
}

const QString kShown = QStringLiteral("fuzz.lumocard");

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // The JPEG decoder is a Qt plug-in, found through the application's library paths.
    app = new QCoreApplication(*argc, *argv);
    qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& text) { reach<128>(messageClass(text)); });
    pictures = {{"pictures/frontBackground.jpg", encoded("JPEG", {8, 8})},
                {"pictures/backBackground.png", encoded("PNG", {4, 4})},
                {"pictures/logo.bmp", encoded("BMP", {3, 2})}};
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const QByteArray rest(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const QByteArray document = data[0] % 2 ? archiveAround(rest) : rest;
    lumo::CardState card;
    try {
        card = lumo::readCardDocument(document, kShown);
    } catch (const lumo::UserError& e) {
        const QString message = QString::fromUtf8(e.what());
        CHECK(message.startsWith(QStringLiteral("Não foi possível abrir o cartão \"fuzz.lumocard\": ")));
        reach<128>(messageClass(message));
        return 0;
    }
    CHECK(card.generateGlyph >= -1 && card.generateGlyph <= 1);
    for (const lumo::CardPicture* picture : {&card.frontBackground, &card.backBackground, &card.logo})
        CHECK(picture->isNull() ||
              (!picture->bytes.isEmpty() &&
               qint64(picture->image.width()) * picture->image.height() <= lumo::kMaxPicturePixels));
    const lumo::CardState again = lumo::readCardDocument(lumo::cardDocumentBytes(card), kShown);
    CHECK(same(card, again));
    return 0;
}
