#include "Source/mainwindow/InterceptingTextField.h"

#include "Source/session/TextNote.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>

namespace vantle {

InterceptingTextField::InterceptingTextField(QWidget* parent) : QLineEdit(parent) {
    setReadOnly(true);
}

void InterceptingTextField::setEditing(bool editing) {
    editing_ = editing;
    setReadOnly(!editing);
}

void InterceptingTextField::beginEdit() {
    if (editing_) return;
    setEditing(true);
    if (mainViewController_) mainViewController_->beginNoteAtCurrentTime();
}

void InterceptingTextField::focusInEvent(QFocusEvent* event) {
    // The press that gave the focus begins the edit itself, once.
    if (event->reason() != Qt::MouseFocusReason) beginEdit();
    QLineEdit::focusInEvent(event);
}

void InterceptingTextField::mousePressEvent(QMouseEvent* event) {
    // A click starts the edit and nothing else: the text is not selected or moved under it. An
    // edit the main view refused leaves the focus where the main view put it.
    beginEdit();
    if (editing_ && !hasFocus()) setFocus(Qt::MouseFocusReason);
    event->accept();
}

void InterceptingTextField::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && mainViewController_) {
        mainViewController_->cancelOperation();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void InterceptingTextField::cancelEdit() {
    if (!editing_) return;
    setEditing(false);
    if (!mainViewController_) return;
    const std::shared_ptr<TextNote>& note = mainViewController_->currentNote();
    setText(note ? QString::fromStdString(note->text()) : QString());
    mainViewController_->commitNoteEdit();
}

} // namespace vantle
