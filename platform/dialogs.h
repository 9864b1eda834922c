#pragma once

// The program's common-dialog components. Each keeps its settings and its last answer
// between runs of the dialog, like a form's non-visual component, and asks the
// platform layer to show it.

#include "platform/platform.h"

#include <QObject>

namespace lumo {

// Turns a filter of the form "Name|pattern;pattern" into Qt's "Name (pattern pattern)".
QString qtFilter(const QString& filter);

// `path` with "." and `extension` appended unless its file name already ends in them (in any
// case). A dialog's own default suffix goes only to names without a dot, so "Ana M. Lima"
// would stay without an extension.
QString withExtension(const QString& path, const QString& extension);

class TSaveDialog : public QObject {
public:
    TSaveDialog(const QString& name, QString defaultExt, QString filter, QObject* parent);
    QString DefaultExt() const { return FDefaultExt; }
    QString Filter() const { return FFilter; }
    QString FileName() const { return FFileName; }
    void SetFileName(const QString& fileName) { FFileName = fileName; }
    // Shows the dialog; on OK stores the chosen path, ending in DefaultExt, in FileName and
    // returns true.
    bool Execute(QWidget* parent);

private:
    QString FDefaultExt, FFilter, FFileName;
};

class TOpenDialog : public QObject {
public:
    TOpenDialog(const QString& name, QString filter, QObject* parent);
    QString Filter() const { return FFilter; }
    QString FileName() const { return FFileName; }
    bool Execute(QWidget* parent);

private:
    QString FFilter, FFileName;
};

class TColorDialog : public QObject {
public:
    // 10383156: red 52, green 111, blue 158.
    static constexpr QRgb kStartColor = 0xFF346F9E;

    TColorDialog(const QString& name, QObject* parent);
    QColor Color() const { return FColor; }
    const CustomColors& CustomColorSlots() const { return FCustomColors; }
    // Starts from the colour last confirmed in this dialog; on OK stores the new one.
    bool Execute(QWidget* parent);

private:
    QColor FColor = QColor::fromRgb(kStartColor);
    CustomColors FCustomColors;
};

} // namespace lumo
