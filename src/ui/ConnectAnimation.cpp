#include "ui/ConnectAnimation.h"

#include <QLabel>
#include <QPainter>
#include <QSvgRenderer>

#include <algorithm>

namespace halcyra {

TConnectAnimation::TConnectAnimation(QLabel* target, int frameMs) : QObject(target), target_(target)
{
    QSvgRenderer strip(QStringLiteral(":/halcyra/CONNECT"));
    const QSize size = strip.defaultSize();
    const int frameWidth = size.width() / kFrameCount;
    if (strip.isValid() && frameWidth > 0) {
        QPixmap all(size);
        all.fill(Qt::transparent);
        QPainter painter(&all);
        strip.render(&painter);
        painter.end();
        for (int i = 0; i < kFrameCount; ++i) frames_.push_back(all.copy(i * frameWidth, 0, frameWidth, size.height()));
    }
    timer_.setInterval(frameMs);
    connect(&timer_, &QTimer::timeout, this, [this] { Advance(); });
}

void TConnectAnimation::ShowFrame(int frame)
{
    timer_.stop();
    current_ = std::clamp(frame, 1, kFrameCount);
    if (current_ <= static_cast<int>(frames_.size()))
        target_->setPixmap(frames_[static_cast<std::size_t>(current_ - 1)]);
}

void TConnectAnimation::Play(int first, int last)
{
    first_ = std::clamp(first, 1, kFrameCount);
    last_ = std::clamp(last, first_, kFrameCount);
    // A status set again while playing the same range keeps the animation running smoothly.
    if (timer_.isActive() && current_ >= first_ && current_ <= last_) return;
    ShowFrame(first_);
    timer_.start();
}

void TConnectAnimation::Stop()
{
    if (!timer_.isActive()) return;
    ShowFrame(last_);
}

void TConnectAnimation::Advance()
{
    const int next = current_ >= last_ ? first_ : current_ + 1;
    current_ = next;
    if (current_ <= static_cast<int>(frames_.size()))
        target_->setPixmap(frames_[static_cast<std::size_t>(current_ - 1)]);
}

}  // namespace halcyra
