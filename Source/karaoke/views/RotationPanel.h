#pragma once
// The singers' rotation beside the karaoke panel: a name field that finds regulars as the name is typed,
// the singers in their order (the current one marked, dragged or moved by keys to reorder, marked away
// or skipping a round, removed), the selected singer's queue, the newcomer rule and who comes next.
// Keys act on the list that has the keyboard; nothing typed into the name field reaches them. Main thread.

#include "Source/karaoke/host/Evening.h"

#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMimeData;
class QPushButton;
class QStringListModel;

namespace vantle {

class RotationPanel : public QWidget {
public:
    explicit RotationPanel(host::Evening& evening, QWidget* parent = nullptr);

    // The host asked for the next singer's song to be loaded (the button or Ctrl+Return).
    void setLoadNextHandler(std::function<void()> handler) { loadNext_ = std::move(handler); }
    // The song files a drop on the queue carries (files from elsewhere, rows of the playlist); none: the
    // drop is not taken.
    void setDroppedSongs(std::function<std::vector<std::string>(const QMimeData&)> songs) {
        droppedSongs_ = std::move(songs);
    }
    // Says what happened where the window says things (a removal and how to take it back).
    void setNoticeHandler(std::function<void(const QString&)> notice) { notice_ = std::move(notice); }
    // Asks the host before the rotation is emptied for a new evening (a question box by default).
    void setConfirm(std::function<bool(const QString&)> confirm) { confirm_ = std::move(confirm); }
    // The singer whose queue is shown: where the song book's results go.
    std::optional<host::SingerId> selectedSinger() const;
    void selectSinger(host::SingerId singer);
    // The evening changed: the lists are shown again.
    void reload();

    QLineEdit& nameField() const { return *nameField_; }
    QListWidget& singerList() const { return *singers_; }
    QListWidget& queueList() const { return *queue_; }
    QLabel& nextLabel() const { return *next_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void addTypedSinger();
    void completeName(const QString& typed);
    void moveSelectedSinger(int by);
    // Away, or skipping a round, for the selected singer: on when off, off when on.
    void toggleSeat(bool host::Seat::*mark);
    void removeSelectedSinger();
    void moveSelectedSong(int by);
    void removeSelectedSong();
    void undoRemoval();
    void notice(const QString& text);
    // A drag over the queue or a drop on it; true when it was taken.
    bool queueDrop(QEvent* event);
    void showQueue();
    // What the singer sang, latest first, with the key and tempo: the singer's tooltip.
    QString historyText(host::SingerId singer) const;

    host::Evening& evening_;
    QLineEdit* nameField_;
    QStringListModel* completions_;
    QListWidget* singers_;
    QListWidget* queue_;
    QComboBox* rule_;
    QLabel* next_;
    QPushButton* loadNextButton_;
    std::function<void()> loadNext_;
    std::function<bool(const QString&)> confirm_;
    std::function<void(const QString&)> notice_;
    std::function<std::vector<std::string>(const QMimeData&)> droppedSongs_;
    bool reloading_ = false;
};

// "Artist — Title" as lists and the singers' screen show a song.
QString songLine(const host::QueuedSong& song);

} // namespace vantle
