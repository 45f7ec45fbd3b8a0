#pragma once
// The note field under the time slider: a one-line field that tells the main view the moment an
// edit begins (so that it can pause and make the note at the position) and that can abandon an
// edit. Read-only unless an edit runs. Main thread only.

#include <QLineEdit>

namespace vantle {

class MainViewController;

class InterceptingTextField final : public QLineEdit {
    Q_OBJECT

public:
    explicit InterceptingTextField(QWidget* parent = nullptr);

    bool editing() const { return editing_; }
    // Leaving an edit makes the field read-only again.
    void setEditing(bool editing);
    MainViewController* mainViewController() const { return mainViewController_; }
    void setMainViewController(MainViewController* controller) { mainViewController_ = controller; }

    // Puts the current note's stored text back and commits it, so the note is unchanged.
    void cancelEdit();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void beginEdit();

    bool editing_ = false;
    MainViewController* mainViewController_ = nullptr;
};

} // namespace vantle
