#include "Source/karaoke/views/RotationPanel.h"

#include "Source/karaoke/host/SongName.h"

#include <QAbstractItemModel>
#include <QComboBox>
#include <QCompleter>
#include <QDateTime>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QStringListModel>
#include <QTimer>
#include <QVBoxLayout>

namespace vantle {

namespace {

constexpr int singerRole = Qt::UserRole + 1;

} // namespace

QString songLine(const host::QueuedSong& song) {
    const QString title = QString::fromStdString(song.title);
    if (song.artist.empty()) return title;
    return QString::fromStdString(song.artist) + QStringLiteral(" — ") + title;
}

RotationPanel::RotationPanel(host::Evening& evening, QWidget* parent) : QWidget(parent), evening_(evening) {
    confirm_ = [this](const QString& question) {
        return QMessageBox::question(this, tr("New Evening"), question) == QMessageBox::Yes;
    };
    setObjectName("rotationPanel");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);

    nameField_ = new QLineEdit(this);
    nameField_->setObjectName("singerNameField");
    nameField_->setPlaceholderText(tr("Add a singer: type a name, Return"));
    completions_ = new QStringListModel(this);
    auto* completer = new QCompleter(completions_, this);
    // The model holds the regulars the evening found, whatever part of the name was typed.
    completer->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
    nameField_->setCompleter(completer);
    connect(nameField_, &QLineEdit::textEdited, this, [this](const QString& typed) { completeName(typed); });
    connect(nameField_, &QLineEdit::returnPressed, this, [this] { addTypedSinger(); });
    column->addWidget(nameField_);

    singers_ = new QListWidget(this);
    singers_->setObjectName("singerList");
    singers_->setDragDropMode(QAbstractItemView::InternalMove);
    singers_->setDefaultDropAction(Qt::MoveAction);
    connect(singers_->model(), &QAbstractItemModel::rowsMoved, this,
            [this](const QModelIndex&, int start, int, const QModelIndex&, int row) {
                if (reloading_) return;
                evening_.moveSinger(static_cast<std::size_t>(start),
                                    static_cast<std::size_t>(row > start ? row - 1 : row));
                // Not while the list is still in its drop.
                QTimer::singleShot(0, this, [this] { reload(); });
            });
    connect(singers_, &QListWidget::currentRowChanged, this, [this] {
        if (!reloading_) showQueue();
    });
    column->addWidget(singers_, 3);
    singers_->installEventFilter(this);

    auto* buttons = new QHBoxLayout;
    const auto button = [&](const QString& text, const char* name, std::function<void()> action) {
        auto* made = new QPushButton(text, this);
        made->setObjectName(name);
        made->setFocusPolicy(Qt::TabFocus);
        connect(made, &QPushButton::clicked, this, std::move(action));
        buttons->addWidget(made);
        return made;
    };
    button(tr("Away"), "awayButton", [this] { toggleSeat(&host::Seat::away); });
    button(tr("Skip a round"), "skipButton", [this] { toggleSeat(&host::Seat::skipRound); });
    button(tr("Remove"), "removeSingerButton", [this] { removeSelectedSinger(); });
    button(tr("New Evening…"), "newEveningButton", [this] {
        if (confirm_(
                tr("Start a new evening? The rotation is emptied; every singer's queue, keys and history "
                   "stay, and a singer added again finds their queue.")))
            evening_.clearRotation();
        reload();
    });
    column->addLayout(buttons);

    queue_ = new QListWidget(this);
    queue_->setObjectName("queueList");
    queue_->setDragDropMode(QAbstractItemView::InternalMove);
    queue_->setDefaultDropAction(Qt::MoveAction);
    connect(queue_->model(), &QAbstractItemModel::rowsMoved, this,
            [this](const QModelIndex&, int start, int, const QModelIndex&, int row) {
                const std::optional<host::SingerId> singer = selectedSinger();
                if (reloading_ || !singer) return;
                evening_.moveSong(*singer, static_cast<std::size_t>(start),
                                  static_cast<std::size_t>(row > start ? row - 1 : row));
            });
    queue_->installEventFilter(this);
    queue_->viewport()->installEventFilter(this);
    column->addWidget(queue_, 2);

    auto* ruleRow = new QHBoxLayout;
    ruleRow->addWidget(new QLabel(tr("Newcomers:"), this));
    rule_ = new QComboBox(this);
    rule_->setObjectName("newcomerRule");
    rule_->addItem(tr("at the end of the rotation"));
    rule_->addItem(tr("after the current round"));
    connect(rule_, &QComboBox::activated, this, [this](int index) {
        evening_.setNewcomerRule(index == 1 ? host::NewcomerRule::afterCurrentRound
                                            : host::NewcomerRule::endOfRotation);
    });
    ruleRow->addWidget(rule_, 1);
    column->addLayout(ruleRow);

