#pragma once

// "Associar colunas": the box each column of a CSV file goes to, chosen by the user with two
// values of each column and the first contacts as they would land in front of them.

#include "contact/csvreader.h"

#include <QDialog>

#include <functional>
#include <vector>

class QComboBox;
class QLabel;
class QTableWidget;

class TColumnsDialog : public QDialog {
public:
    // `initial` gives the choices to start from (remembered for this header); a column it
    // does not name starts on the box its header gives. Throws lumo::UserError when the file
    // has no header.
    TColumnsDialog(QWidget* owner, const QByteArray& bytes, const QString& fileName,
                   const lumo::CsvOptions& initial);

    QTableWidget* tblcolunas; // one row a column: header, two values, the box
    QTableWidget* tblprevia;  // the first five contacts, one column a box
    QLabel* lblaviso;         // why nothing would be imported, when so

    // The box chosen for every column, by header.
    lumo::ColumnChoices Choices() const;
    // The combo box of the column in `row`.
    QComboBox* BoxChoice(int row) const;
    const lumo::CsvHeader& Header() const { return FHeader; }

    // Runs the dialog: exec(), or the test's hook when one is set. True when confirmed.
    bool Run();
    static std::function<bool(TColumnsDialog&)>& TestHook();

    static constexpr int kPreviewContacts = 5;

private:
    void refreshPreview();

    QByteArray FBytes;
    lumo::CsvOptions FOptions;
    lumo::CsvHeader FHeader;
    std::vector<QComboBox*> FChoices;
};

// The choices remembered for files whose header has these column names; empty when none.
lumo::ColumnChoices rememberedColumns(const QStringList& header);
void rememberColumns(const QStringList& header, const lumo::ColumnChoices& choices);
