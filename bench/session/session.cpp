// A whole session of the program without a screen, for measuring its peak memory: the windows
// of start-up, a Generate of a version-40 vCard, a 6000 × 4000 front background loaded from a
// JPEG, and the PDF and JPEG exports of both sides, each through its button. The dialogs are
// answered by a small stand-in for the platform layer.
//
//   bench_session --make-background fundo.jpg    writes the 6000 × 4000 JPEG (run it first,
//                                                so its memory is not counted)
//   /usr/bin/time -v bench_session fundo.jpg     the session; writes into a temporary folder

#include "app/about.h"
#include "app/mainwindow.h"
#include "app/splash.h"
#include "platform/platform.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>

#include <cstdio>
#include <deque>

namespace {

// Answers the open and save dialogs from queues; every other service does nothing. An error
// box ends the session as a failure.
class SessionPlatform : public lumo::Platform {
public:
    std::deque<QString> openAnswers, saveAnswers;
    QStringList errors;
    int beeps = 0;

    std::optional<QString> saveFileName(QWidget*, const lumo::SaveFileRequest&) override {
        return take(saveAnswers);
    }
    std::optional<QString> openFileName(QWidget*, const lumo::OpenFileRequest&) override {
        return take(openAnswers);
    }
    std::optional<QColor> color(QWidget*, const lumo::ColorRequest&) override { return std::nullopt; }
    bool printDialog(QWidget*, QPrinter&) override { return false; }
    void message(QWidget*, const QString&) override {}
    int question(QWidget*, const QString&, const QStringList&, int) override { return -1; }
    void error(QWidget*, const QString& text) override { errors << text; }
    void beep() override { ++beeps; }
    void setClipboardText(const QString&) override {}
    void openUrl(const QUrl&) override {}

private:
    static std::optional<QString> take(std::deque<QString>& queue) {
        if (queue.empty())
            return std::nullopt;
        QString answer = queue.front();
        queue.pop_front();
        return answer;
    }
};

// A photograph-like picture: smooth colour gradients with some detail, so the JPEG has the
// size of a real photograph's.
bool makeBackground(const QString& path) {
    QImage picture(6000, 4000, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x)
            line[x] = qRgb((x / 24 + y / 40) & 0xFF, (y * 255 / 4000) ^ (x & 7),
                           (x * 255 / 6000 + (y & 15)) & 0xFF);
    }
    return picture.save(path, "JPEG", 90);
}

int fail(const char* what, const QStringList& errors = {}) {
    std::fprintf(stderr, "session: %s %s\n", what, qPrintable(errors.join(u'\n')));
    return 1;
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 3 && QByteArrayView(argv[1]) == "--make-background") {
        QGuiApplication app(argc, argv);
        return makeBackground(QString::fromLocal8Bit(argv[2])) ? 0 : fail("cannot write the background");
    }
    if (argc != 2)
        return fail("usage: bench_session [--make-background] picture.jpg");
    const QString background = QString::fromLocal8Bit(argv[1]);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumo Card"));
    SessionPlatform platform;
    lumo::Platform* previous = lumo::setPlatform(&platform);
    QTemporaryDir out;

    // Start-up: the main window, the about box, the splash (built, not waited for).
    TForm1 form;
    TFormInfo about;
    TForm2 splash(nullptr, TForm2::Creation::Hidden);
    form.showMaximized();
    QApplication::processEvents();

    // A vCard of about 2930 UTF-8 bytes: a version-40 symbol (version 39 holds 2809).
    form.edtnome->setText(QStringLiteral("João"));
    form.edtsobrenome->setText(QStringLiteral("Conceição"));
    form.edtsufixo->setText(QString(2700, u'a'));
    form.edtcelular->setText(QStringLiteral("(11) 98765-4321"));
    form.edtemail->setText(QStringLiteral("joao@estudio.com.br"));
    form.edtrua->setText(QStringLiteral("Rua das Acácias"));
    form.edtnumero->setText(QStringLiteral("120"));
    form.edtcidade->setText(QStringLiteral("São Paulo"));
    form.gerarvcard->click();
    if (!vcardgerado)
        return fail("Generate failed", platform.errors);

    platform.openAnswers.push_back(background);
    form.SpeedButton8->click();
    form.CheckBox2->setChecked(true);
    QApplication::processEvents();

    const QString pdf = out.filePath(QStringLiteral("cartao.pdf"));
    platform.saveAnswers.push_back(pdf);
    form.SpeedButton5->click();
    platform.saveAnswers.push_back(out.filePath(QStringLiteral("cartao.jpg")));
    form.SpeedButton4->click();
    QApplication::processEvents();

    lumo::setPlatform(previous);
    if (!platform.errors.isEmpty())
        return fail("error box:", platform.errors);
    for (const char* name : {"cartao.pdf", "cartao.1.jpg", "cartao.2.jpg"})
        if (!QFileInfo(out.filePath(QLatin1String(name))).isFile())
            return fail("not written:", {QLatin1String(name)});
    std::printf("session: vCard of %lld UTF-8 bytes; PDF %lld bytes; JPEGs %lld and %lld bytes; %d beeps\n",
                qlonglong(form.MemoText().toUtf8().size()), qlonglong(QFileInfo(pdf).size()),
                qlonglong(QFileInfo(out.filePath("cartao.1.jpg")).size()),
                qlonglong(QFileInfo(out.filePath("cartao.2.jpg")).size()), platform.beeps);
    return 0;
}
