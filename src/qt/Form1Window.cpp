#include "qt/Form1Window.h"

#include "qt/FailureReport.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>

#include <algorithm>

namespace veltrum::qt {

namespace {

// Where the session's picture goes, in pixels: right of the hidden row status at the left, below the
// totals, above the button, with the window's margin kept on the right.
constexpr QRect pictureArea(196, 166, 500, 384);

// The instructions' box is widened in the window to the right, over empty space, so that each
// instruction stands on one line at its design size.
constexpr int instructionsWidth = 460;

// The three instructions of the caption, each on a line of its own so that they read as three keys.
QString oneInstructionPerLine(const QString& caption) {
    QString lines = caption;
    lines.replace(QStringLiteral(" Press "), QStringLiteral("\nPress "));
    return lines;
}

// The generic view renders every control but the comment box, which needs several lines.
std::vector<forms::Control*> controlsBesideComment(session::Form1& model) {
    std::vector<forms::Control*> controls = model.controls();
    std::erase(controls, &model.Text1);
    return controls;
}

} // namespace

Form1Window::Form1Window(session::Form1& model, QWidget* parent)
    : WindowView(controlsBesideComment(model), parent)
    , m_model(model) {
    m_comment = new QPlainTextEdit(this);
    m_comment->setObjectName(QStringLiteral("Text1"));
    m_comment->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_comment->setTabChangesFocus(true);
    m_comment->installEventFilter(this);
    connect(m_comment, &QPlainTextEdit::textChanged, this, [this] { commentEdited(); });
    if (QWidget* button = widgetFor(m_model.Command1))
        button->installEventFilter(this);

    m_modelEvents.changed = [this](const forms::Control& control) {
        if (&control == &m_model.Text1) {
            renderComment();
            return;
        }
        controlEvents().changed(control);
        fitCaption(control);
    };
    m_modelEvents.repaintNow = [this](const forms::Control& control) {
        if (&control == &m_model.Text1) {
            renderComment();
            return;
        }
        controlEvents().repaintNow(control);
        fitCaption(control);
    };
    m_modelEvents.focus = [this](const forms::Control& control) {
        if (&control != &m_model.Text1) {
            controlEvents().focus(control);
            return;
        }
        // Shown first: a hidden editor cannot take the focus.
        renderComment();
        m_comment->setFocus(Qt::OtherFocusReason);
    };
    for (const forms::Control* control : m_model.controls())
        fitCaption(*control);
    m_model.setControlEvents(m_modelEvents);
    renderComment();
    setKeyHandler([this](int character) {
        // Characters outside the 16-bit range cannot be a key of the window.
        if (character > forms::Int16::maximum)
            return;
        forms::Int16 key = character;
        m_model.Form_KeyPress(key);
    });
}

Form1Window::~Form1Window() {
    // The model may outlive its view: it must stop reporting to it.
    m_model.setControlEvents({});
}

QSize Form1Window::pictureSize() {
    return pictureArea.size();
}

void Form1Window::fitCaption(const forms::Control& control) {
    if (control.kind() != forms::ControlKind::Label)
        return;
    auto* label = qobject_cast<QLabel*>(widgetFor(control));
    if (!label)
        return;
    if (&control == &m_model.Label1) {
        label->setText(oneInstructionPerLine(QString::fromStdString(m_model.Label1.caption())));
        label->resize(std::max(label->width(), instructionsWidth), label->height());
    }
    // Captions stand at the top of their boxes, as the window was designed.
    const bool centred = static_cast<const forms::Label&>(control).isCentred();
    label->setAlignment((centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
    // The design font is narrower than the sans serif that stands in for it here: a caption that would
    // wrap past its box or lose a word is set in the condensed face, then smaller, until it fits.
    QFont font = label->font();
    font.setStretch(QFont::SemiCondensed);
    // One line always fits: the boxes were sized for the design font's own line height.
    const auto fits = [label](const QFont& candidate) {
        const QFontMetrics metrics(candidate);
        const QRect needed =
            metrics.boundingRect(QRect(0, 0, label->width(), 100000), Qt::TextWordWrap, label->text());
        return needed.width() <= label->width() &&
               needed.height() <= std::max(label->height(), metrics.height());
    };
    if (!fits(label->font())) {
        while (!fits(font) && font.pointSizeF() > 6.0)
            font.setPointSizeF(font.pointSizeF() - 0.5);
        label->setFont(font);
    }
}

void Form1Window::setSessionPicture(const QImage& picture) {
    if (!m_picture) {
        m_picture = new QLabel(this);
        m_picture->setObjectName(QStringLiteral("SessionRecord"));
        m_picture->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    }
    // Drawn for this size by the caller; another size is scaled to fit.
    const QPixmap scaled = QPixmap::fromImage(
        picture.size() == pictureArea.size()
            ? picture
            : picture.scaled(pictureArea.size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    m_picture->setPixmap(scaled);
    m_picture->setGeometry(pictureArea);
    renderComment();
}

void Form1Window::renderComment() {
    const forms::TextBox& box = m_model.Text1;
    const QString text = QString::fromStdString(box.text());
    if (m_comment->toPlainText() != text) {
        const QSignalBlocker blocker(m_comment);
        const int cursorAt = m_comment->textCursor().position();
        m_comment->setPlainText(text);
        QTextCursor cursor = m_comment->textCursor();
        cursor.setPosition(std::min(cursorAt, static_cast<int>(text.size())));
        m_comment->setTextCursor(cursor);
    }
    const forms::Geometry& geometry = box.geometry();
    m_comment->setGeometry(geometry.left, geometry.top, geometry.width, geometry.height);
    QFont font(QString::fromStdString(box.font().family));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(box.font().pointSize);
    m_comment->setFont(font);
    m_comment->setEnabled(box.isEnabled());
    m_comment->setVisible(box.isVisible());
    if (m_picture)
        m_picture->setVisible(!box.isVisible());
}

void Form1Window::commentEdited() {
    // The model keeps at most its maximum length; what it refused is taken back out of the editor.
    runGuarded([this] { m_model.Text1.setText(m_comment->toPlainText().toStdString()); });
    renderComment();
}

void Form1Window::closeEvent(QCloseEvent* event) {
    forms::Int16 cancel = 0;
    runGuarded([&] { m_model.Form_QueryUnload(cancel); });
    if (cancel != 0)
        event->ignore();
    else
        event->accept();
}

bool Form1Window::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        if (watched == m_comment)
            runGuarded([this] { m_model.Text1_GotFocus(); });
        else if (watched == widgetFor(m_model.Command1))
            runGuarded([this] { m_model.Command1_GotFocus(); });
    }
    return WindowView::eventFilter(watched, event);
}

} // namespace veltrum::qt
