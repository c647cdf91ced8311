#include "hl7/CensusListView.h"

#include "CensusFixture.h"

#include <QListWidget>
#include <QMenu>

#include <gtest/gtest.h>

#include <memory>

namespace halcyra {
namespace {

class CensusListViewTest : public ::testing::Test, public test::TCensusFixture {
protected:
    CensusListViewTest()
    {
        new QListWidgetItem("Patients", list.get());
        view = std::make_unique<TCensusListView>(list.get(), &menu, census);
        view->OnClickCheck = [this] {
            ++clickChecks;
            census.CBListPatientsClickCheck();
        };
        view->OnClick = [this] {
            ++clicks;
            census.CBListPatientsClick();
        };
    }

    int Add(const std::string& id) { return Present(id, "A", "B", false); }
    QString Texts() const
    {
        QStringList texts;
        for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
        return texts.join("|");
    }

    std::unique_ptr<QListWidget> list = std::make_unique<QListWidget>();
    QMenu menu;
    std::unique_ptr<TCensusListView> view;
    int clickChecks = 0;
    int clicks = 0;
};

TEST_F(CensusListViewTest, TheListShowsTheRowsAndReportsTheUsersTicks)
{
    const int first = Add("111");
    const int second = Add("222");
    EXPECT_EQ(Texts(), "Patients|111, A B|222, A B");
    EXPECT_EQ(clickChecks, 0);

    list->item(second)->setCheckState(Qt::Checked);  // as a click on the box does
    EXPECT_EQ(clickChecks, 1);
    EXPECT_TRUE(census.IsTicked(second));
    EXPECT_TRUE(census.Patient(second).Checked);
    EXPECT_FALSE(census.IsTicked(first));

    // The census's own changes are shown, not reported back as ticks.
    census.SetTicked(first, true);
    EXPECT_EQ(list->item(first)->checkState(), Qt::Checked);
    census.SetEnabled(first, false);
    EXPECT_FALSE(list->item(first)->flags() & Qt::ItemIsUserCheckable);
    EXPECT_TRUE(list->item(first)->flags() & Qt::ItemIsSelectable);
    EXPECT_EQ(clickChecks, 1);
}

TEST_F(CensusListViewTest, ARowsHintIsItsToolTip)
{
    const int first = Add("111");
    const int second = Add("222");
    census.SetRowHint(second,
                      "Values of patient ID 222 are not written: the folder C:\\X\\ belongs to patient ID 0222");
    EXPECT_EQ(list->item(second)->toolTip(),
              "Values of patient ID 222 are not written: the folder C:\\X\\ belongs to patient ID 0222");
    EXPECT_EQ(list->item(first)->toolTip(), "");
    EXPECT_EQ(clickChecks, 0);
}

TEST_F(CensusListViewTest, TheContextMenuComesOnlyWithADisabledRowAndDeleteRemovesIt)
{
    Add("111");
    const int second = Add("222");
    Add("333");
    list->setCurrentRow(second);
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(view->PopupMenuAttached());

    census.SetEnabled(second, false);
    list->setCurrentRow(0);
    list->setCurrentRow(second);
    EXPECT_TRUE(view->PopupMenuAttached());
    census.DeleteActionClick();
    EXPECT_EQ(Texts(), "Patients|111, A B|333, A B");
    EXPECT_EQ(list->currentRow(), -1);  // nothing selected, in the list as in the census
    EXPECT_EQ(census.SelectedRow(), -1);
    EXPECT_EQ(census.RowCount(), 3);
}

}  // namespace
}  // namespace halcyra
