#pragma once
// Between singers, beside the rotation: the host's "Start Next Singer" (its button, or F5) and what the
// break music does, in one row; in a small window of its own, the break music's tracks with their fade out
// and the line the singers' screen shows along its bottom edge. Keys typed into the line are text, never
// the rotation's or the player's. Main thread.

#include <QStringList>
#include <QWidget>

#include <functional>

class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace vantle {

class BreakPanel : public QWidget {
public:
    explicit BreakPanel(QWidget* parent = nullptr);

    struct Handlers {
        std::function<void()> startNext;
        std::function<void(const QStringList& tracks)> tracksChanged;
        std::function<void(double seconds)> fadeOutChanged;
        std::function<void(const QString& text)> tickerChanged;
        // Asks the host for tracks to add (a file dialog in the program).
        std::function<QStringList()> pickTracks;
    };
    void setHandlers(Handlers handlers) { handlers_ = std::move(handlers); }

    // Shown as they were kept; no handler is called.
    void showKept(const QStringList& tracks, double fadeOutSeconds, const QString& ticker);
    // What the break music does now, in a word or two.
    void showState(const QString& state);

    QStringList tracks() const;
    QPushButton& startButton() const { return *start_; }
    QListWidget& trackList() const { return *tracks_; }
    QLineEdit& tickerField() const { return *ticker_; }
    QDoubleSpinBox& fadeOutField() const { return *fadeOut_; }
    QLabel& stateLabel() const { return *state_; }
    QWidget& settingsWindow() const { return *settings_; }

    // Adds tracks as the Add button does, without asking.
    void addTracks(const QStringList& paths);
    void removeSelectedTracks();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void tracksEdited();

    Handlers handlers_;
    QPushButton* start_;
    QLabel* state_;
    QWidget* settings_;
    QListWidget* tracks_;
    QDoubleSpinBox* fadeOut_;
    QLineEdit* ticker_;
};

} // namespace vantle
