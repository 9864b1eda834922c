#pragma once

// A small report engine: documents of named pages holding positioned picture and text
// objects, laid out and then printed or exported. Positions and sizes are in units of
// 1/96 inch measured from the page's top left corner; page sizes are in millimetres.

#include <QColor>
#include <QImage>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <memory>
#include <stdexcept>
#include <vector>

class QPainter;
class QPrinter;

namespace report {

constexpr double kUnitsPerInch = 96.0;
constexpr double kUnitsPerMm = 3.77953;

// What one output asks of the page renderer. The exporters fill it in; the defaults draw
// every picture at its own resolution.
struct TRenderOptions {
    // A picture with more pixels than this many dots per inch at its drawn size is scaled
    // down to that resolution before it is drawn (0: never). Pictures of two colours are
    // left alone so that their edges stay sharp (a QR code must stay decodable).
    double PictureDpi = 0;
    // A colour known to lie evenly under the object being drawn (the page colour while
    // nothing else has been painted); invalid when unknown. A picture with transparency is
    // painted onto it as an opaque picture: it looks the same, and a page without
    // transparency is not turned into one bitmap by printer drivers.
    QColor Backdrop;
};

// Errors the engine reports to its caller (file not writable, printer failure, ...).
class ReportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Anything in a document that has a name: pages and the objects on them.
class TReportComponent {
public:
    explicit TReportComponent(QString name) : FName(std::move(name)) {}
    virtual ~TReportComponent() = default;
    const QString& Name() const { return FName; }
    bool Visible() const { return FVisible; }
    void SetVisible(bool visible) { FVisible = visible; }

private:
    QString FName;
    bool FVisible = true;
};

// An object placed on a page. The painter given to Draw is in page units; pageRect is the
// whole page in units.
class TReportObject : public TReportComponent {
public:
    using TReportComponent::TReportComponent;
    double Left() const { return FLeft; }
    double Top() const { return FTop; }
    double Width() const { return FWidth; }
    double Height() const { return FHeight; }
    void SetBounds(double left, double top, double width, double height);
    virtual std::unique_ptr<TReportObject> Clone() const = 0;
    // True when drawing the object would put nothing on the page.
    virtual bool Blank() const { return false; }
    void Draw(QPainter& painter, const QRectF& pageRect) const { Draw(painter, pageRect, TRenderOptions{}); }
    virtual void Draw(QPainter& painter, const QRectF& pageRect, const TRenderOptions& options) const = 0;

private:
    double FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
};

class TPictureView : public TReportObject {
public:
    using TReportObject::TReportObject;
    bool FillsPage() const { return FFillsPage; }
    void SetFillsPage(bool on) { FFillsPage = on; }
    bool KeepAspectRatio() const { return FKeepAspectRatio; }
    void SetKeepAspectRatio(bool on) { FKeepAspectRatio = on; }
    bool Stretched() const { return FStretched; }
    void SetStretched(bool on) { FStretched = on; }
    bool Center() const { return FCenter; }
    void SetCenter(bool on) { FCenter = on; }
    bool HighQuality() const { return FHighQuality; } // smooth scaling
    void SetHighQuality(bool on) { FHighQuality = on; }
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool on) { FTransparent = on; }
    // Pixels of exactly this colour are left out; an invalid colour means "none":
    // the picture's own alpha decides.
    QColor TransparentColor() const { return FTransparentColor; }
    void SetTransparentColor(const QColor& color) { FTransparentColor = color; }
    const QImage& Picture() const { return FPicture; }
    void SetPicture(const QImage& picture) { FPicture = picture; }

    // The rectangle, in units, that the picture covers when drawn on a page of pageRect;
    // empty when there is no picture.
    QRectF PictureRect(const QRectF& pageRect) const;

