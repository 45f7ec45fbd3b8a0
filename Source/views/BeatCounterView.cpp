#include "Source/views/BeatCounterView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>

#include <utility>

namespace vantle {

BeatCounterView::BeatCounterView(Source source, QWidget* parent)
    : QWidget(parent), source_(std::move(source)), barBeat_(new QLabel(this)), phrase_(new QLabel(this)),
      frames_(new QTimer(this)) {
    setObjectName("beatCounter");
    barBeat_->setObjectName("beatCounterBarBeat");
    phrase_->setObjectName("beatCounterPhrase");
    QFont big = font();
    big.setPointSizeF(big.pointSizeF() * 5);
    big.setBold(true);
    big.setStyleHint(QFont::Monospace);
    barBeat_->setFont(big);
    // Wide enough for "88.8": the numbers do not make the row jump.
    barBeat_->setMinimumWidth(QFontMetrics(big).horizontalAdvance(QStringLiteral("88.8")));
    barBeat_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 1.8);
    phrase_->setFont(small);
    phrase_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Side by side: the count adds no more than its own height to the window.
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);
    row->addWidget(barBeat_);
    row->addWidget(phrase_);
    // It takes its width from what the row can spare: a narrow window is not held wider by it.
    setMinimumWidth(1);
    frames_->setTimerType(Qt::PreciseTimer);
    frames_->setInterval(frameMilliseconds);
    connect(frames_, &QTimer::timeout, this, [this] { showFrame(); });
    showFrame();
}

BeatCounterView::~BeatCounterView() = default;

void BeatCounterView::update() {
    const bool playing = source_.playing && source_.playing();
    if (playing && !frames_->isActive())
        frames_->start();
    else if (!playing)
        frames_->stop();
    showFrame();
}

void BeatCounterView::showFrame() {
    // A grid the analysis is unsure of is not counted to a room.
    const SongTempo* tempo = source_.tempo ? source_.tempo() : nullptr;
    shown_ = tempo && tempo->sure && source_.heardTime ? beatPositionAt(*tempo, source_.heardTime())
                                                       : std::nullopt;
    barBeat_->setText(QString::fromStdString(barBeatText(shown_)));
    phrase_->setText(QString::fromStdString(phraseText(shown_)));
}

QString BeatCounterView::barBeat() const {
    return barBeat_->text();
}

QString BeatCounterView::phrase() const {
    return phrase_->text();
}

bool BeatCounterView::running() const {
    return frames_->isActive();
}

} // namespace vantle
