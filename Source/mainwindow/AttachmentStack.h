#pragma once
// The row of side-document buttons above the entry's name: an add button, then one button per
// side document of the current entry. Main thread only.

#include "Source/mainwindow/MainViewParts.h"

#include <QWidget>

class QHBoxLayout;
class QPushButton;

namespace vantle {

class Attachment;

// What the row's buttons ask of the main view. Main thread only.
class AttachmentStackHost {
public:
    virtual ~AttachmentStackHost() = default;
    // A side document's button was clicked (`contextClick`: a right click).
    virtual void attachmentButtonClicked(const std::shared_ptr<Attachment>& attachment, QWidget* button,
                                         bool contextClick) = 0;
    // The add button was pressed.
    virtual void attachmentStackAddButtonPressed() = 0;
};

class AttachmentStack final : public QWidget, public AttachmentsPart {
    Q_OBJECT

public:
    // The add button's title: an add symbol of the system's symbol font.
    static constexpr const char* addButtonTitle = "+";

    explicit AttachmentStack(AttachmentStackHost& host, QWidget* parent = nullptr);
    QWidget* widget() override { return this; }
    void rebuild(const std::shared_ptr<PlaylistEntry>& entry) override;

    // The buttons after the add button, in the entry's order.
    std::vector<QPushButton*> attachmentButtons() const;
    QPushButton* addButton() const { return addButton_; }

private:
    AttachmentStackHost& host_;
    QHBoxLayout* row_;
    QPushButton* addButton_ = nullptr;
};

} // namespace vantle
