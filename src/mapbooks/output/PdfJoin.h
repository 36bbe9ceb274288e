// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Joining an export run's PDF pages into one file with the toolkit of the Bin folder.
// The join goes on after its run.

#include <string>

namespace mapbooks {

// Starts the toolkit on every PDF file of the folder, into Combined.pdf there (an
// earlier one deleted first); nothing happens without the toolkit.
void JoinPdfPages(const std::string& folder);

// Waits for a join this host started on the folder, so that a run does not replace the
// pages the join is reading.
void WaitForPdfJoin(const std::string& folder);

}  // namespace mapbooks
