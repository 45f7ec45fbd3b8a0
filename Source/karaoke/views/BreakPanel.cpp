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
    // One row beside the rotation: the window must still fit a small screen. The break music and the
    // line, set once an evening, are in a small window of their own.
    auto* top = new QHBoxLayout(this);
    top->setContentsMargins(4, 2, 4, 2);
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
    settings_ = new QWidget(this, Qt::Tool);
    settings_->setObjectName("breakSettings");
    settings_->setWindowTitle(tr("Break Music and the Singers' Line"));
    auto* more = new QPushButton(tr("Break Music…"), this);
    more->setObjectName("breakMusicButton");
    more->setToolTip(tr("The break music's tracks, its fade out, and the line along the singers' screen"));
    connect(more, &QPushButton::clicked, this, [this] {
        settings_->show();
        settings_->raise();
        settings_->activateWindow();
    });
    top->addWidget(more);

    QWidget* owner = settings_;
    auto* column = new QVBoxLayout(settings_);
    auto* music = new QHBoxLayout;
    auto* musicLabel = new QLabel(tr("Break music:"), owner);
    musicLabel->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    music->addWidget(musicLabel);
    tracks_ = new QListWidget(owner);
    tracks_->setObjectName("breakTracks");
    tracks_->setToolTip(tr("Played in turn between singers, and round again"));
    tracks_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tracks_->setMinimumHeight(36);
    tracks_->installEventFilter(this);
    music->addWidget(tracks_, 1);
    column->addLayout(music, 1);

    auto* row = new QHBoxLayout;
    auto* add = new QPushButton(tr("Add…"), owner);
    add->setObjectName("addBreakMusic");
    connect(add, &QPushButton::clicked, this, [this] {
        if (handlers_.pickTracks) addTracks(handlers_.pickTracks());
    });
    auto* remove = new QPushButton(tr("Remove"), owner);
    remove->setObjectName("removeBreakMusic");
    connect(remove, &QPushButton::clicked, this, [this] { removeSelectedTracks(); });
    row->addWidget(add);
    row->addWidget(remove);
    row->addStretch(1);
    row->addWidget(new QLabel(tr("Fade out:"), owner));
    fadeOut_ = new QDoubleSpinBox(owner);
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

    auto* line = new QHBoxLayout;
    line->addWidget(new QLabel(tr("Singers' screen line:"), owner));
    ticker_ = new QLineEdit(owner);
    ticker_->setObjectName("singersTicker");
    ticker_->setPlaceholderText(tr("Specials, the Wi-Fi password…"));
    ticker_->setToolTip(tr("Shown along the bottom of the singers' screen, during songs and between them"));
    connect(ticker_, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (handlers_.tickerChanged) handlers_.tickerChanged(text);
    });
    line->addWidget(ticker_, 1);
    column->addLayout(line);
    settings_->resize(560, 280);
}

void BreakPanel::showKept(const QStringList& tracks, double fadeOutSeconds, const QString& ticker) {
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
