// halcyra-pil plot: the plan it draws from a monitor-data file (panels per unit, lines broken at
// delimiters, a round time axis) and the program itself writing SVG and PNG, or one line of error.
#include "PilCommands.h"
#include "PilPlot.h"
#include "PilPlotPlan.h"
#include "PilRead.h"
#include "support/TempDir.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace halcyra {
namespace {

TDateTime At(int hour, int minute, int second = 0)
{
    return EncodeDateTime(2024, 3, 1, hour, minute, second);
}

// HR and PR in bpm, SpO2 in %. HR is closed at 10:04:10 (its 10:04:10 value is the run's last), goes on
// at 10:06, is closed at 11:00 and has a run of one value at 11:30; the delimiters before its first value
// and after its last split nothing.
class PilPlot : public ::testing::Test {
protected:
    test::TTempDir dir;
    std::filesystem::path file = dir / "f.pil";
    static constexpr std::uint16_t kHr = 0, kSpo2 = 1, kPr = 2;

    void SetUp() override
    {
        pil::Create(file, "123456", "Ann Smith", "Halcyra", 500);
        ASSERT_EQ(pil::Declare(file, "HR", "bpm", "", "", ""), kHr);
        ASSERT_EQ(pil::Declare(file, "SpO2", "%", "", "", ""), kSpo2);
        ASSERT_EQ(pil::Declare(file, "PR", "bpm", "", "", ""), kPr);
        pil::AddDelimiter(file, kHr, At(9, 0), 0);
        for (int m = 0; m < 5; ++m) {
            pil::AddValue(file, kHr, At(10, m), 70 + m);
            pil::AddValue(file, kSpo2, At(10, m), 90 + m);
            pil::AddValue(file, kPr, At(10, m, 30), 80 - m);
        }
        pil::AddValue(file, kHr, At(10, 4, 10), 75);
        pil::AddDelimiter(file, kHr, At(10, 4, 10), 0);
        for (int m = 6; m < 9; ++m) pil::AddValue(file, kHr, At(10, m), 60 + m);
        pil::AddDelimiter(file, kHr, At(11, 0), 0);
        pil::AddValue(file, kHr, At(11, 30), 70);
        pil::AddDelimiter(file, kHr, At(12, 0), 0);
    }

    pil::TPlotPlan Plan(const pil::TPlotRequest& request = {})
    {
        return pil::PlanPlot(pil::ReadShown(file).content, request, "f.pil");
    }

    struct TRun {
        int exitCode = -1;
        std::string err;
    };

    // The program as a user without a display runs it: no platform chosen.
    TRun Pil(const QStringList& args)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) environment.remove(name);
        process.setProcessEnvironment(environment);
        process.start(HALCYRA_PIL, args);
        TRun run;
        if (!process.waitForFinished(120000)) {
            process.kill();
            process.waitForFinished();
            return run;
        }
        run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.err = process.readAllStandardError().toStdString();
        return run;
    }

    QString Path(const std::string& name) { return QString::fromStdString((dir / name).string()); }
    QString File() { return QString::fromStdString(file.string()); }
};

const pil::TPlotSeries* Find(const pil::TPlotPlan& plan, const std::string& label)
{
    for (const pil::TPlotPanel& panel : plan.panels)
        for (const pil::TPlotSeries& series : panel.series)
            if (series.label == label) return &series;
    return nullptr;
}

std::vector<std::vector<TDateTime>> Times(const pil::TPlotSeries& series)
{
    std::vector<std::vector<TDateTime>> times;
    for (const pil::TPlotSegment& segment : series.segments) {
        times.emplace_back();
        for (const pil::TPlotPoint& p : segment) times.back().push_back(p.time);
    }
    return times;
}

