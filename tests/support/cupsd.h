#pragma once

// A CUPS daemon of the test's own: configuration, spool and logs in a temporary folder, its
// clients (this process through libcups, and lpadmin, cupsreject, ...) on a domain socket
// there, nothing on the network. Stopped by its PID when the object goes.

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <cups/cups.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

class TestCupsd {
public:
    // The daemon's program, empty when CUPS is not installed.
    static QString program() {
        return QStandardPaths::findExecutable(QStringLiteral("cupsd"), {"/usr/sbin", "/sbin", "/usr/bin"});
    }

    // Starts the daemon; on failure returns why, with its log.
    QString start() {
        if (!FDir.isValid())
            return QStringLiteral("no temporary folder");
        // Filters and backends run as the daemon's unprivileged user: the folders must be open.
        ::chmod(QFile::encodeName(FDir.path()).constData(), 0755);
        for (const char* sub : {"conf", "spool", "cache", "state", "log"})
            QDir(FDir.path()).mkpath(QString::fromLatin1(sub));
        QDir(FDir.path()).mkpath(QStringLiteral("tmp"));
        ::chmod(QFile::encodeName(path("tmp")).constData(), 01777);
        write(path("conf/cupsd.conf"),
              QStringLiteral("Listen %1\nLogLevel debug\nWebInterface No\nBrowsing No\n"
                             "<Location />\nOrder allow,deny\nAllow all\n</Location>\n")
                  .arg(socket()));
        write(path("conf/cups-files.conf"),
              QStringLiteral("ServerRoot %1\nRequestRoot %2\nCacheDir %3\nStateDir %4\nTempDir %5\n"
                             "ErrorLog %6/error_log\nAccessLog %6/access_log\nPageLog %6/page_log\n")
                  .arg(path("conf"), path("spool"), path("cache"), path("state"), path("tmp"), path("log")));
        FStarted = QDateTime::currentDateTime().addSecs(-1);
        FDaemon.setProcessChannelMode(QProcess::MergedChannels);
        FDaemon.setProcessEnvironment(english());
        FDaemon.start(program(), {"-f", "-c", path("conf/cupsd.conf"), "-s", path("conf/cups-files.conf")});
        if (!FDaemon.waitForStarted())
            return QStringLiteral("cupsd did not start: ") + FDaemon.errorString();
        qputenv("CUPS_SERVER", socket().toUtf8());
        cupsSetServer(socket().toUtf8().constData());
        // Ready once it answers on its socket.
        const QDeadlineTimer deadline(20000);
        while (!run("lpstat", {"-r"}).contains("scheduler is running")) {
            if (deadline.hasExpired() || FDaemon.state() == QProcess::NotRunning)
                return QStringLiteral("cupsd did not answer:\n") + QString::fromLocal8Bit(FDaemon.readAll()) +
                       log();
            QThread::msleep(20);
        }
        return {};
    }

    ~TestCupsd() {
        if (FDaemon.state() != QProcess::NotRunning) {
            FDaemon.terminate(); // SIGTERM to its PID
            if (!FDaemon.waitForFinished(10000))
                FDaemon.kill();
            FDaemon.waitForFinished();
        }
        cupsSetServer(nullptr);
        qunsetenv("CUPS_SERVER");
    }

    // Runs one of CUPS's commands against this daemon; returns what it printed.
    QString run(const QString& command, const QStringList& arguments) const {
        QProcess process;
        QProcessEnvironment environment = english();
        environment.insert(QStringLiteral("CUPS_SERVER"), socket());
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(command, arguments);
        const bool finished = process.waitForFinished(20000);
        lastExitCode = finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        return QString::fromLocal8Bit(process.readAll());
    }

    // A queue on the cups-pdf backend whose driver is Debian's cups-pdf PPD made into an office
    // printer's: no custom paper sizes and an unprintable band of `marginPoints` on every side;
    // with `failingFilter` its filter fails every job. Returns lpadmin's complaint, if any.
    QString addQueue(const QString& name, int marginPoints, bool failingFilter = false) {
        QFile source(QStringLiteral("/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd"));
        if (!source.open(QIODevice::ReadOnly))
            return QStringLiteral("no cups-pdf PPD (printer-driver-cups-pdf): ") + source.fileName();
        QString ppd = QString::fromLatin1(source.readAll());
        ppd.remove(QRegularExpression(
            QStringLiteral("\\*VariablePaperSize.*\\*ParamCustomPageSize HeightOffset[^\n]*\n"),
            QRegularExpression::DotMatchesEverythingOption));
        const QRegularExpression area(
            QStringLiteral("^(\\*ImageableArea [^:]*: )\"0 0 ([0-9.]+) ([0-9.]+)\""),
            QRegularExpression::MultilineOption);
        QString fitted;
        qsizetype from = 0;
        for (const QRegularExpressionMatch& m : area.globalMatch(ppd)) {
            fitted += ppd.mid(from, m.capturedStart() - from);
            fitted += QStringLiteral("%1\"%2 %2 %3 %4\"")
                          .arg(m.captured(1))
                          .arg(marginPoints)
                          .arg(m.captured(2).toDouble() - marginPoints)
                          .arg(m.captured(3).toDouble() - marginPoints);
            from = m.capturedEnd();
        }
        fitted += ppd.mid(from);
        fitted.replace(QStringLiteral("*HWMargins: 0 0 0 0"),
                       QStringLiteral("*HWMargins: %1 %1 %1 %1").arg(marginPoints));
        if (failingFilter)
            fitted.replace(
                QStringLiteral("*LanguageLevel:"),
                QStringLiteral("*cupsFilter: \"application/vnd.cups-pdf 0 /bin/false\"\n*LanguageLevel:"));
        const QString file = path(name + QStringLiteral(".ppd"));
        write(file, fitted);
        const QString said = run("lpadmin", {"-p", name, "-E", "-v", "cups-pdf:/", "-P", file});
        return lastExitCode == 0 ? QString() : said;
    }

    // The exit code of the last command run, -1 when it did not end.
    mutable int lastExitCode = 0;

    QString socket() const { return path("cups.sock"); }

    // The file cups-pdf wrote for job `id` of this daemon, in the PDF folder of the user's
    // home, empty when there is none. Its name is made of the job's title and "-job_" and the
    // id; a daemon of an earlier run numbered its jobs from 1 as well, hence the time.
    QString pdfOutput(int id) const {
        const passwd* user = getpwuid(getuid());
        const QDir folder(QFile::decodeName(user ? user->pw_dir : "") + QStringLiteral("/PDF"));
        for (const QFileInfo& file :
             folder.entryInfoList({QStringLiteral("*-job_%1.pdf").arg(id)}, QDir::Files))
            if (file.lastModified() >= FStarted)
                return file.filePath();
        return {};
    }
    QString log() const {
        QFile file(path("log/error_log"));
        return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll().right(4000))
                                              : QString();
    }

private:
    QString path(const QString& name) const { return FDir.filePath(name); }
    // The daemon's messages ("Filter failed") and the commands' ("scheduler is running") in
    // English whatever the machine's language.
    static QProcessEnvironment english() {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LANG"), QStringLiteral("C"));
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
        return environment;
    }
    static void write(const QString& name, const QString& text) {
        QFile file(name);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(text.toUtf8());
    }

    // No spaces in the path: the daemon's configuration files take paths unquoted.
    QTemporaryDir FDir{QDir::tempPath() + QStringLiteral("/lumocard-cupsd-XXXXXX")};
    QProcess FDaemon;
    QDateTime FStarted;
};
