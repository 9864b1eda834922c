#include "card/recovery.h"

#include "card/document.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace lumo {

RecoveryWriter::RecoveryWriter(CardModel* model, const QString& path, QObject* parent)
    : QObject(parent), FModel(model), FPath(path) {
    FWorker.setMaxThreadCount(1);
    FTimer.setSingleShot(true);
    connect(&FTimer, &QTimer::timeout, this, &RecoveryWriter::writeNow);
    connect(model, &CardModel::changed, this, &RecoveryWriter::modelChanged);
    QDir().mkpath(QFileInfo(FPath).absolutePath());
}

RecoveryWriter::~RecoveryWriter() {
    FWorker.waitForDone();
}

void RecoveryWriter::modelChanged() {
    if (FDiscarded)
        return;
    if (!FPending) {
        FPending = true;
        FSinceChange.start();
    }
    if (!FWriting)
        schedule();
}

// Not restarted by later changes: steady typing still reaches the disk within the delay.
void RecoveryWriter::schedule() {
    if (FTimer.isActive())
        return;
    const auto waited = std::chrono::milliseconds(FSinceChange.elapsed());
    FTimer.start(std::max(FDelay - waited, std::chrono::milliseconds(0)));
}

void RecoveryWriter::writeNow() {
    if (FDiscarded || !FModel)
        return;
    if (FWriting) {
        if (!FPending) {
            FPending = true;
            FSinceChange.start();
        }
        return;
    }
    FTimer.stop();
    FPending = false;
    FWriting = true;
    FWorker.start([this, state = FModel->State(), path = FPath] {
        bool ok = true;
        QString message;
        try {
            QDir().mkpath(QFileInfo(path).absolutePath());
            saveCardDocument(path, state);
        } catch (const std::exception& e) {
            ok = false;
            message = QString::fromUtf8(e.what());
        }
        // Delivered on the window's thread; dropped if the writer is gone by then.
        QMetaObject::invokeMethod(
            this, [this, ok, message] { writeEnded(ok, message); }, Qt::QueuedConnection);
    });
}

void RecoveryWriter::writeEnded(bool ok, const QString& message) {
    FWriting = false;
    if (FDiscarded)
        return;
    if (ok)
        emit written();
    else
        emit writeFailed(message);
    if (FPending)
        schedule();
}

void RecoveryWriter::flush() {
    FWorker.waitForDone();
    if (FDiscarded || !FModel || !FPending)
        return;
    FTimer.stop();
    FPending = false;
    try {
        QDir().mkpath(QFileInfo(FPath).absolutePath());
        saveCardDocument(FPath, FModel->State());
    } catch (const std::exception&) {
        // Nothing more can be done for the card while the process ends.
    }
}

void RecoveryWriter::discard() {
    FDiscarded = true;
    FTimer.stop();
    if (FModel)
        disconnect(FModel, nullptr, this, nullptr);
    FWorker.waitForDone();
    QFile::remove(FPath);
}

QString RecoveryWriter::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/recuperacao.lumocard");
}

std::optional<CardState> RecoveryWriter::pendingRecovery(const QString& path) {
    if (!QFileInfo::exists(path))
        return std::nullopt;
    try {
        return openCardDocument(path);
    } catch (const std::exception&) {
        // Writes are all or nothing, so a recovery document that does not open now never
        // will: asking about it again at every start would help no one.
        QFile::remove(path);
        return std::nullopt;
    }
}

} // namespace lumo
