#include "PilPlot.h"

#include "PilCommands.h"
#include "PilRead.h"

#include <QApplication>
#include <QBuffer>
#include <QDateTime>
#include <QFile>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QSvgGenerator>
#include <QtCharts/QChart>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace halcyra::pil {
namespace {

constexpr int kWidth = 1200;
constexpr int kTitleHeight = 48;
constexpr int kPanelHeight = 320;
// Above this many values a series is drawn as a bare line; its markers would cover it.
constexpr std::size_t kMostMarkedValues = 240;
constexpr qreal kMarkerSize = 5;

// Milliseconds since the epoch of a local date-time, as QDateTimeAxis counts.
qreal AxisTime(TDateTime time)
{
    const TDateTimeParts p = DecodeDateTime(time);
    return static_cast<qreal>(
        QDateTime(QDate(p.year, p.month, p.day), QTime(p.hour, p.minute, p.second, p.millisecond)).toMSecsSinceEpoch());
}

QString QText(const std::string& utf8)
{
    return QString::fromStdString(utf8);
}

void AddSeries(QChart& chart, QAbstractSeries* series, QAbstractAxis* x, QAbstractAxis* y, bool inLegend)
{
    chart.addSeries(series);
    series->attachAxis(x);
    series->attachAxis(y);
    if (!inLegend)
        for (QLegendMarker* marker : chart.legend()->markers(series)) marker->setVisible(false);
}

// One chart: each segment its own line, so a delimiter leaves a gap; a segment of one value is a dot.
QChart* PanelChart(const TPlotPanel& panel, const TPlotPlan& plan)
{
    auto* chart = new QChart;
    chart->setBackgroundRoundness(0);
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->setMargins(QMargins(4, 4, 4, 4));

    auto* x = new QDateTimeAxis;
    x->setFormat(QString::fromStdString(plan.axis.format));
    x->setTickCount(plan.axis.ticks);
    x->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(AxisTime(plan.axis.min))),
                QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(AxisTime(plan.axis.max))));
    chart->addAxis(x, Qt::AlignBottom);

    double low = std::numeric_limits<double>::infinity();
    double high = -low;
    for (const TPlotSeries& series : panel.series)
        for (const TPlotSegment& segment : series.segments)
            for (const TPlotPoint& p : segment) {
                low = std::min(low, p.value);
                high = std::max(high, p.value);
            }
    if (low > high) {  // only series asked for by name, none with values here
        low = 0;
        high = 1;
    }
    const double pad = high > low ? (high - low) * 0.05 : std::max(std::abs(low) * 0.05, 1.0);
    auto* y = new QValueAxis;
    y->setRange(low - pad, high + pad);
    y->applyNiceNumbers();
    y->setTitleText(panel.unit.empty() ? "(no unit)" : QText(panel.unit));
    chart->addAxis(y, Qt::AlignLeft);

    for (const TPlotSeries& series : panel.series) {
        const QColor colour = SeriesColour(series.colour);
        QPen pen(colour);
        pen.setWidthF(2);
        std::size_t values = 0;
        for (const TPlotSegment& segment : series.segments) values += segment.size();
        const QString name = QText(series.label) + (values == 0 ? " (no values)" : "");
        bool first = true;
        if (series.segments.empty()) {
            auto* empty = new QLineSeries;
            empty->setName(name);
            empty->setPen(pen);
            AddSeries(*chart, empty, x, y, true);
        }
        for (const TPlotSegment& segment : series.segments) {
            QXYSeries* line = nullptr;
            if (segment.size() == 1) {
                auto* dot = new QScatterSeries;
                dot->setMarkerSize(kMarkerSize * 1.6);
                dot->setPen(QPen(colour));
                dot->setBrush(colour);
                line = dot;
            } else {
                line = new QLineSeries;
                line->setPen(pen);
                line->setPointsVisible(values <= kMostMarkedValues);
                line->setMarkerSize(kMarkerSize);
            }
            line->setName(name);
            for (const TPlotPoint& p : segment) line->append(AxisTime(p.time), p.value);
            AddSeries(*chart, line, x, y, first);
            first = false;
        }
    }
    return chart;
}