    std::unique_ptr<TReportObject> Clone() const override;
    bool Blank() const override { return FPicture.isNull(); }
    using TReportObject::Draw;
    void Draw(QPainter& painter, const QRectF& pageRect, const TRenderOptions& options) const override;

private:
    bool FFillsPage = false;
    bool FKeepAspectRatio = true;
    bool FStretched = true;
    bool FCenter = false;
    bool FHighQuality = false;
    bool FTransparent = false;
    QColor FTransparentColor;
    QImage FPicture;
    // The picture as last prepared for drawing (converted, keyed, scaled), reused while the
    // picture and the drawing conditions stay the same: pages drawn again and again (a batch
    // of cards) then convert a shared picture once, and the very same QImage lets Qt's PDF
    // writer store it once. Draw updates it, so one view is drawn by one thread at a time.
    struct TPrepared;
    mutable std::shared_ptr<const TPrepared> FPrepared;
};

// A filled rectangle with rounded corners (radius 0: square corners), drawn as a vector
// path: it stays sharp at any resolution and needs no transparency where a picture with
// rounded, anti-aliased corners would.
class TShapeView : public TReportObject {
public:
    using TReportObject::TReportObject;
    QColor Color() const { return FColor; } // the fill; invalid: nothing is drawn
    void SetColor(const QColor& color) { FColor = color; }
    double CornerRadius() const { return FCornerRadius; } // units
    void SetCornerRadius(double radius) { FCornerRadius = radius; }

    std::unique_ptr<TReportObject> Clone() const override;
    bool Blank() const override { return !FColor.isValid(); }
    using TReportObject::Draw;
    void Draw(QPainter& painter, const QRectF& pageRect, const TRenderOptions& options) const override;

private:
    QColor FColor = Qt::white;
    double FCornerRadius = 0;
};

enum class THAlign { Left, Center, Right };
enum class TVAlign { Top, Center, Bottom };

// How a fitted text object sets its text: the font height it came down to, its lines, and
// whether it still had to be cut.
struct TTextFit {
    double FontHeight = 0; // units
    QStringList Lines;
    bool Cut = false;
    double Height = 0; // of the lines, units
};

class TMemoView : public TReportObject {
public:
    using TReportObject::TReportObject;
    QString FontName() const { return FFontName; }
    void SetFontName(const QString& family) { FFontName = family; }
    double FontHeight() const { return FFontHeight; } // character height in units
    void SetFontHeight(double height) { FFontHeight = height; }
    bool FontBold() const { return FFontBold; }
    void SetFontBold(bool bold) { FFontBold = bold; }
    QColor FontColor() const { return FFontColor; }
    void SetFontColor(const QColor& color) { FFontColor = color; }
    THAlign HAlign() const { return FHAlign; }
    void SetHAlign(THAlign align) { FHAlign = align; }
    TVAlign VAlign() const { return FVAlign; }
    void SetVAlign(TVAlign align) { FVAlign = align; }
    QString Text() const { return FText; }
    void SetText(const QString& text) { FText = text; }
    // Above 0 the text is fitted to the box width instead of wrapped: a text too wide for one
    // line is set smaller, half a point at a time, down to this height; one still too wide
    // is set on two lines at this height, broken between words where the lines come out most
    // even; a text that not even that holds is cut, its second line ending in "…".
    double MinFontHeight() const { return FMinFontHeight; }
    void SetMinFontHeight(double height) { FMinFontHeight = height; }
    // Two fitted lines taller than the box reach above its top (on) or below its bottom.
    bool GrowsUpward() const { return FGrowsUpward; }
    void SetGrowsUpward(bool on) { FGrowsUpward = on; }

    // The fitting of the text as Draw sets it; empty lines when the object is not fitted or
    // draws nothing.
    TTextFit Fit() const;

    std::unique_ptr<TReportObject> Clone() const override;
    bool Blank() const override { return FText.isEmpty(); }
    using TReportObject::Draw;
    // The text is printed inset 2 units left and right and 1 unit top and bottom. Unless it is
    // fitted (MinFontHeight), it is printed literally, wrapped at word boundaries; lines that
    // do not fit the box whole are left out (the first line is always drawn) and everything
    // is clipped to the box. Fitted lines are clipped to the box's sides only.
    void Draw(QPainter& painter, const QRectF& pageRect, const TRenderOptions& options) const override;

private:
    TTextFit fitText() const;
    void drawFitted(QPainter& painter, const QRectF& box, const QRectF& inner) const;

