#include "Source/karaoke/views/SongBookPanel.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace vantle {

namespace {

// Enough for a screen of results; the host narrows the search for more.
constexpr std::size_t shownResults = 200;

} // namespace

SongBookPanel::SongBookPanel(host::SongBook& book, QWidget* parent) : QWidget(parent), book_(book) {
    setObjectName("songBookPanel");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    auto* row = new QHBoxLayout;
    search_ = new QLineEdit(this);
    search_->setObjectName("songBookSearch");
    search_->setPlaceholderText(tr("Song book: artist, title or disc"));
    search_->setClearButtonEnabled(true);
    connect(search_, &QLineEdit::textChanged, this, [this] { searchTyped(); });
    // Down leaves the field for the results; Return takes the first result.
    search_->installEventFilter(this);
    connect(search_, &QLineEdit::returnPressed, this, [this] {
        if (results_->count() == 0) return;
        if (results_->currentRow() < 0) results_->setCurrentRow(0);
        chooseCurrent();
    });
    row->addWidget(search_, 1);
    folders_ = new QPushButton(tr("Folders…"), this);
    folders_->setObjectName("songBookFolders");
    connect(folders_, &QPushButton::clicked, this, [this] { addFolder(); });
    row->addWidget(folders_);
    column->addLayout(row);

    results_ = new QListWidget(this);
    results_->setObjectName("songBookResults");
    connect(results_, &QListWidget::itemActivated, this, [this] { chooseCurrent(); });
    column->addWidget(results_, 1);
    progress_ = new QProgressBar(this);
    progress_->setObjectName("songBookProgress");
    progress_->setRange(0, 0);
    progress_->hide();
    column->addWidget(progress_);
    status_ = new QLabel(this);
    status_->setObjectName("songBookStatus");
    status_->setWordWrap(true);
    column->addWidget(status_);
    searchTyped();
}

bool SongBookPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == search_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Down && results_->count() > 0) {
        results_->setFocus();
        if (results_->currentRow() < 0) results_->setCurrentRow(0);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void SongBookPanel::searchTyped() {
    QPointer<SongBookPanel> self(this);
    book_.search(search_->text().toStdString(), shownResults, [self](std::vector<host::BookSong> songs) {
        if (self) self->showResults(std::move(songs));
    });
}

void SongBookPanel::showResults(std::vector<host::BookSong> songs) {
    shown_ = std::move(songs);
    results_->clear();
    for (const host::BookSong& song : shown_) {
        QString text = song.artist.empty() ? QString::fromStdString(song.title)
                                           : QString::fromStdString(song.artist) + QStringLiteral(" — ") +
                                                 QString::fromStdString(song.title);
        if (!song.disc.empty())
            text += QStringLiteral("  [") + QString::fromStdString(song.disc) + QStringLiteral("]");
        if (!song.present) text += tr("  — missing from its folder");
        auto* item = new QListWidgetItem(text, results_);
        if (!song.present) item->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
    }
    if (!shown_.empty()) results_->setCurrentRow(0);
}

void SongBookPanel::chooseCurrent() {
    const int row = results_->currentRow();
    if (row < 0 || static_cast<std::size_t>(row) >= shown_.size() || !chosen_) return;
    status_->setText(chosen_(shown_[static_cast<std::size_t>(row)]));
}

void SongBookPanel::addFolder() {
    if (!pickFolder_) return;
    const QString folder = pickFolder_();
    if (folder.isEmpty()) return;
    std::vector<std::string> folders = book_.folders();
    if (std::find(folders.begin(), folders.end(), folder.toStdString()) == folders.end())
        folders.push_back(folder.toStdString());
    book_.setFolders(std::move(folders));
}

void SongBookPanel::showProgress(const host::BookProgress& progress) {
    progress_->setVisible(progress.indexing);
    // A busy bar has no text of its own; the count goes beside it.
    status_->setText(progress.indexing
                         ? tr("Indexing the song book: %1 songs so far…").arg(progress.songs)
                         : tr("%n song(s) in the song book", nullptr, static_cast<int>(progress.songs)));
    if (!progress.indexing) searchTyped();
}

} // namespace vantle
