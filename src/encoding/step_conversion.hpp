// Internal header, not for clients: a profile step in either message format. The package's
// ProfileStepPlan and the report's ProfileStep share their fields and layout, so one template
// serves both.
#pragma once

#include <tarn_package/records.hpp>

#include "encoding/field_conversion.hpp"

namespace tarn_package::detail {

/// Sets a step's fields, each nested list created with its final length before it is filled.
template <class StepBuilder>
void write_step(StepBuilder output, const ProfileStep& step) {
    output.setLocalIndex(step.local_index);
    output.setPhase(step.phase);
    output.setEpoch(step.epoch);
    output.setOperation(text_of(step.operation));
    output.setKind(to_wire<decltype(output.getKind())>(step.kind));
    output.setKernel(text_of(step.kernel));
    output.setExchangeEventCycles(step.exchange_event_cycles);
    auto metadata = output.initMetadata(list_count(step.metadata.size()));
    for (unsigned i = 0; i < metadata.size(); ++i) {
        auto entry = metadata[i];
        entry.setName(text_of(step.metadata[i].name));
        entry.setValue(text_of(step.metadata[i].value));
    }
    auto activities = output.initExchangeActivities(list_count(step.exchange_activities.size()));
    for (unsigned i = 0; i < activities.size(); ++i) {
        auto activity = activities[i];
        const ProfileExchangeActivity& source = step.exchange_activities[i];
        activity.setKind(to_wire<decltype(activity.getKind())>(source.kind));
        activity.setStartCycle(source.start_cycle);
        activity.setEndCycle(source.end_cycle);
    }
}

template <class EntryReader>
[[nodiscard]] Result<ProfileMetadata> read_metadata_entry(EntryReader input) {
    ProfileMetadata entry;
    if (auto error = assign(entry.name, read_text(input.getName()))) {
        return fail(*error);
    }
    if (auto error = assign(entry.value, read_text(input.getValue()))) {
        return fail(*error);
    }
    return entry;
}

template <class ActivityReader>
[[nodiscard]] Result<ProfileExchangeActivity> read_activity(ActivityReader input) {
    ProfileExchangeActivity activity{.start_cycle = input.getStartCycle(), .end_cycle = input.getEndCycle()};
    if (auto error = assign(activity.kind, activity_kind_from(static_cast<std::uint16_t>(input.getKind())))) {
        return fail(*error);
    }
    return activity;
}

/// Takes the fields that can fail in the order operation, kind, kernel, metadata, activities.
template <class StepReader>
[[nodiscard]] Result<ProfileStep> read_step(StepReader input) {
    ProfileStep step;
    step.local_index = input.getLocalIndex();
    step.phase = input.getPhase();
    step.epoch = input.getEpoch();
    step.exchange_event_cycles = input.getExchangeEventCycles();
    if (auto error = assign(step.operation, read_text(input.getOperation()))) {
        return fail(*error);
    }
    if (auto error = assign(step.kind, step_kind_from(static_cast<std::uint16_t>(input.getKind())))) {
        return fail(*error);
    }
    if (auto error = assign(step.kernel, read_text(input.getKernel()))) {
        return fail(*error);
    }
    if (auto error = assign(step.metadata, read_list<ProfileMetadata>(input.getMetadata(), [](auto entry) {
                                return read_metadata_entry(entry);
                            }))) {
        return fail(*error);
    }
    if (auto error = assign(step.exchange_activities, read_list<ProfileExchangeActivity>(
                                                          input.getExchangeActivities(), [](auto activity) {
                                                              return read_activity(activity);
                                                          }))) {
        return fail(*error);
    }
    return step;
}

} // namespace tarn_package::detail