QByteArray Encoded(QGraphicsScene& scene, TImageFormat format, const QString& title)
{
    const QRectF area = scene.sceneRect();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (format == TImageFormat::Svg) {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(area.size().toSize());
        svg.setViewBox(area);
        svg.setTitle(title);
        QPainter painter(&svg);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
        scene.render(&painter, area, area);
    } else {
        QImage image(area.size().toSize(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
            scene.render(&painter, area, area);
        }
        if (!image.save(&buffer, "PNG")) throw EPilError("the PNG encoder failed");
    }
    return bytes;
}

void WriteImage(const std::filesystem::path& output, const QByteArray& bytes)
{
    QSaveFile file(QFile::decodeName(QByteArray::fromStdString(output.string())));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw EPilError(Shown(output) + ": cannot be written (" + file.errorString().toStdString() + ")");
}

QtMessageHandler qtHandler = nullptr;

// Qt's notes on its set-up (a runtime folder it picks, a font it substitutes) would break the tool's
// promise of one line per problem; only its errors get through.
void QtErrorsOnly(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtCriticalMsg && type != QtFatalMsg) return;
    if (qtHandler)
        qtHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

QString firstStartWarning;

// While the application starts, Qt's fatal error is a platform that cannot be used (one chosen without a
// display): one line and exit code 1 rather than an abort with a page of advice. Its first warning says why.
void StartFailure(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && firstStartWarning.isEmpty()) firstStartWarning = message;
    if (type != QtFatalMsg) return QtErrorsOnly(type, context, message);
    const QString reason = firstStartWarning.isEmpty() ? message.section(QLatin1Char('\n'), 0, 0) : firstStartWarning;
    std::fprintf(stderr,
                 "halcyra-pil: plot: Qt cannot start its platform: %s (without QT_QPA_PLATFORM and -platform it "
                 "draws offscreen)\n",
                 qPrintable(reason.simplified()));
    std::_Exit(1);
}

}  // namespace

QColor SeriesColour(std::size_t colour)
{
    static const char* const palette[] = {"#1f77b4", "#d62728", "#2ca02c", "#ff7f0e", "#9467bd",
                                          "#8c564b", "#e377c2", "#17becf", "#bcbd22", "#7f7f7f"};
    return QColor(palette[colour % std::size(palette)]);
}

TImageFormat ImageFormatOf(const std::filesystem::path& output)
{
    std::string suffix = output.extension().string();
    std::transform(suffix.begin(), suffix.end(), suffix.begin(), [](unsigned char c) { return std::tolower(c); });
    if (suffix == ".svg") return TImageFormat::Svg;
    if (suffix == ".png") return TImageFormat::Png;
    throw EPilError(Shown(output) + ": the output must end in .svg or .png");
}

QByteArray RenderPlot(const TPlotPlan& plan, TImageFormat format)
{
    QGraphicsScene scene;
    const int height = kTitleHeight + kPanelHeight * static_cast<int>(plan.panels.size());
    scene.setSceneRect(0, 0, kWidth, height);
    scene.setBackgroundBrush(Qt::white);

    auto* title = scene.addSimpleText(QText(plan.title));
    QFont font = title->font();
    font.setPointSizeF(font.pointSizeF() * 1.4);
    font.setBold(true);
    title->setFont(font);
    title->setPos((kWidth - title->boundingRect().width()) / 2, (kTitleHeight - title->boundingRect().height()) / 2);

    std::vector<QChart*> charts;
    for (std::size_t i = 0; i < plan.panels.size(); ++i) {
        QChart* chart = PanelChart(plan.panels[i], plan);
        scene.addItem(chart);
        chart->setGeometry(0, kTitleHeight + kPanelHeight * static_cast<qreal>(i), kWidth, kPanelHeight);
        charts.push_back(chart);
    }
    // The charts lay themselves out each by its own labels and legend; one plot area's left and right
    // edges for all lines the panels' times up.
    for (QChart* chart : charts) chart->layout()->activate();
    qreal left = 0;
    qreal right = kWidth;
    for (QChart* chart : charts) {
        left = std::max(left, chart->plotArea().left());
        right = std::min(right, chart->plotArea().right());
    }
    for (QChart* chart : charts) {
        const QRectF area = chart->plotArea();
        chart->setPlotArea(QRectF(left, area.top(), right - left, area.height()));
        chart->layout()->invalidate();
        chart->layout()->activate();
    }
    QCoreApplication::processEvents();
    return Encoded(scene, format, QText(plan.title));
}

std::vector<std::string> Plot(const std::filesystem::path& file, const TPlotRequest& request,
                              const std::filesystem::path& output)
{
    const TImageFormat format = ImageFormatOf(output);
    const TShownFile shown = ReadShown(file);
    WriteImage(output, RenderPlot(PlanPlot(shown.content, request, Shown(file)), format));
    return ProblemsOf(shown.bytes);
}

std::unique_ptr<QCoreApplication> PlotApplication(int& argc, char** argv)
{
    // An empty QT_QPA_PLATFORM chooses nothing: Qt would take its default platform, which needs a display.
    bool chosen = !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    for (int i = 1; i < argc; ++i) chosen = chosen || std::strcmp(argv[i], "-platform") == 0;
    if (!chosen) qputenv("QT_QPA_PLATFORM", "offscreen");
    qtHandler = qInstallMessageHandler(StartFailure);
    auto app = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(QtErrorsOnly);
    return app;
}

}  // namespace halcyra::pil
