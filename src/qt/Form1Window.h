// The summary window Form1 on screen: its labels and button rendered from the model, the comment box as a
// multi-line editor, keys and the title bar's close forwarded to the model's handlers.
#pragma once

#include "qt/WindowView.h"
#include "session/Form1.h"

class QLabel;
class QPlainTextEdit;

namespace veltrum::qt {

class Form1Window : public WindowView {
public:
    explicit Form1Window(session::Form1& model, QWidget* parent = nullptr);
    ~Form1Window() override;

    session::Form1& model() { return m_model; }

    // The size the session's picture is shown at, to draw it for the window without scaling.
    static QSize pictureSize();

    // The session's picture (its cumulative record and trial strip) in the empty part of the window,
    // below the totals; the comment box takes that place once the operator asks for it.
    void setSessionPicture(const QImage& picture);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void renderComment();
    void fitCaption(const forms::Control& control);
    void commentEdited();

    session::Form1& m_model;
    QPlainTextEdit* m_comment = nullptr;
    QLabel* m_picture = nullptr;
    forms::ControlEvents m_modelEvents;
};

} // namespace veltrum::qt
