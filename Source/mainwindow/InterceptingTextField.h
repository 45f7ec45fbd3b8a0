#pragma once
// The note field under the time slider: a one-line field that tells the main view the moment an
// edit begins (so that it can pause and make the note at the position) and that can abandon an
// edit. Read-only unless an edit runs. Main thread only.

#include <QLineEdit>

#include <memory>

namespace vantle {

class TextNote;

// What the note field asks of the main view. Main thread only.
class NoteFieldHost {
public:
    virtual ~NoteFieldHost() = default;
    // An edit began: playback pauses and the note at the position becomes current.
    virtual void beginNoteAtCurrentTime() = 0;
    // Escape in the field.
    virtual void cancelOperation() = 0;
    // The note being edited; null for none.
    virtual const std::shared_ptr<TextNote>& currentNote() const = 0;
    // The field's text becomes the current note's.
    virtual void commitNoteEdit() = 0;
};

class InterceptingTextField final : public QLineEdit {
    Q_OBJECT

public:
    explicit InterceptingTextField(QWidget* parent = nullptr);

    bool editing() const { return editing_; }
    // Leaving an edit makes the field read-only again.
    void setEditing(bool editing);
    // The main view the field reports to; null: none.
    NoteFieldHost* mainViewController() const { return mainViewController_; }
    void setMainViewController(NoteFieldHost* host) { mainViewController_ = host; }

    // Puts the current note's stored text back and commits it, so the note is unchanged.
    void cancelEdit();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void beginEdit();

    bool editing_ = false;
    NoteFieldHost* mainViewController_ = nullptr;
};

} // namespace vantle
