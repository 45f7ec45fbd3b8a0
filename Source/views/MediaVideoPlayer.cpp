#include "Source/views/MediaVideoPlayer.h"

#include "platform/foundation/Console.h"

#include <QAudioOutput>
#include <QMediaPlayer>
#include <QUrl>
#include <QVideoWidget>

#include <algorithm>
#include <cmath>
#include <string>

namespace vantle {

void MediaVideoPlayer::chooseMediaBackend() {
    if (!qEnvironmentVariableIsSet("QT_MEDIA_BACKEND")) qputenv("QT_MEDIA_BACKEND", "gstreamer");
}

MediaVideoPlayer::MediaVideoPlayer(const platform::Url& url) {
    chooseMediaBackend();
    audio_ = std::make_unique<QAudioOutput>();
    player_ = std::make_unique<QMediaPlayer>();
    player_->setAudioOutput(audio_.get());
    const std::string name = url.lastPathComponent();
    QObject::connect(player_.get(), &QMediaPlayer::errorOccurred,
                     [name](QMediaPlayer::Error, const QString& message) {
                         platform::consolePrint("Video " + name + ": " + message.toStdString());
                     });
    QObject::connect(player_.get(), &QMediaPlayer::mediaStatusChanged, [this] { showFrame(); });
    player_->setSource(QUrl::fromLocalFile(QString::fromStdString(url.path())));
}

MediaVideoPlayer::~MediaVideoPlayer() = default;

float MediaVideoPlayer::rate() const {
    // A player that failed may still say it is playing.
    const bool playing =
        player_->playbackState() == QMediaPlayer::PlayingState && player_->error() == QMediaPlayer::NoError;
    return playing ? float(player_->playbackRate()) : 0.0f;
}

void MediaVideoPlayer::setRate(float rate) {
    if (rate <= 0.0f) {
        player_->pause();
        return;
    }
    player_->setPlaybackRate(rate);
    if (player_->playbackState() != QMediaPlayer::PlayingState) player_->play();
}

void MediaVideoPlayer::play() {
    setRate(1.0f);
}

void MediaVideoPlayer::pause() {
    player_->pause();
}

double MediaVideoPlayer::currentTime() const {
    return double(player_->position()) / 1000.0;
}

void MediaVideoPlayer::seek(double seconds) {
    player_->setPosition(qint64(std::llround(std::max(0.0, seconds) * 1000.0)));
}

void MediaVideoPlayer::setVolume(float volume) {
    audio_->setVolume(std::clamp(volume, 0.0f, 1.0f));
}

void MediaVideoPlayer::setVideoOutput(QVideoWidget* view) {
    player_->setVideoOutput(view);
    showFrameOnceLoaded_ = view != nullptr;
    showFrame();
}

void MediaVideoPlayer::showFrame() {
    // Paused rather than stopped, and moved to where it stands, the pipeline prerolls and the
    // picture shows the frame at the position (the first one) instead of staying black until
    // playing starts. Before the file is loaded there is nothing to show yet.
    if (!showFrameOnceLoaded_ || player_->playbackState() != QMediaPlayer::StoppedState) return;
    const QMediaPlayer::MediaStatus status = player_->mediaStatus();
    if (status != QMediaPlayer::LoadedMedia && status != QMediaPlayer::BufferedMedia) return;
    showFrameOnceLoaded_ = false;
    player_->pause();
    player_->setPosition(player_->position());
}

} // namespace vantle
