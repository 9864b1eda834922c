#include "report/savefiles.h"

#include "report/report.h"

#include <QSaveFile>

#include <memory>

namespace report {
namespace {

[[noreturn]] void fail(const QString& path, const QString& reason, bool earlierWritten = false) {
    QString message = QStringLiteral("Não foi possível gravar o arquivo \"%1\": %2.").arg(path, reason);
    if (earlierWritten)
        message += QStringLiteral(" Os arquivos anteriores a ele já foram gravados.");
    throw ReportError(message.toStdString());
}

} // namespace

void saveFiles(const std::vector<TOutputFile>& files) {
    // An uncommitted QSaveFile removes its temporary file when destroyed, so leaving this
    // function by an exception cleans up whatever was opened.
    std::vector<std::unique_ptr<QSaveFile>> pending;
    pending.reserve(files.size());
    for (const TOutputFile& file : files) {
        auto out = std::make_unique<QSaveFile>(file.path);
        out->setDirectWriteFallback(false);
        if (!out->open(QIODevice::WriteOnly))
            fail(file.path, out->errorString());
        if (out->write(file.data) != file.data.size() || !out->flush())
            fail(file.path, out->errorString());
        pending.push_back(std::move(out));
    }
    for (std::size_t i = 0; i < pending.size(); ++i)
        if (!pending[i]->commit())
            fail(files[i].path, pending[i]->errorString(), i > 0);
}

} // namespace report
