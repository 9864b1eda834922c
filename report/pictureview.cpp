#include "report/report.h"

#include <QPaintEngine>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

namespace report {
namespace {

// A picture with at most this many colours is a graphic (QR code, plate, logo) rather than a
// photograph: it is kept lossless in a PDF.
constexpr int kGraphicColours = 256;

constexpr QRgb kOpaqueBlack = 0xff000000;
constexpr QRgb kOpaqueWhite = 0xffffffff;

// Distinct colours, counted up to kGraphicColours + 1: a photograph overflows after a few
// pixels, so the linear search stays cheap.
class ColourCount {
public:
    void Add(QRgb colour) {
        if (FCount > kGraphicColours)
            return;
        if (std::find(FColours.begin(), FColours.begin() + FCount, colour) != FColours.begin() + FCount)
            return;
        if (FCount < kGraphicColours)
            FColours[FCount] = colour;
        ++FCount;
    }
    int Count() const { return FCount; }
    bool Full() const { return FCount > kGraphicColours; }

private:
    std::array<QRgb, kGraphicColours> FColours{};
    int FCount = 0;
};

struct PictureFacts {
    bool usesAlpha = false; // some pixel is not fully opaque
    bool hasKey = false;    // some pixel has the key colour
    bool blackWhite = true; // every pixel is opaque black or opaque white
    int colours = 0;        // distinct colours, up to kGraphicColours + 1
};

bool isIndexed(const QImage& image) {
    return image.format() == QImage::Format_Mono || image.format() == QImage::Format_MonoLSB ||
           image.format() == QImage::Format_Indexed8;
}

// Indexed pictures stay as they are (their colour table tells all); every other picture
// becomes RGB32 or ARGB32 (not premultiplied, so that colours compare exactly).
QImage canonical(const QImage& picture) {
    if (isIndexed(picture) || picture.format() == QImage::Format_RGB32 ||
        picture.format() == QImage::Format_ARGB32)
        return picture;
    return picture.convertToFormat(picture.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
}

bool sameRgb(QRgb a, QRgb b) {
    return (a & 0x00ffffff) == (b & 0x00ffffff);
}

PictureFacts examine(const QImage& image, std::optional<QRgb> key) {
    PictureFacts facts;
    ColourCount colours;
    auto note = [&](QRgb pixel) {
        if (qAlpha(pixel) != 255)
            facts.usesAlpha = true;
        if (key && sameRgb(pixel, *key))
            facts.hasKey = true;
        if (pixel != kOpaqueBlack && pixel != kOpaqueWhite)
            facts.blackWhite = false;
        colours.Add(pixel);
    };

    if (isIndexed(image)) {
        // Every table entry counts as used: at worst a colour is keyed that no pixel has.
        for (QRgb entry : image.colorTable())
            note(entry);
        facts.colours = colours.Count();
        return facts;
    }

    const bool opaqueFormat = image.format() == QImage::Format_RGB32;
    const QRgb force = opaqueFormat ? 0xff000000 : 0;
    // Once nothing more can change the outcome the rest of a large picture is skipped; a
    // photograph that needs no keying is decided within its first rows.
    auto settled = [&] {
        return colours.Full() && !facts.blackWhite && (!key || facts.hasKey) &&
               (opaqueFormat || facts.usesAlpha);
    };
    const int width = image.width();
    for (int y = 0; y < image.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        QRgb last = line[0] | force;
        note(last);
        for (int x = 1; x < width; ++x) {
            const QRgb pixel = line[x] | force;
            if (pixel == last)
                continue;
            last = pixel;
            note(pixel);
        }
        if (settled())
            break;
    }
    facts.colours = colours.Count();
    return facts;
}

// Pixels of the key colour become fully transparent; every other pixel keeps its alpha.
QImage keyOut(const QImage& image, QRgb key) {
    if (isIndexed(image)) {
        QImage keyed = image;
        QList<QRgb> table = keyed.colorTable();
        for (QRgb& entry : table)
            if (sameRgb(entry, key))
                entry = 0;
        keyed.setColorTable(table);
        return keyed;
    }
    QImage keyed = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < keyed.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(keyed.scanLine(y));
        for (int x = 0; x < keyed.width(); ++x)
            if (sameRgb(line[x], key))
                line[x] = 0;
    }
    return keyed;
}

// The picture as it looks laid on `backdrop`, without transparency.
QImage flattened(const QImage& image, const QColor& backdrop) {
    QImage flat(image.size(), QImage::Format_RGB32);
    flat.fill(backdrop);
    QPainter painter(&flat);
    painter.drawImage(0, 0, image);
    return flat;
}

// A 1-bit picture with the colour table black, white: Qt's PDF writer stores exactly this
// form as a 1-bit grey image, a few kilobytes even for a 2000 × 2000 QR code.
QImage toMonoBlackWhite(const QImage& image) {
    if (image.format() == QImage::Format_Mono &&
        image.colorTable() == QList<QRgb>{kOpaqueBlack, kOpaqueWhite})
        return image;
    const QImage source = isIndexed(image) ? image.convertToFormat(QImage::Format_RGB32) : image;
    QImage mono(source.size(), QImage::Format_Mono);
    mono.setColorTable({kOpaqueBlack, kOpaqueWhite});
    for (int y = 0; y < source.height(); ++y) {
        const QRgb* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        uchar* out = mono.scanLine(y);
        std::fill(out, out + mono.bytesPerLine(), 0);
        for (int x = 0; x < source.width(); ++x)
            if (sameRgb(in[x], kOpaqueWhite))
                out[x >> 3] |= uchar(0x80 >> (x & 7));
    }
    return mono;
}

struct PreparedPicture {
    QImage image;
    bool lossless = false;
};

} // namespace

QRectF TPictureView::PictureRect(const QRectF& pageRect) const {
    if (FPicture.isNull())
        return {};
    const QRectF box = FFillsPage ? pageRect : QRectF(Left(), Top(), Width(), Height());
    if (box.isEmpty())
        return {};
    const QSizeF own(FPicture.width(), FPicture.height());
    QSizeF size = own; // a picture that is not stretched is drawn one pixel per unit
    if (FStretched) {
        if (FKeepAspectRatio) {
            const double scale = std::min(box.width() / own.width(), box.height() / own.height());
            size = own * scale;
        } else {
            size = box.size();
        }
    }
    const QPointF topLeft =
        FCenter ? box.center() - QPointF(size.width() / 2, size.height() / 2) : box.topLeft();
    return QRectF(topLeft, size);
}

struct TPictureView::TPrepared {
    struct Key {
        qint64 picture;
        bool transparent, keyed;
        QRgb keyColour;
        bool highQuality, pdf;
        double pictureDpi;
        bool backdrop;
        QRgb backdropColour;
        QSizeF target;
        bool operator==(const Key&) const = default;
    };
    Key key;
    QImage image;
    bool lossless;
};

std::unique_ptr<TReportObject> TPictureView::Clone() const {
    return std::make_unique<TPictureView>(*this);
}

namespace {

// A picture thinner than a device pixel (a 100000 × 1 logo fitted into its box) would be
// painted with a fraction of a pixel's coverage, which leaves nothing visible; it gets one
// whole device pixel across instead, as the preview shows it. The painter only scales and
// translates.
QRectF atLeastOneDevicePixel(const QPainter& painter, const QRectF& target) {
    const QTransform toDevice = painter.deviceTransform();
    QRectF device = toDevice.mapRect(target);
    if (device.width() >= 1 && device.height() >= 1)
        return target;
    if (device.width() < 1)
        device = QRectF(std::floor(device.center().x()), device.top(), 1, device.height());
    if (device.height() < 1)
        device = QRectF(device.left(), std::floor(device.center().y()), device.width(), 1);
    return toDevice.inverted().mapRect(device);
}

} // namespace

void TPictureView::Draw(QPainter& painter, const QRectF& pageRect, const TRenderOptions& options) const {
    const QRectF placed = PictureRect(pageRect);
    if (placed.isEmpty())
        return;
    const QRectF target = atLeastOneDevicePixel(painter, placed);
    const bool pdf = painter.paintEngine() && painter.paintEngine()->type() == QPaintEngine::Pdf;

    auto draw = [&](const QImage& image, bool lossless) {
        if (!FStretched)
            painter.setClipRect(FFillsPage ? pageRect : QRectF(Left(), Top(), Width(), Height()),
                                Qt::IntersectClip);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, FHighQuality);
        painter.setRenderHint(QPainter::LosslessImageRendering, lossless);
        painter.drawImage(target, image, QRectF(image.rect()));
    };
    // Everything the preparation below depends on.
    static_assert(sizeof(TRenderOptions) == sizeof(double) + sizeof(QColor),
                  "a new render option may change how a picture is prepared: add it to TPrepared::Key");
    const TPrepared::Key preparedKey{FPicture.cacheKey(),
                                     FTransparent,
                                     FTransparentColor.isValid(),
                                     FTransparentColor.isValid() ? FTransparentColor.rgb() : 0,
                                     FHighQuality,
                                     pdf,
                                     options.PictureDpi,
                                     options.Backdrop.isValid(),
                                     options.Backdrop.isValid() ? options.Backdrop.rgb() : 0,
                                     target.size()};
    if (FPrepared && FPrepared->key == preparedKey) {
        draw(FPrepared->image, FPrepared->lossless);
        return;
    }

