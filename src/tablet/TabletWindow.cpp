#include "tablet/TabletWindow.h"

#include <QDir>
#include <QGridLayout>
#include <QMouseEvent>
#include <QPixmap>

namespace veltrum::tablet {

TabletWindow::TabletWindow(QString imageFolder, QWidget* parent)
    : QWidget(parent)
    , m_imageFolder(std::move(imageFolder)) {
    setObjectName(QStringLiteral("TabletWindow"));
    setWindowTitle(QStringLiteral("Veltrum tablet"));
    setStyleSheet(QStringLiteral("background: black; color: white;"));
    auto* grid = new QGridLayout(this);
    for (int i = 0; i < 6; ++i) {
        auto* label = new QLabel(this);
        label->setObjectName(QStringLiteral("Position%1").arg(i + 1));
        label->setAlignment(Qt::AlignCenter);
        label->setMinimumSize(160, 160);
        // Presses on the pictures reach the window, which tells the positions apart.
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
        grid->addWidget(label, i / 3, i % 3);
        m_positions[static_cast<std::size_t>(i)] = label;
    }
    resize(720, 480);
}

void TabletWindow::showDisplay(const Display& display) {
    m_display = display;
    for (std::size_t i = 0; i < 6; ++i) {
        QLabel* label = m_positions[i];
        const int picture = display[i];
        if (picture <= 0) {
            label->clear();
            continue;
        }
        const QPixmap pixmap(QDir(m_imageFolder).filePath(QStringLiteral("%1.bmp").arg(picture)));
        if (pixmap.isNull())
            label->setText(QString::number(picture));
        else
            label->setPixmap(pixmap.scaled(label->size(), Qt::KeepAspectRatio));
    }
}

void TabletWindow::setConnected(bool connected) {
    setWindowTitle(connected ? QStringLiteral("Veltrum tablet")
                             : QStringLiteral("Veltrum tablet (connecting)"));
}

void TabletWindow::touch(int position) {
    if (m_onTouch)
        m_onTouch(position);
}

void TabletWindow::mousePressEvent(QMouseEvent* event) {
    for (std::size_t i = 0; i < 6; ++i) {
        if (m_positions[i]->geometry().contains(event->position().toPoint())) {
            touch(static_cast<int>(i) + 1);
            return;
        }
    }
}

} // namespace veltrum::tablet
