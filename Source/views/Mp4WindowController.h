#pragma once
// The video window: opens a video file in its content, an Mp4ViewController.

#include "Source/views/Mp4ViewController.h"
#include "platform/foundation/Url.h"

#include <QMainWindow>

#include <functional>
#include <memory>

namespace vantle {

class VideoPlayer;

// What the video window takes from the application, or from a test.
struct Mp4WindowEnvironment {
    Mp4ViewEnvironment view;
    // Makes the player for a file. Empty: a MediaVideoPlayer (Qt Multimedia over GStreamer).
    std::function<std::unique_ptr<VideoPlayer>(const platform::Url& url)> makePlayer;
};

// A top-level window whose central widget is the video's controller. It deletes itself when closed
// (the video window lives from its opening until it is closed), so make it with new and refer to it,
// and to its controller, through QPointer. Main thread only.
class Mp4WindowController final : public QMainWindow {
    Q_OBJECT

public:
    explicit Mp4WindowController(Mp4WindowEnvironment environment = {}, QWidget* parent = nullptr);
    ~Mp4WindowController() override;

    Mp4ViewController& mp4ViewController() const { return *content_; }

    // Gives the content a new player for the file (with the content's volume) and titles the window
    // with the file's name. Does not show the window.
    void loadVideo(const platform::Url& url);

private:
    std::function<std::unique_ptr<VideoPlayer>(const platform::Url& url)> makePlayer_;
    Mp4ViewController* content_;
};

} // namespace vantle
