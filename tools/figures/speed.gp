# Speed against accuracy: every tracker of the datasheet as one labelled point.
#   gnuplot -c speed.gp speed_accuracy.tsv speed.png
# speed_accuracy.tsv (figures-report): tracker, ns per sample, % of voiced
# frames within 50 cents over every material.
set datafile separator "\t"
set terminal pngcairo size 900, 600 font "Sans,11" enhanced
set output ARG2
set title "{/:Bold Speed against accuracy, every tracker on the same material}" font "Sans,14"
set logscale x 10
set format x "10^{%T}"
set xlabel "time per sample of audio, ns (log scale; left is faster)"
set ylabel "voiced frames within 50 cents, %"
set yrange [0:105]
set grid xtics ytics mxtics lc rgb "#dddddd"
set offsets graph 0.12, graph 0.12, 0, 0
unset key
plot ARG1 using 2:3 with points pt 7 ps 1.6 lc rgb "#1f4e9a", \
     '' using 2:3:1 with labels offset char 0, char 1.1 font "Sans,10"
