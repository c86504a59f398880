#include "qt/WindowView.h"

#include "qt/FailureReport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QTimer>

namespace veltrum::qt {

using forms::ControlKind;

namespace {

QString toQString(const std::string& text) {
    return QString::fromStdString(text);
}

QColor toQColor(const forms::Rgb& colour) {
    return QColor(colour.red, colour.green, colour.blue);
}

QString widgetName(const forms::Control& control) {
    const QString name = toQString(control.objectName());
    return control.index() > 0 ? QStringLiteral("%1(%2)").arg(name).arg(control.index()) : name;
}

QFont toQFont(const forms::Font& font) {
    QFont result(toQString(font.family));
    // The window's fonts name families of another system; the nearest sans serif stands in for them.
    result.setStyleHint(QFont::SansSerif);
    result.setPointSizeF(font.pointSize > 0 ? font.pointSize : 10.0);
    result.setBold(font.bold);
    return result;
}

} // namespace

WindowView::WindowView(const std::vector<forms::Control*>& controls, QWidget* parent)
    : QWidget(parent)
    , m_controls(controls) {
    // Once the set-up controls are hidden the window itself must take the operator's keys.
    setFocusPolicy(Qt::StrongFocus);
    m_events.changed = [this](const forms::Control& control) { render(control); };
    m_events.repaintNow = [this](const forms::Control& control) {
        render(control);
        if (QWidget* widget = widgetFor(control); widget && widget->isVisible())
            widget->repaint();
        else if (control.kind() == ControlKind::Window && isVisible())
            repaint();
    };
    m_events.focus = [this](const forms::Control& control) {
        if (QWidget* widget = widgetFor(control))
            widget->setFocus(Qt::OtherFocusReason);
    };
    for (forms::Control* control : m_controls) {
        if (control->kind() != ControlKind::Window)
            m_widgets.emplace(control, createWidget(*control));
        render(*control);
    }
}

QWidget* WindowView::widgetFor(const forms::Control& control) const {
    const auto found = m_widgets.find(&control);
    return found == m_widgets.end() ? nullptr : found->second;
}

void WindowView::showWindow() {
    m_followsModelVisibility = true;
    for (forms::Control* control : m_controls) {
        if (control->kind() == ControlKind::Window)
            render(*control);
    }
    if (!isVisible())
        show();
}

QWidget* WindowView::createWidget(forms::Control& control) {
    QWidget* widget = nullptr;
    switch (control.kind()) {
    case ControlKind::Label: {
        auto* label = new QLabel(this);
        // Captions come from data files (subject names, touches): never read them as markup.
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        widget = label;
        break;
    }
    case ControlKind::TextBox: {
        auto* edit = new QLineEdit(this);
        auto& box = static_cast<forms::TextBox&>(control);
        connect(edit, &QLineEdit::textEdited, this, [this, &box](const QString& text) {
            runGuarded([&] { box.setText(text.toStdString()); });
            render(box);
        });
        widget = edit;
        break;
    }
    case ControlKind::CommandButton: {
        auto* button = new QPushButton(this);
        auto& command = static_cast<forms::CommandButton&>(control);
        connect(button, &QPushButton::clicked, this, [&command] { runGuarded([&] { command.click(); }); });
        widget = button;
        break;
    }
    case ControlKind::CheckBox: {
        auto* check = new QCheckBox(this);
        auto& box = static_cast<forms::CheckBox&>(control);
        connect(check, &QCheckBox::clicked, this, [this, &box](bool ticked) {
            runGuarded([&] { box.setValue(ticked ? 1 : 0); });
            render(box);
        });
        widget = check;
        break;
    }
    case ControlKind::ComboBox: {
        auto* combo = new QComboBox(this);
        combo->setEditable(true);
        // The model owns the entries: typing and Enter never add one.
        combo->setInsertPolicy(QComboBox::NoInsert);
        auto& list = static_cast<forms::ComboBox&>(control);
        connect(combo, &QComboBox::activated, this, [this, &list](int index) {
            runGuarded([&] { list.select(index); });
            render(list);
        });
        connect(combo->lineEdit(), &QLineEdit::textEdited, this, [this, &list](const QString& text) {
            runGuarded([&] { list.setText(text.toStdString()); });
            render(list);
        });
        widget = combo;
        break;
    }
    case ControlKind::PictureBox: {
        auto* picture = new QLabel(this);
        picture->setScaledContents(true);
        picture->installEventFilter(this);
        widget = picture;
        break;
    }
    case ControlKind::Window:
        break;
    }
    widget->setObjectName(widgetName(control));
    return widget;
}

void WindowView::render(const forms::Control& control) {
    if (control.kind() == ControlKind::Window) {
        renderWindow(static_cast<const forms::Window&>(control));
        return;
    }
    QWidget* widget = widgetFor(control);
    if (!widget)
        return;
    const QSignalBlocker blocker(widget);
    switch (control.kind()) {
    case ControlKind::Label: {
        const auto& label = static_cast<const forms::Label&>(control);
        auto* view = static_cast<QLabel*>(widget);
        view->setText(toQString(label.caption()));
        view->setAlignment(label.isCentred() ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
        break;
    }
    case ControlKind::TextBox: {
        auto* edit = static_cast<QLineEdit*>(widget);
        const QString text = toQString(static_cast<const forms::TextBox&>(control).text());
        if (edit->text() != text)
            edit->setText(text);
        break;
    }
    case ControlKind::CommandButton:
        static_cast<QPushButton*>(widget)->setText(
            toQString(static_cast<const forms::CommandButton&>(control).caption()));
        break;
    case ControlKind::CheckBox: {
        const auto& box = static_cast<const forms::CheckBox&>(control);
        auto* check = static_cast<QCheckBox*>(widget);
        check->setText(toQString(box.caption()));
        check->setChecked(box.value() != 0);
        break;
    }
    case ControlKind::ComboBox: {
        const auto& list = static_cast<const forms::ComboBox&>(control);
        auto* combo = static_cast<QComboBox*>(widget);
        QStringList entries;
        for (const std::string& entry : list.entries())
            entries.append(toQString(entry));
        QStringList shown;
        for (int i = 0; i < combo->count(); ++i)
            shown.append(combo->itemText(i));
        if (shown != entries) {
            combo->clear();
            combo->addItems(entries);
        }
        if (combo->currentIndex() != list.listIndex())
            combo->setCurrentIndex(list.listIndex());
        if (combo->currentText() != toQString(list.text()))
            combo->setEditText(toQString(list.text()));
        break;
    }
    case ControlKind::PictureBox:
        renderPicture(static_cast<const forms::PictureBox&>(control), widget);
        break;
    case ControlKind::Window:
        break;
    }
    renderCommon(control, widget);
}

void WindowView::renderWindow(const forms::Window& window) {
    setWindowTitle(toQString(window.caption()));
    const forms::Geometry& geometry = window.geometry();
    if (!m_fillsScreen && geometry.width > 0 && geometry.height > 0)
        setFixedSize(geometry.width, geometry.height);
    QPalette palette = this->palette();
    if (window.background())
        palette.setColor(QPalette::Window, toQColor(*window.background()));
    setPalette(palette);
    setAutoFillBackground(window.background().has_value());
    setFont(toQFont(window.font()));
    m_modelWindowVisible = window.isVisible();
    if (m_followsModelVisibility)
        setVisible(window.isVisible());
}

void WindowView::setFillsScreen(bool fills) {
    if (fills == m_fillsScreen)
        return;
    m_fillsScreen = fills;
    const bool wasVisible = isVisible();
    if (fills) {
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        // Without a window manager (a chamber computer running X alone) the full-screen request is not
        // honoured, so the window is also made frameless and given the display's whole geometry.
        setWindowFlag(Qt::FramelessWindowHint, true);
        if (const QScreen* display = screen())
            setGeometry(display->geometry());
        setWindowState(windowState() | Qt::WindowFullScreen);
    } else {
        setWindowFlag(Qt::FramelessWindowHint, false);
        setWindowState(windowState() & ~Qt::WindowFullScreen);
        for (forms::Control* control : m_controls) {
            if (control->kind() == ControlKind::Window)
                renderWindow(static_cast<const forms::Window&>(*control));
        }
    }
    // Changing the window's flags takes it off the screen; it comes back if the model still shows it.
    if (wasVisible && m_modelWindowVisible)
        show();
}

void WindowView::renderCommon(const forms::Control& control, QWidget* widget) {
    const forms::Geometry& geometry = control.geometry();
    widget->setGeometry(geometry.left, geometry.top, geometry.width, geometry.height);
    widget->setEnabled(control.isEnabled());
    widget->setFont(toQFont(control.font()));

    QPalette::ColorRole backgroundRole = QPalette::Window;
    QPalette::ColorRole foregroundRole = QPalette::WindowText;
    if (control.kind() == ControlKind::TextBox || control.kind() == ControlKind::ComboBox) {
        backgroundRole = QPalette::Base;
        foregroundRole = QPalette::Text;
    } else if (control.kind() == ControlKind::CommandButton) {
        backgroundRole = QPalette::Button;
        foregroundRole = QPalette::ButtonText;
    }
    QPalette palette = widget->palette();
    palette.setColor(foregroundRole, toQColor(control.foreground()));
    if (control.background())
        palette.setColor(backgroundRole, toQColor(*control.background()));
    else
        palette.setBrush(backgroundRole, QWidget::palette().brush(backgroundRole));
    widget->setPalette(palette);
    // A label without a colour of its own lets the window's background show through.
    if (backgroundRole == QPalette::Window)
        widget->setAutoFillBackground(control.background().has_value());
    widget->setVisible(control.isVisible());
}

void WindowView::renderPicture(const forms::PictureBox& picture, QWidget* widget) {
    auto* label = static_cast<QLabel*>(widget);
    const QPixmap pixmap = loadPicture(picture.picturePath());
    if (pixmap.cacheKey() != label->pixmap().cacheKey())
        label->setPixmap(pixmap);
}

QPixmap WindowView::loadPicture(const std::string& path) {
    if (path.empty())
        return {};
    const QString key = toQString(path);
    const auto cached = m_pictures.constFind(key);
    if (cached != m_pictures.constEnd())
        return *cached;
    const QPixmap pixmap(key);
    m_pictures.insert(key, pixmap);
    return pixmap;
}

void WindowView::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    if (text.isEmpty() || !m_keyHandler) {
        QWidget::keyPressEvent(event);
        return;
    }
    const int character = text.at(0).unicode();
    runGuarded([&] { m_keyHandler(character); });
    event->accept();
}

void WindowView::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    if (m_onFirstPaint)
        QTimer::singleShot(0, this, [handler = std::exchange(m_onFirstPaint, {})] { handler(); });
}

bool WindowView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) {
        for (forms::Control* control : m_controls) {
            if (control->kind() == ControlKind::PictureBox && widgetFor(*control) == watched) {
                runGuarded([&] { static_cast<forms::PictureBox*>(control)->mouseDown(); });
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace veltrum::qt
