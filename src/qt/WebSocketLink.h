// The tablet link carried by a browser's WebSocket: the opening handshake and the frames of the link.
// A browser's tablet page sends each touch as one text message holding the bytes the TCP tablet sends,
// and receives each display message as one text message; the link's bytes are otherwise those of the
// TCP tablet. Everything a browser sends is bounded as the TCP link's input is.
#pragma once

#include <QByteArray>

#include <cstdint>
#include <string>

namespace veltrum::qt {

namespace webSocket {

// The largest opening request, and the largest message a browser may send (a touch is a few bytes).
constexpr int maxRequestBytes = 8 * 1024;
constexpr std::uint64_t maxMessageBytes = 4 * 1024;

// The answer to a browser's opening request ("GET /link HTTP/1.1" with "Upgrade: websocket"), or empty
// when the request is not a WebSocket opening the link may take: then the connection is closed.
QByteArray handshakeAnswer(const QByteArray& request);

// One text message from the controller to the page.
QByteArray textFrame(const std::string& text);
// The link's heartbeat: an empty text message, shown as nothing, by which the page knows the link lives.
QByteArray heartbeatFrame();

// Reads a browser's frames as they arrive. What a frame may not be (unmasked, reserved bits, a message
// over maxMessageBytes, an unknown kind) ends the link, as the protocol requires.
class FrameReader {
public:
    enum class Verdict { Going, Closed, Broken };

    // Takes the bytes that arrived; the messages completed are appended to `messages`, the pongs and
    // the close answer owed to the browser to `replies`.
    Verdict feed(const QByteArray& bytes, std::string& messages, QByteArray& replies);

private:
    QByteArray m_pending;
    QByteArray m_message; // a message sent in several frames, so far
    bool m_inMessage = false;
};

} // namespace webSocket

} // namespace veltrum::qt
