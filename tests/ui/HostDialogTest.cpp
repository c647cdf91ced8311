#include "ui/IPUnit.h"

#include <gtest/gtest.h>

#include <QTest>

namespace halcyra {
namespace {

TEST(HostDialogTest, OpensNarrowWithItsDefaults)
{
    TfrmHost dialog;
    EXPECT_EQ(dialog.windowTitle().toStdString(), "Select Data Server");
    EXPECT_EQ(dialog.width(), kHostNarrowWidth);
    EXPECT_TRUE(dialog.cbAutostart->isChecked());
    EXPECT_TRUE(dialog.cbAutohide->isChecked());
    EXPECT_EQ(dialog.PatientIDReductionIndex(), -1);
    EXPECT_EQ(dialog.spinEditNrOfCharacters->value(), 10);
    EXPECT_EQ(dialog.spinEditNrOfCharacters->minimum(), 5);
    EXPECT_EQ(dialog.spinEditNrOfCharacters->maximum(), 20);
    // The advanced controls lie right of the narrow width.
    EXPECT_GE(dialog.pnlAdvanced->x(), kHostNarrowWidth);
}

TEST(HostDialogTest, AdvancedSwitchesBetweenTheTwoWidths)
{
    TfrmHost dialog;
    dialog.show();
    dialog.btnAdvanced->click();
    EXPECT_EQ(dialog.width(), kHostWideWidth);
    EXPECT_GE(dialog.width(), dialog.pnlAdvanced->geometry().right());
    dialog.btnAdvanced->click();
    EXPECT_EQ(dialog.width(), kHostNarrowWidth);
}

TEST(HostDialogTest, ExactlyOneAddressPanelShowsForTheAddressMode)
{
    TfrmHost dialog;
    dialog.SetIsAddress(false);
    EXPECT_TRUE(dialog.pnlIPAddress->isHidden());
    EXPECT_FALSE(dialog.pnlIPName->isHidden());
    dialog.rbIPAddress->click();
    EXPECT_FALSE(dialog.pnlIPAddress->isHidden());
    EXPECT_TRUE(dialog.pnlIPName->isHidden());
    dialog.rbNetworkName->click();
    EXPECT_TRUE(dialog.pnlIPAddress->isHidden());
    EXPECT_FALSE(dialog.pnlIPName->isHidden());
}

TEST(HostDialogTest, TheNumberOfCharactersIsEnabledOnlyForACut)
{
    TfrmHost dialog;
    const struct {
        int index;
        bool enabled;
    } cases[] = {{-1, false}, {0, false}, {2, true}, {1, true}, {0, false}, {7, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        dialog.SetPatientIDReductionIndex(c.index);
        dialog.FormShow();
        EXPECT_EQ(dialog.PatientIDReductionIndex(), c.index == 7 ? -1 : c.index);
        EXPECT_EQ(dialog.gbNrOfCharacters->isEnabled(), c.enabled);
        EXPECT_EQ(dialog.spinEditNrOfCharacters->isEnabled(), c.enabled);
    }
    dialog.rbReductionLast->click();
    EXPECT_TRUE(dialog.spinEditNrOfCharacters->isEnabled());
    dialog.rbReductionNone->click();
    EXPECT_FALSE(dialog.spinEditNrOfCharacters->isEnabled());
}

TEST(HostDialogTest, ATypedAddressComesBackWithoutBlanks)
{
    TfrmHost dialog;
    dialog.show();
    dialog.SetIsAddress(true);
    dialog.EditAddress->setFocus();
    dialog.EditAddress->setCursorPosition(0);
    QTest::keyClicks(dialog.EditAddress, "10.0.0.7");
    EXPECT_EQ(dialog.Address(), "10.0.0.7");
    dialog.EditAddress->clear();
    EXPECT_EQ(dialog.Address(), "...");
}

TEST(HostDialogTest, ShowsAndReturnsEverySetting)
{
    THostSettings s;
    s.settingsOrigin = THive::LocalMachine;
    s.autoHide = false;
    s.autoStart = false;
    s.autoCreate = true;
    s.filterMR = true;
    s.patientIDReduction = 1;
    s.nrOfChars = 12;
    s.dataSourceIsCentralStation = false;
    s.isAddress = false;
    s.name = "station-2";
    s.velgardCommunication = false;
    s.enableDefaultUnits = true;
    TfrmHost dialog;
    dialog.SetSettings(s);
    EXPECT_TRUE(dialog.rbLocalMachine->isChecked());
    EXPECT_TRUE(dialog.rbVelgardComputer->isChecked());
    EXPECT_FALSE(dialog.cbVelgardCommunication->isChecked());
    const THostSettings back = dialog.Settings();
    EXPECT_EQ(back.settingsOrigin, THive::LocalMachine);
    EXPECT_EQ(back.autoHide, false);
    EXPECT_EQ(back.autoStart, false);
    EXPECT_EQ(back.autoCreate, true);
    EXPECT_EQ(back.filterMR, true);
    EXPECT_EQ(back.patientIDReduction, 1);
    EXPECT_EQ(back.nrOfChars, 12);
    EXPECT_EQ(back.dataSourceIsCentralStation, false);
    EXPECT_EQ(back.isAddress, false);
    EXPECT_EQ(back.name, "station-2");
    EXPECT_EQ(back.velgardCommunication, false);
    EXPECT_EQ(back.enableDefaultUnits, true);
}

}  // namespace
}  // namespace halcyra
