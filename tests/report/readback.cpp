#include "tests/report/readback.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace reporttest {

static std::string filterOf(QPDFObjectHandle dict) {
    QPDFObjectHandle filter = dict.getKey("/Filter");
    if (filter.isArray() && filter.getArrayNItems() > 0)
        filter = filter.getArrayItem(0);
    return filter.isName() ? filter.getName() : std::string();
}

static bool isTransparencyGroup(QPDFObjectHandle dict) {
    QPDFObjectHandle group = dict.getKey("/Group");
    return group.isDictionary() && group.getKey("/S").isName() &&
           group.getKey("/S").getName() == "/Transparency";
}

static bool usesTransparency(QPDFObjectHandle page) {
    if (isTransparencyGroup(page))
        return true;
    QPDFObjectHandle resources = page.getKey("/Resources");
    QPDFObjectHandle states = resources.getKey("/ExtGState");
    for (const std::string& key : states.isDictionary() ? states.getKeys() : std::set<std::string>()) {
        QPDFObjectHandle state = states.getKey(key);
        QPDFObjectHandle mask = state.getKey("/SMask");
        if (!mask.isNull() && !(mask.isName() && mask.getName() == "/None"))
            return true;
        for (const char* alpha : {"/ca", "/CA"})
            if (state.getKey(alpha).isNumber() && state.getKey(alpha).getNumericValue() < 1)
                return true;
    }
    QPDFObjectHandle objects = resources.getKey("/XObject");
    for (const std::string& key : objects.isDictionary() ? objects.getKeys() : std::set<std::string>()) {
        QPDFObjectHandle dict = objects.getKey(key).getDict();
        if (dict.hasKey("/SMask") || isTransparencyGroup(dict))
            return true;
    }
    return false;
}

PdfFacts inspectPdf(const QByteArray& data) {
    QPDF pdf;
    pdf.processMemoryFile("test", data.constData(), std::size_t(data.size()));
    PdfFacts facts;
    facts.version = pdf.getPDFVersion();
    facts.encrypted = pdf.isEncrypted();
    QPDFObjectHandle info = pdf.getTrailer().getKey("/Info");
    for (const std::string& key : info.getKeys())
        facts.info[key] = info.getKey(key).getUTF8Value();
    for (QPDFObjectHandle object : pdf.getAllObjects())
        facts.embeddedFonts +=
            object.isDictionary() && (object.hasKey("/FontFile2") || object.hasKey("/FontFile3"));
    for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(pdf).getAllPages()) {
        PdfPage p;
        for (QPDFObjectHandle& number : page.getObjectHandle().getKey("/MediaBox").getArrayAsVector())
            p.mediaBox.push_back(number.getNumericValue());
        for (QPDFObjectHandle& contents : page.getPageContents())
            p.contentFilters.push_back(filterOf(contents.getDict()));
        for (auto& [name, image] : page.getImages()) {
            QPDFObjectHandle dict = image.getDict();
            p.images.push_back({int(dict.getKey("/Width").getIntValue()),
                                int(dict.getKey("/Height").getIntValue()),
                                int(dict.getKey("/BitsPerComponent").getIntValue()), filterOf(dict),
                                dict.hasKey("/SMask") || dict.hasKey("/Mask")});
        }
        p.transparency = usesTransparency(page.getObjectHandle());
        facts.pages.push_back(p);
    }
    return facts;
}

JpegFacts inspectJpeg(const QByteArray& data) {
    JpegFacts facts;
    auto byte = [&](qsizetype i) { return i < data.size() ? int(uchar(data[i])) : 0; };
    auto word = [&](qsizetype i) { return byte(i) * 256 + byte(i + 1); };
    for (qsizetype pos = 2; pos + 4 <= data.size() && byte(pos) == 0xff; pos += 2 + word(pos + 2)) {
        const int marker = byte(pos + 1);
        const qsizetype body = pos + 4, end = pos + 2 + word(pos + 2);
        if (marker == 0xda) // start of scan: the headers are over
            break;
        if (marker == 0xe0 && data.mid(body, 5) == QByteArray("JFIF", 5)) {
            facts.densityUnit = byte(body + 7);
            facts.xDensity = word(body + 8);
            facts.yDensity = word(body + 10);
        } else if (marker == 0xdb) {
            for (qsizetype q = body; q < end;) {
                const bool wide = byte(q++) >> 4;
                for (int i = 0; i < 64; ++i, q += wide ? 2 : 1)
                    facts.quantization.push_back(wide ? word(q) : byte(q));
            }
        } else if (marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc) {
            facts.baseline = marker == 0xc0;
            facts.height = word(body + 1);
            facts.width = word(body + 3);
            facts.components = byte(body + 5);
        }
    }
    return facts;
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QImage rasterizePdf(const QString& pdfPath, int dpi, int page) {
    if (QStandardPaths::findExecutable("pdftoppm").isEmpty())
        return {};
    QTemporaryDir dir;
    QProcess process;
    process.start("pdftoppm", {"-r", QString::number(dpi), "-f", QString::number(page), "-l",
                               QString::number(page), "-png", "-singlefile", pdfPath, dir.filePath("page")});
    process.waitForFinished(60000);
    return QImage(dir.filePath("page.png")).convertToFormat(QImage::Format_RGB32);
}

} // namespace reporttest
