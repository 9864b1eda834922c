#include "virtualchip.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QByteArray kOk = QByteArray::fromHex("9000");
const QByteArray kFailed = QByteArray::fromHex("6300");
const QByteArray kNotFound = QByteArray::fromHex("6A82");
const QByteArray kNotAllowed = QByteArray::fromHex("6986");

quint8 byteAt(const QByteArray& b, int i) {
    return quint8(b[i]);
}

// PC/SC's made-up ATR for a contactless storage card with the given card name, checksum last.
QByteArray storageAtr(int cardName) {
    QByteArray atr = QByteArray::fromHex("3B8F8001804F0CA00000030603");
    atr.append(char(cardName >> 8));
    atr.append(char(cardName & 0xFF));
    atr.append(QByteArray(4, '\0'));
    quint8 check = 0;
    for (int i = 1; i < atr.size(); ++i)
        check ^= byteAt(atr, i);
    return atr + char(check);
}

bool readAll(int socket, char* into, int length) {
    while (length > 0) {
        const ssize_t n = ::recv(socket, into, size_t(length), 0);
        if (n <= 0)
            return false;
        // The driver sends a message's length and its payload apart; a delayed
        // acknowledgement here would hold the payload back some 40 ms (Nagle's algorithm).
        const int on = 1;
        ::setsockopt(socket, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
        into += n;
        length -= int(n);
    }
    return true;
}

bool send(int socket, const QByteArray& payload) {
    QByteArray message;
    message.append(char(payload.size() >> 8));
    message.append(char(payload.size() & 0xFF));
    message.append(payload);
    return ::send(socket, message.constData(), size_t(message.size()), MSG_NOSIGNAL) == message.size();
}

} // namespace

VirtualNtag::VirtualNtag(Model model, Options options) : FOptions(options) {
    int sizeCode = 0;
    switch (model) {
    case Ntag213:
        FPages = 45, FUserPages = 36, sizeCode = 0x12;
        break;
    case Ntag215:
        FPages = 135, FUserPages = 126, sizeCode = 0x3E;
        break;
    case Ntag216:
        FPages = 231, FUserPages = 222, sizeCode = 0x6D;
        break;
    }
    FMemory = QByteArray(FPages * 4, '\0');
    // UID in pages 0 and 1 with its check bytes, internal byte and static lock bytes in page 2.
    const QByteArray uid = QByteArray::fromHex("04A1B2C3D4E5") + char(options.uidLast);
    FMemory.replace(0, 3, uid.left(3));
    FMemory[3] = char(0x88 ^ byteAt(uid, 0) ^ byteAt(uid, 1) ^ byteAt(uid, 2));
    FMemory.replace(4, 4, uid.mid(3, 4));
    FMemory[8] = char(byteAt(uid, 3) ^ byteAt(uid, 4) ^ byteAt(uid, 5) ^ byteAt(uid, 6));
    FMemory[9] = char(0x48);
    if (!options.blank) {
        FMemory[12] = char(0xE1), FMemory[13] = char(0x10), FMemory[14] = char(sizeCode);
        FMemory[15] = char(options.readOnly ? 0x0F : 0x00);
        FMemory.replace(16, 3, QByteArray::fromHex("0300FE"));
    }
}

QByteArray VirtualNtag::atr() const {
    return storageAtr(0x0003);
}

QByteArray VirtualNtag::memory() const {
    std::lock_guard lock(FMutex);
    return FMemory;
}

QByteArray VirtualNtag::dataArea() const {
    return memory().mid(16, FUserPages * 4);
}

std::optional<QByteArray> VirtualNtag::respond(const QByteArray& apdu) {
    if (apdu == QByteArray::fromHex("FFCA000000"))
        return FMemory.left(3) + FMemory.mid(4, 4) + kOk;
    if (apdu.size() == 5 && apdu.startsWith(QByteArray::fromHex("FFB000")) && byteAt(apdu, 4) == 0x10) {
        // READ: four pages, rolling over to page 0 after the last; a page past the end is refused.
        const int page = byteAt(apdu, 3);
        if (page >= FPages)
            return kFailed;
        QByteArray data;
        for (int i = 0; i < 4; ++i)
            data += FMemory.mid(((page + i) % FPages) * 4, 4);
        return data + kOk;
    }
    if (apdu.size() == 9 && apdu.startsWith(QByteArray::fromHex("FFD600")) && byteAt(apdu, 4) == 0x04) {
        const int page = byteAt(apdu, 3);
        const bool locked = byteAt(FMemory, 15) == 0x0F && page >= 3 && page < 4 + FUserPages;
        if (page < 2 || page >= FPages || locked)
            return kFailed;
        if (FOptions.leaveAfterWrites >= 0 && FWrites >= FOptions.leaveAfterWrites)
            return std::nullopt;
        if (FOptions.forgetsWrites)
            return kOk;
        ++FWrites;
        const QByteArray data = apdu.mid(5, 4);
        if (page == 2) // only the lock bytes, and only ever set
            FMemory[10] = char(byteAt(FMemory, 10) | byteAt(data, 2)),
            FMemory[11] = char(byteAt(FMemory, 11) | byteAt(data, 3));
        else if (page == 3) // one-time programmable
            for (int i = 0; i < 4; ++i)
                FMemory[12 + i] = char(byteAt(FMemory, 12 + i) | byteAt(data, i));
        else
            FMemory.replace(page * 4, 4, data);
        return kOk;
    }
    return QByteArray::fromHex("6A81");
}

