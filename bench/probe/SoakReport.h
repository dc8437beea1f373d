// The soak's record of one kind of action: the process's figures after every so
// many actions, printed as a table and judged for flatness.
#pragma once

#include "probe/ProcessProbe.h"

#include <string>
#include <vector>

namespace bench {

struct SoakPoint {
    long done = 0;         // actions finished when the sample was taken
    double seconds = 0;    // since the phase began
    Sample sample;
};

struct SoakSeries {
    std::string name;      // "hint writes", "navigations", "warning boxes"
    long flatFrom = 0;     // the action count from which the figures must stay flat
    std::vector<SoakPoint> points;
    double seconds = 0;    // the whole phase

    // Prints every sample, then for each figure its value at `flatFrom`, at the end,
    // the change and the spread in between, and a verdict. Answers whether the
    // figures are flat: GDI and USER objects unchanged, private bytes grown by no
    // more than `privateSlackKiB` (the heap grows in steps and keeps what it got).
    bool print(double privateSlackKiB) const;
    // Growth of the private bytes per 1000 actions from `flatFrom` to the end, KiB.
    double privateGrowthPerThousand() const;
    // The same without the heap's one-off steps: the mean growth between samples,
    // leaving out any step larger than four times the median one (a heap that takes a
    // new block of a few MiB at once), per 1000 actions. `steps` receives the steps
    // left out, KiB.
    double steadyPrivateGrowthPerThousand(std::vector<double>* steps = nullptr) const;
};

}  // namespace bench