    next_ = new QLabel(this);
    next_->setObjectName("nextSingerLabel");
    next_->setWordWrap(true);
    column->addWidget(next_);
    loadNextButton_ = new QPushButton(tr("Load the next singer's song"), this);
    loadNextButton_->setObjectName("loadNextSingerButton");
    loadNextButton_->setToolTip(tr("Ctrl+Return"));
    connect(loadNextButton_, &QPushButton::clicked, this, [this] {
        if (loadNext_) loadNext_();
    });
    // Ctrl+Return in the name field too: a name ends with Return alone.
    nameField_->installEventFilter(this);
    column->addWidget(loadNextButton_);
    reload();
}

bool RotationPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == queue_->viewport() && queueDrop(event)) return true;
    const bool list = watched == singers_ || watched == queue_;
    // Ctrl+Z in the lists is theirs, before the window's Undo of the playlist can take it.
    if (list && event->type() == QEvent::ShortcutOverride &&
        static_cast<const QKeyEvent&>(*event).matches(QKeySequence::Undo)) {
        event->accept();
        return true;
    }
    if (event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
    const auto& key = static_cast<const QKeyEvent&>(*event);
    const Qt::KeyboardModifiers modifiers = key.modifiers() & ~Qt::KeypadModifier;
    std::function<void()> action;
    if ((key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter) && modifiers == Qt::ControlModifier) {
        action = [this] {
            if (loadNext_) loadNext_();
        };
    } else if (list) {
        // The lists' own keys: typed anywhere else (a name, a search) they are text.
        const bool singers = watched == singers_;
        if (key.matches(QKeySequence::Undo)) {
            action = [this] { undoRemoval(); };
        } else if (modifiers == Qt::AltModifier && (key.key() == Qt::Key_Up || key.key() == Qt::Key_Down)) {
            const int by = key.key() == Qt::Key_Up ? -1 : 1;
            action = [this, singers, by] { singers ? moveSelectedSinger(by) : moveSelectedSong(by); };
        } else if (modifiers == Qt::NoModifier &&
                   (key.key() == Qt::Key_Delete || key.key() == Qt::Key_Backspace)) {
            action = [this, singers] { singers ? removeSelectedSinger() : removeSelectedSong(); };
        } else if (singers && modifiers == Qt::NoModifier && key.key() == Qt::Key_A) {
            action = [this] { toggleSeat(&host::Seat::away); };
        } else if (singers && modifiers == Qt::NoModifier && key.key() == Qt::Key_S) {
            action = [this] { toggleSeat(&host::Seat::skipRound); };
        }
    }
    if (!action) return QWidget::eventFilter(watched, event);
    action();
    return true;
}

bool RotationPanel::queueDrop(QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) return false;
    auto* drop = static_cast<QDropEvent*>(event);
    const std::optional<host::SingerId> singer = selectedSinger();
    // The queue's own rows moving are the list's; songs from elsewhere go to the selected singer.
    if (!singer || !droppedSongs_ || drop->source() == queue_) return false;
    const std::vector<std::string> paths = droppedSongs_(*drop->mimeData());
    if (paths.empty()) return false;
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    if (type != QEvent::Drop) return true;
    for (const std::string& path : paths) {
        const host::SongName name = host::songNameFromFile(path);
        evening_.queueSong(*singer, {path, name.artist, name.title, name.disc});
    }
    reload();
    return true;
}

QString RotationPanel::historyText(host::SingerId singer) const {
    const std::vector<host::HistoryEntry> sung = evening_.history(singer);
    if (sung.empty()) return tr("Has not sung here before");
    QStringList lines;
    // The latest few, latest first: what a host asks before choosing a key.
    for (auto it = sung.rbegin(); it != sung.rend() && lines.size() < 10; ++it) {
        const QDateTime when =
            QDateTime::fromSecsSinceEpoch(static_cast<qint64>(it->sung.timeIntervalSince1970()));
        QString line =
            QLocale().toString(when, QLocale::ShortFormat) + QStringLiteral("  ") + songLine(it->song);
        if (it->style.key != 0) line += tr("  key %1%2").arg(it->style.key > 0 ? "+" : "").arg(it->style.key);
        if (it->style.tempo != 1.0) line += tr("  tempo %1%").arg(std::lround(it->style.tempo * 100));
        lines << line;
    }
    return lines.join(QLatin1Char('\n'));
}

std::optional<host::SingerId> RotationPanel::selectedSinger() const {
    const QListWidgetItem* item = singers_->currentItem();
    if (!item) return std::nullopt;
    return item->data(singerRole).toLongLong();
}

void RotationPanel::selectSinger(host::SingerId singer) {
    for (int row = 0; row < singers_->count(); ++row)
        if (singers_->item(row)->data(singerRole).toLongLong() == singer) singers_->setCurrentRow(row);
}