TEST_F(PilPlot, PlanHasOnePanelPerUnitAndBreaksEachSeriesAtItsDelimiters)
{
    const pil::TPlotPlan plan = Plan();
    ASSERT_EQ(plan.panels.size(), 2u);
    EXPECT_EQ(plan.panels[0].unit, "bpm");
    EXPECT_EQ(plan.panels[1].unit, "%");
    ASSERT_EQ(plan.panels[0].series.size(), 2u);
    EXPECT_EQ(plan.panels[0].series[0].label, "HR");
    EXPECT_EQ(plan.panels[0].series[1].label, "PR");
    EXPECT_EQ(plan.panels[1].series[0].label, "SpO2");
    EXPECT_EQ(plan.panels[0].series[0].colour, 0u);
    EXPECT_EQ(plan.panels[1].series[0].colour, 1u);
    EXPECT_EQ(plan.panels[0].series[1].colour, 2u);

    const auto hr = Times(*Find(plan, "HR"));
    ASSERT_EQ(hr.size(), 3u);
    EXPECT_EQ(hr[0], (std::vector<TDateTime>{At(10, 0), At(10, 1), At(10, 2), At(10, 3), At(10, 4), At(10, 4, 10)}));
    EXPECT_EQ(hr[1], (std::vector<TDateTime>{At(10, 6), At(10, 7), At(10, 8)}));
    EXPECT_EQ(hr[2], (std::vector<TDateTime>{At(11, 30)}));
    EXPECT_EQ(Times(*Find(plan, "SpO2")).size(), 1u);
    EXPECT_EQ(Times(*Find(plan, "PR")).size(), 1u);
    EXPECT_EQ(Find(plan, "SpO2")->segments[0].size(), 5u);

    EXPECT_EQ(plan.from, At(10, 0));
    EXPECT_EQ(plan.to, At(11, 30));
    EXPECT_EQ(plan.title, "Patient ID 123456, Ann Smith: 2024-03-01 10:00:00 to 2024-03-01 11:30:00");
}

TEST_F(PilPlot, PlanKeepsTheChosenSeriesAndRange)
{
    pil::TPlotRequest request;
    request.labels = {"HR", "SpO2"};
    request.from = At(10, 2);
    request.to = At(10, 7);
    const pil::TPlotPlan plan = Plan(request);
    EXPECT_EQ(Find(plan, "PR"), nullptr);
    const auto hr = Times(*Find(plan, "HR"));
    ASSERT_EQ(hr.size(), 2u);
    EXPECT_EQ(hr[0], (std::vector<TDateTime>{At(10, 2), At(10, 3), At(10, 4), At(10, 4, 10)}));
    EXPECT_EQ(hr[1], (std::vector<TDateTime>{At(10, 6), At(10, 7)}));
    // The range asked for is the range drawn, though the values end earlier.
    request.to = At(10, 30);
    EXPECT_EQ(Plan(request).title, "Patient ID 123456, Ann Smith: 2024-03-01 10:02:00 to 2024-03-01 10:30:00");

    // A series asked for by name stays in its panel when it has no values in the range.
    request.from = At(10, 5);
    const pil::TPlotPlan later = Plan(request);
    ASSERT_NE(Find(later, "SpO2"), nullptr);
    EXPECT_TRUE(Find(later, "SpO2")->segments.empty());
    EXPECT_EQ(later.panels.size(), 2u);
}

TEST(PilPlotAxis, TicksFallOnRoundTimesAroundTheValues)
{
    struct TCase {
        TDateTime from;
        TDateTime to;
        TDateTime min;
        TDateTime max;
        int ticks;
        std::string format;
    };
    const TDateTime day = 1.0;
    const std::vector<TCase> cases = {
        {At(10, 0), At(10, 9), At(9, 58), At(10, 10), 7, "HH:mm"},
        {At(10, 0, 5), At(10, 0, 5), At(10, 0, 4), At(10, 0, 6), 3, "HH:mm:ss"},
        {At(10, 0, 1), At(10, 0, 44), At(10, 0), At(10, 0, 45), 10, "HH:mm:ss"},
        {At(22, 10), At(1, 10) + day, At(22, 0), At(1, 30) + day, 8, "MM-dd HH:mm"},
        {At(8, 0), At(8, 0) + 9 * day, At(0, 0), At(0, 0) + 10 * day, 11, "yyyy-MM-dd"},
    };
    for (const TCase& c : cases) {
        const pil::TTimeAxis axis = pil::TimeAxisFor(c.from, c.to);
        const std::string shown = FormatIsoSeconds(c.from) + " .. " + FormatIsoSeconds(c.to);
        EXPECT_NEAR(axis.min, c.min, kOneMillisecond) << shown;
        EXPECT_NEAR(axis.max, c.max, kOneMillisecond) << shown;
        EXPECT_EQ(axis.ticks, c.ticks) << shown;
        EXPECT_EQ(axis.format, c.format) << shown;
    }
    // Years of values still get a handful of ticks.
    const pil::TTimeAxis years = pil::TimeAxisFor(At(0, 0), At(0, 0) + 1000 * day);
    EXPECT_LE(years.ticks, 11);
    EXPECT_LT(years.min, At(0, 0));
    EXPECT_GT(years.max, At(0, 0) + 1000 * day);
}

