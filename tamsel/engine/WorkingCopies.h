// Working copies listed in "TMTE" by programs that open an image's content elsewhere: a
// copy changed and closed goes back next to its image, where the next pass encrypts it.
#pragma once

// Processes the list once: copies back, drops records of deleted copies, collapses
// duplicates to the earliest time, and rewrites or deletes the list.
void WriteBackWorkingCopies();
