// The benchmarks' crowds of top-level windows, made by the tests' window_crowd.
#pragma once

// Makes sure the X server holds exactly windows top-level windows of another class,
// the last of them of the watched class when withWatched; a crowd already showing is
// kept.
void ShowWindowCrowd(int windows, bool withWatched);

void EndWindowCrowd();
