#pragma once

// PC/SC through pcsc-lite: the readers the pcscd service offers, waiting for a card in one of
// them, and exchanging APDUs with it.

#include "platform/errors.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>

namespace lumo {

// What the user reads when there is no PC/SC service or no reader.
QString noReaderMessage();

// A card's answer could not be had because the card left the reader (or the reader went).
class CardGoneError : public UserError {
public:
    CardGoneError();
};

// Anything that carries command APDUs to a card and brings back its response APDU (the data
// and the two status bytes).
class CardChannel {
public:
    virtual ~CardChannel() = default;
    virtual QByteArray transmit(const QByteArray& apdu) = 0;
};

enum class WaitResult { Present, Absent, TimedOut, Cancelled };

// One connection to the PC/SC service. Use it from one thread; only cancel() may be called
// from another.
class PcscContext {
public:
    // Throws UserError with noReaderMessage() when the service is not running.
    PcscContext();
    ~PcscContext();
    PcscContext(const PcscContext&) = delete;
    PcscContext& operator=(const PcscContext&) = delete;

    // The readers' names, in the service's order; empty when there is none.
    QStringList readers() const;
    // Waits until `reader` holds a card (Present), `timeoutMs` pass or cancel() is called.
    // A negative timeout waits for ever.
    WaitResult waitForCard(const QString& reader, int timeoutMs);
    // Waits until `reader` is empty (Absent), as above.
    WaitResult waitForRemoval(const QString& reader, int timeoutMs);
    // Ends a wait in progress, or the next one, with Cancelled. Any thread.
    void cancel();
    bool cancelled() const { return FCancelled; }

    std::intptr_t handle() const { return FContext; }

private:
    WaitResult waitFor(const QString& reader, bool present, int timeoutMs);

    std::intptr_t FContext = 0;
    std::atomic<bool> FCancelled = false;
};

// A card in a reader, shared with other programs, T=0 or T=1.
class PcscCard : public CardChannel {
public:
    // Throws CardGoneError when the reader holds no card, UserError when another program holds
    // it alone.
    PcscCard(PcscContext& context, const QString& reader);
    ~PcscCard() override;
    PcscCard(const PcscCard&) = delete;
    PcscCard& operator=(const PcscCard&) = delete;

    QByteArray atr() const { return FAtr; }
    // Throws CardGoneError when the exchange fails.
    QByteArray transmit(const QByteArray& apdu) override;
    // The contactless chip's UID (GET DATA FF CA of the contactless readers); empty when the
    // reader does not tell.
    QByteArray uid();

private:
    std::intptr_t FCard = 0;
    unsigned long FProtocol = 0;
    QByteArray FAtr;
};

} // namespace lumo
