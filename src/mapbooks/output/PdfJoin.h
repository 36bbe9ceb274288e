// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Joining an export run's PDF pages into one file with the toolkit of the Bin folder.
// The join goes on after its run; the user learns when it fails.

#include <string>

namespace host::win {
struct ProgramEnd;
}

namespace mapbooks {

// Starts the toolkit on every PDF file of the folder, into Combined.pdf there; nothing
// happens without the toolkit. The toolkit leaves Combined.pdf out of what it reads and
// replaces it only with a whole new one, so an earlier one stays until then. The host
// is told of the join, and tells the user when it fails: at the next run into the
// folder, in the window meanwhile, or as the host ends.
void JoinPdfPages(const std::string& folder);

// Waits for a join this host started on the folder, so that a run does not replace the
// pages the join is reading, and tells of its failure.
void WaitForPdfJoin(const std::string& folder);

// What the user is told of a join that ended so; empty when it succeeded.
// earlierKept: a Combined.pdf from before the join is still there.
std::string PdfJoinFailure(const host::win::ProgramEnd& end, bool earlierKept);

}  // namespace mapbooks
