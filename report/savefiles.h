#pragma once

// Writing several output files as one step, for the exporters.

#include <QByteArray>
#include <QString>

#include <vector>

namespace report {

struct TOutputFile {
    QString path;
    QByteArray data;
};

// Writes every file to a temporary file beside its target and flushes it; only when all are
// complete are they renamed over their targets, in order. Throws ReportError naming the
// path and the reason. A failure before the renames leaves every target untouched and no
// temporary file behind.
void saveFiles(const std::vector<TOutputFile>& files);

} // namespace report
