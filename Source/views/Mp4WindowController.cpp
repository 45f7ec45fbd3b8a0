#include "Source/views/Mp4WindowController.h"

#include "Source/views/MediaVideoPlayer.h"
#include "platform/foundation/Text.h"

namespace vantle {

Mp4WindowController::Mp4WindowController(Mp4WindowEnvironment environment, QWidget* parent)
    : QMainWindow(parent), makePlayer_(std::move(environment.makePlayer)),
      content_(new Mp4ViewController(std::move(environment.view), this)) {
    if (!makePlayer_)
        makePlayer_ = [](const platform::Url& url) -> std::unique_ptr<VideoPlayer> {
            return std::make_unique<MediaVideoPlayer>(url);
        };
    setAttribute(Qt::WA_DeleteOnClose);
    setCentralWidget(content_);
}

Mp4WindowController::~Mp4WindowController() = default;

void Mp4WindowController::loadVideo(const platform::Url& url) {
    if (auto* content = qobject_cast<Mp4ViewController*>(centralWidget()))
        content->setVideoPlayer(makePlayer_(url));
    setWindowTitle(QString::fromStdString(platform::escapingControlCharacters(url.lastPathComponent())));
}

} // namespace vantle
