// One instance per user and settings: a later start asks the first to come to the front.
#include "ui/OnlyOne.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

namespace halcyra {
namespace {

QString UniqueName()
{
    return TOnlyOne::ServerName(
        QStringLiteral("Only one test %1").arg(QCoreApplication::applicationPid()),
        QStringLiteral("/tmp/%1").arg(::testing::UnitTest::GetInstance()->current_test_info()->name()));
}

TEST(OnlyOne, TheNameIsTheAtomNameWithTheUserAndTheSettings)
{
    EXPECT_EQ(TOnlyOne::AtomName("Halcyra Data Input Module"), "OnlyOneHalcyra Data Input M");
    const QString name = TOnlyOne::ServerName("Halcyra Data Input Module", "/home/a/.config/halcyra/HKCU.reg");
    EXPECT_TRUE(name.startsWith("OnlyOneHalcyra Data Input M-")) << name.toStdString();
    EXPECT_NE(name, TOnlyOne::ServerName("Halcyra Data Input Module", "/srv/other/HKCU.reg"));
}

TEST(OnlyOne, ASecondInstanceBringsTheFirstToTheFrontAndGivesWay)
{
    const QString name = UniqueName();
    TOnlyOne first(name);
    int fronts = 0;
    first.OnBringToFront = [&] { ++fronts; };
    ASSERT_TRUE(first.Enforce());

    TOnlyOne second(name);
    EXPECT_FALSE(second.Enforce());
    EXPECT_TRUE(QTest::qWaitFor([&] { return fronts == 1; }, 5000));

    // A third start meets the first again; the second never took the name.
    TOnlyOne third(name);
    EXPECT_FALSE(third.Enforce());
    EXPECT_TRUE(QTest::qWaitFor([&] { return fronts == 2; }, 5000));
}

TEST(OnlyOne, TheNameIsFreeAgainWhenTheFirstEnds)
{
    const QString name = UniqueName();
    {
        TOnlyOne first(name);
        ASSERT_TRUE(first.Enforce());
    }
    TOnlyOne next(name);
    EXPECT_TRUE(next.Enforce());
}

TEST(OnlyOne, WithoutEnforcingEveryInstanceRuns)
{
    const QString name = UniqueName();
    TOnlyOne first(name);
    ASSERT_TRUE(first.Enforce());
    TOnlyOne service(name);
    service.EnforceOnlyOne = false;
    EXPECT_TRUE(service.Enforce());
}

}  // namespace
}  // namespace halcyra
