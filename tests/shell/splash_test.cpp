#include "app/about.h"
#include "app/mainwindow.h"
#include "app/splash.h"
#include "fakeplatform.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <vector>

#include <csignal>

namespace {

QPoint centredOnScreen(QSize outer) {
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    return {(screen.width() - outer.width()) / 2, (screen.height() - outer.height()) / 2};
}

TEST(SplashPicture, PureBlackBecomesSeeThroughAndNothingElseDoes) {
    struct Case {
        QRgb in, out;
    };
    const std::vector<Case> cases = {
        {qRgba(0, 0, 0, 255), qRgba(0, 0, 0, 0)},           // the see-through colour
        {qRgba(0, 0, 0, 120), qRgba(0, 0, 0, 0)},           // half-covered black
        {qRgba(1, 0, 0, 255), qRgba(1, 0, 0, 255)},         // almost black stays
        {qRgba(0, 0, 1, 255), qRgba(0, 0, 1, 255)},         //
        {qRgba(6, 20, 66, 255), qRgba(6, 20, 66, 255)},     // the card's deep blue
        {qRgba(255, 255, 255, 0), qRgba(255, 255, 255, 0)}, // already transparent
    };
    QImage picture(int(cases.size()), 1, QImage::Format_ARGB32);
    for (int x = 0; x < picture.width(); ++x)
        picture.setPixel(x, 0, cases[x].in);
    const QImage keyed = lumo::withBlackSeeThrough(picture);
    for (int x = 0; x < keyed.width(); ++x)
        EXPECT_EQ(keyed.pixel(x, 0), cases[x].out) << "case " << x;
}

class Splash : public ::testing::Test {
protected:
    void SetUp() override { contador = 0; }
    void TearDown() override { contador = 0; }
};

TEST_F(Splash, BarGrowsFiveTimesAndTheSixthTickCloses) {
    TForm2 form(nullptr, TForm2::Creation::Hidden);
    EXPECT_TRUE(form.Timer1->isActive());
    EXPECT_EQ(form.Timer1->interval(), 1000);
    EXPECT_EQ(form.Panel1->geometry(), QRect(0, 360, 0, 5));
    form.show();

    for (int width : {128, 256, 384, 512, 640}) {
        form.Timer1Timer();
        EXPECT_EQ(form.Panel1->width(), width);
        EXPECT_TRUE(form.isVisible()) << "closed early at width " << width;
        EXPECT_TRUE(form.Timer1->isActive());
    }
    EXPECT_EQ(contador, 5);

    form.Timer1Timer();
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.Timer1->isActive());
    EXPECT_EQ(form.Panel1->width(), 640);
    EXPECT_EQ(contador, 5);
}

TEST_F(Splash, CountIsSharedByTheProcess) {
    // The count belongs to the process, not to a window: a second splash made after the
    // first has run closes on its first tick.
    contador = 5;
    TForm2 form(nullptr, TForm2::Creation::Hidden);
    form.show();
    form.Timer1Timer();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.Panel1->width(), 0);
}

TEST_F(Splash, CornersAreSeeThroughAndThePictureIsOpaque) {
    TForm2 form(nullptr, TForm2::Creation::Hidden);
    form.show();
    form.Timer1Timer(); // a bar of 128 pixels
    const QImage shot = form.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(shot.size(), QSize(640, 414));

    struct Probe {
        QPoint at;
        bool opaque;
        const char* what;
    };
    const std::vector<Probe> probes = {
        {{0, 0}, false, "top left corner"},
        {{639, 0}, false, "top right corner"},
        {{0, 404}, false, "bottom left corner"},
        {{320, 410}, false, "below the picture, which is 405 high at this size"},
        {{320, 200}, true, "middle of the picture"},
        {{60, 362}, true, "progress bar"},
        {{200, 362}, true, "picture beside the bar"},
    };
    for (const Probe& p : probes)
        EXPECT_EQ(qAlpha(shot.pixel(p.at)) == 255, p.opaque)
            << p.what << ", alpha " << qAlpha(shot.pixel(p.at));
    EXPECT_EQ(QColor(shot.pixel(60, 362)), form.palette().color(QPalette::Highlight));
    // The picture keeps its aspect ratio from the top left corner: 1536 × 972 becomes 640 × 405.
    EXPECT_EQ(form.Image1->pixmap().size(), QSize(640, 405));
}