    QString FFontName = QStringLiteral("Arial");
    double FFontHeight = 13;
    bool FFontBold = false;
    QColor FFontColor = Qt::black;
    THAlign FHAlign = THAlign::Left;
    TVAlign FVAlign = TVAlign::Top;
    QString FText;
    double FMinFontHeight = 0;
    bool FGrowsUpward = false;
    // The last fitting and what it was made from: a preview asks for it at every paint and
    // check. Fit updates it, so one view is fitted by one thread at a time.
    struct TFitMemo;
    mutable std::shared_ptr<const TFitMemo> FFitMemo;
};

class TReportPage : public TReportComponent {
public:
    using TReportComponent::TReportComponent;
    TReportPage(const TReportPage& other);
    TReportPage& operator=(const TReportPage&) = delete;

    double PaperWidth() const { return FPaperWidth; } // millimetres
    double PaperHeight() const { return FPaperHeight; }
    void SetPaperSize(double widthMm, double heightMm);
    // How far the paper reaches past the trimmed card on every side, millimetres; 0 for a
    // page that is not cut (a sheet is cut by its own marks). Written as the PDF's trim box.
    double Bleed() const { return FBleed; }
    void SetBleed(double mm) { FBleed = mm; }
    // Painted over the whole page before the objects; invalid means none (nothing painted).
    QColor Color() const { return FColor; }
    void SetColor(const QColor& color) { FColor = color; }

    // The page in units: (0, 0, PaperWidth × kUnitsPerMm, PaperHeight × kUnitsPerMm).
    QRectF UnitRect() const;

    template <class T> T& Add(const QString& name) {
        auto object = std::make_unique<T>(name);
        T& ref = *object;
        FObjects.push_back(std::move(object));
        return ref;
    }
    const std::vector<std::unique_ptr<TReportObject>>& Objects() const { return FObjects; }
    TReportObject* FindObject(const QString& name) const;

    // Paints the page colour, then every visible object in order. The painter is in units.
    // The page colour, when it is opaque, is the backdrop of the objects until one of them
    // paints something.
    void Draw(QPainter& painter) const { Draw(painter, TRenderOptions{}); }
    void Draw(QPainter& painter, const TRenderOptions& options) const;

private:
    double FPaperWidth = 210, FPaperHeight = 297;
    double FBleed = 0;
    QColor FColor;
    std::vector<std::unique_ptr<TReportObject>> FObjects;
};

class TExportFilter;

class TReport {
public:
    explicit TReport(QString name = {}) : FName(std::move(name)) {}
    const QString& Name() const { return FName; }

    TReportPage& AddPage(const QString& name);
    const std::vector<std::unique_ptr<TReportPage>>& Pages() const { return FPages; }

    // A page or an object of any page, by name; nullptr when there is none.
    TReportComponent* FindObject(const QString& name) const;
    template <class T> T* Find(const QString& name) const { return dynamic_cast<T*>(FindObject(name)); }

    // Lays out the visible pages afresh, in document order; the result is a snapshot that
    // later changes to the document do not affect.
    void PrepareReport(bool clearLastReport = true);
    const std::vector<std::unique_ptr<TReportPage>>& PreparedPages() const { return FPreparedPages; }

    // Prints the laid-out pages on a configured printer, each with its own paper size,
    // portrait, full page without margins: those of the printer's page range (page 1 is the
    // first laid-out page), and as many copies as asked where the printer does not make
    // them itself (a PDF file). Throws ReportError when the printer cannot be used, when no
    // page is laid out or the range holds none of them (nothing is printed then).
    void Print(QPrinter& printer) const;
    // Writes the laid-out pages through the exporter. Throws ReportError on failure, and
    // when no page is laid out (nothing is written then).
    void Export(TExportFilter& filter) const;

private:
    QString FName;
    std::vector<std::unique_ptr<TReportPage>> FPages;
    std::vector<std::unique_ptr<TReportPage>> FPreparedPages;
};

} // namespace report
