#pragma once

#include <filesystem>

namespace rivanet {

struct RunContext;

// The table phase of a run: appends the dBASE tables of the workspaces that `list` names
// (inside `input`) into the output workspace, in the layout's order. A table appended plainly
// takes the rows of every workspace in list order; consecutive tables routed through the Work
// folder (`work`, the scratch copy of the skeleton) first collect every workspace's rows there,
// then go on to the output in one more append, so that rows that several workspaces share reach
// the output once. Each output table is written once per route, replaced whole. Logs what each
// table read and appended, and the phase's time; asks whether to stop between workspaces and
// between tables.
void AppendTables(RunContext& ctx, const std::filesystem::path& input,
                  const std::filesystem::path& output, const std::filesystem::path& work,
                  const std::filesystem::path& list);

}  // namespace rivanet
