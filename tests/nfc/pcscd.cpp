#include "pcscd.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

namespace {

const char* kPcscd = "/usr/sbin/pcscd";
const char* kVpcd = "/usr/lib/pcsc/drivers/serial/libifdvpcd.so";

bool portFree(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(port));
    const bool free = ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(s);
    return free;
}

// The driver's two readers listen on a port and the next: 35963 as configured by Debian when
// both are free, else another pair.
int choosePort() {
    for (int port = 35963; port < 36963; port += 2)
        if (portFree(port) && portFree(port + 1))
            return port;
    return 0;
}

std::mutex logMutex;
QByteArray output;

} // namespace

namespace {
bool tried = false;
}

bool TestPcscd::started() {
    return tried;
}

TestPcscd* TestPcscd::get(QString* whyNot) {
    static std::unique_ptr<TestPcscd> daemon;
    static QString reason;
    if (!tried) {
        tried = true;
        std::unique_ptr<TestPcscd> d(new TestPcscd);
        if (d->start(&reason))
            daemon = std::move(d);
    }
    if (whyNot)
        *whyNot = reason;
    return daemon.get();
}

bool TestPcscd::start(QString* whyNot) {
    if (!QFileInfo::exists(QString::fromLatin1(kPcscd)) || !QFileInfo::exists(QString::fromLatin1(kVpcd))) {
        *whyNot = QStringLiteral("pcscd or vsmartcard-vpcd is not installed");
        return false;
    }
    FPort = choosePort();
    FDir = QDir::tempPath() + QStringLiteral("/lumo-pcscd-%1").arg(::getpid());
    QDir(FDir).removeRecursively();
    QDir().mkpath(FDir + QStringLiteral("/run/pcscd"));
    // pcscd says it is ready a moment before its socket is there: watched for below.
    const int watch = ::inotify_init1(IN_CLOEXEC);
    ::inotify_add_watch(watch, (FDir + QStringLiteral("/run/pcscd")).toLocal8Bit().constData(), IN_CREATE);
    const QString config = FDir + QStringLiteral("/reader.conf");
    QFile conf(config);
    conf.open(QIODevice::WriteOnly);
    conf.write(QStringLiteral("FRIENDLYNAME \"Virtual PCD\"\nDEVICENAME /dev/null:0x%1\nLIBPATH %2\n"
                              "CHANNELID 0x%1\n")
                   .arg(FPort, 0, 16)
                   .arg(QString::fromLatin1(kVpcd))
                   .toUtf8());
    conf.close();
    // libpcsclite reads this once, at its first call.
    qputenv("PCSCLITE_CSOCK_NAME", (FDir + QStringLiteral("/run/pcscd/pcscd.comm")).toLocal8Bit());

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        *whyNot = QStringLiteral("no pipe");
        return false;
    }
    const QByteArray run = (FDir + QStringLiteral("/run")).toLocal8Bit();
    const QByteArray conf8 = config.toLocal8Bit();
    const bool root = ::geteuid() == 0;
    FPid = ::fork();
    if (FPid == 0) {
        // The daemon ends with the test, even one that crashes.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        ::dup2(pipeFds[1], 1);
        ::dup2(pipeFds[1], 2);
        // unshare execs sh, which execs pcscd: the PID stays pcscd's.
        const char* script = "mount --bind \"$0\" /run && exec /usr/sbin/pcscd -f -i -c \"$1\"";
        if (root)
            ::execl("/usr/bin/unshare", "unshare", "-m", "--propagation", "private", "sh", "-c", script,
                    run.constData(), conf8.constData(), nullptr);
        else
            ::execl("/usr/bin/unshare", "unshare", "-r", "-m", "--propagation", "private", "sh", "-c", script,
                    run.constData(), conf8.constData(), nullptr);
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    FOutput = pipeFds[0];

    // Its output until it says it is ready, at most 10 s; then a thread keeps reading, so the
    // daemon never blocks on a full pipe.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    bool ready = false;
    while (!ready) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{FOutput, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, int(left.count())) <= 0)
            break;
        char buffer[4096];
        const ssize_t n = ::read(FOutput, buffer, sizeof buffer);
        if (n <= 0)
            break;
        std::lock_guard lock(logMutex);
        output.append(buffer, n);
        ready = output.contains("daemon ready");
    }
    const QString socket = FDir + QStringLiteral("/run/pcscd/pcscd.comm");
    while (ready && !QFileInfo::exists(socket)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{watch, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, int(left.count())) <= 0)
            ready = false;
        char events[4096];
        (void)!::read(watch, events, sizeof events);
    }
    ::close(watch);
    if (!ready) {
        *whyNot = QStringLiteral("pcscd did not start: ") + QString::fromLocal8Bit(output);
        return false;
    }
    std::thread([fd = FOutput] {
        char buffer[4096];
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) {
            std::lock_guard lock(logMutex);
            output.append(buffer, n);
        }
    }).detach();
    return true;
}

QString TestPcscd::log() const {
    std::lock_guard lock(logMutex);
    return QString::fromLocal8Bit(output.right(8000));
}

TestPcscd::~TestPcscd() {
    if (FPid > 0) {
        ::kill(FPid, SIGTERM);
        // At most 5 s for it to end, then SIGKILL.
        const int process = int(::syscall(SYS_pidfd_open, FPid, 0));
        pollfd p{process, POLLIN, 0};
        if (process < 0 || ::poll(&p, 1, 5000) <= 0)
            ::kill(FPid, SIGKILL);
        if (process >= 0)
            ::close(process);
        int status = 0;
        ::waitpid(FPid, &status, 0);
    }
    if (!FDir.isEmpty())
        QDir(FDir).removeRecursively();
}
