# The audio callback's cost per block against the block's period, on a log
# scale: one bar per benchmark.
#   gnuplot -c callback.gp callback.tsv callback.png
# callback.tsv (figures-report): label, median µs, standard deviation µs.
set terminal pngcairo size 1000,560 font "Sans,11" enhanced
set output ARG2
set datafile separator "\t"
set title "{/:Bold The audio callback's CPU time per 512-frame block}\nmedian of repeated runs, against the 11.6 ms the block lasts" font "Sans,13"
set logscale y
set yrange [0.1:100000]
set format y "10^{%L}"
set ylabel "CPU time per block (µs, log scale)"
set grid ytics lc rgb "#dddddd"
set style fill solid 0.8 noborder
set boxwidth 0.6
set xtics font "Sans,10" nomirror
set xrange [-0.6:*]
set key top left
period = 512.0 / 44100 * 1e6
set arrow 1 from graph 0, first period to graph 1, first period nohead lw 2 lc rgb "#aa2222"
set label 1 sprintf("the block's period: %.1f ms", period / 1000) at graph 0.98, first period * 1.4 right tc rgb "#aa2222"
set arrow 2 from graph 0, first period / 100 to graph 1, first period / 100 nohead lw 1.5 dt 2 lc rgb "#777777"
set label 2 "1 % of the period: the goal for a listening block" at graph 0.02, first period / 100 * 1.4 left tc rgb "#555555"
plot ARG1 using 0:2:xtic(1) with boxes lc rgb "#1f4e9a" notitle, \
     '' using 0:2:($2 >= 1000 ? sprintf("%.2f ms", $2 / 1000) : sprintf("%.3g µs", $2)) with labels offset 0,1 notitle
