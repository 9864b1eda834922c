#include "app/about.h"
#include "app/mainwindow.h"
#include "fakeplatform.h"
#include "platform/windowplacement.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QTest>
#include <QToolButton>

#include <vector>

namespace {

QPoint centredOnScreen(QSize outer) {
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    return {(screen.width() - outer.width()) / 2, (screen.height() - outer.height()) / 2};
}

int visibleAboutBoxes() {
    int count = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<TFormInfo*>(w) && w->isVisible())
            ++count;
    return count;
}

TEST(AboutBox, InfoButtonShowsOneBoxAndBringsItBack) {
    FakePlatform fake;
    TForm1 Form1;
    TFormInfo FormInfo;
    Form1.SetAboutHandler([&FormInfo] { FormInfo.showOrRaise(); });
    Form1.show();
    EXPECT_FALSE(FormInfo.isVisible());

    QTest::mouseClick(Form1.SpeedButton3, Qt::LeftButton);
    EXPECT_TRUE(FormInfo.isVisible());
    EXPECT_FALSE(FormInfo.isModal());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    // A second press while it is open: still one box, and it is the one in front.
    QTest::mouseClick(Form1.SpeedButton3, Qt::LeftButton);
    QCoreApplication::processEvents(); // activation arrives from the platform
    EXPECT_EQ(visibleAboutBoxes(), 1);
    EXPECT_TRUE(FormInfo.isActiveWindow());

    // Closed by the user, shown again by the next press.
    FormInfo.close();
    EXPECT_EQ(visibleAboutBoxes(), 0);
    QTest::mouseClick(Form1.SpeedButton3, Qt::LeftButton);
    EXPECT_EQ(visibleAboutBoxes(), 1);
}

TEST(AboutBox, IsCentredEachTimeItIsShown) {
    TFormInfo FormInfo;
    FormInfo.showOrRaise();
    EXPECT_EQ(FormInfo.size(), QSize(545, 543));
    // Centred by its outer size: the platform's frame counts.
    const QPoint centre = centredOnScreen(FormInfo.frameGeometry().size());
    EXPECT_EQ(FormInfo.frameGeometry().topLeft(), centre);

    // Moved by the user while open, pressing "i" again only brings it to the front.
    FormInfo.move(10, 20);
    FormInfo.showOrRaise();
    EXPECT_EQ(FormInfo.frameGeometry().topLeft(), QPoint(10, 20));

    // Closed and opened again, it is back in the middle.
    FormInfo.close();
    FormInfo.showOrRaise();
    EXPECT_EQ(FormInfo.frameGeometry().topLeft(), centre);
}

TEST(AboutBox, MessageBoxIsCentredOnTheScreenNotOnItsWindow) {
    QWidget window;
    window.setGeometry(0, 0, 200, 100);
    window.show();
    QMessageBox box(QMessageBox::NoIcon, "Lumo Card", "Copiado!", QMessageBox::Ok, &window);
    lumo::centreOnScreenWhenShown(&box);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    EXPECT_EQ(box.frameGeometry().topLeft(), centredOnScreen(box.frameGeometry().size()));
}

TEST(AboutBox, CaptionsKeepTheirPlaceAndShowTheirWholeText) {
    // The designed faces may be missing; a substitute must not clip the captions.
    TFormInfo FormInfo;
    struct Case {
        QLabel* label;
        QRect design;
    };
    for (const Case& c : std::vector<Case>{{FormInfo.Label5, {130, 3, 282, 40}},
                                           {FormInfo.Label10, {130, 486, 282, 19}},
                                           {FormInfo.Label2, {114, 511, 314, 19}}}) {
        const QString name = c.label->objectName();
        EXPECT_EQ(c.label->geometry().center(), c.design.center()) << name.toStdString();
        EXPECT_EQ(c.label->geometry().top(), c.design.top()) << name.toStdString();
        EXPECT_GE(c.label->width(), c.design.width()) << name.toStdString();
        EXPECT_GE(c.label->width(), c.label->fontMetrics().horizontalAdvance(c.label->text()))
            << name.toStdString();
        EXPECT_TRUE(FormInfo.rect().contains(c.label->geometry())) << name.toStdString();
    }
}

TEST(AboutBox, LinesOpenTheWebPageAndANewMail) {
    struct Case {
        QLabel* TFormInfo::*label;
        QString text;
        QString target;
    };
    const std::vector<Case> cases = {
        {&TFormInfo::Label10, QStringLiteral("Desenvolvido por: Estúdio Lumo"),
         QStringLiteral("https://lumocard.example/")},
        {&TFormInfo::Label2, QStringLiteral("Contato via E-mail: contato@lumocard.example"),
         QStringLiteral("mailto:contato@lumocard.example")},
    };
    for (const Case& c : cases) {
        FakePlatform fake;
        TFormInfo FormInfo;
        FormInfo.show();
        QLabel* label = FormInfo.*c.label;
        EXPECT_EQ(label->text(), c.text);
        EXPECT_EQ(label->cursor().shape(), Qt::PointingHandCursor);

        QTest::mouseClick(label, Qt::RightButton);
        EXPECT_TRUE(fake.urls.isEmpty()) << "a right click opened " << c.target.toStdString();

        QTest::mouseClick(label, Qt::LeftButton);
        ASSERT_EQ(fake.urls.size(), 1) << c.text.toStdString();
        EXPECT_EQ(fake.urls.front().toString(), c.target);
        EXPECT_TRUE(fake.urls.front().isValid());
    }
}

} // namespace
