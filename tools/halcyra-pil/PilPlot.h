// halcyra-pil plot: a plot plan drawn with Qt Charts, offscreen, into an SVG or PNG file.
#pragma once

#include "PilPlotPlan.h"

#include <QByteArray>
#include <QColor>
#include <QCoreApplication>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace halcyra::pil {

enum class TImageFormat { Svg, Png };

// By the output's suffix, in either case; EPilError for any other.
TImageFormat ImageFormatOf(const std::filesystem::path& output);

// The colour of a plan's series by its TPlotSeries::colour.
QColor SeriesColour(std::size_t colour);

// One chart per panel, stacked under the title, the time axes aligned. Needs a QApplication.
QByteArray RenderPlot(const TPlotPlan& plan, TImageFormat format);

// Reads the file, draws the plan and writes the image whole or not at all. Returns what is wrong with the
// file (UTF-8, one line each): it is drawn as far as it could be read.
std::vector<std::string> Plot(const std::filesystem::path& file, const TPlotRequest& request,
                              const std::filesystem::path& output);

// The application plot draws with: widgets, on the offscreen platform unless one was chosen, so it
// needs no display.
std::unique_ptr<QCoreApplication> PlotApplication(int& argc, char** argv);

}  // namespace halcyra::pil
