// The connection animation: its 13 frames come from the image strip and play in a loop.
#include "ui/ConnectAnimation.h"

#include <QImage>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

#include <set>

namespace halcyra {
namespace {

TEST(ConnectAnimation, EveryFrameOfTheStripIsDrawnAndDiffersFromItsNeighbour)
{
    QLabel label;
    TConnectAnimation animation(&label);
    QImage previous;
    for (int frame = 1; frame <= TConnectAnimation::kFrameCount; ++frame) {
        animation.ShowFrame(frame);
        const QImage image = label.pixmap().toImage();
        ASSERT_FALSE(image.isNull()) << frame;
        EXPECT_EQ(image.size(), QSize(48, 32)) << frame;
        EXPECT_NE(image, previous) << frame;
        previous = image;
    }
}

TEST(ConnectAnimation, PlayingLoopsOverItsRangeAndStopShowsTheLastFrame)
{
    QLabel label;
    TConnectAnimation animation(&label, 1);
    animation.Play(3, 13);
    EXPECT_EQ(animation.CurrentFrame(), 3);
    std::set<int> seen;
    bool wrapped = false;
    int last = 3;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const int now = animation.CurrentFrame();
            seen.insert(now);
            wrapped = wrapped || now < last;
            last = now;
            return wrapped;
        },
        5000));
    EXPECT_GE(*seen.begin(), 3);
    EXPECT_LE(*seen.rbegin(), 13);

    // The same range again does not restart it; a still frame ends it.
    animation.Play(3, 13);
    EXPECT_TRUE(animation.Playing());
    animation.Stop();
    EXPECT_FALSE(animation.Playing());
    EXPECT_EQ(animation.CurrentFrame(), 13);
    animation.ShowFrame(2);
    EXPECT_EQ(animation.CurrentFrame(), 2);
}

}  // namespace
}  // namespace halcyra
