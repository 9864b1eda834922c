#pragma once

// A pcscd of the tests' own with vsmartcard's virtual reader driver: its own reader
// configuration, its own socket (in a private mount namespace, /run is a temporary folder, so
// a pcscd already running is neither seen nor disturbed), started once per test process and
// stopped by its PID at exit. PCSCLITE_CSOCK_NAME points this process's PC/SC calls at it.

#include <QString>

class TestPcscd {
public:
    // The running daemon, started on first use; nullptr when pcscd or the vpcd driver is not
    // installed, with the reason in `whyNot`. Starting it waits at most 10 s.
    static TestPcscd* get(QString* whyNot);
    // Whether this process has tried to start one (its socket then stays this process's).
    static bool started();

    // The port of the first virtual reader's field, and its name.
    int port() const { return FPort; }
    QString reader() const { return QStringLiteral("Virtual PCD 00 00"); }
    // The daemon's output so far, for a failure's message.
    QString log() const;

    ~TestPcscd();

private:
    TestPcscd() = default;
    bool start(QString* whyNot);

    int FPid = -1;
    int FPort = 0;
    int FOutput = -1;
    QString FDir;
};
