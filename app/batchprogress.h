#pragma once

// The window-modal progress of a long export of the list (a batch PDF, one PDF per contact,
// the print shop's file): shown after 300 ms, with Cancelar.

#include <QCoreApplication>
#include <QProgressDialog>
#include <QString>

namespace lumo {

class BatchProgressDialog : public QProgressDialog {
public:
    BatchProgressDialog(QWidget* parent, const QString& objectName, const QString& title,
                        const QString& label, int total)
        : QProgressDialog(label, QStringLiteral("Cancelar"), 0, total, parent) {
        setObjectName(objectName);
        setWindowTitle(title);
        setWindowModality(Qt::WindowModal);
        setMinimumDuration(300);
    }

    // Shows `done` of the maximum under `label`, lets the window breathe, and tells whether
    // the export goes on.
    bool tell(int done, const QString& label) {
        setValue(done);
        setLabelText(label);
        QCoreApplication::processEvents();
        return !wasCanceled();
    }
};

} // namespace lumo
