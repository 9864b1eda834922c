#include "card/recovery.h"

#include "platform/errors.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

namespace lumo {

namespace {

const QString kLockSuffix = QStringLiteral(".lock");
const QString kKeptSuffix = QStringLiteral(".ilegivel");
const QString kDocumentPathKey = QStringLiteral("documentPath");

std::shared_ptr<QLockFile> tryLock(const QString& path) {
    auto lock = std::make_shared<QLockFile>(path);
    // Only an owner that is no longer running frees a lock, however old it is.
    lock->setStaleLockTime(std::chrono::milliseconds(0));
    return lock->tryLock(std::chrono::milliseconds(0)) ? lock : nullptr;
}

// `path` with `suffix` added before its extension, numbered when that name is taken.
QString unusedName(const QString& path, const QString& suffix) {
    const QFileInfo info(path);
    const QString extension = info.isDir() || info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
    const QString stem = path.left(path.size() - extension.size()) + suffix;
    QString name = stem + extension;
    for (int n = 2; QFileInfo::exists(name); ++n)
        name = stem + u'-' + QString::number(n) + extension;
    return name;
}

void keepAside(const QString& path, const QString& reason, RecoveryScan& scan) {
    const QString kept = unusedName(path, kKeptSuffix);
    if (QFile::rename(path, kept))
        scan.problems << QStringLiteral(
                             "A cópia de recuperação de um cartão não pôde ser aberta e foi guardada "
                             "como \"%1\".\n\n%2")
                             .arg(QDir::toNativeSeparators(kept), reason);
    else
        scan.problems << QStringLiteral(
                             "A cópia de recuperação \"%1\" não pôde ser aberta e fica onde está.\n\n%2")
                             .arg(QDir::toNativeSeparators(path), reason);
}

QString newFolder(const QString& root) {
    const QString stem = root + u'/' +
                         QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmsszzz")) +
                         u'-' + QString::number(QCoreApplication::applicationPid());
    QString folder = stem;
    for (int n = 2; QFileInfo::exists(folder) || QFileInfo::exists(folder + kLockSuffix); ++n)
        folder = stem + u'-' + QString::number(n);
    return folder;
}

qint64 steadyMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

RecoveryScan findPendingRecoveries(const QString& root, const QString& legacyPath) {
    RecoveryScan scan;
    std::vector<std::pair<QDateTime, PendingRecovery>> found;
    const QDir folder(root);
    for (const QFileInfo& info : folder.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
        if (info.fileName().endsWith(kKeptSuffix) || info.fileName().contains(kKeptSuffix + u'-'))
            continue;
        std::shared_ptr<QLockFile> lock = tryLock(info.filePath() + kLockSuffix);
        if (!lock)
            continue; // its window is still running
        const QString cardJson = info.filePath() + QStringLiteral("/card.json");
        // A folder left without a single file holds nothing to lose.
        if (!QFileInfo::exists(cardJson) &&
            !QDirIterator(info.filePath(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories)
                 .hasNext()) {
            QDir(info.filePath()).removeRecursively();
            continue;
        }
        try {
            QJsonObject json;
            PendingRecovery pending{info.filePath(), readCardFolder(info.filePath(), &json),
                                    json.value(kDocumentPathKey).toString(), lock};
            found.emplace_back(QFileInfo(cardJson).lastModified(), std::move(pending));
        } catch (const std::exception& e) {
            keepAside(info.filePath(), QString::fromUtf8(e.what()), scan);
        }
    }
    // Locks whose window ended before it wrote anything.
    for (const QFileInfo& info : folder.entryInfoList({u'*' + kLockSuffix}, QDir::Files | QDir::Hidden)) {
        const QString owner = info.filePath().chopped(kLockSuffix.size());
        if (!QFileInfo::exists(owner))
            if (const auto lock = tryLock(info.filePath()))
                lock->unlock();
    }
    if (!legacyPath.isEmpty() && QFileInfo::exists(legacyPath)) {
        if (std::shared_ptr<QLockFile> lock = tryLock(legacyPath + kLockSuffix)) {
            try {
                found.emplace_back(QFileInfo(legacyPath).lastModified(),
                                   PendingRecovery{legacyPath, openCardDocument(legacyPath), {}, lock});
            } catch (const std::exception& e) {
                keepAside(legacyPath, QString::fromUtf8(e.what()), scan);
            }
        }
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    for (auto& [when, pending] : found)
        scan.cards.push_back(std::move(pending));
    return scan;
}

void removeRecovery(const PendingRecovery& recovery) {
    if (QFileInfo(recovery.path).isDir())
        QDir(recovery.path).removeRecursively();
    else
        QFile::remove(recovery.path);
    if (recovery.lock)
        recovery.lock->unlock();
}

RecoveryWriter::RecoveryWriter(CardModel* model, const QString& root, QObject* parent)
    : QObject(parent), FModel(model), FFolder(newFolder(root)), FFolderWriter(FFolder),
      FClock(&steadyMilliseconds) {
    FWorker.setMaxThreadCount(1);
    FTimer.setSingleShot(true);
    connect(&FTimer, &QTimer::timeout, this, &RecoveryWriter::writeNow);
    connect(model, &CardModel::changed, this, &RecoveryWriter::modelChanged);
    QDir().mkpath(root);
    // Without the lock (a folder that cannot be written) the writes fail and say so.
    FLock = std::make_unique<QLockFile>(FFolder + kLockSuffix);
    FLock->setStaleLockTime(std::chrono::milliseconds(0));
    FLock->tryLock(std::chrono::milliseconds(0));
}

RecoveryWriter::~RecoveryWriter() {
    FWorker.waitForDone();
}

void RecoveryWriter::modelChanged() {
    if (FDiscarded)
        return;
    if (!FPending) {
        FPending = true;
        FSince = FClock();
    }
    if (FWriting)
        return;
    // Checked at each change as well as by the timer, so that the delay holds whatever the
    // timer does while the window is busy.
    if (FClock() - FSince >= FDelay.count())
        writeNow();
    else
        schedule();
}

// Not restarted by later changes: steady typing still reaches the disk within the delay.
void RecoveryWriter::schedule() {
    if (FTimer.isActive())
        return;
    const qint64 waited = FClock() - FSince;
    FTimer.start(std::chrono::milliseconds(std::max<qint64>(FDelay.count() - waited, 0)));
}

void RecoveryWriter::writeState(const CardState& values,
                                const std::shared_ptr<const std::vector<ContactFields>>& contacts,
                                const QJsonObject& extra, std::optional<PendingRecovery>& retire) {
    FFolderWriter.write(values, contacts, extra);
    if (retire) {
        removeRecovery(*retire);
        retire.reset();
    }
}

void RecoveryWriter::writeNow() {
    if (FDiscarded || !FModel)
        return;
    if (FWriting) {
        if (!FPending) {
            FPending = true;
            FSince = FClock();
        }
        return;
    }
    FTimer.stop();
    FPending = false;
    FWriting = true;
    emit writeStarted();
    QJsonObject extra;
    if (!FDocumentPath.isEmpty())
        extra.insert(kDocumentPathKey, FDocumentPath);
    FWorker.start([this, values = FModel->StateWithoutContacts(), contacts = contactsSnapshot(), extra,
                   retire = std::exchange(FRetire, std::nullopt)]() mutable {
        bool ok = true;
        QString message;
        try {
            writeState(values, contacts, extra, retire);
        } catch (const std::exception& e) {
            ok = false;
            message = QString::fromUtf8(e.what());
        }
        // Delivered on the window's thread; dropped if the writer is gone by then.
        QMetaObject::invokeMethod(
            this, [this, ok, message, retire] { writeEnded(ok, message, retire); }, Qt::QueuedConnection);
    });
}

void RecoveryWriter::writeEnded(bool ok, const QString& message,
                                const std::optional<PendingRecovery>& retire) {
    FWriting = false;
    if (retire && !FRetire)
        FRetire = retire;
    if (FDiscarded)
        return;
    if (ok) {
        FFailing = false;
        emit written();
    } else if (!FFailing) {
        FFailing = true;
        emit writeFailed(message);
    }
    if (FPending)
        schedule();
}

std::shared_ptr<const std::vector<ContactFields>> RecoveryWriter::contactsSnapshot() {
    if (!FContacts || FContactsSerial != FModel->ContactsSerial()) {
        FContacts = std::make_shared<const std::vector<ContactFields>>(FModel->Contacts());
        FContactsSerial = FModel->ContactsSerial();
    }
    return FContacts;
}

void RecoveryWriter::markClean() {
    FTimer.stop();
    FPending = false;
    // After any write under way: the worker does one thing at a time.
    FWorker.start([this] { FFolderWriter.remove(); });
}

void RecoveryWriter::takeOver(const PendingRecovery& previous) {
    FRetire = previous;
}

void RecoveryWriter::flush() {
    FWorker.waitForDone();
    if (FDiscarded || !FModel || !FPending)
        return;
    FTimer.stop();
    FPending = false;
    QJsonObject extra;
    if (!FDocumentPath.isEmpty())
        extra.insert(kDocumentPathKey, FDocumentPath);
    try {
        writeState(FModel->StateWithoutContacts(), contactsSnapshot(), extra, FRetire);
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
    FFolderWriter.remove();
    if (FRetire)
        removeRecovery(*FRetire);
    FRetire.reset();
    FLock->unlock();
}

QString RecoveryWriter::defaultRoot() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/recuperacao");
}

QString RecoveryWriter::legacyPath() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/recuperacao.lumocard");
}

} // namespace lumo
