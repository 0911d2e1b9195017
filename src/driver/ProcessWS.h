#pragma once

#include <filesystem>

namespace rivanet {

struct RunContext;

// Succeeded and Failed as the summary line says them; Cancelled when the user stopped the run.
enum class RunStatus { Succeeded, Failed, Cancelled };

// One append run: builds in `outputFolder` one workspace holding every workspace that
// `listFile` names inside `inputFolder`. Data problems the run checks for (no skeleton or an
// incomplete one, a settings value the run cannot use, folders that overlap where the run would
// delete what it must keep, a workspace without one of its grids, fewer than two workspaces)
// end it as Failed after the closing sequence, before anything is deleted; a cancel request
// seen at a safe point ends it as Cancelled. Any other error leaves as ReportedError naming
// ProcessWS (or the inner procedure that failed) for the top level to report; a log that
// cannot be written leaves as LogWriteFailure, before the output is prepared when the log was
// unwritable from the start.
RunStatus ProcessWS(RunContext& ctx, const std::filesystem::path& inputFolder,
                    const std::filesystem::path& outputFolder,
                    const std::filesystem::path& listFile);

}  // namespace rivanet
