# The presence test's time against the number of windows, ours and the baseline's,
# on logarithmic axes. Called by bench/run.sh with data and output set.
set terminal pngcairo size 900,560 font "sans,11"
set output output
set title "Presence test against an X server holding N top-level windows (medians)"
set xlabel "top-level windows (N)"
set ylabel "time per test (ms)"
set logscale xy
set grid
set key top left
set xrange [5:20000]
# Columns: N, ours absent, baseline absent, ours present, baseline present (ms).
plot data using 1:2 with linespoints lw 2 pt 7 title "ours, class absent", \
     data using 1:3 with linespoints lw 2 pt 5 title "one query per window, class absent", \
     data using 1:4 with linespoints lw 2 pt 6 dt 2 title "ours, class present (last)", \
     data using 1:5 with linespoints lw 2 pt 4 dt 2 title "one query per window, class present (last)"