QByteArray VirtualClassic::atr() const {
    return storageAtr(0x0001);
}

std::optional<QByteArray> VirtualClassic::respond(const QByteArray& apdu) {
    if (apdu == QByteArray::fromHex("FFCA000000"))
        return QByteArray::fromHex("DEADBEEF") + kOk;
    if (apdu.startsWith(QByteArray::fromHex("FFB000")))
        return QByteArray(16, '\0') + kOk;
    if (apdu.startsWith(QByteArray::fromHex("FFD600")))
        ++FWrites;
    return kFailed;
}

VirtualType4::VirtualType4(int fileSize, bool readOnly, bool hasNdef)
    : FReadOnly(readOnly), FHasNdef(hasNdef), FFile(fileSize, '\0') {
    // CCLEN 15, mapping version 2.0, MLe 0x3B, MLc 0x34, the NDEF file E104 of fileSize bytes.
    FCc = QByteArray::fromHex("000F20003B00340406E104");
    FCc.append(char(fileSize >> 8));
    FCc.append(char(fileSize & 0xFF));
    FCc.append(char(0x00));
    FCc.append(char(readOnly ? 0xFF : 0x00));
}

QByteArray VirtualType4::atr() const {
    // An ISO 14443-4 chip without historical bytes, as readers report it.
    return QByteArray::fromHex("3B80800101");
}

QByteArray VirtualType4::ndefFile() const {
    std::lock_guard lock(FMutex);
    return FFile;
}

std::optional<QByteArray> VirtualType4::respond(const QByteArray& apdu) {
    if (apdu == QByteArray::fromHex("FFCA000000"))
        return QByteArray::fromHex("08112233") + kOk;
    if (apdu.size() < 5)
        return QByteArray::fromHex("6700");
    const int ins = byteAt(apdu, 1), p1 = byteAt(apdu, 2), p2 = byteAt(apdu, 3), lc = byteAt(apdu, 4);
    if (ins == 0xA4 && p1 == 0x04) {
        FApplication = FHasNdef && apdu.mid(5, lc) == QByteArray::fromHex("D2760000850101");
        FSelected = 0;
        return FApplication ? kOk : kNotFound;
    }
    if (ins == 0xA4 && p1 == 0x00 && FApplication) {
        const QByteArray id = apdu.mid(5, lc);
        FSelected = id == QByteArray::fromHex("E103") ? 2 : id == QByteArray::fromHex("E104") ? 3 : 0;
        return FSelected ? kOk : kNotFound;
    }
    const int offset = (p1 << 8) | p2;
    if (ins == 0xB0 && FSelected >= 2) {
        const QByteArray& file = FSelected == 2 ? FCc : FFile;
        const int length = lc ? lc : 256;
        if (offset + length > file.size())
            return QByteArray::fromHex("6B00");
        return file.mid(offset, length) + kOk;
    }
    if (ins == 0xD6 && FSelected == 3) {
        if (FReadOnly)
            return kNotAllowed;
        if (offset + lc > FFile.size() || lc > 0x34)
            return QByteArray::fromHex("6B00");
        ++FWrites;
        FFile.replace(offset, lc, apdu.mid(5, lc));
        return kOk;
    }
    return QByteArray::fromHex("6D00");
}

ChipInField::ChipInField(int port, std::shared_ptr<VirtualChip> chip) : FChip(std::move(chip)) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(s);
        return;
    }
    const int on = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    FSocket = s;
    FThread = std::thread([this] { serve(); });
}

ChipInField::~ChipInField() {
    if (FSocket >= 0)
        ::shutdown(FSocket, SHUT_RDWR);
    if (FThread.joinable())
        FThread.join();
    if (FSocket >= 0)
        ::close(FSocket);
}

void ChipInField::serve() {
    for (;;) {
        char head[2];
        if (!readAll(FSocket, head, 2))
            return;
        const int length = (quint8(head[0]) << 8) | quint8(head[1]);
        QByteArray payload(length, '\0');
        if (!readAll(FSocket, payload.data(), length))
            return;
        if (length == 1) {
            // Power off, on and reset need no answer; 4 asks for the ATR.
            if (payload[0] == 4 && !send(FSocket, FChip->atr()))
                return;
            continue;
        }
        const std::optional<QByteArray> response = FChip->answer(payload);
        if (!response) {
            // Out of the field: the driver sees the connection end.
            ::shutdown(FSocket, SHUT_RDWR);
            return;
        }
        if (!send(FSocket, *response))
            return;
    }
}
