// An EventTarget for one control under test: records each reported event with its
// arguments, runs the test's callback inside the report, answers what the test set,
// and, like the main window, deletes the control's object when its window is gone.
#pragma once

#include "app/Control.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace vparse::testing {

struct ReportedEvent {
    std::uint32_t windowNumber = 0;
    std::uint32_t controlNumber = 0;
    int event = -1;
    std::vector<std::int32_t> arguments;
};

template <typename ControlType>
class RecordingEventTarget final : public EventTarget {
public:
    std::vector<ReportedEvent> events;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> gone;  // (window, control)

    // What every report answers (default: no handler ran).
    EventAnswer answer;
    // Runs inside each report, with the event index (the "bound handler").
    std::function<void(int event)> during;
    // The live object of the control, owned as the main window owns its controls:
    // controlGone deletes it once its window is gone.
    std::unique_ptr<ControlType> control;

    EventAnswer raiseEvent(std::uint32_t windowNumber, std::uint32_t controlNumber, int event,
                           std::span<const std::int32_t> arguments) override {
        events.push_back(ReportedEvent{windowNumber, controlNumber, event,
                                       {arguments.begin(), arguments.end()}});
        if (during) during(event);
        return answer;
    }
    void controlGone(std::uint32_t windowNumber, std::uint32_t controlNumber) override {
        gone.emplace_back(windowNumber, controlNumber);
        if (control && !control->window()) control.reset();
    }

    std::vector<int> eventIndexes() const {
        std::vector<int> indexes;
        for (const ReportedEvent& reported : events) indexes.push_back(reported.event);
        return indexes;
    }
};

}  // namespace vparse::testing
