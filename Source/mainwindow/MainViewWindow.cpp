// The main view as the main window's delegate: resizing and fitting fonts to frames.

#include "Source/mainwindow/MainViewController.h"

#include "Source/mainwindow/FittedFont.h"
#include "Source/playback/Player.h"
#include "Source/session/Playlist.h"
#include "Source/session/PlaylistEntry.h"

#include <QFontDatabase>
#include <QLabel>
#include <QLayout>

#include <algorithm>
#include <cmath>

namespace vantle {

void MainViewController::handleWindowResize() {
    QWidget* frame = window();
    if (!frame) return;
    if (previousSize_ == frame->size()) return;
    previousSize_ = frame->size();
    layoutTimeTexts(false);
    scrollCurrentRowToCenter();
}

void MainViewController::windowEndResize() {
    layoutTimeTexts(false);
    // The picture is drawn to the view's width; a height alone changes nothing worth decoding again.
    if (waveformView_->width() != waveformWidth_) drawWaveform(player_->entry());
    scrollCurrentRowToCenter();
}

QFont MainViewController::timeTextBaseFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setBold(true);
    font.setPointSizeF(42.0);
    return font;
}

QString MainViewController::timeTextSampleFor(std::optional<double> duration) {
    double minutes = duration && *duration > 0 && std::isfinite(*duration) ? std::trunc(*duration / 60) : 0;
    // Beyond a dozen digits the length is nonsense, and the texts show "--:--" anyway.
    int digits = 2;
    for (; minutes >= 100 && digits < 12; minutes /= 10)
        ++digits;
    return QString(digits, QChar('9')) + QStringLiteral(":59");
}

void MainViewController::fitTimeTexts() {
    // The texts' frames follow the view's height, never their own font, so that fitting the font
    // cannot change the frame it was fitted to.
    const int height = std::clamp(this->height() / 7, timeTextMinimumHeight, timeTextMaximumHeight);
    if (timeSinceZeroText_->height() != height || timeRemainingText_->height() != height) {
        timeSinceZeroText_->setFixedHeight(height);
        timeRemainingText_->setFixedHeight(height);
        if (layout()) layout()->activate();
    }
    const std::shared_ptr<PlaylistEntry>& entry = playlist_->assignedEntry;
    fittedTimeTextSample_ = timeTextSampleFor(entry ? entry->duration() : std::nullopt);
    if (std::optional<QFont> font =
            fittedFont(fittedTimeTextSample_, timeTextBaseFont(), QSizeF(timeSinceZeroText_->size()))) {
        timeSinceZeroText_->setFont(*font);
        timeRemainingText_->setFont(*font);
    }
}

void MainViewController::layoutTimeTexts(bool redrawWaveform) {
    fitTimeTexts();
    // The slider's zero and note marks follow its new width.
    timeSlider_->loadEntry(player_->entry());
    if (redrawWaveform) drawWaveform(player_->entry());
}

} // namespace vantle
