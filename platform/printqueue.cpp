#include "platform/printqueue.h"

#include <QElapsedTimer>
#include <QThread>

#include <cups/cups.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace lumo {

namespace {

struct IppDelete {
    void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using Ipp = std::unique_ptr<ipp_t, IppDelete>;

// How often a followed job is looked at.
constexpr int kPollMs = 100;

// One IPP request to the server; nothing when it fails (no server, no such queue or job).
Ipp ask(ipp_op_t operation, const char* target, const QByteArray& uri,
        const std::vector<const char*>& wanted) {
    ipp_t* request = ippNewRequest(operation);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, target, nullptr, uri.constData());
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", int(wanted.size()),
                  nullptr, wanted.data());
    Ipp response(cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/"));
    if (!response || ippGetStatusCode(response.get()) > IPP_STATUS_OK_EVENTS_COMPLETE)
        return nullptr;
    return response;
}

QByteArray resourceUri(const char* format, const QByteArray& name) {
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(), format,
                     name.constData());
    return uri;
}

QString text(ipp_t* response, const char* name) {
    ipp_attribute_t* attribute = ippFindAttribute(response, name, IPP_TAG_ZERO);
    return attribute ? QString::fromUtf8(ippGetString(attribute, 0, nullptr)).trimmed() : QString();
}

int number(ipp_t* response, const char* name, int otherwise) {
    ipp_attribute_t* attribute = ippFindAttribute(response, name, IPP_TAG_ZERO);
    return attribute ? ippGetInteger(attribute, 0) : otherwise;
}

// The print system's own words after ours, when it has any.
QString withMessage(const QString& reason, const QString& message) {
    return message.isEmpty() ? reason : QStringLiteral("%1 (%2)").arg(reason, message);
}

Ipp printerState(const QString& queue) {
    return ask(IPP_OP_GET_PRINTER_ATTRIBUTES, "printer-uri", resourceUri("/printers/%s", queue.toUtf8()),
               {"printer-is-accepting-jobs", "printer-state", "printer-state-message"});
}

struct Job {
    int id = 0;
    ipp_jstate_t state = IPP_JSTATE_PENDING;
};

// This user's job on `queue` after `after`: the one named `title`, else the first.
std::optional<Job> findJob(const QString& queue, int after, const QString& title) {
    cups_job_t* jobs = nullptr;
    const int count =
        cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, queue.toUtf8().constData(), 1, CUPS_WHICHJOBS_ALL);
    std::optional<Job> found;
    bool named = false;
    for (int i = 0; i < count; ++i) {
        if (jobs[i].id <= after)
            continue;
        const bool sameName = QString::fromUtf8(jobs[i].title) == title;
        if (!found || (sameName && !named) || (sameName == named && jobs[i].id < found->id)) {
            found = Job{jobs[i].id, jobs[i].state};
            named = sameName;
        }
    }
    cupsFreeJobs(count, jobs);
    return found;
}

class CupsQueues final : public PrintQueues {
public:
    std::optional<QString> refusal(const QString& queue) override {
        const Ipp printer = printerState(queue);
        if (!printer)
            return std::nullopt;
        ipp_attribute_t* accepting =
            ippFindAttribute(printer.get(), "printer-is-accepting-jobs", IPP_TAG_BOOLEAN);
        if (!accepting || ippGetBoolean(accepting, 0))
            return std::nullopt;
        return withMessage(QStringLiteral("a fila não está aceitando trabalhos"),
                           text(printer.get(), "printer-state-message"));
    }

    int newestJob(const QString& queue) override {
        cups_job_t* jobs = nullptr;
        const int count =
            cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, queue.toUtf8().constData(), 1, CUPS_WHICHJOBS_ALL);
        int newest = 0;
        for (int i = 0; i < count; ++i)
            newest = std::max(newest, jobs[i].id);
        cupsFreeJobs(count, jobs);
        return newest;
    }

    std::optional<QString> jobFailure(const QString& queue, int after, const QString& title,
                                      int milliseconds) override {
        QElapsedTimer clock;
        clock.start();
        bool seen = false;
        for (;;) {
            if (const std::optional<Job> job = findJob(queue, after, title)) {
                seen = true;
                if (job->state == IPP_JSTATE_COMPLETED)
                    return std::nullopt;
                if (job->state >= IPP_JSTATE_STOPPED)
                    return failure(*job);
                // A job waits, or even prints, in a queue that stopped: it goes nowhere until
                // someone starts the queue again.
                const Ipp printer = printerState(queue);
                if (printer && number(printer.get(), "printer-state", IPP_PSTATE_IDLE) == IPP_PSTATE_STOPPED)
                    return withMessage(QStringLiteral("a fila está parada e o trabalho ficou esperando nela"),
                                       text(printer.get(), "printer-state-message"));
            }
            // A job that never showed up may have met a queue that stopped taking jobs since.
            if (clock.elapsed() >= milliseconds)
                return seen ? std::nullopt : refusal(queue);
            QThread::msleep(kPollMs);
        }
    }

private:
    static QString failure(const Job& job) {
        const Ipp attributes =
            ask(IPP_OP_GET_JOB_ATTRIBUTES, "job-uri", resourceUri("/jobs/%s", QByteArray::number(job.id)),
                {"job-printer-state-message"});
        const QString message = attributes ? text(attributes.get(), "job-printer-state-message") : QString();
        switch (job.state) {
        case IPP_JSTATE_CANCELED:
            return withMessage(QStringLiteral("o trabalho foi cancelado"), message);
        case IPP_JSTATE_ABORTED:
            return withMessage(QStringLiteral("o trabalho foi interrompido"), message);
        default:
            return withMessage(QStringLiteral("o trabalho foi parado"), message);
        }
    }
};

} // namespace

PrintQueues& cupsQueues() {
    static CupsQueues instance;
    return instance;
}

} // namespace lumo
