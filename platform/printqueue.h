#pragma once

// What the print system (CUPS) says of its queues and of the jobs sent to them. A QPrinter
// hands its job over and reports success whatever the queue does with it; the print action
// asks here whether the queue takes jobs and follows the job it sent.

#include <QString>

#include <optional>

namespace lumo {

class PrintQueues {
public:
    virtual ~PrintQueues() = default;
    // Why `queue` takes no jobs now; nothing when it takes them, or when the print system does
    // not know the queue.
    virtual std::optional<QString> refusal(const QString& queue) = 0;
    // The id of the newest of this user's jobs on `queue`, 0 when there is none: a job sent
    // after this has a larger one.
    virtual int newestJob(const QString& queue) = 0;
    // Follows this user's job named `title` on `queue` with an id above `after` for at most
    // `milliseconds`: why it was aborted, cancelled or stopped, or is held up in a stopped
    // queue. Nothing when it printed or is still on its way; when it never showed up, the
    // queue's refusal, if it refuses jobs by then.
    virtual std::optional<QString> jobFailure(const QString& queue, int after, const QString& title,
                                              int milliseconds) = 0;
};

// The queues of the CUPS server this process talks to (CUPS_SERVER, client.conf or the local
// one).
PrintQueues& cupsQueues();

} // namespace lumo
