#include "card/cardoutput.h"

namespace lumo {

namespace {

using report::TMemoView;
using report::TPictureView;
using report::TReportPage;

// The QR plate: the white rounded square of the preview's plate picture (531 × 531 pixels,
// corner radius 24 pixels), drawn as a vector shape rather than that picture. The picture's
// anti-aliased corners need transparency, and a page with transparency is flattened into one
// bitmap, text included, on the way to many printers.
constexpr double kPlateSide = 170.07874016; // units: 45 mm, the picture fitted into its box
constexpr double kPlateRadius = kPlateSide * 24 / 531;

// Every front object but the background sits this far right and down on the bleed page.
struct Offsets {
    double frontX, frontY;
};

void addFront(report::TReport& doc, double width, double height, double pageW, double pageH, Offsets o) {
    TReportPage& page = doc.AddPage(QStringLiteral("frente"));
    page.SetPaperSize(width, height);
    page.SetColor(Qt::white);

    auto& background = page.Add<TPictureView>(QStringLiteral("Picture2"));
    background.SetBounds(0, 0, pageW, pageH);
    background.SetFillsPage(true);
    background.SetKeepAspectRatio(false);
    background.SetHighQuality(true);
    background.SetTransparent(true);
    background.SetTransparentColor(Qt::white);

    auto text = [&](const QString& name, double left, double top, double w, double h, const QString& font,
                    double fontHeight, bool bold, report::TVAlign valign) -> TMemoView& {
        auto& memo = page.Add<TMemoView>(name);
        memo.SetBounds(left + o.frontX, top + o.frontY, w, h);
        memo.SetFontName(font);
        memo.SetFontHeight(fontHeight);
        memo.SetFontBold(bold);
        memo.SetFontColor(Qt::black);
        memo.SetHAlign(report::THAlign::Center);
        memo.SetVAlign(valign);
        return memo;
    };
    const QString arial = QStringLiteral("Arial");
    // A name or suffix too long for its line is set smaller, down to 7 and 6 points, then on
    // two lines: the name's reach up towards the icon, the suffix's down towards the QR plate.
    constexpr double kUnitsPerPoint = report::kUnitsPerInch / 72;
    auto& name = text(QStringLiteral("rnome"), 17.00787402, 75.21259843, 170.16, 18.89765, arial, 13, true,
                      report::TVAlign::Top);
    name.SetMinFontHeight(7 * kUnitsPerPoint);
    name.SetGrowsUpward(true);
    auto& suffix = text(QStringLiteral("rsufixo"), 17.00787402, 92.22047244, 170.20212598, 15.11811024, arial,
                        9, false, report::TVAlign::Top);
    suffix.SetMinFontHeight(6 * kUnitsPerPoint);

    // The plate's box is 45.039 mm wide and 45 mm high; the square plate is centred across it.
    const double plateBoxWidth = 170.2243449;
    auto& plate = page.Add<report::TShapeView>(QStringLiteral("Picture5"));
    plate.SetBounds(17.00787402 + (plateBoxWidth - kPlateSide) / 2 + o.frontX, 137.95275591 + o.frontY,
                    kPlateSide, kPlateSide);
    plate.SetColor(Qt::white);
    plate.SetCornerRadius(kPlateRadius);

    auto& qr = page.Add<TPictureView>(QStringLiteral("Picture1"));
    qr.SetBounds(26.45669291 + o.frontX, 147.4015748 + o.frontY, 151.18110236, 151.18110236);
    qr.SetKeepAspectRatio(true);
    qr.SetCenter(true);
    qr.SetHighQuality(true);
    qr.SetTransparent(true);
    qr.SetTransparentColor(QColor(0, 255, 0));

    auto& icon = text(QStringLiteral("ricone"), 17.00787402, 7.55905512, 170.07874016, 39.93922024,
                      QStringLiteral("icomoon"), 24, false, report::TVAlign::Bottom);
    icon.SetText(QString(QChar(0xE900)));
}

void addBack(report::TReport& doc, double width, double height, double pageW, double pageH, double logoLeft,
             double logoTop) {
    TReportPage& page = doc.AddPage(QStringLiteral("verso"));
    page.SetPaperSize(width, height);
    page.SetColor(QColor());

    auto& background = page.Add<TPictureView>(QStringLiteral("Picture4"));
    background.SetBounds(0, 0, pageW, pageH);
    background.SetFillsPage(true);
    background.SetKeepAspectRatio(false);
    background.SetHighQuality(false);
    background.SetTransparent(false);

    auto& logo = page.Add<TPictureView>(QStringLiteral("Picture3"));
    logo.SetBounds(logoLeft, logoTop, 170.07874016, 291.02362205);
    logo.SetKeepAspectRatio(true);
    logo.SetCenter(true);
    logo.SetHighQuality(true);
    logo.SetTransparent(true);
    logo.SetTransparentColor(QColor());
}

template <class T> T& find(const report::TReport& document, const QString& name) {
    T* found = document.Find<T>(name);
    Q_ASSERT(found);
    return *found;
}

} // namespace

std::unique_ptr<report::TReport> makeCardDocument(bool bleed) {
    auto doc =
        std::make_unique<report::TReport>(bleed ? QStringLiteral("Report2") : QStringLiteral("Report1"));
    if (!bleed) {
        addFront(*doc, 54, 86, 204.09462, 325.03958, {0, 0});
        addBack(*doc, 54, 86, 204.09462, 325.03958, 17.00787402, 17.00787402);
    } else {
        addFront(*doc, 55, 87, 207.87415, 328.81911, {1.88976378, 1.95094488});
        addBack(*doc, 55, 87, 207.87415, 328.81911, 19.38685943, 19.40622176);
        for (const auto& page : doc->Pages())
            page->SetBleed(0.5);
    }
    return doc;
}

std::unique_ptr<report::TReport> makeBleedCardDocument(double bleedMm) {
    auto doc = std::make_unique<report::TReport>(QStringLiteral("Report2"));
    const double width = 54 + 2 * bleedMm, height = 86 + 2 * bleedMm;
    const double bleed = bleedMm * report::kUnitsPerMm;
    const double pageW = width * report::kUnitsPerMm, pageH = height * report::kUnitsPerMm;
    addFront(*doc, width, height, pageW, pageH, {bleed, bleed});
    addBack(*doc, width, height, pageW, pageH, 17.00787402 + bleed, 17.00787402 + bleed);
    for (const auto& page : doc->Pages())
        page->SetBleed(bleedMm);
    return doc;
}

std::unique_ptr<report::TPDFExport> makePdfExport() {
    auto pdf = std::make_unique<report::TPDFExport>();
    pdf->SetAuthor(QStringLiteral("Lumo Card"));
    pdf->SetSubject(QStringLiteral("Lumo Card PDF export"));
    pdf->SetCreator(QStringLiteral("Lumo Card"));
    pdf->SetCompressed(false);
    pdf->SetEmbeddedFonts(true);
    pdf->SetQuality(300);
    pdf->SetPDFVersion(QStringLiteral("1.7"));
    return pdf;
}

void fillCardDocument(report::TReport& document, const CardDesign& d) {
    auto& front = find<report::TReportPage>(document, QStringLiteral("frente"));
    auto& back = find<report::TReportPage>(document, QStringLiteral("verso"));
    front.SetVisible(d.front);
    back.SetVisible(d.back);
    front.SetColor(d.frontColor);
    back.SetColor(d.backColor);

    auto& icon = find<TMemoView>(document, QStringLiteral("ricone"));
    icon.SetVisible(d.icon);
    icon.SetFontColor(d.nameColor);
    auto& name = find<TMemoView>(document, QStringLiteral("rnome"));
    name.SetText(d.name);
    name.SetFontColor(d.nameColor);
    auto& suffix = find<TMemoView>(document, QStringLiteral("rsufixo"));
    suffix.SetText(d.suffix);
    suffix.SetFontColor(d.suffixColor);

    auto& background = find<TPictureView>(document, QStringLiteral("Picture2"));
    background.SetPicture(d.frontBackground);
    background.SetTransparentColor(d.frontColor);
    find<TPictureView>(document, QStringLiteral("Picture1")).SetPicture(d.qr);
    find<TPictureView>(document, QStringLiteral("Picture4")).SetPicture(d.backBackground);
    auto& logo = find<TPictureView>(document, QStringLiteral("Picture3"));
    logo.SetPicture(d.logo);
    // The logo's left-out colour is the front's colour, even on the back page.
    logo.SetTransparentColor(d.frontColor);
}

} // namespace lumo
