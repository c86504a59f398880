#include "session/crt.h"

namespace veltrum::session {

// The tablet socket's events run the window's handlers.
void crt::connectTabletHandlers() {}

void crt::SendDisplayMessage() {
    // The tablet is told only while it is connected; otherwise the display runs on the screen alone.
    if (m_services.socket.state() != platform::TabletSocket::Connected)
        return;
    m_services.socket.send(Text2.text() + "," + Text3.text() + "," + Text4.text() + "," + Text6.text() + "," +
                           Text7.text() + "," + Text8.text());
}

} // namespace veltrum::session
