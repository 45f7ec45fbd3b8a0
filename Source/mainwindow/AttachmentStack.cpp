#include "Source/mainwindow/AttachmentStack.h"

#include "Source/session/Attachment.h"
#include "Source/session/PlaylistEntry.h"
#include "platform/foundation/Text.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QPushButton>

namespace vantle {

namespace {

// A side document's button: it acts as soon as a mouse button goes down, as the original's did;
// a right click (the context-menu request) also opens the attachment menu.
class AttachmentButton final : public QPushButton {
public:
    AttachmentButton(AttachmentStackHost& host, std::shared_ptr<Attachment> attachment, QWidget* parent)
        : QPushButton(QString::fromStdString(platform::escapingControlCharacters(attachment->buttonTitle())),
                      parent),
          host_(host), attachment_(std::move(attachment)) {
        setToolTip(QString::fromStdString(platform::escapingControlCharacters(attachment_->toolTip())));
        setFocusPolicy(Qt::NoFocus);
        // A click made by program or keyboard, which no mouse press announced.
        connect(this, &QPushButton::clicked, this,
                [this] { host_.attachmentButtonClicked(attachment_, this, false); });
    }

protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::RightButton) return QPushButton::mousePressEvent(event);
        event->accept();
        host_.attachmentButtonClicked(attachment_, this, false);
    }
    void contextMenuEvent(QContextMenuEvent* event) override {
        event->accept();
        host_.attachmentButtonClicked(attachment_, this, true);
    }

private:
    AttachmentStackHost& host_;
    std::shared_ptr<Attachment> attachment_;
};

} // namespace

AttachmentStack::AttachmentStack(AttachmentStackHost& host, QWidget* parent)
    : QWidget(parent), host_(host), row_(new QHBoxLayout(this)) {
    setObjectName("attachmentStack");
    row_->setContentsMargins(0, 0, 0, 0);
    rebuild(nullptr);
}

void AttachmentStack::rebuild(const std::shared_ptr<PlaylistEntry>& entry) {
    // A button may be rebuilt away while its own click is handled: it goes when the event is done.
    while (QLayoutItem* item = row_->takeAt(0)) {
        if (QWidget* button = item->widget()) {
            button->hide();
            button->deleteLater();
        }
        delete item;
    }
    addButton_ = new QPushButton(QString::fromUtf8(addButtonTitle), this);
    addButton_->setObjectName("attachmentStackAddButton");
    addButton_->setFlat(true);
    addButton_->setFocusPolicy(Qt::NoFocus);
    addButton_->setToolTip(tr("Add an associated document"));
    QFont font = addButton_->font();
    font.setPointSizeF(24.0);
    addButton_->setFont(font);
    connect(addButton_, &QPushButton::clicked, this, [this] { host_.attachmentStackAddButtonPressed(); });
    row_->addWidget(addButton_);
    if (entry)
        for (const std::shared_ptr<Attachment>& attachment : entry->attachments)
            if (attachment) row_->addWidget(new AttachmentButton(host_, attachment, this));
    row_->addStretch();
}

std::vector<QPushButton*> AttachmentStack::attachmentButtons() const {
    std::vector<QPushButton*> buttons;
    for (int i = 1; i < row_->count(); ++i)
        if (auto* button = qobject_cast<QPushButton*>(row_->itemAt(i)->widget())) buttons.push_back(button);
    return buttons;
}

} // namespace vantle
