#pragma once

// Keeps a copy of the card being designed on disk, so a crash or a killed session loses at
// most the last moments of work. Each window keeps its own copy, a folder under the
// recovery root with a lock beside it held while the window runs; a copy whose lock is free
// belongs to a window that ended without the user's choice and is offered at the next start.

#include "card/cardmodel.h"
#include "card/document.h"

#include <QLockFile>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace lumo {

// A copy left by a window that is no longer running.
struct PendingRecovery {
    // Its folder, or the single file an older version of the program wrote.
    QString path;
    CardState card;
    // The document the card was opened from or saved to; empty for a card never saved.
    QString documentPath;
    // Held while the copy is offered, so no other start offers it too.
    std::shared_ptr<QLockFile> lock;
};

struct RecoveryScan {
    // The newest first.
    std::vector<PendingRecovery> cards;
    // One message for each copy that could not be opened: it was kept under another name.
    QStringList problems;
};

// The copies under `root` (and the older version's file at `legacyPath`) whose window is
// gone. A copy that cannot be opened is never removed: it is renamed beside itself, out of
// the way of later starts, and named in `problems`.
RecoveryScan findPendingRecoveries(const QString& root, const QString& legacyPath = {});
// Removes a copy offered and declined.
void removeRecovery(const PendingRecovery& recovery);

// Writes the card to this window's copy shortly after every change. The window's thread
// only copies the model's state (shared data; the contact list only when it changed); the
// write happens on a worker, one at a time, each file all or nothing, and rewrites a picture
// or the contact list only when it changed.
class RecoveryWriter : public QObject {
    Q_OBJECT
public:
    // A change is on disk at most this long after it was made, plus the time of the write
    // before it and of its own write; later changes do not postpone it.
    static constexpr std::chrono::milliseconds kDelay{1000};

    // Claims a copy of its own under `root`, locked while the writer lives.
    explicit RecoveryWriter(CardModel* model, const QString& root = defaultRoot(), QObject* parent = nullptr);
    // Waits for a write under way; the copy stays for the next start.
    ~RecoveryWriter() override;

    // This window's copy: a folder, made at the first write.
    QString folder() const { return FFolder; }
    void setDelay(std::chrono::milliseconds delay) { FDelay = delay; }
    // The clock the delay is measured on, in milliseconds; a steady clock unless set.
    void setClock(std::function<qint64()> clock) { FClock = std::move(clock); }
    // The document the card belongs to, kept with every write so a restored card keeps it.
    void setDocumentPath(const QString& path) { FDocumentPath = path; }

    // The card is what its document holds, or a new one: the copy is removed, and the next
    // change writes it again.
    void markClean();
    // The card came from `previous`: it is removed once this copy's next write succeeded.
    void takeOver(const PendingRecovery& previous);

    // Takes the state now and starts its write; returns at once. While a write is under way
    // the state is taken again when it ends.
    void writeNow();

    // For a quit by a signal: waits for a write under way, then writes a change not yet on
    // disk before returning, so the card survives the process.
    void flush();

    // For a quit the user chose: waits for a write under way, removes the copy (and one
    // taken over) and writes no more.
    void discard();

    // <writable application data folder>/recuperacao
    static QString defaultRoot();
    // The single recovery file of earlier versions: <application data folder>/recuperacao.lumocard
    static QString legacyPath();

signals:
    // When a write is handed to the worker.
    void writeStarted();
    // After each completed write.
    void written();
    // After the first of a run of failed writes (a full disk, a folder that cannot be
    // written); the next change tries again.
    void writeFailed(const QString& message);

private:
    void modelChanged();
    void schedule();
    void writeEnded(bool ok, const QString& message, const std::optional<PendingRecovery>& retire);
    // Writes the state on the calling thread; the worker or flush().
    void writeState(const CardState& values,
                    const std::shared_ptr<const std::vector<ContactFields>>& contacts,
                    const QJsonObject& extra, std::optional<PendingRecovery>& retire);
    // The model's contact list, copied again only when it changed.
    std::shared_ptr<const std::vector<ContactFields>> contactsSnapshot();

    QPointer<CardModel> FModel;
    QString FFolder;
    std::unique_ptr<QLockFile> FLock;
    CardFolderWriter FFolderWriter;
    QString FDocumentPath;
    std::shared_ptr<const std::vector<ContactFields>> FContacts;
    quint64 FContactsSerial = 0;
    std::optional<PendingRecovery> FRetire;
    std::chrono::milliseconds FDelay = kDelay;
    std::function<qint64()> FClock;
    QTimer FTimer;
    // When the oldest change not yet on its way to disk was made, on FClock.
    qint64 FSince = 0;
    bool FPending = false, FWriting = false, FDiscarded = false, FFailing = false;
    QThreadPool FWorker;
};

} // namespace lumo
