#pragma once

// Keeps a copy of the card being designed on disk, so a crash or a killed session loses at
// most the last moments of work.

#include "card/cardmodel.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QThreadPool>
#include <QTimer>

#include <chrono>
#include <optional>

namespace lumo {

// Writes the whole card to a recovery document shortly after every change. The window's
// thread only copies the model's state (a constant-time copy of shared data); building the
// document and writing it happen on a worker, one write at a time, each all or nothing.
class RecoveryWriter : public QObject {
    Q_OBJECT
public:
    // A change is on disk at most this long after it was made, plus the time of the write
    // before it and of its own write.
    static constexpr std::chrono::milliseconds kDelay{1000};

    RecoveryWriter(CardModel* model, const QString& path = defaultPath(), QObject* parent = nullptr);
    // Waits for a write under way.
    ~RecoveryWriter() override;

    QString path() const { return FPath; }
    void setDelay(std::chrono::milliseconds delay) { FDelay = delay; }

    // Takes the state now and starts its write; returns at once. While a write is under way
    // the state is taken again when it ends.
    void writeNow();

    // For a quit by a signal: waits for a write under way, then writes a change not yet on
    // disk before returning, so the card survives the process.
    void flush();

    // For a quit the user chose: waits for a write under way, removes the recovery document
    // and writes no more.
    void discard();

    // <writable application data folder>/recuperacao.lumocard
    static QString defaultPath();
    // The card left at `path` by a session that did not end by the user's choice, if any. A
    // recovery document that cannot be read is removed.
    static std::optional<CardState> pendingRecovery(const QString& path = defaultPath());

signals:
    // After each completed write.
    void written();
    // After a write that failed (a full disk, a folder that cannot be written); the next
    // change tries again.
    void writeFailed(const QString& message);

private:
    void modelChanged();
    void schedule();
    void writeEnded(bool ok, const QString& message);

    QPointer<CardModel> FModel;
    const QString FPath;
    std::chrono::milliseconds FDelay = kDelay;
    QTimer FTimer;
    // Since the oldest change not yet on its way to disk.
    QElapsedTimer FSinceChange;
    bool FPending = false, FWriting = false, FDiscarded = false;
    QThreadPool FWorker;
};

} // namespace lumo
