#include "report/pdfx.h"

#include "report/pdfboxes.h"
#include "report/report.h"

#include <qpdf/Buffer.hh>
#include <qpdf/Pipeline.hh>
#include <qpdf/Pl_Buffer.hh>
#include <qpdf/Pl_Flate.hh>
#include <qpdf/Pl_String.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <lcms2.h>
#include <zlib.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QSaveFile>

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string_view>
#include <unordered_map>

namespace report {
namespace {

// Crop marks start this far outside the bleed and are this long; the page grows by both.
constexpr double kMarkGapMm = 1;
constexpr double kMarkLengthMm = 5;
constexpr double kMarkLineWidth = 0.25; // points: the usual hairline of crop marks

[[noreturn]] void refuse(const QString& why) {
    throw ReportError(why.toStdString());
}

using Cmyk = std::array<double, 4>; // 0 to 1

// sRGB to the press condition's CMYK through Little CMS.
class ColourConverter {
public:
    explicit ColourConverter(TPressCondition condition) {
        const QByteArray icc = pressConditionProfile(condition);
        FSrgb = cmsCreate_sRGBProfile();
        FPress = cmsOpenProfileFromMem(icc.constData(), cmsUInt32Number(icc.size()));
        if (!FSrgb || !FPress)
            refuse(QStringLiteral("o perfil de cor da gráfica não pôde ser lido"));
        // Flat colours and graphics keep their hue where the press can print it; black-point
        // compensation maps the darkest sRGB colour onto the press's darkest, as designers
        // expect from "relative colorimetric" in their own tools.
        FFlat = cmsCreateTransform(FSrgb, TYPE_RGB_DBL, FPress, TYPE_CMYK_DBL, INTENT_RELATIVE_COLORIMETRIC,
                                   cmsFLAGS_BLACKPOINTCOMPENSATION);
        if (!FFlat)
            refuse(QStringLiteral("a conversão de cores para a gráfica não pôde ser preparada"));
    }
    ~ColourConverter() {
        for (cmsHTRANSFORM t : {FFlat, FGraphic, FPhoto})
            if (t)
                cmsDeleteTransform(t);
        for (cmsHPROFILE p : {FSrgb, FPress})
            if (p)
                cmsCloseProfile(p);
    }
    ColourConverter(const ColourConverter&) = delete;
    ColourConverter& operator=(const ColourConverter&) = delete;

    // Pure black is printed with black ink alone (four inks on thin strokes misregister), pure
    // white with no ink at all.
    Cmyk Flat(double r, double g, double b) const {
        if (r <= 0 && g <= 0 && b <= 0)
            return {0, 0, 0, 1};
        if (r >= 1 && g >= 1 && b >= 1)
            return {0, 0, 0, 0};
        const double in[3] = {std::clamp(r, 0.0, 1.0), std::clamp(g, 0.0, 1.0), std::clamp(b, 0.0, 1.0)};
        double out[4];
        cmsDoTransform(FFlat, in, out, 1);
        return {out[0] / 100, out[1] / 100, out[2] / 100, out[3] / 100};
    }

    // 8-bit RGB samples to 8-bit CMYK. Graphics (lossless pictures: logos, plates) are
    // converted as flat colours, pure black and white included; photographs perceptually.
    void Pixels(const unsigned char* rgb, unsigned char* cmyk, std::size_t count, bool photo) {
        if (photo) {
            // Photographs have colours outside the press's gamut side by side with colours
            // inside it; the perceptual table compresses them together so that gradations stay
            // visible.
            cmsDoTransform(Made(FPhoto, INTENT_PERCEPTUAL, 0), rgb, cmyk, cmsUInt32Number(count));
            return;
        }
        Made(FGraphic, INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_BLACKPOINTCOMPENSATION);
        for (std::size_t i = 0; i < count; ++i, rgb += 3, cmyk += 4) {
            const std::uint32_t key = std::uint32_t(rgb[0]) << 16 | std::uint32_t(rgb[1]) << 8 | rgb[2];
            auto found = FGraphicCache.find(key);
            if (found != FGraphicCache.end()) {
                std::copy(found->second.begin(), found->second.end(), cmyk);
                continue;
            }
            std::array<unsigned char, 4> c{};
            if (key == 0)
                c = {0, 0, 0, 255};
            else if (key != 0xffffff)
                cmsDoTransform(FGraphic, rgb, c.data(), 1);
            // A graphic has few colours; a photograph stored losslessly may have millions, and
            // the table stays bounded.
            if (FGraphicCache.size() < kCachedColours)
                FGraphicCache.emplace(key, c);
            std::copy(c.begin(), c.end(), cmyk);
        }
    }

private:
    // The 8-bit transforms take Little CMS some 15 ms each to precalculate, and many cards
    // have no picture of one kind or the other: they are made when first needed.
    cmsHTRANSFORM Made(cmsHTRANSFORM& transform, cmsUInt32Number intent, cmsUInt32Number flags) {
        if (!transform)
            transform = cmsCreateTransform(FSrgb, TYPE_RGB_8, FPress, TYPE_CMYK_8, intent, flags);
        if (!transform)
            refuse(QStringLiteral("a conversão de cores para a gráfica não pôde ser preparada"));
        return transform;
    }

