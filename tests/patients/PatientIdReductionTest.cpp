#include "patients/PatientIdReduction.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace halcyra {
namespace {

using Mode = TPatientIdReductionMode;

TEST(PatientIdReduction, FiltersAndCutsAsConfigured)
{
    struct Case {
        bool filterMR;
        Mode mode;
        int nrOfChars;
        const char* id;
        const char* expected;
    };
    const Case cases[] = {
        {true, Mode::None, 10, "0123456789MR", "0123456789"},
        {true, Mode::None, 10, "MR", "MR"},      // not longer than 2
        {true, Mode::None, 10, "12mr", "12mr"},  // only upper case
        {false, Mode::None, 10, "0123456789MR", "0123456789MR"},
        {false, Mode::LastCharacters, 6, "1912121212345", "212345"},
        {false, Mode::FirstCharacters, 6, "1912121212345", "191212"},
        {false, Mode::LastCharacters, 6, "1912121234", "1912121234"},  // 10 characters stay whole
        {false, Mode::FirstCharacters, 6, "1912121234", "1912121234"},
        {false, Mode::None, 6, "1912121212345", "1912121212345"},
        // The threshold is 10 whatever NrOfChars says.
        {false, Mode::FirstCharacters, 15, "123456789012", "123456789012"},
        {false, Mode::FirstCharacters, 15, "1234567890123456", "123456789012345"},
        {false, Mode::LastCharacters, 15, "123456789012", "123456789012"},
        // The filter runs first, so a filtered ID may fall under the threshold.
        {true, Mode::LastCharacters, 5, "0123456789MR", "0123456789"},
        {true, Mode::LastCharacters, 5, "01234567890MR", "67890"},
        // A reduction to nothing or to dots would name the data folder or its parent.
        {false, Mode::LastCharacters, 2, "abcdefghij..", "abcdefghij.."},
        {false, Mode::FirstCharacters, 3, "...abcdefghij", "...abcdefghij"},
        {false, Mode::FirstCharacters, 0, "abcdefghijk", "abcdefghijk"},
        {true, Mode::None, 10, "..MR", "..MR"},
    };
    for (const Case& c : cases) {
        TPatientIdReduction reduction({c.filterMR, c.mode, c.nrOfChars});
        EXPECT_EQ(reduction.ReducePatientID(c.id), c.expected)
            << c.id << " filter " << c.filterMR << " mode " << static_cast<int>(c.mode) << " n " << c.nrOfChars;
    }
}

TEST(PatientIdReduction, ReadsItsThreeSettings)
{
    test::TTempDir dir;
    auto registry = TRegistry::InDirectory(dir.Path());
    TSettingsStore store(*registry);
    TPatientIdReduction reduction;
    reduction.LoadSettings(store);
    EXPECT_FALSE(reduction.Settings().filterMR);
    EXPECT_EQ(reduction.Settings().mode, Mode::None);
    EXPECT_EQ(reduction.Settings().nrOfChars, 10);

    store.WriteRegBool("FilterMR", true);
    store.WriteRegInteger("PatientIDReduction", 2);
    store.WriteRegInteger("NrOfChars", 6);
    reduction.LoadSettings(store);
    EXPECT_EQ(reduction.ReducePatientID("1912121212345MR"), "212345");
}

}  // namespace
}  // namespace halcyra
