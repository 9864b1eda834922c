#pragma once

// The about box: the product title, the maker's credit line that opens the maker's web page
// and the contact line that starts a new mail.

#include <QWidget>

class QLabel;

class TFormInfo : public QWidget {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 545;
    static constexpr int kClientHeight = 543;

    // Created hidden; the "i" button shows it.
    explicit TFormInfo(QWidget* parent = nullptr);

    QLabel* Label5;
    QLabel* Label10;
    QLabel* Label2;

    // What the "i" button does: shows the box without blocking, or brings the one already
    // open to the front.
    void showOrRaise();

    void FormShow();
    void Label10Click();
    void Label2Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
};
