// The presence test on X11, kept apart from the rest of the POSIX platform.
#pragma once

// Opens the connection to the X server named by DISPLAY; false when none answers.
bool ConnectWindowSystem();
