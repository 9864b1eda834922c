#pragma once

// A test with the tests' own pcscd, the virtual reader and one chip at a time in its field.

#include "nfc/pcsc.h"
#include "pcscd.h"
#include "virtualchip.h"

#include "card/cardmodel.h"

#include <gtest/gtest.h>

#include <memory>

class ChipTest : public ::testing::Test {
protected:
    void SetUp() override {
        QString why;
        daemon = TestPcscd::get(&why);
        if (!daemon) {
            if (why.contains(QStringLiteral("not installed")))
                GTEST_SKIP() << why.toStdString();
            FAIL() << why.toStdString();
        }
        context = std::make_unique<lumo::PcscContext>();
    }
    void TearDown() override { takeAway(); }

    QString reader() const { return daemon->reader(); }
    // Puts `chip` in the reader's field and waits (at most 10 s) until the reader sees it.
    void bring(std::shared_ptr<VirtualChip> chip) {
        takeAway();
        field = std::make_unique<ChipInField>(daemon->port(), std::move(chip));
        ASSERT_TRUE(field->connected());
        ASSERT_EQ(context->waitForCard(reader(), 10000), lumo::WaitResult::Present)
            << daemon->log().toStdString();
    }
    void takeAway() {
        if (!field)
            return;
        field.reset();
        EXPECT_EQ(context->waitForRemoval(reader(), 10000), lumo::WaitResult::Absent);
    }

    TestPcscd* daemon = nullptr;
    std::unique_ptr<lumo::PcscContext> context;
    std::unique_ptr<ChipInField> field;
};

// A contact whose vCard is about `bytes` long (the notes field pads it), generated on a model.
lumo::ContactFields contactOfSize(int bytes, const QString& site = QStringLiteral("www.exemplo.com.br"));
// The QR bytes of the model's card after Generate.
QByteArray qrBytesOf(const lumo::CardModel& model);
// What the independent reader (read_chip.py) finds in a Type 2 data area or a Type 4 file.
QByteArray vcardSeenByPython(const QByteArray& memory, bool type4);
