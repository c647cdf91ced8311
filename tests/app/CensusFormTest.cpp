// The census in the main window: restored at start-up, shown in CBListPatients, deleted from its menu.
#include "FormFixture.h"

#include "hl7/Census.h"
#include "hl7/CensusListView.h"

#include <QAction>
#include <QListWidget>

#include <gtest/gtest.h>

namespace halcyra {
namespace {

using test::TFormFixture;

TEST(CensusForm, StartUpShowsStoredPatientsAsAbsentRowsHoweverOld)
{
    TFormFixture f;
    const std::string john = "John^Smith^1912121234^" + FormatCompactStamp(f.clock.Now() - kOneHour) + "^1";
    const std::string ann = "Ann^Lee^555^" + FormatCompactStamp(f.clock.Now() - 7) + "^0";
    f.registry.CurrentUser().WriteString(kProgramKey, "Patient1", john);
    f.registry.CurrentUser().WriteString(kProgramKey, "Patient2", ann);
    auto& form = f.Create();

    ASSERT_EQ(test::Widget<QListWidget>(form, "CBListPatients")->count(), 3);
    EXPECT_EQ(test::Widget<QListWidget>(form, "CBListPatients")->item(0)->text(), "Patients");
    QListWidgetItem* row = test::Widget<QListWidget>(form, "CBListPatients")->item(1);
    EXPECT_EQ(row->text(), "1912121234, John Smith");
    EXPECT_EQ(row->checkState(), Qt::Checked);
    EXPECT_FALSE(row->flags() & Qt::ItemIsUserCheckable);
    row = test::Widget<QListWidget>(form, "CBListPatients")->item(2);
    EXPECT_EQ(row->text(), "555, Ann Lee");
    EXPECT_EQ(row->checkState(), Qt::Unchecked);
    EXPECT_FALSE(row->flags() & Qt::ItemIsUserCheckable);
    EXPECT_EQ(f.registry.CurrentUser().ReadString(kProgramKey, "Patient1"), john);
    EXPECT_EQ(f.registry.CurrentUser().ReadString(kProgramKey, "Patient2"), ann);

    test::Widget<QListWidget>(form, "CBListPatients")->setCurrentRow(1);
    test::Widget<QAction>(form, "DeleteAction")->trigger();
    EXPECT_EQ(test::Widget<QListWidget>(form, "CBListPatients")->count(), 2);
    EXPECT_EQ(f.registry.CurrentUser().ReadString(kProgramKey, "Patient1"), ann);
    EXPECT_FALSE(f.registry.CurrentUser().ValueExists(kProgramKey, "Patient2"));
}

TEST(CensusForm, IdReductionFollowsTheSettings)
{
    TFormFixture f;
    f.registry.CurrentUser().WriteDword(kProgramKey, "FilterMR", 1);
    f.registry.CurrentUser().WriteDword(kProgramKey, "PatientIDReduction", 1);
    f.registry.CurrentUser().WriteDword(kProgramKey, "NrOfChars", 6);
    auto& form = f.Create();
    EXPECT_EQ(form.Engine().Census().ReducePatientID("1912121212345MR"), "191212");
    EXPECT_EQ(form.Engine().PatientFolders().PatientFolderFor("1912121212345"),
              form.Engine().DataFolder() + "191212\\");
}

}  // namespace
}  // namespace halcyra