    cmsHPROFILE FSrgb = nullptr, FPress = nullptr;
    cmsHTRANSFORM FFlat = nullptr, FGraphic = nullptr, FPhoto = nullptr;
    static constexpr std::size_t kCachedColours = 1 << 16;
    std::unordered_map<std::uint32_t, std::array<unsigned char, 4>> FGraphicCache;
};

std::string text(const std::shared_ptr<Buffer>& data) {
    return std::string(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
}

std::string number(double v) {
    // Four decimals are finer than any press can tell apart (1/10000 of full ink).
    std::string s = QString::number(v, 'f', 4).toStdString();
    while (s.find('.') != std::string::npos && (s.back() == '0' || s.back() == '.')) {
        const bool dot = s.back() == '.';
        s.pop_back();
        if (dot)
            break;
    }
    return s == "-0" ? "0" : s;
}

enum class Space { Gray, Rgb, Cmyk, Pattern, Other };

// What a page's colour-space names stand for, read from its resources before they are
// rewritten.
using SpaceNames = std::map<std::string, Space>;

Space spaceOf(QPDFObjectHandle cs) {
    if (cs.isName()) {
        const std::string n = cs.getName();
        if (n == "/DeviceRGB")
            return Space::Rgb;
        if (n == "/DeviceGray")
            return Space::Gray;
        if (n == "/DeviceCMYK")
            return Space::Cmyk;
        if (n == "/Pattern")
            return Space::Pattern;
    }
    if (cs.isArray() && cs.getArrayNItems() > 0 && cs.getArrayItem(0).isNameAndEquals("/Pattern"))
        return Space::Pattern;
    return Space::Other;
}

// Rewrites the colour operators of one content stream: RGB colours (rg, RG, and sc/scn in an
// RGB space) become CMYK (k, K, and sc/scn of four values), the RGB colour spaces DeviceCMYK.
// Grey colours stay. What PDF/X-1a has no place for (patterns, shadings, inline pictures) is
// refused. Everything else is copied byte for byte: the scanner only needs to know where
// operators are, so it skips strings, names, comments and delimiters by PDF's lexical rules
// (a general tokenizer took a third of the conversion's time on a batch).
class ContentRewriter {
public:
    ContentRewriter(ColourConverter& colours, const SpaceNames& names) : FColours(colours), FNames(names) {}

    std::string Rewrite(std::string_view in) {
        FIn = in;
        FOut.clear();
        FOut.reserve(in.size() + in.size() / 16);
        FPending = 0;
        std::size_t i = 0;
        const std::size_t n = in.size();
        while (i < n) {
            const char c = in[i];
            if (white(c)) {
                ++i;
            } else if (c == '%') {
                while (i < n && in[i] != '\n' && in[i] != '\r')
                    ++i;
            } else if (c == '(') {
                i = AfterString(i);
            } else if (c == '<') {
                if (i + 1 < n && in[i + 1] == '<')
                    i += 2;
                else
                    while (i < n && in[i] != '>')
                        ++i;
            } else if (c == '>' || c == '[' || c == ']' || c == '{' || c == '}' || c == ')') {
                ++i;
            } else if (c == '/') {
                std::size_t j = i + 1;
                while (j < n && regular(in[j]))
                    ++j;
                FName = in.substr(i, j - i);
                i = j;
            } else {
                std::size_t j = i;
                while (j < n && regular(in[j]))
                    ++j;
                const std::string_view word = in.substr(i, j - i);
                if (std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '+' || c == '.')
                    FNumbers.push_back(word); // read only when a colour operator takes them
                else
                    Operator(word, j);
                i = j;
            }
        }
        FOut.append(in.substr(FPending));
        return std::move(FOut);
    }

private:
    struct State {
        Space fill = Space::Gray, stroke = Space::Gray;
    };

    static bool white(char c) {
        return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0';
    }
    static bool regular(char c) {
        return !white(c) && c != '(' && c != ')' && c != '<' && c != '>' && c != '[' && c != ']' &&
               c != '{' && c != '}' && c != '/' && c != '%';
    }

    // A PDF number ("0.8", "-.5", "+3"), whatever the C library's locale.
    static double value(std::string_view number) {
        if (!number.empty() && number.front() == '+')
            number.remove_prefix(1);
        std::string text(number);
        if (text.starts_with('.') || text.starts_with("-."))
            text.insert(text.find('.'), 1, '0');
        double result = 0;
        std::from_chars(text.data(), text.data() + text.size(), result);
        return result;
    }

    // The position after the literal string starting at `i`: parentheses nest, a backslash
    // escapes the next character.
    std::size_t AfterString(std::size_t i) const {
        int depth = 0;
        for (; i < FIn.size(); ++i) {
            const char c = FIn[i];
            if (c == '\\')
                ++i;
            else if (c == '(')
                ++depth;
            else if (c == ')' && --depth == 0)
                return i + 1;
        }
        refuse(QStringLiteral("o conteúdo de uma página do PDF está danificado"));
    }

    // The operator's operands and itself as they were.
    void Keep(std::size_t end) {
        FOut.append(FIn.substr(FPending, end - FPending));
        FPending = end;
    }
    // The operator's operands and itself replaced by `text`.
    void Replace(std::size_t end, const std::string& text) {
        FOut += ' ';
        FOut += text;
        FPending = end;
    }
    std::string Cmyk4(const char* op) const {
        const Cmyk c = FColours.Flat(value(FNumbers[0]), value(FNumbers[1]), value(FNumbers[2]));
        return number(c[0]) + " " + number(c[1]) + " " + number(c[2]) + " " + number(c[3]) + " " + op;
    }

    Space Named(std::string_view name) const {
        if (name == "/DeviceRGB")
            return Space::Rgb;
        if (name == "/DeviceGray")
            return Space::Gray;
        if (name == "/DeviceCMYK")
            return Space::Cmyk;
        const auto found = FNames.find(std::string(name));
        return found == FNames.end() ? Space::Other : found->second;
    }

    void Operator(std::string_view word, std::size_t end) {
        if (word == "q") {
            FStack.push_back(FState);
        } else if (word == "Q") {
            if (!FStack.empty()) {
                FState = FStack.back();
                FStack.pop_back();
            }
        } else if ((word == "rg" || word == "RG") && FNumbers.size() == 3) {
            Replace(end, Cmyk4(word == "rg" ? "k" : "K"));
            (word == "rg" ? FState.fill : FState.stroke) = Space::Cmyk;
            Next();
            return;
        } else if (word == "g" || word == "k") {
            FState.fill = word == "g" ? Space::Gray : Space::Cmyk;
        } else if (word == "G" || word == "K") {
            FState.stroke = word == "G" ? Space::Gray : Space::Cmyk;
        } else if (word == "cs" || word == "CS") {
            const Space space = Named(FName);
            if (space == Space::Pattern || space == Space::Other)
                refuse(QStringLiteral("o PDF usa um espaço de cores que o PDF/X-1a não aceita (%1)")
                           .arg(QString::fromUtf8(FName.data(), qsizetype(FName.size()))));
            (word == "cs" ? FState.fill : FState.stroke) = space;
            if (FName == "/DeviceRGB") {
                Replace(end, "/DeviceCMYK " + std::string(word));
                Next();
                return;
            }
        } else if (word == "sc" || word == "scn" || word == "SC" || word == "SCN") {
            const Space space = word[0] == 's' ? FState.fill : FState.stroke;
            if (space == Space::Rgb && FNumbers.size() == 3) {
                Replace(end, Cmyk4(std::string(word).c_str()));
                Next();
                return;
            }
            if (space == Space::Pattern || space == Space::Other)
                refuse(QStringLiteral("o PDF usa um padrão de cores, que o PDF/X-1a não aceita"));
        } else if (word == "sh") {
            refuse(QStringLiteral("o PDF usa um degradê, que o PDF/X-1a não aceita"));
        } else if (word == "BI") {
            refuse(QStringLiteral("o PDF tem uma imagem embutida no conteúdo"));
        }
        Keep(end);
        Next();
    }
    void Next() {
        FNumbers.clear();
        FName = {};
    }

    ColourConverter& FColours;
    const SpaceNames& FNames;
    std::string_view FIn, FName;
    std::string FOut;
    std::size_t FPending = 0;
    std::vector<std::string_view> FNumbers;
    State FState;
    std::vector<State> FStack;
};

// The converted streams, made while the writer writes them: a batch of a thousand cards
// never has more than one picture decoded at a time. One serves every piece of a file.
class ConvertedStreams : public QPDFObjectHandle::StreamDataProvider {
public:
    enum class Kind { Content, Picture, Mask };
    struct Job {
        Kind kind = Kind::Content;
        QPDFObjectHandle source; // picture, mask: the original stream
        SpaceNames names;        // content: the page's colour spaces
        std::string raw;         // content: the original, as stored
        bool flate = false;      // content: `raw` is Flate-compressed
        bool photo = false;      // picture: JPEG-compressed, so a photograph
        std::string prefix, suffix;

        static Job Of(Kind kind, QPDFObjectHandle source, bool photo = false) {
            Job job;
            job.kind = kind;
            job.source = source;
            job.photo = photo;
            return job;
        }
    };

    explicit ConvertedStreams(TPressCondition condition) : FColours(condition) {}

    void Add(QPDFObjGen target, Job job) { FJobs[target] = std::move(job); }
    // The stream's job; none when the stream is copied as it was.
    const Job* Find(QPDFObjGen target) const {
        const auto found = FJobs.find(target);
        return found == FJobs.end() ? nullptr : &found->second;
    }
    // Forgets the jobs of a piece once it is written; the colour conversions stay.
    void Clear() { FJobs.clear(); }

    void provideStreamData(const QPDFObjGen& og, Pipeline* pipeline) override {
        Job job = FJobs.at(og); // handles are cheap to copy, and qpdf's are not const
        switch (job.kind) {
        case Kind::Content: {
            std::string plain;
            if (job.flate) {
                Pl_Buffer decoded("content");
                Pl_Flate inflate("content", &decoded, Pl_Flate::a_inflate);
                inflate.writeString(job.raw);
                inflate.finish();
                plain = text(decoded.getBufferSharedPointer());
            }
            pipeline->writeString(job.prefix);
            pipeline->writeString(ContentRewriter(FColours, job.names).Rewrite(job.flate ? plain : job.raw));
            pipeline->writeString(job.suffix);
            break;
        }
        case Kind::Picture:
            Picture(job, pipeline);
            break;
        case Kind::Mask:
            Mask(job, pipeline);
            break;
        }
        pipeline->finish();
    }

private:
    static std::shared_ptr<Buffer> Decoded(QPDFObjectHandle stream) {
        std::shared_ptr<Buffer> data = stream.getStreamData(qpdf_dl_all);
        return data;
    }

    void Picture(Job& job, Pipeline* pipeline) {
        QPDFObjectHandle dict = job.source.getDict();
        const std::size_t width = std::size_t(dict.getKey("/Width").getIntValue());
        const std::size_t height = std::size_t(dict.getKey("/Height").getIntValue());
        const std::shared_ptr<Buffer> data = Decoded(job.source);
        if (data->getSize() < width * height * 3)
            refuse(QStringLiteral("uma imagem do PDF está incompleta"));
        std::vector<unsigned char> row(width * 4);
        const unsigned char* in = data->getBuffer();
        for (std::size_t y = 0; y < height; ++y, in += width * 3) {
            FColours.Pixels(in, row.data(), width, job.photo);
            pipeline->write(row.data(), row.size());
        }
    }

    // A soft mask as a hard one: pixels at least half opaque are painted, the others not. At
    // the 300 dpi of our pictures the lost anti-aliasing of an edge is one dot wide.
    static void Mask(Job& job, Pipeline* pipeline) {
        QPDFObjectHandle dict = job.source.getDict();
        const std::size_t width = std::size_t(dict.getKey("/Width").getIntValue());
        const std::size_t height = std::size_t(dict.getKey("/Height").getIntValue());
        const std::shared_ptr<Buffer> data = Decoded(job.source);
        if (data->getSize() < width * height)
            refuse(QStringLiteral("a máscara de uma imagem do PDF está incompleta"));
        std::vector<unsigned char> row((width + 7) / 8);
        const unsigned char* in = data->getBuffer();
        for (std::size_t y = 0; y < height; ++y, in += width) {
            std::fill(row.begin(), row.end(), 0);
            // In an explicit mask a 1 leaves the page as it was.
            for (std::size_t x = 0; x < width; ++x)
                if (in[x] < 128)
                    row[x >> 3] |= static_cast<unsigned char>(0x80 >> (x & 7));
            pipeline->write(row.data(), row.size());
        }
    }

    ColourConverter FColours;
    std::map<QPDFObjGen, Job> FJobs;
};

struct Cancelled {};

std::vector<double> numbers(QPDFObjectHandle array) {
    std::vector<double> values;
    if (array.isArray())
        for (QPDFObjectHandle item : array.aitems())
            values.push_back(item.isNumber() ? item.getNumericValue() : 0);
    return values;
}

// The checks and rewrites of one resource dictionary; shared dictionaries are done once.
class Resources {
public:
    Resources(QPDF& pdf, ConvertedStreams& streams,
              std::shared_ptr<QPDFObjectHandle::StreamDataProvider> owner)
        : FPdf(pdf), FStreams(streams), FProvider(std::move(owner)) {}

    // Returns the colour spaces the page's content may name, as they were.
    SpaceNames Convert(QPDFObjectHandle resources) {
        SpaceNames names;
        if (!resources.isDictionary())
            return names;
        // The page gets a colour-space dictionary of its own: the original, which other
        // pages may share, keeps telling what the names stood for.
        QPDFObjectHandle spaces = resources.getKey("/ColorSpace");
        if (spaces.isDictionary()) {
            QPDFObjectHandle rewritten = QPDFObjectHandle::newDictionary();
            for (const auto& [name, cs] : spaces.ditems()) {
                const Space space = spaceOf(cs);
                names[name] = space;
                if (space == Space::Rgb)
                    rewritten.replaceKey(name, QPDFObjectHandle::newName("/DeviceCMYK"));
                else if (space == Space::Other)
                    refuse(QStringLiteral("o PDF usa um espaço de cores que o PDF/X-1a não aceita"));
                else if (space != Space::Pattern) // Qt names one on every page; we never use it
                    rewritten.replaceKey(name, cs);
            }
            resources.replaceKey("/ColorSpace", rewritten);
        }
        QPDFObjectHandle patterns = resources.getKey("/Pattern");
        QPDFObjectHandle shadings = resources.getKey("/Shading");
        if ((patterns.isDictionary() && !patterns.getKeys().empty()) ||
            (shadings.isDictionary() && !shadings.getKeys().empty()))
            refuse(QStringLiteral("o PDF usa um padrão de cores ou degradê, que o PDF/X-1a não aceita"));
        GraphicsStates(resources.getKey("/ExtGState"));
        Fonts(resources.getKey("/Font"));
        Pictures(resources);
        return names;
    }

private:
    void GraphicsStates(QPDFObjectHandle states) {
        if (!states.isDictionary())
            return;
        for (auto [name, gs] : states.ditems()) {
            if (!gs.isDictionary() || (gs.isIndirect() && !FDone.insert(gs.getObjGen()).second))
                continue;
            for (const char* alpha : {"/CA", "/ca"})
                if (gs.hasKey(alpha) && gs.getKey(alpha).getNumericValue() < 1)
                    refuse(QStringLiteral("o PDF tem transparência, que o PDF/X-1a não aceita"));
            if (gs.hasKey("/SMask") && !gs.getKey("/SMask").isNameAndEquals("/None"))
                refuse(QStringLiteral("o PDF tem uma máscara suave, que o PDF/X-1a não aceita"));
            if (gs.hasKey("/BM") && !gs.getKey("/BM").isNameAndEquals("/Normal") &&
                !gs.getKey("/BM").isNameAndEquals("/Compatible"))
                refuse(QStringLiteral("o PDF tem um modo de mesclagem, que o PDF/X-1a não aceita"));
            // Transparency keys at their defaults say nothing; PDF 1.3 has no place for them.
            for (const char* key : {"/CA", "/ca", "/SMask", "/BM", "/AIS", "/TK"})
                gs.removeKey(key);
        }
    }

    void Fonts(QPDFObjectHandle fonts) {
        if (!fonts.isDictionary())
            return;
        for (auto [name, font] : fonts.ditems()) {
            if (!font.isDictionary() || (font.isIndirect() && !FDone.insert(font.getObjGen()).second))
                continue;
            if (font.getKey("/Subtype").isNameAndEquals("/Type3"))
                refuse(QStringLiteral("o PDF tem uma fonte Type 3, que o PDF/X-1a não aceita"));
            QPDFObjectHandle descriptor = font.getKey("/FontDescriptor");
            QPDFObjectHandle descendants = font.getKey("/DescendantFonts");
            if (descendants.isArray() && descendants.getArrayNItems() > 0)
                descriptor = descendants.getArrayItem(0).getKey("/FontDescriptor");
            if (!descriptor.isDictionary() ||
                (!descriptor.hasKey("/FontFile") && !descriptor.hasKey("/FontFile2") &&
                 !descriptor.hasKey("/FontFile3")))
                refuse(QStringLiteral("a fonte %1 não está incorporada ao PDF")
                           .arg(QString::fromStdString(font.getKey("/BaseFont").isName()
                                                           ? font.getKey("/BaseFont").getName()
                                                           : name)));
        }
    }

    // An RGB picture is replaced by a CMYK one, a new stream that the page's own XObject
    // dictionary names instead (the original is read while the new one is written); pictures
    // shared by pages are converted once.
    void Pictures(QPDFObjectHandle resources) {
        QPDFObjectHandle objects = resources.getKey("/XObject");
        if (!objects.isDictionary())
            return;
        QPDFObjectHandle rewritten = QPDFObjectHandle::newDictionary();
        for (auto [name, object] : objects.ditems())
            rewritten.replaceKey(name, object.isStream() ? Picture(object) : object);
        resources.replaceKey("/XObject", rewritten);
    }

    QPDFObjectHandle Picture(QPDFObjectHandle object) {
        const QPDFObjGen original = object.getObjGen();
        if (const auto done = FPictures.find(original); done != FPictures.end())
            return done->second;
        QPDFObjectHandle result = object;
        QPDFObjectHandle dict = object.getDict();
        if (!dict.getKey("/Subtype").isNameAndEquals("/Image"))
            refuse(QStringLiteral("o PDF tem um objeto de desenho que não é uma imagem"));
        if (dict.getKey("/ImageMask").isBool() && dict.getKey("/ImageMask").getBoolValue())
            return FPictures[original] = result; // painted in the current colour, set in CMYK
        const Space space = spaceOf(dict.getKey("/ColorSpace"));
        if (space == Space::Rgb) {
            if (dict.getKey("/BitsPerComponent").getIntValueAsInt() != 8 || dict.hasKey("/Decode"))
                refuse(QStringLiteral("o PDF tem uma imagem RGB de formato inesperado"));
            QPDFObjectHandle filter = dict.getKey("/Filter");
            bool photo = false;
            for (QPDFObjectHandle f : filter.isArray() ? filter.getArrayAsVector() : std::vector{filter})
                photo = photo || f.isNameAndEquals("/DCTDecode");
            result = QPDFObjectHandle::newStream(&FPdf);
            QPDFObjectHandle cmyk = result.getDict();
            for (const char* key :
                 {"/Type", "/Subtype", "/Width", "/Height", "/BitsPerComponent", "/Interpolate"})
                if (dict.hasKey(key))
                    cmyk.replaceKey(key, dict.getKey(key));
            cmyk.replaceKey("/ColorSpace", QPDFObjectHandle::newName("/DeviceCMYK"));
            FStreams.Add(result.getObjGen(),
                         ConvertedStreams::Job::Of(ConvertedStreams::Kind::Picture, object, photo));
            result.replaceStreamData(FProvider, QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
            dict = cmyk;
        } else if (space != Space::Gray && space != Space::Cmyk) {
            refuse(QStringLiteral("o PDF tem uma imagem num espaço de cores que o PDF/X-1a não aceita"));
        }
        QPDFObjectHandle softMask = object.getDict().getKey("/SMask");
        if (softMask.isStream()) {
            QPDFObjectHandle maskDict = softMask.getDict();
            if (maskDict.getKey("/BitsPerComponent").getIntValueAsInt() != 8 ||
                maskDict.getKey("/Width").getIntValue() != dict.getKey("/Width").getIntValue() ||
                maskDict.getKey("/Height").getIntValue() != dict.getKey("/Height").getIntValue())
                refuse(QStringLiteral("o PDF tem uma máscara de imagem de formato inesperado"));
            QPDFObjectHandle mask = QPDFObjectHandle::newStream(&FPdf);
            QPDFObjectHandle md = mask.getDict();
            md.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
            md.replaceKey("/Subtype", QPDFObjectHandle::newName("/Image"));
            md.replaceKey("/Width", maskDict.getKey("/Width"));
            md.replaceKey("/Height", maskDict.getKey("/Height"));
            md.replaceKey("/ImageMask", QPDFObjectHandle::newBool(true));
            md.replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(1));
            FStreams.Add(mask.getObjGen(), ConvertedStreams::Job::Of(ConvertedStreams::Kind::Mask, softMask));
            mask.replaceStreamData(FProvider, QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
            dict.replaceKey("/Mask", mask);
        }
        for (const char* key : {"/SMask", "/SMaskInData", "/Intent", "/Alternates", "/OC", "/Metadata"})
            dict.removeKey(key);
        return FPictures[original] = result;
    }

    QPDF& FPdf;
    ConvertedStreams& FStreams;
    std::shared_ptr<QPDFObjectHandle::StreamDataProvider> FProvider;
    std::set<QPDFObjGen> FDone;
    std::map<QPDFObjGen, QPDFObjectHandle> FPictures;
};

QPDFObjectHandle rect(double l, double b, double r, double t) {
    auto real = [](double v) { return QPDFObjectHandle::newReal(v, 3, false); };
    return QPDFObjectHandle::newArray({real(l), real(b), real(r), real(t)});
}

// Eight crop marks at the trim's corners, outside the bleed, in the registration colour.
std::string cropMarks(double trimL, double trimB, double trimR, double trimT, double bleed) {
    const double gap = bleed + kMarkGapMm * kPdfPointsPerMm, end = gap + kMarkLengthMm * kPdfPointsPerMm;
    std::string s = "q /LumoAll CS 1 SCN " + number(kMarkLineWidth) + " w 0 J [] 0 d\n";
    auto line = [&](double x0, double y0, double x1, double y1) {
        s += number(x0) + " " + number(y0) + " m " + number(x1) + " " + number(y1) + " l S\n";
    };
    for (double x : {trimL, trimR})
        for (double y : {trimB, trimT}) {
            const double sx = x == trimL ? -1 : 1, sy = y == trimB ? -1 : 1;
            line(x + sx * gap, y, x + sx * end, y);
            line(x, y + sy * gap, x, y + sy * end);
        }
    return s + "Q\n";
}

QPDFObjectHandle registrationColour() {
    QPDFObjectHandle tint = QPDFObjectHandle::parse("<< /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] "
                                                    "/C1 [1 1 1 1] /N 1 >>");
    return QPDFObjectHandle::newArray({QPDFObjectHandle::newName("/Separation"),
                                       QPDFObjectHandle::newName("/All"),
                                       QPDFObjectHandle::newName("/DeviceCMYK"), tint});
}

QString pdfDate(const QDateTime& when) {
    return when.toUTC().toString(QStringLiteral("'D:'yyyyMMddHHmmss")) + QStringLiteral("+00'00'");
}

QString conditionInfo(TPressCondition condition) {
    return condition == TPressCondition::Fogra39
               ? QStringLiteral("Offset commercial print, coated paper (ISO 12647-2:2004/Amd 1, FOGRA39)")
               : QStringLiteral("Offset commercial print, uncoated white paper (ISO 12647-2:2004, FOGRA29)");
}

// zlib's fastest level: page contents are a kilobyte or two and pictures are few, and a
// batch of thousands of cards would otherwise spend more time compressing than drawing.
constexpr int kCompressionLevel = 1;
// The output is handed to the file in blocks of this size.
constexpr std::size_t kOutputBlock = 256 * 1024;

// Flate compression with one zlib stream for the whole file: setting up a stream costs more
// than compressing a page's content.
class Deflater {
public:
    Deflater() {
        if (deflateInit(&FStream, kCompressionLevel) != Z_OK)
            throw std::bad_alloc();
    }
    ~Deflater() { deflateEnd(&FStream); }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    std::string operator()(std::string_view plain) {
        deflateReset(&FStream);
        std::string packed(deflateBound(&FStream, uLong(plain.size())), '\0');
        FStream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
        FStream.avail_in = uInt(plain.size());
        FStream.next_out = reinterpret_cast<Bytef*>(packed.data());
        FStream.avail_out = uInt(packed.size());
        if (deflate(&FStream, Z_FINISH) != Z_STREAM_END)
            refuse(QStringLiteral("não foi possível compactar um fluxo do PDF"));
        packed.resize(FStream.total_out);
        return packed;
    }

private:
    z_stream FStream{};
};

std::string unparsed(QPDFObjectHandle scalar) {
    return scalar.unparseResolved();
}

std::string nameText(const std::string& name) {
    // Most names need no escapes, and asking qpdf makes an object of each.
    const bool plain =
        name.size() > 1 && name[0] == '/' && std::all_of(name.begin() + 1, name.end(), [](char c) {
            return c > ' ' && c < '\x7f' && !std::strchr("()<>[]{}/%#", c);
        });
    return plain ? name : QPDFObjectHandle::newName(name).unparse();
}

std::string textString(const QString& value) {
    return QPDFObjectHandle::newUnicodeString(value.toStdString()).unparse();
}

} // namespace

// The file is written object by object as the pages come: a piece's objects are serialized
// with numbers of the output, children before the objects that name them, and the piece's
// qpdf document is dropped once its pages are written. What stays from piece to piece is
// the offset of every object (eight bytes each), the page list, and the fingerprints of the
// objects the last piece wrote or found again: a picture, font or mask every card draws is
// found by its fingerprint (its dictionary and its stored bytes, or for a converted picture
// those of its source) and written once.
struct TPdfxWriter::Impl {
    Impl(const QString& path, const TPdfxOptions& options)
        : Options(options), File(path), Streams(std::make_shared<ConvertedStreams>(options.Condition)) {
        if (options.BleedMm < 0 || options.BleedMm > 10)
            refuse(QStringLiteral("sangria fora do intervalo"));
        if (!File.open(QIODevice::WriteOnly))
            refuse(QStringLiteral("não foi possível criar \"%1\": %2").arg(path, File.errorString()));
        Out = "%PDF-1.3\n%\xe2\xe3\xcf\xd3\n";
        Offsets.assign(2, 0); // 0: the free head of the table; 1: the page tree, written last
    }

    // The next object's number and, from here on, its text.
    int Begin() {
        Offsets.push_back(0);
        Begin(int(Offsets.size() - 1));
        return int(Offsets.size() - 1);
    }
    void Begin(int number) {
        Offsets[std::size_t(number)] = Flushed + qint64(Out.size());
        Out += std::to_string(number);
        Out += " 0 obj\n";
    }
    void End() {
        Out += "\nendobj\n";
        if (Out.size() >= kOutputBlock)
            Flush();
    }
    void Flush() {
        if (File.write(Out.data(), qint64(Out.size())) != qint64(Out.size()))
            refuse(QStringLiteral("não foi possível gravar \"%1\": %2")
                       .arg(File.fileName(), File.errorString()));
        Flushed += qint64(Out.size());
        Out.clear();
    }

    // A direct object's text; what it names indirectly is written first.
    std::string Value(QPDFObjectHandle object) {
        if (object.isIndirect())
            return std::to_string(Reference(object)) + " 0 R";
        if (object.isArray()) {
            std::string s = "[";
            for (QPDFObjectHandle item : object.aitems()) {
                s += Value(item);
                s += ' ';
            }
            s += ']';
            return s;
        }
        if (object.isDictionary())
            return "<<" + Entries(object, {}) + " >>";
        return unparsed(object);
    }
    // A dictionary's entries but those named in `skip`.
    std::string Entries(QPDFObjectHandle dict, std::initializer_list<const char*> skip) {
        std::string s;
        for (auto [key, value] : dict.ditems()) {
            if (value.isNull() ||
                std::any_of(skip.begin(), skip.end(), [&](const char* k) { return key == k; }))
                continue;
            s += ' ';
            s += nameText(key);
            s += ' ';
            s += Value(value);
        }
        return s;
    }

    // The output's number for an indirect object of the piece, writing it when it is new.
    int Reference(QPDFObjectHandle object) {
        const QPDFObjGen og = object.getObjGen();
        if (const auto done = Written.find(og); done != Written.end())
            return done->second;
        if (!Pending.insert(og).second)
            refuse(QStringLiteral("o PDF de origem tem objetos que se referem a si mesmos"));
        const int number = object.isStream() ? Stream(object) : Plain(object);
        Pending.erase(og);
        return Written[og] = number;
    }

    // The number of an object written before with this fingerprint, or none.
    std::optional<int> Known(const QByteArray& print) {
        const auto found = Prints.find(print);
        if (found == Prints.end())
            return std::nullopt;
        found->second.piece = Piece;
        return found->second.number;
    }
    void Remember(const QByteArray& print, int number) { Prints[print] = {number, Piece}; }

    int Plain(QPDFObjectHandle object) {
        // Containers are written as their direct copies would be; what they name comes first.
        const std::string text = object.isArray()        ? Value(object.shallowCopy())
                                 : object.isDictionary() ? "<<" + Entries(object, {}) + " >>"
                                                         : unparsed(object);
        const QByteArray print = QCryptographicHash::hash(
            QByteArray::fromRawData(text.data(), qsizetype(text.size())), QCryptographicHash::Sha256);
        if (const auto known = Known(print))
            return *known;
        const int number = Begin();
        Out += text;
        End();
        Remember(print, number);
        return number;
    }

    int Stream(QPDFObjectHandle stream) {
        const ConvertedStreams::Job* job = Streams->Find(stream.getObjGen());
        QPDFObjectHandle dict = stream.getDict();
        std::string data;
        std::string entries;
        if (job && job->kind == ConvertedStreams::Kind::Content) {
            // Made for this page alone: nothing to look for.
            entries = Entries(dict, {"/Length", "/Filter", "/DecodeParms", "/DL"});
            data = Flate(Produced(stream));
            return Write(entries + " /Filter /FlateDecode", data);
        }
        QCryptographicHash print(QCryptographicHash::Sha256);
        if (job) {
            // A picture or mask made from another: the same source makes the same stream.
            entries = Entries(dict, {"/Length", "/Filter", "/DecodeParms", "/DL"});
            QPDFObjectHandle original = job->source; // qpdf's handles are not const
            QPDFObjectHandle source = original.getDict();
            std::string from = job->photo ? "photo" : "graphic";
            for (const char* key : {"/Filter", "/DecodeParms", "/Width", "/Height", "/BitsPerComponent"})
                if (source.hasKey(key) && !source.getKey(key).isIndirect())
                    from += nameText(key) + ' ' + Value(source.getKey(key));
            const std::shared_ptr<Buffer> raw = original.getRawStreamData();
            print.addData(
                QByteArray::fromStdString(std::to_string(int(job->kind)) + entries + '\0' + from + '\0'));
            print.addData(QByteArrayView(raw->getBuffer(), qsizetype(raw->getSize())));
            if (const auto known = Known(print.result()))
                return *known;
            data = Flate(Produced(stream));
            entries += " /Filter /FlateDecode";
        } else {
            // Copied as stored, filters and all.
            entries = Entries(dict, {"/Length", "/DL"});
            data = text(stream.getRawStreamData());
            print.addData(QByteArray::fromStdString(entries + '\0'));
            print.addData(QByteArrayView(data.data(), qsizetype(data.size())));
            if (const auto known = Known(print.result()))
                return *known;
        }
        const int number = Write(entries, data);
        Remember(print.result(), number);
        return number;
    }

    // What a converted stream's job makes of it, uncompressed.
    std::string Produced(QPDFObjectHandle stream) {
        std::string plain;
        Pl_String sink("converted", nullptr, plain);
        Streams->provideStreamData(stream.getObjGen(), &sink);
        return plain;
    }

    int Write(const std::string& entries, const std::string& data) {
        const int number = Begin();
        Out += "<<";
        Out += entries;
        Out += " /Length ";
        Out += std::to_string(data.size());
        Out += " >>\nstream\n";
        if (data.size() >= kOutputBlock)
            Flush();
        Out += data;
        Out += "\nendstream";
        End();
        return number;
    }

    void Page(QPDFObjectHandle page) {
        std::string entries = " /Type /Page /Parent 1 0 R";
        for (auto [key, value] : page.ditems()) {
            if (key == "/Type" || key == "/Parent" || value.isNull())
                continue;
            entries += ' ';
            entries += nameText(key);
            entries += ' ';
            entries += Value(value);
        }
        const int number = Begin();
        Out += "<<" + entries + " >>";
        End();
        Pages.push_back(number);
    }

    bool Append(const QString& inputPath, const TPdfxProgress& progress) {
        // A piece is a few megabytes; read from memory, qpdf's many small reads cost no seeks.
        QFile input(inputPath);
        if (!input.open(QIODevice::ReadOnly))
            refuse(QStringLiteral("não foi possível ler \"%1\": %2").arg(inputPath, input.errorString()));
        const QByteArray bytes = input.readAll();
        if (input.error() != QFileDevice::NoError)
            refuse(QStringLiteral("não foi possível ler \"%1\": %2").arg(inputPath, input.errorString()));
        input.close();
        QPDF pdf;
        pdf.setSuppressWarnings(true);
        pdf.processMemoryFile(QFile::encodeName(inputPath).constData(), bytes.constData(),
                              std::size_t(bytes.size()));
        if (pdf.isEncrypted())
            refuse(QStringLiteral("o PDF de origem está criptografado"));
        Streams->Clear();
        Resources resources(pdf, *Streams, Streams);
        std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(pdf).getAllPages();
        if (pages.empty())
            refuse(QStringLiteral("o PDF de origem não tem páginas"));
        for (std::size_t i = 0; i < pages.size(); ++i) {
            Prepare(pages[i], int(Pages.size()) + 1, resources);
            Page(pages[i].getObjectHandle());
            if (progress && !progress(int((i + 1) * 100 / pages.size())))
                throw Cancelled{};
        }
        // The piece's numbers mean nothing to the next; fingerprints the piece did not use
        // are forgotten, so that the pictures of single cards (their QR codes) do not pile up.
        Streams->Clear();
        Written.clear();
        for (auto it = Prints.begin(); it != Prints.end();)
            it = it->second.piece < Piece ? Prints.erase(it) : std::next(it);
        ++Piece;
        return true;
    }

    // Checks one page of the renderer's PDF and makes it the print shop's: resources in
    // CMYK, the content to be converted as it is written, the page boxes.
    void Prepare(QPDFPageObjectHelper& helper, int shown, Resources& resources) {
        QPDFObjectHandle page = helper.getObjectHandle();
        const double bleed = Options.BleedMm * kPdfPointsPerMm;
        const double margin = Options.Marks ? (kMarkGapMm + kMarkLengthMm) * kPdfPointsPerMm : 0;
        const std::vector<double> media = numbers(page.getKey("/MediaBox"));
        if (media.size() != 4 || std::abs(media[0]) > 1e-3 || std::abs(media[1]) > 1e-3)
            refuse(QStringLiteral("a página %1 do PDF de origem não começa na origem").arg(shown));
        const double w = media[2], h = media[3];
        // A trim box other than the whole page must be the card inside the requested bleed.
        const std::vector<double> trim = numbers(page.getKey("/TrimBox"));
        const bool trimmed =
            trim.size() == 4 && (trim[0] > 1e-3 || trim[1] > 1e-3 || std::abs(trim[2] - w) > 1e-3 ||
                                 std::abs(trim[3] - h) > 1e-3);
        if (trimmed && (std::abs(trim[0] - bleed) > 0.01 || std::abs(trim[1] - bleed) > 0.01 ||
                        std::abs(trim[2] - (w - bleed)) > 0.01 || std::abs(trim[3] - (h - bleed)) > 0.01))
            refuse(QStringLiteral("a página %1 não tem a sangria de %2 mm pedida")
                       .arg(shown)
                       .arg(QLocale(QLocale::Portuguese, QLocale::Brazil).toString(Options.BleedMm)));
        if (w <= 2 * bleed || h <= 2 * bleed)
            refuse(QStringLiteral("a página %1 é menor que a sangria").arg(shown));

        QPDFObjectHandle res = page.getKey("/Resources");
        if (!res.isDictionary())
            refuse(QStringLiteral("a página %1 do PDF de origem não tem recursos").arg(shown));
        res = res.shallowCopy(); // the page's own: its colour spaces change
        page.replaceKey("/Resources", res);
        ConvertedStreams::Job job = ConvertedStreams::Job::Of(ConvertedStreams::Kind::Content, {});
        job.names = resources.Convert(res);

        helper.coalesceContentStreams();
        QPDFObjectHandle contents = page.getKey("/Contents");
        if (contents.isArray())
            contents = contents.getArrayItem(0);
        if (!contents.isStream())
            refuse(QStringLiteral("a página %1 do PDF de origem não tem conteúdo").arg(shown));
        // The content is kept as stored (Qt compresses it: a kilobyte or two a page) and
        // converted as it is written.
        QPDFObjectHandle filter = contents.getDict().getKey("/Filter");
        if (filter.isNameAndEquals("/FlateDecode") && !contents.getDict().hasKey("/DecodeParms")) {
            job.raw = text(contents.getRawStreamData());
            job.flate = true;
        } else {
            job.raw = text(contents.getStreamData(qpdf_dl_generalized));
        }
        if (Options.Marks) {
            // The drawing moves in by the marks' area and is clipped to the bleed: Qt's page
            // is whole points and may reach past the exact page below.
            job.prefix = "q 1 0 0 1 " + number(margin) + " " + number(margin) + " cm 0 0 " + number(w) + " " +
                         number(h) + " re W n\n";
            job.suffix = "\nQ\n" + cropMarks(margin + bleed, margin + bleed, margin + w - bleed,
                                             margin + h - bleed, bleed);
            QPDFObjectHandle spaces = res.getKey("/ColorSpace");
            if (!spaces.isDictionary()) {
                spaces = QPDFObjectHandle::newDictionary();
                res.replaceKey("/ColorSpace", spaces);
            }
            spaces.replaceKey("/LumoAll", registrationColour());
        }
        Streams->Add(contents.getObjGen(), std::move(job));
        page.replaceKey("/Contents", contents);

        const double W = w + 2 * margin, H = h + 2 * margin;
        page.replaceKey("/MediaBox", rect(0, 0, W, H));
        page.replaceKey("/BleedBox", rect(margin, margin, margin + w, margin + h));
        page.replaceKey("/TrimBox",
                        rect(margin + bleed, margin + bleed, margin + w - bleed, margin + h - bleed));
        for (const char* key : {"/CropBox", "/ArtBox", "/UserUnit", "/Annots", "/Group", "/Metadata",
                                "/PieceInfo", "/AA", "/Trans", "/Thumb", "/B", "/Dur", "/SeparationInfo"})
            page.removeKey(key);
    }

    void Finish() {
        if (Pages.empty())
            refuse(QStringLiteral("nenhuma página foi escrita"));
        const QByteArray icc = pressConditionProfile(Options.Condition);
        const int profile = Write(" /N 4 /Filter /FlateDecode",
                                  Flate(std::string_view(icc.constData(), std::size_t(icc.size()))));
        const int intent = Begin();
        const std::string info = textString(conditionInfo(Options.Condition));
        Out += "<< /Type /OutputIntent /S /GTS_PDFX /OutputConditionIdentifier " +
               textString(pressConditionName(Options.Condition)) + " /OutputCondition " + info +
               " /RegistryName " + textString(QStringLiteral("http://www.color.org")) + " /Info " + info +
               " /DestOutputProfile " + std::to_string(profile) + " 0 R >>";
        End();
        const int catalog = Begin();
        Out += "<< /Type /Catalog /Pages 1 0 R /OutputIntents [" + std::to_string(intent) + " 0 R] >>";
        End();
        const int information = Begin();
        const QString now = pdfDate(QDateTime::currentDateTimeUtc());
        Out += "<< /Title " + textString(Options.Title.isEmpty() ? QStringLiteral("Cartão") : Options.Title) +
               " /Creator " + textString(QStringLiteral("Lumo Card")) + " /Producer " +
               textString(QStringLiteral("Lumo Card")) + " /CreationDate " + textString(now) + " /ModDate " +
               textString(now) + " /Trapped /False /GTS_PDFXVersion " +
               textString(QStringLiteral("PDF/X-1:2001")) + " /GTS_PDFXConformance " +
               textString(QStringLiteral("PDF/X-1a:2001")) + " >>";
        End();
        Begin(1);
        Out += "<< /Type /Pages /Count " + std::to_string(Pages.size()) + " /Kids [";
        for (std::size_t i = 0; i < Pages.size(); ++i) {
            Out += i % 8 ? " " : "\n";
            Out += std::to_string(Pages[i]) + " 0 R";
            if (Out.size() >= kOutputBlock)
                Flush();
        }
        Out += "\n] >>";
        End();

        const qint64 table = Flushed + qint64(Out.size());
        Out += "xref\n0 " + std::to_string(Offsets.size()) + "\n0000000000 65535 f \n";
        char entry[32];
        for (std::size_t i = 1; i < Offsets.size(); ++i) {
            std::snprintf(entry, sizeof entry, "%010lld 00000 n \n", static_cast<long long>(Offsets[i]));
            Out += entry;
            if (Out.size() >= kOutputBlock)
                Flush();
        }
        // The file's identifier: what it is and when it was made.
        const QByteArray id =
            QCryptographicHash::hash(
                (File.fileName() + now + QString::number(Pages.size()) + QString::number(table)).toUtf8(),
                QCryptographicHash::Md5)
                .toHex();
        Out += "trailer\n<< /Size " + std::to_string(Offsets.size()) + " /Root " + std::to_string(catalog) +
               " 0 R /Info " + std::to_string(information) + " 0 R /ID [<" + id.toStdString() + "> <" +
               id.toStdString() + ">] >>\nstartxref\n" + std::to_string(table) + "\n%%EOF\n";
        Flush();
        if (!File.commit())
            refuse(QStringLiteral("não foi possível gravar \"%1\": %2")
                       .arg(File.fileName(), File.errorString()));
    }

    TPdfxOptions Options;
    QSaveFile File;
    std::string Out;    // written, not yet handed to the file
    qint64 Flushed = 0; // bytes handed to the file
    std::vector<qint64> Offsets;
    std::vector<int> Pages;
    std::shared_ptr<ConvertedStreams> Streams;
    Deflater Flate;
    // The piece being written: its objects' numbers in the output, those being written.
    std::map<QPDFObjGen, int> Written;
    std::set<QPDFObjGen> Pending;
    struct Print {
        int number;
        int piece; // the last piece that wrote or used it
    };
    std::unordered_map<QByteArray, Print> Prints;
    int Piece = 0;
};

QString pressConditionName(TPressCondition condition) {
    return condition == TPressCondition::Fogra39 ? QStringLiteral("FOGRA39") : QStringLiteral("FOGRA29");
}

std::optional<TPressCondition> pressConditionNamed(const QString& name) {
    for (TPressCondition condition : {TPressCondition::Fogra39, TPressCondition::Fogra29})
        if (name.compare(pressConditionName(condition), Qt::CaseInsensitive) == 0)
            return condition;
    return std::nullopt;
}

QByteArray pressConditionProfile(TPressCondition condition) {
    QFile file(QStringLiteral(":/icc/%1.icc").arg(pressConditionName(condition)));
    if (!file.open(QIODevice::ReadOnly))
        refuse(QStringLiteral("o perfil de cor %1 não está no programa").arg(pressConditionName(condition)));
    return file.readAll();
}

namespace {

[[noreturn]] void failed(const QString& path, const std::exception& error) {
    throw ReportError(QStringLiteral("Não foi possível gerar o PDF para gráfica \"%1\": %2.")
                          .arg(path, QString::fromStdString(error.what()))
                          .toStdString());
}

} // namespace

TPdfxWriter::TPdfxWriter(const QString& outputPath, const TPdfxOptions& options) : FPath(outputPath) {
    try {
        F = std::make_unique<Impl>(outputPath, options);
    } catch (const std::exception& error) {
        failed(FPath, error);
    }
}

TPdfxWriter::~TPdfxWriter() = default;

int TPdfxWriter::PageCount() const {
    return int(F->Pages.size());
}

bool TPdfxWriter::Append(const QString& inputPath, const TPdfxProgress& progress) {
    try {
        return F->Append(inputPath, progress);
    } catch (const Cancelled&) {
        return false;
    } catch (const std::exception& error) {
        failed(FPath, error);
    }
}

void TPdfxWriter::Finish() {
    try {
        F->Finish();
    } catch (const std::exception& error) {
        failed(FPath, error);
    }
}

bool convertToPdfx(const QString& inputPath, const QString& outputPath, const TPdfxOptions& options,
                   const TPdfxProgress& progress) {
    TPdfxWriter writer(outputPath, options);
    if (!writer.Append(inputPath, progress))
        return false;
    writer.Finish();
    return true;
}

} // namespace report