TEST(PilPlotTime, TakesMinutesOrSecondsWithABlankOrAT)
{
    EXPECT_EQ(pil::ParsePlotTime("2024-03-01 10:02"), At(10, 2));
    EXPECT_EQ(pil::ParsePlotTime("2024-03-01T10:02"), At(10, 2));
    EXPECT_EQ(pil::ParsePlotTime("2024-03-01 10:02:07"), At(10, 2, 7));
    EXPECT_EQ(pil::ParsePlotTime("2024-03-01T10:02:07"), At(10, 2, 7));
    for (const char* bad : {"2024-03-01", "2024-03-01 10", "2024-03-01 10:2", "2024-03-01_10:02", "2024-02-30 10:00",
                            "2024-03-01 24:00", "10:02", ""})
        EXPECT_THROW(pil::ParsePlotTime(bad), pil::EPilError) << bad;
}

// The lines drawn in a colour, as the number of points each joins: the SVG's polylines stroked in it,
// put together where they share an end (Qt Charts may draw a line edge by edge).
std::vector<int> LinesIn(const QString& svg, const QColor& colour)
{
    const QRegularExpression group(R"(<g ([^>]*)>(.*?)</g>)", QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpression polyline(R"re(<polyline[^>]* points="([^"]*)")re");
    const QString stroke = QString("stroke=\"%1\"").arg(colour.name());
    std::map<QString, QString> parent;  // point -> a point of its line
    const std::function<QString(const QString&)> root = [&](const QString& p) {
        return parent[p] == p ? p : parent[p] = root(parent[p]);
    };
    for (auto g = group.globalMatch(svg); g.hasNext();) {
        const auto match = g.next();
        if (!match.captured(1).contains(stroke)) continue;
        for (auto p = polyline.globalMatch(match.captured(2)); p.hasNext();) {
            const QStringList points = p.next().captured(1).split(' ', Qt::SkipEmptyParts);
            for (const QString& point : points)
                if (!parent.count(point)) parent[point] = point;
            for (qsizetype i = 1; i < points.size(); ++i) parent[root(points[i])] = root(points[0]);
        }
    }
    std::map<QString, int> sizes;
    for (const auto& [point, unused] : parent) ++sizes[root(point)];
    std::vector<int> lines;
    for (const auto& [unused, size] : sizes) lines.push_back(size);
    std::sort(lines.begin(), lines.end());
    return lines;
}

// The dots filled in a colour: a line's markers and a run of one value.
int DotsIn(const QString& svg, const QColor& colour)
{
    const QRegularExpression group(R"(<g ([^>]*)>(.*?)</g>)", QRegularExpression::DotMatchesEverythingOption);
    const QString fill = QString("fill=\"%1\"").arg(colour.name());
    int dots = 0;
    for (auto g = group.globalMatch(svg); g.hasNext();) {
        const auto match = g.next();
        if (match.captured(1).contains(fill)) dots += static_cast<int>(match.captured(2).count("<circle"));
    }
    return dots;
}

TEST_F(PilPlot, ProgramDrawsEachRunAsItsOwnLineInSvgAndWritesAPng)
{
    const QString svgFile = Path("plot.svg");
    TRun run = Pil({"plot", File(), "--from", "2024-03-01 09:00", "--output", svgFile});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    QFile svgIn(svgFile);
    ASSERT_TRUE(svgIn.open(QIODevice::ReadOnly));
    const QString svg = QString::fromUtf8(svgIn.readAll());
    EXPECT_TRUE(svg.contains("<title>Patient ID 123456, Ann Smith: 2024-03-01 09:00:00 to 2024-03-01 11:30:00</title>"))
        << svg.left(600).toStdString();
    const pil::TPlotPlan plan = Plan();
    // HR: two lines (six and three values), never one of nine, and a dot; SpO2 and PR: one line of five.
    EXPECT_EQ(LinesIn(svg, pil::SeriesColour(Find(plan, "HR")->colour)), (std::vector<int>{3, 6}));
    EXPECT_EQ(DotsIn(svg, pil::SeriesColour(Find(plan, "HR")->colour)), 6 + 3 + 1);
    EXPECT_EQ(LinesIn(svg, pil::SeriesColour(Find(plan, "SpO2")->colour)), (std::vector<int>{5}));
    EXPECT_EQ(LinesIn(svg, pil::SeriesColour(Find(plan, "PR")->colour)), (std::vector<int>{5}));

    const QString pngFile = Path("plot.PNG");
    run = Pil({"plot", File(), "--series", "SpO2", "--to", "2024-03-01T10:03", "--output", pngFile});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    QFile pngIn(pngFile);
    ASSERT_TRUE(pngIn.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pngIn.read(8) == QByteArray("\x89PNG\r\n\x1a\n", 8));
    const QImage image(pngFile, "PNG");
    EXPECT_FALSE(image.isNull());
    EXPECT_GT(image.width(), 0);
    EXPECT_GT(image.height(), 0);
}

TEST_F(PilPlot, ADamagedFileIsDrawnAsFarAsItReadsAndItsProblemsAreWarned)
{
    // The last record cut short, as a crash leaves it.
    QFile damaged(File());
    ASSERT_TRUE(damaged.open(QIODevice::Append));
    damaged.write(QByteArray("\xdc\0\0\0\x12", 5));
    damaged.close();
    const TRun run = Pil({"plot", File(), "--output", Path("plot.svg")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.rfind("halcyra-pil: " + File().toStdString() + ": warning: ", 0), 0u) << run.err;
    EXPECT_TRUE(QFile::exists(Path("plot.svg")));
}

TEST_F(PilPlot, ErrorsAreOneLineWithExitCodeOneForTheFileAndTwoForTheCommandLine)
{
    const std::filesystem::path empty = dir / "empty.pil";
    pil::Create(empty, "7", "B", "Halcyra", 500);
    pil::Declare(empty, "HR", "bpm", "", "", "");
    QFile text(Path("text.pil"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a monitor file at all");
    text.close();

    struct TCase {
        QStringList args;
        int exitCode;
        std::string says;
    };
    const QString out = Path("out.svg");
    const std::vector<TCase> cases = {
        {{QString::fromStdString(empty.string()), "--output", out}, 1, "no values to plot"},
        {{File(), "--from", "2024-03-01 12:00", "--output", out}, 1, "no values to plot from 2024-03-01 12:00:00"},
        {{File(), "--from", "2024-03-01 12:00", "--to", "2024-03-01 11:00", "--output", out}, 2, "is after --to"},
        {{File(), "--series", "HR,ABP", "--output", out}, 1, "no series 'ABP' (its series: HR, SpO2, PR)"},
        {{File(), "--output", Path("no/such/folder/out.svg")}, 1, "cannot be written"},
        {{File(), "--output", Path("out.jpg")}, 2, "must end in .svg or .png"},
        {{File(), "--output", Path("out")}, 2, "must end in .svg or .png"},
        {{Path("text.pil"), "--output", out}, 1, "not a monitor-data file"},
        {{Path("missing.pil"), "--output", out}, 1, "no such file"},
        {{File(), "--from", "yesterday", "--output", out}, 2, "invalid time 'yesterday'"},
    };
    for (const TCase& c : cases) {
        const TRun run = Pil(QStringList{"plot"} + c.args);
        const std::string shown = c.args.join(' ').toStdString();
        EXPECT_EQ(run.exitCode, c.exitCode) << shown << ": " << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << shown << ": " << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << shown << ": " << run.err;
    }
    EXPECT_FALSE(QFile::exists(out));
    EXPECT_FALSE(QFile::exists(Path("out.jpg")));
}

}  // namespace
}  // namespace halcyra
