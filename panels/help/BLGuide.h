// The user guide, "UserGuide.html" beside the program (the current folder),
// shown by the desktop's web browser. The song library's Guide button, a
// tour's first bubble and the hint line while help bubbles show all open it
// here.
#pragma once

// Opens the guide, or says in a box why it cannot (missing, or no browser).
void BL_OpenGuide();
