// The picture of moves per day: SVG drawn here, with presentation
// attributes only (the pages' security policy allows no inline style), and
// every class name escaped.
#include <algorithm>
#include <cstdio>

#include "html.h"
#include "pages.h"

namespace tng::web {

namespace {

// Colours for the classes with the most moves; the rest share the last.
constexpr const char* kColours[] = {"#2e6fb0", "#e07b24", "#3a9a4a", "#c23b3b", "#7d57b2",
                                    "#8c6d46", "#d462a6", "#4bb3c2", "#9aa3ad"};
constexpr size_t kNamedClasses = std::size(kColours) - 1;

constexpr int kWidth = 880, kLeft = 48, kRight = 12, kTop = 12, kPlot = 240, kAxis = 36;
constexpr int kLegendRow = 18, kLegendColumn = 215;

std::string decimal(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", v);
  return text;
}

// A step for the value axis: 1, 2 or 5 times a power of ten, so that the
// highest value needs at most five steps.
int64_t axis_step(int64_t highest) {
  int64_t step = 1;
  for (;;) {
    for (int64_t m : {1, 2, 5})
      if (highest <= step * m * 5) return step * m;
    step *= 10;
  }
}

}  // namespace

std::string moves_svg(const Moves& moves, bool standalone) {
  // The series: the busiest classes by name, the rest together.
  std::vector<std::string> series(
      moves.classes.begin(), moves.classes.begin() + std::min(moves.classes.size(), kNamedClasses));
  const bool others = moves.classes.size() > kNamedClasses;
  auto series_of = [&](const std::string& cls) -> size_t {
    auto it = std::find(series.begin(), series.end(), cls);
    return it == series.end() ? kNamedClasses : static_cast<size_t>(it - series.begin());
  };

  const size_t days = std::max<size_t>(moves.days.size(), 1);
  int64_t highest = 1;
  for (const auto& [day, per_class] : moves.counts) {
    int64_t total = 0;
    for (const auto& [cls, n] : per_class) total += n;
    highest = std::max(highest, total);
  }
  const int64_t step = axis_step(highest);
  const int64_t top = (highest + step - 1) / step * step;
  const double plot_width = kWidth - kLeft - kRight;
  const double slot = plot_width / static_cast<double>(days);
  const double bar = std::max(1.0, slot * 0.8);
  const size_t legend_items = series.size() + (others ? 1 : 0);
  const size_t per_row = (kWidth - kLeft) / kLegendColumn;
  const int legend_rows = static_cast<int>((legend_items + per_row - 1) / per_row);
  const int height = kTop + kPlot + kAxis + legend_rows * kLegendRow + 8;
  auto y_of = [&](int64_t v) {
    return kTop + kPlot - static_cast<double>(v) * kPlot / static_cast<double>(top);
  };

  std::string out;
  if (standalone) out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  html(out,
       "<svg {}width=\"{}\" height=\"{}\" viewBox=\"0 0 {} {}\" role=\"img\" "
       "font-family=\"sans-serif\" font-size=\"11\">\n"
       "<title>Moves per day by target class</title>\n",
       Markup{standalone ? "xmlns=\"http://www.w3.org/2000/svg\" " : ""}, kWidth, height, kWidth,
       height);
  html(out, "<rect x=\"0\" y=\"0\" width=\"{}\" height=\"{}\" fill=\"#ffffff\"/>\n", kWidth,
       height);

  // The value axis and its grid lines.
  for (int64_t v = 0; v <= top; v += step) {
    const std::string y = decimal(y_of(v));
    html(out,
         "<line x1=\"{}\" x2=\"{}\" y1=\"{}\" y2=\"{}\" stroke=\"#d5dae0\"/>"
         "<text x=\"{}\" y=\"{}\" text-anchor=\"end\" dominant-baseline=\"middle\">{}</text>\n",
         kLeft, kWidth - kRight, y, y, kLeft - 6, y, v);
  }

  // One stacked bar a day.
  const size_t label_every = (days + 9) / 10;
  for (size_t i = 0; i < moves.days.size(); ++i) {
    const std::string& day = moves.days[i];
    const double x = kLeft + slot * static_cast<double>(i) + (slot - bar) / 2;
    auto it = moves.counts.find(day);
    if (it != moves.counts.end()) {
      std::vector<int64_t> per_series(kNamedClasses + 1, 0);
      for (const auto& [cls, n] : it->second) per_series[series_of(cls)] += n;
      int64_t below = 0;
      for (size_t s = 0; s <= kNamedClasses; ++s) {
        if (per_series[s] == 0) continue;
        const double y0 = y_of(below), y1 = y_of(below + per_series[s]);
        html(out,
             "<rect x=\"{}\" y=\"{}\" width=\"{}\" height=\"{}\" fill=\"{}\">"
             "<title>{}: {} moved to {}</title></rect>\n",
             decimal(x), decimal(y1), decimal(bar), decimal(y0 - y1), kColours[s], day,
             per_series[s], s < series.size() ? series[s] : std::string("other classes"));
        below += per_series[s];
      }
    }
    if (i % label_every == 0)
      html(out, "<text x=\"{}\" y=\"{}\" text-anchor=\"middle\">{}</text>\n", decimal(x + bar / 2),
           kTop + kPlot + 16, day.substr(5));
  }
  html(out, "<line x1=\"{}\" x2=\"{}\" y1=\"{}\" y2=\"{}\" stroke=\"#1d232a\"/>\n", kLeft,
       kWidth - kRight, kTop + kPlot, kTop + kPlot);

  // The legend.
  for (size_t s = 0; s < legend_items; ++s) {
    const int x = kLeft + static_cast<int>(s % per_row) * kLegendColumn;
    const int y = kTop + kPlot + kAxis + static_cast<int>(s / per_row) * kLegendRow;
    const bool rest = s >= series.size();
    html(out,
         "<rect x=\"{}\" y=\"{}\" width=\"12\" height=\"12\" fill=\"{}\"/>"
         "<text x=\"{}\" y=\"{}\" dominant-baseline=\"middle\">{}</text>\n",
         x, y, kColours[rest ? kNamedClasses : s], x + 16, y + 6,
         rest ? std::string("other classes") : series[s]);
  }
  if (moves.classes.empty())
    html(out, "<text x=\"{}\" y=\"{}\" text-anchor=\"middle\">No moves in this period</text>\n",
         kWidth / 2, kTop + kPlot / 2);
  out += "</svg>\n";
  return out;
}

}  // namespace tng::web
