// Ending the run from outside leaves modal boxes, and every box opened afterwards, at once.
#include "app/RunEnd.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

namespace halcyra {
namespace {

// QCoreApplication::exit leaves the thread marked as quitting; a short run of the application's own loop
// clears that again for the tests that follow.
struct TClearQuit {
    ~TClearQuit()
    {
        QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
    }
};

TEST(RunEnd, EndingLeavesAnOpenModalBoxAndAnyLaterOne)
{
    // A quit that an earlier test left queued (a main window's close posts one) must not end the box here.
    {
        TClearQuit settle;
    }
    TClearQuit clearQuit;
    int sessionEnds = 0;
    int refused = 1;
    TRunEnd runEnd([&] { ++sessionEnds; }, [&] { return refused; });

    QMessageBox question(QMessageBox::Question, "Halcyra", "Do you really want to close",
                         QMessageBox::Yes | QMessageBox::No);
    // A box the run did not leave is closed after a generous while, so the test fails instead of hanging.
    bool rescued = false;
    const auto rescue = [&rescued](QDialog& box) {
        QTimer::singleShot(10000, &box, [&rescued, &box] {
            rescued = true;
            box.reject();
        });
    };
    QTimer::singleShot(0, [&] { runEnd.End(); });
    rescue(question);
    const int answer = question.exec();
    EXPECT_NE(answer, QMessageBox::Yes);
    EXPECT_TRUE(runEnd.Ending());
    EXPECT_EQ(runEnd.ExitCode(), 1);
    EXPECT_EQ(sessionEnds, 1);

    refused = 0;
    runEnd.End();  // a second signal changes nothing
    EXPECT_EQ(sessionEnds, 1);
    EXPECT_EQ(runEnd.ExitCode(), 1);

    QMessageBox later(QMessageBox::Information, "Halcyra", "Unable to start, please contact Tovarin");
    rescue(later);
    later.exec();
    EXPECT_FALSE(rescued);
}

}  // namespace
}  // namespace halcyra
