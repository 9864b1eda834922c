#pragma once

// Contactless chips in software, brought into the field of vsmartcard's virtual reader (the
// vpcd driver inside pcscd) over its socket protocol: every message is a 2-byte big-endian
// length and a payload; a 1-byte payload is a control (0 power off, 1 power on, 2 reset, 4
// asks for the ATR), any other a command APDU answered with the response APDU.

#include <QByteArray>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class VirtualChip {
public:
    virtual ~VirtualChip() = default;
    virtual QByteArray atr() const = 0;
    // The response APDU, or nothing when the chip leaves the field instead of answering.
    std::optional<QByteArray> answer(const QByteArray& apdu) {
        std::lock_guard lock(FMutex);
        return respond(apdu);
    }
    // Commands that changed the chip's memory, so far.
    int writes() const {
        std::lock_guard lock(FMutex);
        return FWrites;
    }

protected:
    virtual std::optional<QByteArray> respond(const QByteArray& apdu) = 0;
    mutable std::mutex FMutex;
    int FWrites = 0;
};

// NTAG213, 215 or 216 (or one of their sizes) answering the PC/SC storage-card commands:
// GET DATA of the UID, READ BINARY of 16 bytes, UPDATE BINARY of one 4-byte page.
class VirtualNtag : public VirtualChip {
public:
    enum Model { Ntag213 = 213, Ntag215 = 215, Ntag216 = 216 };
    struct Options {
        bool blank = false;         // capability container still zero
        bool readOnly = false;      // capability container says so, and pages refuse writes
        int leaveAfterWrites = -1;  // leaves the field on this page write
        bool forgetsWrites = false; // acknowledges page writes without keeping them
        quint8 uidLast = 0x01;      // last byte of the 7-byte UID
    };
    VirtualNtag(Model model, Options options);
    QByteArray atr() const override;
    // The whole memory, page 0 first.
    QByteArray memory() const;
    // The user memory after the capability container.
    QByteArray dataArea() const;

protected:
    std::optional<QByteArray> respond(const QByteArray& apdu) override;

private:
    Options FOptions;
    int FPages = 0, FUserPages = 0;
    QByteArray FMemory;
};

// A MIFARE Classic 1K as readers report it: a storage card that answers reads with zeros.
class VirtualClassic : public VirtualChip {
public:
    QByteArray atr() const override;

protected:
    std::optional<QByteArray> respond(const QByteArray& apdu) override;
};

// An NFC Forum Type 4 tag: the NDEF application, its capability container E103 and an NDEF
// file E104 of `fileSize` bytes; with `hasNdef` false, a card without that application (a
// payment card, say).
class VirtualType4 : public VirtualChip {
public:
    VirtualType4(int fileSize, bool readOnly = false, bool hasNdef = true);
    QByteArray atr() const override;
    QByteArray ndefFile() const;

protected:
    std::optional<QByteArray> respond(const QByteArray& apdu) override;

private:
    bool FReadOnly, FHasNdef;
    QByteArray FCc, FFile;
    int FSelected = 0; // 0 none, 1 the application, 2 CC, 3 NDEF
    bool FApplication = false;
};

// A chip in the virtual reader's field for as long as this object lives, or until the chip
// leaves by itself.
class ChipInField {
public:
    // Connects to the driver on 127.0.0.1:`port` and answers from a thread of its own.
    ChipInField(int port, std::shared_ptr<VirtualChip> chip);
    ~ChipInField();
    ChipInField(const ChipInField&) = delete;
    ChipInField& operator=(const ChipInField&) = delete;
    bool connected() const { return FSocket >= 0; }

private:
    void serve();

    std::shared_ptr<VirtualChip> FChip;
    int FSocket = -1;
    std::thread FThread;
};
