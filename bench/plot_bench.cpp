// Plot decimation of a 10-million-point channel to the columns of a plot,
// and the whole SVG rendering of it.
#include "svg_plot.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

const std::vector<double> &ten_million() {
  static const std::vector<double> values = [] {
    std::vector<double> v(10'000'000);
    for (size_t i = 0; i < v.size(); ++i)
      v[i] = std::sin(static_cast<double>(i) * 1e-4) * 1000.0 + static_cast<double>(i % 97);
    return v;
  }();
  return values;
}

void BM_DecimateTenMillion(benchmark::State &state) {
  const std::vector<double> &v = ten_million();
  for (auto _ : state) {
    auto keep = zel_tool::decimate_min_max(v.data(), v.size(), 900);
    benchmark::DoNotOptimize(keep.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(v.size()));
}
BENCHMARK(BM_DecimateTenMillion)->Unit(benchmark::kMillisecond);

void BM_RenderSvgTenMillion(benchmark::State &state) {
  const std::vector<double> &v = ten_million();
  zel_tool::PlotLayout layout;
  layout.dt = 1e-3;
  layout.y_label = "Force [N]";
  for (auto _ : state) {
    const zel_tool::PlotSeries s = zel_tool::plot_series(
        "1: Force [N]", v.size(), static_cast<int>(zel_tool::plot_area(layout).width),
        [&](auto &&sink) { sink(v.data(), v.size()); });
    const std::string svg = zel_tool::render_svg(layout, {s});
    state.counters["svg_bytes"] = static_cast<double>(svg.size());
  }
}
BENCHMARK(BM_RenderSvgTenMillion)->Unit(benchmark::kMillisecond);

} // namespace