TEST_F(Splash, VersionLabelIsWhiteAndCentredOnItsPlace) {
    TForm2 form(nullptr, TForm2::Creation::Hidden);
    EXPECT_EQ(form.Label1->text(), QStringLiteral("Versão 1.0"));
    EXPECT_EQ(form.Label1->geometry().center(), QRect(450, 310, 154, 45).center());
    EXPECT_EQ(form.Label1->height(), 45);
    EXPECT_GE(form.Label1->width(), form.Label1->fontMetrics().horizontalAdvance(form.Label1->text()));
    EXPECT_EQ(form.Label1->palette().color(QPalette::WindowText), QColor(Qt::white));
    EXPECT_TRUE(form.Label1->font().bold());
    EXPECT_EQ(form.Label1->font().pixelSize(), 32);
}

// Start-up steps 2 to 5 as the program runs them, with the splash's ticks given by hand from
// inside its modal run: its creation must hold up the start-up until it has closed.
TEST_F(Splash, MainWindowAppearsOnlyAfterTheSplashHasClosed) {
    FakePlatform fake;
    TForm1 Form1;
    TFormInfo FormInfo;

    bool ranInside = false;
    std::vector<bool> mainVisibleDuringTicks;
    QPoint splashPos;
    bool splashVisible = false;
    QTimer::singleShot(0, [&] {
        auto* splash = qobject_cast<TForm2*>(QApplication::activeModalWidget());
        ASSERT_NE(splash, nullptr);
        ranInside = true;
        splashVisible = splash->isVisible();
        splashPos = splash->frameGeometry().topLeft();
        for (int tick = 0; tick < 6; ++tick) {
            mainVisibleDuringTicks.push_back(Form1.isVisible());
            splash->Timer1Timer();
        }
    });
    TForm2 Form2;

    ASSERT_TRUE(ranInside);
    EXPECT_TRUE(splashVisible);
    EXPECT_EQ(splashPos, centredOnScreen({640, 414}));
    EXPECT_EQ(mainVisibleDuringTicks, std::vector<bool>(6, false));
    EXPECT_FALSE(Form2.isVisible());
    EXPECT_FALSE(FormInfo.isVisible());

    Form1.showMaximized();
    EXPECT_TRUE(Form1.isVisible());
}

// The real program, ended by a logout's SIGTERM while its splash is up: it leaves through its
// event loop with status 0, and nothing of it stays behind in the temporary folder.
TEST(Program, EndsCleanlyOnSigterm) {
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    for (const char* name : {"HOME", "TEMP", "TMPDIR"})
        env.insert(name, home.path());
    env.insert("XDG_CACHE_HOME", home.filePath("cache"));
    env.insert("XDG_RUNTIME_DIR", home.path());
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(LUMO_PROGRAM, {});
    ASSERT_TRUE(program.waitForStarted());
    // The dialogs' settings folder is made right after the signals are caught.
    const QString settings = home.filePath("cache/Lumo Card/qt-dialogs");
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo(settings).isDir(); }, 30000));
    ::kill(pid_t(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(30000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
    EXPECT_EQ(QDir(home.path()).entryList({"Lumo Card-*"}, QDir::AllEntries | QDir::Hidden), QStringList());
}

// Help, version and a wrong command line answer in Portuguese without a display or a window.
TEST(Program, CommandLineAnswersWithoutADisplay) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    const struct {
        QStringList arguments;
        int status;
        const char* out;
        const char* err;
    } cases[] = {
        {{"--help"}, 0, "Uso: lumocard", ""},
        {{"--version"}, 0, "Lumo Card 1.", ""},
        {{"--cor"}, 2, "", "Opção desconhecida: --cor"},
        {{"--batch", "c.vcf"}, 2, "", "Falta --output"},
    };
    for (const auto& c : cases) {
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(LUMO_PROGRAM, c.arguments);
        ASSERT_TRUE(program.waitForFinished(30000));
        const QString out = QString::fromLocal8Bit(program.readAllStandardOutput());
        const QString err = QString::fromLocal8Bit(program.readAllStandardError());
        EXPECT_EQ(program.exitCode(), c.status) << c.arguments.join(' ').toStdString();
        EXPECT_TRUE(out.contains(QString::fromUtf8(c.out))) << out.toStdString();
        EXPECT_TRUE(err.contains(QString::fromUtf8(c.err))) << err.toStdString();
    }
}

} // namespace
