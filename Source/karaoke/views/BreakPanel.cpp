#include "Source/karaoke/views/BreakPanel.h"

#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace vantle {

BreakPanel::BreakPanel(QWidget* parent) : QWidget(parent) {
    setObjectName("breakPanel");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(4, 4, 4, 4);

    auto* top = new QHBoxLayout;
    start_ = new QPushButton(tr("Start Next Singer"), this);
    start_->setObjectName("startNextSingerButton");
    start_->setToolTip(tr("F5: the break music fades out and the next singer's song starts"));
    connect(start_, &QPushButton::clicked, this, [this] {
        if (handlers_.startNext) handlers_.startNext();
    });
    top->addWidget(start_);
    state_ = new QLabel(this);
    state_->setObjectName("breakState");
    top->addWidget(state_, 1);
    column->addLayout(top);

    column->addWidget(new QLabel(tr("Break music, played in turn between singers:"), this));
    tracks_ = new QListWidget(this);
    tracks_->setObjectName("breakTracks");
    tracks_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tracks_->installEventFilter(this);
    column->addWidget(tracks_, 1);

    auto* row = new QHBoxLayout;
    auto* add = new QPushButton(tr("Add…"), this);
    add->setObjectName("addBreakMusic");
    connect(add, &QPushButton::clicked, this, [this] {
        if (handlers_.pickTracks) addTracks(handlers_.pickTracks());
    });
    auto* remove = new QPushButton(tr("Remove"), this);
    remove->setObjectName("removeBreakMusic");
    connect(remove, &QPushButton::clicked, this, [this] { removeSelectedTracks(); });
    row->addWidget(add);
    row->addWidget(remove);
    row->addStretch(1);
    row->addWidget(new QLabel(tr("Fade out:"), this));
    fadeOut_ = new QDoubleSpinBox(this);
    fadeOut_->setObjectName("breakFadeOut");
    fadeOut_->setRange(0.0, 10.0);
    fadeOut_->setSingleStep(0.5);
    fadeOut_->setDecimals(1);
    fadeOut_->setSuffix(tr(" s"));
    connect(fadeOut_, &QDoubleSpinBox::valueChanged, this, [this](double seconds) {
        if (handlers_.fadeOutChanged) handlers_.fadeOutChanged(seconds);
    });
    row->addWidget(fadeOut_);
    column->addLayout(row);

    column->addWidget(new QLabel(tr("Along the bottom of the singers' screen:"), this));
    ticker_ = new QLineEdit(this);
    ticker_->setObjectName("singersTicker");
    ticker_->setPlaceholderText(tr("Specials, the Wi-Fi password…"));
    connect(ticker_, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (handlers_.tickerChanged) handlers_.tickerChanged(text);
    });
    column->addWidget(ticker_);
}

void BreakPanel::show(const QStringList& tracks, double fadeOutSeconds, const QString& ticker) {
    const Handlers kept = std::exchange(handlers_, {});
    tracks_->clear();
    addTracks(tracks);
    fadeOut_->setValue(fadeOutSeconds);
    ticker_->setText(ticker);
    handlers_ = kept;
}

void BreakPanel::showState(const QString& state) {
    if (state_->text() != state) state_->setText(state);
}

QStringList BreakPanel::tracks() const {
    QStringList paths;
    for (int i = 0; i < tracks_->count(); ++i)
        paths << tracks_->item(i)->data(Qt::UserRole).toString();
    return paths;
}

void BreakPanel::addTracks(const QStringList& paths) {
    if (paths.isEmpty()) return;
    for (const QString& path : paths) {
        auto* item = new QListWidgetItem(QFileInfo(path).fileName(), tracks_);
        item->setData(Qt::UserRole, path);
        item->setToolTip(path);
    }
    tracksEdited();
}

void BreakPanel::removeSelectedTracks() {
    const QList<QListWidgetItem*> chosen = tracks_->selectedItems();
    if (chosen.isEmpty()) return;
    for (QListWidgetItem* item : chosen)
        delete item;
    tracksEdited();
}

bool BreakPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == tracks_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<const QKeyEvent*>(event)->key();
        if (key == Qt::Key_Delete || key == Qt::Key_Backspace) {
            removeSelectedTracks();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void BreakPanel::tracksEdited() {
    if (handlers_.tracksChanged) handlers_.tracksChanged(tracks());
}

} // namespace vantle
