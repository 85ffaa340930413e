# Key-to-tone times, one point per tone, one column per run of the program.
#   gnuplot -c latency.gp latency.tsv latency.png
# latency.tsv (figures-report): run number, key to tone in ms.
set datafile separator "\t"
stats ARG1 using 1 nooutput
set terminal pngcairo size 800,480 font "Sans,11" enhanced
set output ARG2
set title "{/:Bold From the space key to the goal tone on the output}\none point per tone; a fresh program and audio server per run" font "Sans,13"
set xlabel "run"
set ylabel "key to tone (ms)"
set yrange [0:*]
set xtics 1
set xrange [0.5:STATS_max + 0.5]
set grid ytics lc rgb "#dddddd"
plot ARG1 using 1:2 with points pt 7 ps 1.2 lc rgb "#1f4e9a" notitle
