#include "platform/platform.h"

#include "platform/dialogs.h"
#include "platform/printqueue.h"
#include "platform/settings.h"
#include "platform/windowplacement.h"

#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QMimeData>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>

namespace lumo {

namespace {

bool confirmReplace(QFileDialog* dialog, const QString& path) {
    QMessageBox box(QMessageBox::Warning, dialog->windowTitle(),
                    QStringLiteral("\"%1\" já existe.\nDeseja substituí-lo?").arg(QFileInfo(path).fileName()),
                    QMessageBox::Yes | QMessageBox::No, dialog->parentWidget());
    box.setObjectName(QStringLiteral("confirmReplace"));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

// Each file dialog opens in the folder it was last confirmed in, kept in the program's own
// settings (Qt's dialogs would keep one folder for all of them, and only for the run).
void startIn(QFileDialog& dialog, const QString& dialogName) {
    const QString folder = Settings::lastFolder(dialogName);
    if (!folder.isEmpty())
        dialog.setDirectory(folder);
}

class QtPlatform final : public Platform {
public:
    std::optional<QString> saveFileName(QWidget* parent, const SaveFileRequest& request) override {
        QFileDialog dialog(parent);
        dialog.setObjectName(request.dialogName);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilter(request.filter);
        dialog.setDefaultSuffix(request.defaultSuffix);
        dialog.setOption(QFileDialog::ReadOnly, false);
        // The dialog would ask about the name as typed; the file written is the name with its
        // extension, so that is the one asked about here.
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
        startIn(dialog, request.dialogName);
        dialog.selectFile(request.fileName);
        for (;;) {
            if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
                return std::nullopt;
            const QString chosen = withExtension(dialog.selectedFiles().constFirst(), request.defaultSuffix);
            if (!QFileInfo::exists(chosen) || confirmReplace(&dialog, chosen)) {
                Settings::setLastFolder(request.dialogName, QFileInfo(chosen).absolutePath());
                return chosen;
            }
            dialog.selectFile(chosen);
        }
    }

    std::optional<QString> openFileName(QWidget* parent, const OpenFileRequest& request) override {
        QFileDialog dialog(parent);
        dialog.setObjectName(request.dialogName);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setNameFilter(request.filter);
        startIn(dialog, request.dialogName);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        const QString chosen = dialog.selectedFiles().constFirst();
        Settings::setLastFolder(request.dialogName, QFileInfo(chosen).absolutePath());
        return chosen;
    }

    std::optional<QString> folderName(QWidget* parent, const QString& dialogName) override {
        QFileDialog dialog(parent);
        dialog.setObjectName(dialogName);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
        startIn(dialog, dialogName);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        const QString chosen = dialog.selectedFiles().constFirst();
        Settings::setLastFolder(dialogName, chosen);
        return chosen;
    }

    std::optional<QColor> color(QWidget* parent, const ColorRequest& request) override {
        // Qt keeps custom colours in one process-wide table that it saves at exit; each
        // of our dialogs has its own sixteen, so install them for the dialog's run only.
        CustomColors saved;
        for (int i = 0; i < 16; ++i)
            saved[i] = QColorDialog::customColor(i);
        if (request.customColors)
            for (int i = 0; i < 16; ++i)
                QColorDialog::setCustomColor(i, (*request.customColors)[i]);
        QColorDialog dialog(request.initial, parent);
        dialog.setObjectName(request.dialogName);
        dialog.setOption(QColorDialog::DontUseNativeDialog);
        const bool accepted = dialog.exec() == QDialog::Accepted;
        if (request.customColors)
            for (int i = 0; i < 16; ++i)
                (*request.customColors)[i] = QColorDialog::customColor(i);
        for (int i = 0; i < 16; ++i)
            QColorDialog::setCustomColor(i, saved[i]);
        if (!accepted)
            return std::nullopt;
        return dialog.selectedColor();
    }

    bool printDialog(QWidget* parent, QPrinter& printer) override {
        QPrintDialog dialog(&printer, parent);
        return dialog.exec() == QDialog::Accepted;
    }

    void message(QWidget* parent, const QString& text) override {
        QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(), text, QMessageBox::Ok,
                        parent);
        // In the middle of the screen, not of the window it belongs to.
        centreOnScreenWhenShown(&box);
        box.exec();
    }

    void error(QWidget* parent, const QString& text) override {
        QMessageBox box(QMessageBox::Critical, QApplication::applicationDisplayName(), text, QMessageBox::Ok,
                        parent);
        box.exec();
    }

    int question(QWidget* parent, const QString& text, const QStringList& buttons,
                 int defaultButton) override {
        QMessageBox box(QMessageBox::Question, QApplication::applicationDisplayName(), text,
                        QMessageBox::NoButton, parent);
        QList<QAbstractButton*> made;
        for (qsizetype i = 0; i < buttons.size(); ++i) {
            // The last button is the one that escapes; the others accept or discard.
            const auto role = i + 1 == buttons.size() && buttons.size() > 2 ? QMessageBox::RejectRole
                              : i == 0                                      ? QMessageBox::AcceptRole
                                                                            : QMessageBox::DestructiveRole;
            made << box.addButton(buttons[i], role);
        }
        if (defaultButton >= 0 && defaultButton < made.size())
            box.setDefaultButton(qobject_cast<QPushButton*>(made[defaultButton]));
        box.exec();
        const int chosen = int(made.indexOf(box.clickedButton()));
        return chosen;
    }

    void beep() override { QApplication::beep(); }

    void setClipboardText(const QString& text) override {
        QClipboard* clipboard = QGuiApplication::clipboard();
        if (!clipboard)
            throw UserError(QStringLiteral("Não foi possível abrir a área de transferência."));
        clipboard->setText(text);
    }

    void openUrl(const QUrl& url) override { QDesktopServices::openUrl(url); }
};

QtPlatform& realPlatform() {
    static QtPlatform instance;
    return instance;
}

Platform* current = nullptr;

} // namespace

std::optional<QString> Platform::folderName(QWidget*, const QString&) {
    return std::nullopt;
}

std::unique_ptr<QPrinter> Platform::makePrinter() {
    return std::make_unique<QPrinter>(QPrinter::HighResolution);
}

PrintQueues& Platform::printQueues() {
    return cupsQueues();
}

Platform& platform() {
    return current ? *current : realPlatform();
}

Platform* setPlatform(Platform* replacement) {
    Platform* previous = current;
    current = replacement;
    return previous;
}

void runGuarded(QWidget* parent, const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        platform().error(parent, QString::fromUtf8(e.what()));
    }
}

} // namespace lumo
