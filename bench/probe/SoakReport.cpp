#include "probe/SoakReport.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iterator>
#include <string>

namespace bench {

namespace {

double kib(std::uint64_t bytes) { return static_cast<double>(bytes) / 1024.0; }

struct Figure {
    const char* name;
    std::function<double(const Sample&)> value;
    const char* unit;
};

}  // namespace

bool SoakSeries::print(double privateSlackKiB) const {
    std::printf("\n== %s: %ld in %.1f s (%.3f ms each)\n", name.c_str(),
                points.empty() ? 0L : points.back().done, seconds,
                points.empty() || points.back().done == 0
                    ? 0.0
                    : seconds * 1000.0 / static_cast<double>(points.back().done));
    std::printf("%9s %8s %6s %6s %12s %12s %12s %12s\n", "done", "s", "GDI", "USER",
                "private KiB", "pagefile KiB", "WS KiB", "peak WS KiB");
    for (const SoakPoint& point : points) {
        std::printf("%9ld %8.1f %6lld %6lld %12.0f %12.0f %12.0f %12.0f\n", point.done,
                    point.seconds, static_cast<long long>(point.sample.gdi()),
                    static_cast<long long>(point.sample.user()), kib(point.sample.privateBytes()),
                    kib(point.sample.pagefileUsage), kib(point.sample.workingSet),
                    kib(point.sample.peakWorkingSet));
    }
    const auto first = std::find_if(points.begin(), points.end(),
                                    [&](const SoakPoint& p) { return p.done >= flatFrom; });
    if (first == points.end()) {
        std::printf("no sample at or after %ld actions: nothing to judge\n", flatFrom);
        return false;
    }
    const SoakPoint& last = points.back();
    const Figure figures[] = {
        {"GDI objects", [](const Sample& s) { return static_cast<double>(s.gdi()); }, ""},
        {"USER objects", [](const Sample& s) { return static_cast<double>(s.user()); }, ""},
        {"private bytes", [](const Sample& s) { return kib(s.privateBytes()); }, " KiB"},
        {"pagefile usage", [](const Sample& s) { return kib(s.pagefileUsage); }, " KiB"},
        {"working set", [](const Sample& s) { return kib(s.workingSet); }, " KiB"},
    };
    std::printf("from %ld to %ld %s:\n", first->done, last.done, name.c_str());
    bool flat = true;
    for (const Figure& figure : figures) {
        double low = figure.value(first->sample);
        double high = low;
        for (auto at = first; at != points.end(); ++at) {
            low = std::min(low, figure.value(at->sample));
            high = std::max(high, figure.value(at->sample));
        }
        const double change = figure.value(last.sample) - figure.value(first->sample);
        std::printf("  %-15s %10.0f -> %10.0f%s  change %+8.0f  range %.0f..%.0f\n", figure.name,
                    figure.value(first->sample), figure.value(last.sample), figure.unit, change, low,
                    high);
    }
    const double gdiChange = static_cast<double>(last.sample.gdi() - first->sample.gdi());
    const double userChange = static_cast<double>(last.sample.user() - first->sample.user());
    const double privateChange = kib(last.sample.privateBytes()) - kib(first->sample.privateBytes());
    if (gdiChange != 0 || userChange != 0) flat = false;
    if (privateChange > privateSlackKiB) flat = false;
    // For the scripts: changes from `flatFrom` to the end.
    std::vector<double> steps;
    const double steady = steadyPrivateGrowthPerThousand(&steps);
    std::string stepText;
    for (const double step : steps) stepText += (stepText.empty() ? "" : ", ") + std::to_string(static_cast<long>(step));
    std::printf("  private bytes, steady growth %+.1f KiB per 1000 (one-off steps left out: %s)\n", steady,
                stepText.empty() ? "none" : (stepText + " KiB").c_str());
    std::printf("soak_change \"%s\" gdi %+.0f user %+.0f private_kib %+.0f private_kib_per_1000 %+.1f "
                "steady_private_kib_per_1000 %+.1f\n",
                name.c_str(), static_cast<double>(last.sample.gdi() - first->sample.gdi()),
                static_cast<double>(last.sample.user() - first->sample.user()),
                kib(last.sample.privateBytes()) - kib(first->sample.privateBytes()), privateGrowthPerThousand(),
                steady);
    std::printf("verdict %s: %s (GDI %+.0f, USER %+.0f, private %+.0f KiB; allowed +%.0f KiB)\n",
                name.c_str(), flat ? "FLAT" : "GROWING", gdiChange, userChange, privateChange,
                privateSlackKiB);
    return flat;
}

double SoakSeries::privateGrowthPerThousand() const {
    const auto first = std::find_if(points.begin(), points.end(),
                                    [&](const SoakPoint& p) { return p.done >= flatFrom; });
    if (first == points.end() || points.back().done <= first->done) return 0;
    return (kib(points.back().sample.privateBytes()) - kib(first->sample.privateBytes())) * 1000.0 /
           static_cast<double>(points.back().done - first->done);
}

double SoakSeries::steadyPrivateGrowthPerThousand(std::vector<double>* steps) const {
    const auto first = std::find_if(points.begin(), points.end(),
                                    [&](const SoakPoint& p) { return p.done >= flatFrom; });
    if (first == points.end() || points.back().done <= first->done) return 0;
    std::vector<double> growth;  // KiB between neighbouring samples
    std::vector<long> actions;   // actions between them
    for (auto at = first; std::next(at) != points.end(); ++at) {
        const auto next = std::next(at);
        growth.push_back(kib(next->sample.privateBytes()) - kib(at->sample.privateBytes()));
        actions.push_back(next->done - at->done);
    }
    std::vector<double> sorted = growth;
    std::sort(sorted.begin(), sorted.end());
    const double middle = sorted[sorted.size() / 2];
    const double limit = middle > 0 ? 4 * middle : 256;
    double kept = 0;
    long keptActions = 0;
    for (size_t i = 0; i < growth.size(); ++i) {
        if (growth[i] > limit) {
            if (steps) steps->push_back(growth[i]);
            continue;
        }
        kept += growth[i];
        keptActions += actions[i];
    }
    return keptActions > 0 ? kept * 1000.0 / static_cast<double>(keptActions) : 0;
}

}  // namespace bench
