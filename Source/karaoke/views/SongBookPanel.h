#pragma once
// The song book's search: a field whose results come as the host types (searched off the window's
// thread), a list of them with a song gone from its folder said as missing, a bar while the book
// grows, and the host's song folders. Return (or a double click) on a result hands it on, to a singer's
// queue. Main thread.

#include "Source/karaoke/host/SongBook.h"

#include <QWidget>

#include <functional>
#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace vantle {

class SongBookPanel : public QWidget {
public:
    explicit SongBookPanel(host::SongBook& book, QWidget* parent = nullptr);

    // A result chosen: the handler puts it in a queue and says where, or why not.
    void setChosenHandler(std::function<QString(const host::BookSong&)> handler) {
        chosen_ = std::move(handler);
    }
    // Asks for a folder to add (the Folders button); the handler gives one or none.
    void setFolderPicker(std::function<QString()> picker) { pickFolder_ = std::move(picker); }
    void showProgress(const host::BookProgress& progress);

    QLineEdit& searchField() const { return *search_; }
    QListWidget& resultList() const { return *results_; }
    QLabel& statusLabel() const { return *status_; }
    const std::vector<host::BookSong>& results() const { return shown_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void searchTyped();
    void showResults(std::vector<host::BookSong> songs);
    void chooseCurrent();
    void addFolder();

    host::SongBook& book_;
    QLineEdit* search_;
    QListWidget* results_;
    QProgressBar* progress_;
    QLabel* status_;
    QPushButton* folders_;
    std::vector<host::BookSong> shown_;
    std::function<QString(const host::BookSong&)> chosen_;
    std::function<QString()> pickFolder_;
};

} // namespace vantle
