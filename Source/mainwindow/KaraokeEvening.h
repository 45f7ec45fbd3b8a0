#pragma once
// The host's evening in the main window: the rotation panel and the song book beside the karaoke panel
// in the karaoke modes, over the evening and the song book kept in the host's database, and the few
// things they ask of the window: loading a singer's song in the key they sang it in, and hearing the
// key change while they sing. Main thread.

#include "Source/karaoke/host/Evening.h"

#include <QPointer>
#include <QString>

#include <memory>
#include <optional>
#include <string>

class QWidget;
class QSplitter;

namespace vantle {

class MainWindowServices;
class RotationPanel;
class SongBookPanel;
class TransportHost;
class TransportPart;
namespace host {
class SongBook;
}

class KaraokeEvening {
public:
    // Opens the database at `databasePath` and puts the panels last in `beside`; when the database cannot
    // be opened, the panel says why and the rest of the window goes on without it.
    // The window is asked through the faces the main view already shows the transport and the session.
    KaraokeEvening(TransportHost& window, MainWindowServices& session, TransportPart& transport,
                   const std::string& databasePath, QSplitter& beside);
    ~KaraokeEvening();

    // The rotation over the song book; shown in the karaoke modes only.
    QWidget* widget() const;
    // Null when the database could not be opened.
    host::Evening* evening() const { return evening_.get(); }
    host::SongBook* songBook() const { return book_.get(); }
    RotationPanel* rotationPanel() const { return rotation_; }
    SongBookPanel* songBookPanel() const { return bookPanel_; }

    // The key and tempo the current singer's song is at are remembered for them, then the next singer with
    // a song becomes current and their song is loaded in their key and tempo; not while a song plays (only
    // the host starts songs). A song whose file is gone is said and stays queued.
    void loadNextSinger();
    // The loaded song played to its end: when it is the current singer's, their turn is over.
    void songEnded();
    // The player's key changed: remembered for the current singer (with the tempo) when their song is the
    // one loaded.
    void keyShiftChanged(int key);
    // The keyboard is in the panel (a name, a search, the lists): its keys are the panel's own.
    bool ownsFocus() const;

private:
    void notice(const QString& text);
    TransportHost& window_;
    MainWindowServices& session_;
    TransportPart& transport_;
    void rememberCurrentStyle(int key);
    // The current singer's song (after a restart, unless it was sung to its end), or the next singer's,
    // made current; loaded without playing, in their key and tempo.
    void loadCurrentSinger();
    void loadTurnSong(const host::Turn& wanted, bool startNext);
    std::unique_ptr<host::Evening> evening_;
    std::unique_ptr<host::SongBook> book_;
    QPointer<QSplitter> widget_;
    RotationPanel* rotation_ = nullptr;
    SongBookPanel* bookPanel_ = nullptr;
    std::optional<std::string> loading_;
    bool applyingStyle_ = false;
};

} // namespace vantle
