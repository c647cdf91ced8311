// The connection animation: the frames of the image strip "CONNECT", shown still or played in a loop
// on a label.
#pragma once

#include <QObject>
#include <QPixmap>
#include <QTimer>

#include <vector>

class QLabel;

namespace halcyra {

class TConnectAnimation final : public QObject {
    Q_OBJECT
public:
    static constexpr int kFrameCount = 13;

    // target: the label that shows the frames; frameMs: the time each frame is shown while playing.
    explicit TConnectAnimation(QLabel* target, int frameMs = 120);

    // Frames are numbered from 1.
    void ShowFrame(int frame);
    // Plays first..last, starting again at first after last.
    void Play(int first, int last);
    // Stops playing and shows the last frame of the range played.
    void Stop();

    bool Playing() const { return timer_.isActive(); }
    int CurrentFrame() const { return current_; }

private:
    void Advance();

    QLabel* target_;
    QTimer timer_;
    std::vector<QPixmap> frames_;
    int current_ = 0;
    int first_ = 1;
    int last_ = 1;
};

}  // namespace halcyra