    PreparedPicture prepared;
    prepared.image = canonical(FPicture);
    std::optional<QRgb> key;
    if (FTransparent && FTransparentColor.isValid())
        key = FTransparentColor.rgb();
    const PictureFacts facts = examine(prepared.image, key);

    bool keyed = false;
    if (FTransparent) {
        if (key && facts.hasKey) {
            prepared.image = keyOut(prepared.image, *key);
            keyed = true;
        }
        if ((keyed || facts.usesAlpha) && options.Backdrop.isValid())
            prepared.image = flattened(prepared.image, options.Backdrop);
    } else if (facts.usesAlpha) {
        // An opaque picture is painted as if it lay on white paper.
        prepared.image = flattened(prepared.image, Qt::white);
    }

    // Two-colour pictures are never resampled: their edges would blur.
    const bool sharp = facts.colours <= 2;
    if (options.PictureDpi > 0 && !sharp) {
        const double pixelsPerUnit = options.PictureDpi / kUnitsPerInch;
        const int width = std::max(1, int(std::ceil(target.width() * pixelsPerUnit - 1e-6)));
        const int height = std::max(1, int(std::ceil(target.height() * pixelsPerUnit - 1e-6)));
        if (prepared.image.width() > width || prepared.image.height() > height) {
            if (prepared.image.hasAlphaChannel())
                prepared.image = prepared.image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
            prepared.image = prepared.image.scaled(
                std::min(width, prepared.image.width()), std::min(height, prepared.image.height()),
                Qt::IgnoreAspectRatio, FHighQuality ? Qt::SmoothTransformation : Qt::FastTransformation);
        }
    }

    if (pdf && facts.blackWhite && !keyed)
        prepared.image = toMonoBlackWhite(prepared.image);
    prepared.lossless = facts.colours <= kGraphicColours || facts.usesAlpha;

    FPrepared = std::make_shared<const TPrepared>(TPrepared{preparedKey, prepared.image, prepared.lossless});
    draw(prepared.image, prepared.lossless);
}

} // namespace report
