#include "patients/NewPatient.h"

#include "support/TempDir.h"
#include "support/Widgets.h"

#include <QCoreApplication>
#include <QLabel>
#include <QTimer>

#include <gtest/gtest.h>

namespace halcyra {
namespace {

struct NewPatientTest : ::testing::Test {
    test::TTempDir dir;
    TDriveMapping drives{dir / "prefix"};
    TFileSystem files{drives};
    TPatientFile patientFile{files};
    TfrmNewPatient window{patientFile};
    QLabel* status = test::Widget<QLabel>(window, "LblStatus");
    QTimer* timer = test::Widget<QTimer>(window, "Timer1");
};

TEST_F(NewPatientTest, IsASmallAquaNoticeThatStartsHidden)
{
    EXPECT_EQ(window.windowTitle(), "New Patient");
    EXPECT_EQ(window.size(), QSize(656, 67));
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(timer->isActive());
    EXPECT_EQ(timer->interval(), 5000);
    EXPECT_EQ(status->alignment(), Qt::AlignCenter);
    EXPECT_EQ(status->font().pixelSize(), 19);
    EXPECT_TRUE(status->styleSheet().contains("olive"));
    EXPECT_TRUE(status->styleSheet().contains("aqua"));
}

TEST_F(NewPatientTest, CreatingShowsTheNoticeAndASecondOneKeepsTheFirstTimerStart)
{
    EXPECT_EQ(window.CreatePatient("111", "Ann", "Lee", "C:\\KVD\\DATA\\111\\"), -1);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(status->text(), "Created: 111 (Ann Lee) - C:\\KVD\\DATA\\111\\");
    ASSERT_TRUE(timer->isActive());
    const int firstStart = timer->timerId();

    // Through the patient file (as the census creates patients) the same window shows the notice.
    EXPECT_EQ(patientFile.CreatePatient("222", "Bo", "Ek", "C:\\KVD\\DATA\\222\\"), -1);
    EXPECT_EQ(status->text(), "Created: 222 (Bo Ek) - C:\\KVD\\DATA\\222\\");
    EXPECT_EQ(timer->timerId(), firstStart);  // not restarted

    window.Timer1Timer();
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(timer->isActive());
}

// A window grown to its text would cost its pixels in memory: the notice keeps its size and ends in "...".
TEST_F(NewPatientTest, ALongNoticeKeepsTheWindowsSize)
{
    const std::string id(255, '7');
    const std::string name(255, 'N');
    EXPECT_EQ(window.CreatePatient(id, name, name, "C:\\KVD\\DATA\\" + id + "\\"), -1);
    QCoreApplication::processEvents();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.size(), QSize(656, 67));
    const QString text = status->text();
    EXPECT_TRUE(text.startsWith("Created: 777")) << text.toStdString();
    EXPECT_TRUE(text.endsWith(QChar(0x2026))) << text.toStdString();
}

TEST_F(NewPatientTest, TheNoticeIsShownEvenWhenTheFolderCannotBeMade)
{
    EXPECT_THROW(window.CreatePatient("111", "Ann", "Lee", "Q:\\DATA\\111\\"), EPatientFileError);
    EXPECT_TRUE(window.isVisible());
}

}  // namespace
}  // namespace halcyra
