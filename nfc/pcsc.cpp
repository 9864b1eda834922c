#include "nfc/pcsc.h"

#include <QDeadlineTimer>

#include <PCSC/winscard.h>
#include <PCSC/wintypes.h>

#include <vector>

namespace lumo {

QString noReaderMessage() {
    return QStringLiteral("Nenhum leitor NFC encontrado. O serviço pcscd está ativo?");
}

CardGoneError::CardGoneError()
    : UserError(QStringLiteral("O cartão foi afastado antes do fim; grave de novo")) {}

namespace {

SCARDCONTEXT contextOf(std::intptr_t handle) {
    return SCARDCONTEXT(handle);
}

} // namespace

PcscContext::PcscContext() {
    SCARDCONTEXT context = 0;
    if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) != SCARD_S_SUCCESS)
        throw UserError(noReaderMessage());
    FContext = std::intptr_t(context);
}

PcscContext::~PcscContext() {
    SCardReleaseContext(contextOf(FContext));
}

QStringList PcscContext::readers() const {
    DWORD length = 0;
    if (SCardListReaders(contextOf(FContext), nullptr, nullptr, &length) != SCARD_S_SUCCESS || length == 0)
        return {};
    std::vector<char> names(length);
    if (SCardListReaders(contextOf(FContext), nullptr, names.data(), &length) != SCARD_S_SUCCESS)
        return {};
    // A multi-string: names ended by NUL, the list by an empty name.
    QStringList out;
    for (DWORD at = 0; at < length && names[at] != '\0';) {
        const QString name = QString::fromUtf8(names.data() + at);
        out << name;
        at += DWORD(name.toUtf8().size()) + 1;
    }
    return out;
}

WaitResult PcscContext::waitForCard(const QString& reader, int timeoutMs) {
    return waitFor(reader, true, timeoutMs);
}

WaitResult PcscContext::waitForRemoval(const QString& reader, int timeoutMs) {
    return waitFor(reader, false, timeoutMs);
}

WaitResult PcscContext::waitFor(const QString& reader, bool present, int timeoutMs) {
    const QByteArray name = reader.toUtf8();
    SCARD_READERSTATE state{};
    state.szReader = name.constData();
    state.dwCurrentState = SCARD_STATE_UNAWARE;
    QDeadlineTimer deadline =
        timeoutMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(timeoutMs);
    // The first call answers at once with the reader's state; the next ones return on a change.
    DWORD wait = 0;
    for (;;) {
        if (FCancelled)
            return WaitResult::Cancelled;
        const LONG rv = SCardGetStatusChange(contextOf(FContext), wait, &state, 1);
        if (rv == SCARD_E_CANCELLED)
            return WaitResult::Cancelled;
        if (rv == SCARD_E_TIMEOUT) {
            if (deadline.hasExpired())
                return WaitResult::TimedOut;
        } else if (rv != SCARD_S_SUCCESS) {
            throw UserError(noReaderMessage());
        } else {
            if (state.dwEventState & (SCARD_STATE_UNKNOWN | SCARD_STATE_IGNORE))
                throw UserError(QStringLiteral("O leitor NFC \"%1\" não está mais conectado.").arg(reader));
            const bool hasCard =
                (state.dwEventState & SCARD_STATE_PRESENT) && !(state.dwEventState & SCARD_STATE_MUTE);
            if (hasCard == present)
                return present ? WaitResult::Present : WaitResult::Absent;
            state.dwCurrentState = state.dwEventState & ~SCARD_STATE_CHANGED;
        }
        if (deadline.hasExpired())
            return WaitResult::TimedOut;
        wait = deadline.isForever() ? INFINITE : DWORD(std::max<qint64>(1, deadline.remainingTime()));
    }
}

void PcscContext::cancel() {
    FCancelled = true;
    SCardCancel(contextOf(FContext));
}

PcscCard::PcscCard(PcscContext& context, const QString& reader) {
    SCARDHANDLE card = 0;
    DWORD protocol = 0;
    const LONG rv = SCardConnect(contextOf(context.handle()), reader.toUtf8().constData(), SCARD_SHARE_SHARED,
                                 SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &card, &protocol);
    if (rv == SCARD_E_SHARING_VIOLATION)
        throw UserError(QStringLiteral("O leitor NFC está em uso por outro programa."));
    if (rv != SCARD_S_SUCCESS)
        throw CardGoneError();
    FCard = std::intptr_t(card);
    FProtocol = protocol;

    char readerName[MAX_READERNAME];
    DWORD readerLength = sizeof readerName;
    DWORD cardState = 0, cardProtocol = 0;
    BYTE atr[MAX_ATR_SIZE];
    DWORD atrLength = sizeof atr;
    if (SCardStatus(card, readerName, &readerLength, &cardState, &cardProtocol, atr, &atrLength) ==
        SCARD_S_SUCCESS)
        FAtr = QByteArray(reinterpret_cast<const char*>(atr), int(atrLength));
}

PcscCard::~PcscCard() {
    SCardDisconnect(SCARDHANDLE(FCard), SCARD_LEAVE_CARD);
}

QByteArray PcscCard::transmit(const QByteArray& apdu) {
    const SCARD_IO_REQUEST* pci = FProtocol == SCARD_PROTOCOL_T0 ? SCARD_PCI_T0 : SCARD_PCI_T1;
    BYTE response[258 + 2];
    DWORD length = sizeof response;
    const LONG rv = SCardTransmit(SCARDHANDLE(FCard), pci, reinterpret_cast<const BYTE*>(apdu.constData()),
                                  DWORD(apdu.size()), nullptr, response, &length);
    // A card taken away, a reset by another program or a reader unplugged all end the exchange.
    if (rv != SCARD_S_SUCCESS || length < 2)
        throw CardGoneError();
    return QByteArray(reinterpret_cast<const char*>(response), int(length));
}

QByteArray PcscCard::uid() {
    const QByteArray r = transmit(QByteArray::fromHex("FFCA000000"));
    if (r.size() < 3 || !r.endsWith(QByteArray::fromHex("9000")))
        return {};
    return r.left(r.size() - 2);
}

} // namespace lumo
