#include "qt/WebSocketLink.h"

#include <QCryptographicHash>
#include <QList>

namespace veltrum::qt::webSocket {

namespace {

QByteArray headerValue(const QList<QByteArray>& lines, const QByteArray& name) {
    for (const QByteArray& line : lines) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

bool listsToken(const QByteArray& value, const QByteArray& token) {
    for (const QByteArray& part : value.split(','))
        if (part.trimmed().toLower() == token)
            return true;
    return false;
}

QByteArray frame(quint8 opcode, const QByteArray& payload) {
    QByteArray bytes;
    bytes.append(static_cast<char>(0x80 | opcode));
    const qsizetype size = payload.size();
    if (size < 126) {
        bytes.append(static_cast<char>(size));
    } else if (size < 65536) {
        bytes.append(static_cast<char>(126));
        bytes.append(static_cast<char>((size >> 8) & 0xff));
        bytes.append(static_cast<char>(size & 0xff));
    } else {
        bytes.append(static_cast<char>(127));
        for (int shift = 56; shift >= 0; shift -= 8)
            bytes.append(static_cast<char>((static_cast<quint64>(size) >> shift) & 0xff));
    }
    return bytes + payload;
}

} // namespace

QByteArray handshakeAnswer(const QByteArray& request) {
    if (request.size() > maxRequestBytes || !request.endsWith("\r\n\r\n"))
        return {};
    const QList<QByteArray> lines = request.left(request.size() - 4).split('\n');
    const QList<QByteArray> first = lines.front().trimmed().split(' ');
    if (first.size() != 3 || first[0] != "GET" || first[1] != "/link" || !first[2].startsWith("HTTP/1.1"))
        return {};
    if (!listsToken(headerValue(lines, "upgrade"), "websocket") ||
        !listsToken(headerValue(lines, "connection"), "upgrade") ||
        headerValue(lines, "sec-websocket-version") != "13")
        return {};
    // A page of another site open in the tablet's browser may not take the link: the page asking must
    // have come from the host it asks.
    const QByteArray origin = headerValue(lines, "origin");
    const QByteArray host = headerValue(lines, "host");
    if (!origin.isEmpty() && origin != "http://" + host && origin != "https://" + host)
        return {};
    const QByteArray key = headerValue(lines, "sec-websocket-key");
    if (QByteArray::fromBase64(key).size() != 16)
        return {};
    const QByteArray accept =
        QCryptographicHash::hash(key + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11", QCryptographicHash::Sha1)
            .toBase64();
    return "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
           "Sec-WebSocket-Accept: " +
           accept + "\r\n\r\n";
}

QByteArray textFrame(const std::string& text) {
    return frame(0x1, QByteArray(text.data(), static_cast<qsizetype>(text.size())));
}

QByteArray heartbeatFrame() {
    return frame(0x1, {});
}

FrameReader::Verdict FrameReader::feed(const QByteArray& bytes, std::string& messages, QByteArray& replies) {
    m_pending += bytes;
    for (;;) {
        const auto* data = reinterpret_cast<const unsigned char*>(m_pending.constData());
        const qsizetype available = m_pending.size();
        if (available < 2)
            break;
        const bool fin = (data[0] & 0x80) != 0;
        const unsigned opcode = data[0] & 0x0f;
        const bool masked = (data[1] & 0x80) != 0;
        if ((data[0] & 0x70) != 0 || !masked)
            return Verdict::Broken;
        std::uint64_t length = data[1] & 0x7f;
        qsizetype at = 2;
        if (length == 126) {
            if (available < 4)
                break;
            length = (static_cast<std::uint64_t>(data[2]) << 8) | data[3];
            at = 4;
        } else if (length == 127) {
            if (available < 10)
                break;
            length = 0;
            for (int i = 0; i < 8; ++i)
                length = (length << 8) | data[2 + i];
            at = 10;
        }
        const bool control = opcode >= 0x8;
        if ((control && (length > 125 || !fin)) ||
            length + static_cast<std::uint64_t>(m_message.size()) > maxMessageBytes)
            return Verdict::Broken;
        if (available < at + 4 + static_cast<qsizetype>(length))
            break;
        const unsigned char* mask = data + at;
        QByteArray payload(static_cast<qsizetype>(length), Qt::Uninitialized);
        for (qsizetype i = 0; i < payload.size(); ++i)
            payload[i] = static_cast<char>(data[at + 4 + i] ^ mask[i % 4]);
        m_pending.remove(0, at + 4 + static_cast<qsizetype>(length));
        switch (opcode) {
        case 0x0: // the rest of a message
            if (!m_inMessage)
                return Verdict::Broken;
            m_message += payload;
            break;
        case 0x1:
        case 0x2:
            if (m_inMessage)
                return Verdict::Broken;
            m_inMessage = true;
            m_message = payload;
            break;
        case 0x8:
            replies += frame(0x8, payload.left(2));
            return Verdict::Closed;
        case 0x9:
            replies += frame(0xA, payload);
            continue;
        case 0xA:
            continue;
        default:
            return Verdict::Broken;
        }
        if (fin) {
            messages.append(m_message.constData(), static_cast<std::size_t>(m_message.size()));
            m_message.clear();
            m_inMessage = false;
        }
    }
    // Bytes that cannot become a frame within the bounds are not kept.
    if (m_pending.size() > static_cast<qsizetype>(maxMessageBytes) + 14)
        return Verdict::Broken;
    return Verdict::Going;
}

} // namespace veltrum::qt::webSocket