void RotationPanel::reload() {
    reloading_ = true;
    const std::optional<host::SingerId> selected = selectedSinger();
    singers_->clear();
    const std::optional<std::size_t> current = evening_.rotation().currentIndex();
    const std::vector<host::Seat>& seats = evening_.rotation().seats();
    for (std::size_t i = 0; i < seats.size(); ++i) {
        const host::Seat& seat = seats[i];
        const std::optional<host::Singer> singer = evening_.singer(seat.singer);
        QString text = (current == i ? QStringLiteral("▶ ") : QStringLiteral("    ")) +
                       QString::fromStdString(singer ? singer->name : std::string());
        const std::size_t waiting = evening_.queue(seat.singer).size();
        text += waiting == 0 ? tr(" · no song") : tr(" · %n song(s)", nullptr, static_cast<int>(waiting));
        if (seat.away) text += tr(" · away");
        if (seat.skipRound) text += tr(" · skips a round");
        auto* item = new QListWidgetItem(text, singers_);
        item->setData(singerRole, static_cast<qlonglong>(seat.singer));
        item->setToolTip(historyText(seat.singer));
        if (current == i) {
            QFont bold = item->font();
            bold.setBold(true);
            item->setFont(bold);
        }
        if (seat.away) item->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
    }
    if (selected) selectSinger(*selected);
    rule_->setCurrentIndex(evening_.newcomerRule() == host::NewcomerRule::afterCurrentRound ? 1 : 0);
    const std::optional<host::Turn> next = evening_.next();
    next_->setText(next ? tr("Next: %1 — %2").arg(QString::fromStdString(next->name), songLine(next->song))
                        : tr("Next: no one has a song waiting"));
    loadNextButton_->setEnabled(next.has_value());
    reloading_ = false;
    showQueue();
}

void RotationPanel::showQueue() {
    const bool wasReloading = reloading_;
    reloading_ = true;
    const int row = queue_->currentRow();
    queue_->clear();
    if (const std::optional<host::SingerId> singer = selectedSinger())
        for (const host::QueuedSong& song : evening_.queue(*singer))
            new QListWidgetItem(songLine(song), queue_);
    if (row >= 0 && queue_->count() > 0) queue_->setCurrentRow(std::min(row, queue_->count() - 1));
    reloading_ = wasReloading;
}

void RotationPanel::completeName(const QString& typed) {
    QStringList names;
    if (!typed.trimmed().isEmpty())
        for (const host::Singer& singer : evening_.singersMatching(typed.trimmed().toStdString()))
            names << QString::fromStdString(singer.name);
    completions_->setStringList(names);
}

void RotationPanel::addTypedSinger() {
    const std::optional<host::SingerId> added = evening_.addSinger(nameField_->text().toStdString());
    if (!added) return;
    nameField_->clear();
    completions_->setStringList({});
    reload();
    selectSinger(*added);
}

void RotationPanel::moveSelectedSinger(int by) {
    const int row = singers_->currentRow();
    const int to = row + by;
    if (row < 0 || to < 0 || to >= singers_->count()) return;
    const std::optional<host::SingerId> singer = selectedSinger();
    evening_.moveSinger(static_cast<std::size_t>(row), static_cast<std::size_t>(to));
    reload();
    if (singer) selectSinger(*singer);
}

void RotationPanel::toggleSeat(bool host::Seat::*mark) {
    const std::optional<host::SingerId> singer = selectedSinger();
    const std::optional<std::size_t> at = singer ? evening_.rotation().indexOf(*singer) : std::nullopt;
    if (!at) return;
    const bool marked = !(evening_.rotation().seats()[*at].*mark);
    if (mark == &host::Seat::away)
        evening_.setAway(*singer, marked);
    else
        evening_.setSkipRound(*singer, marked);
    reload();
}

void RotationPanel::removeSelectedSinger() {
    const int row = singers_->currentRow();
    const std::optional<host::SingerId> singer = selectedSinger();
    if (!singer) return;
    evening_.removeSinger(*singer);
    reload();
    notice(tr("%1 left the rotation, their queue kept; Ctrl+Z in the rotation seats them again")
               .arg(QString::fromStdString(evening_.singer(*singer)->name)));
    if (singers_->count() > 0) singers_->setCurrentRow(std::min(row, singers_->count() - 1));
}

void RotationPanel::moveSelectedSong(int by) {
    const std::optional<host::SingerId> singer = selectedSinger();
    const int row = queue_->currentRow();
    const int to = row + by;
    if (!singer || row < 0 || to < 0 || to >= queue_->count()) return;
    evening_.moveSong(*singer, static_cast<std::size_t>(row), static_cast<std::size_t>(to));
    reload();
    queue_->setCurrentRow(to);
}

void RotationPanel::removeSelectedSong() {
    const std::optional<host::SingerId> singer = selectedSinger();
    const int row = queue_->currentRow();
    if (!singer || row < 0 || static_cast<std::size_t>(row) >= evening_.queue(*singer).size()) return;
    const host::QueuedSong song = evening_.queue(*singer)[static_cast<std::size_t>(row)];
    evening_.removeSong(*singer, static_cast<std::size_t>(row));
    reload();
    notice(tr("%1 left %2's queue; Ctrl+Z in the rotation puts it back")
               .arg(songLine(song), QString::fromStdString(evening_.singer(*singer)->name)));
}

void RotationPanel::undoRemoval() {
    if (!evening_.undoRemoval()) {
        notice(tr("Nothing removed from the rotation to put back"));
        return;
    }
    reload();
}

void RotationPanel::notice(const QString& text) {
    if (notice_) notice_(text);
}

} // namespace vantle
