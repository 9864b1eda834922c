#pragma once

// A fresh main window, shown on the offscreen platform, with the test platform answering
// its dialogs and the "generated" flag back at its start value.

#include "app/mainwindow.h"
#include "fakeplatform.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <memory>

class FormTest : public ::testing::Test {
protected:
    void SetUp() override {
        vcardgerado = false;
        form = std::make_unique<TForm1>();
        form->show();
        QApplication::setActiveWindow(form.get());
    }

    FakePlatform fake; // installed before the window is made, so its creation uses it
    std::unique_ptr<TForm1> form;
};
