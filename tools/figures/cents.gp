# Where the tracked pitch of each window lies: a histogram within a semitone,
# and every window by class of error beside it.
#   gnuplot -c cents.gp hist.tsv classes.tsv cents.png
# hist.tsv: bin centre in cents, then % of windows for ours, yin, yinfast;
# classes.tsv: class of error, then the same three shares (figures-report).
set terminal pngcairo size 1400,560 font "Sans,11" enhanced
set output ARG3
set datafile separator "\t"
set multiplot title "{/:Bold Where the tracked pitch of each window lies, all sounds and goal notes together}" font "Sans,14"
set origin 0,0; set size 0.6,0.92
set title "Within a semitone of the note (5-cent bins)"
set xrange [-100:100]; set xtics -100,20,100
set xlabel "cents from the note (100 cents = 1 semitone)"
set ylabel "% of windows"
set grid lc rgb "#dddddd"
set object 1 rect from -50, graph 0 to 50, graph 1 behind fc rgb "#f2f7ee" fs solid noborder
set object 2 rect from -40, graph 0 to 40, graph 1 behind fc rgb "#e3efd9" fs solid noborder
set label 1 "dark: the game's bullseye, ±40 cents\npale: within 50 cents" at -98, graph 0.93 left font "Sans,9" tc rgb "#557744"
set key top right font "Sans,10"
plot ARG1 using 1:2 with histeps lw 2.5 lc rgb "#1f4e9a" title "ours", \
     '' using 1:3 with histeps lw 1.5 dt 2 lc rgb "#e07000" title "aubio yin", \
     '' using 1:4 with histeps lw 1.5 dt 3 lc rgb "#aa2222" title "aubio yinfast (same as yin here)"
unset object 1; unset object 2; unset label 1
set origin 0.6,0; set size 0.4,0.92
set title "Every window, by error"
set style data histograms
set style histogram clustered gap 1
set style fill solid 0.8 noborder
set xrange [*:*]; set yrange [0:100]
unset xlabel
set xtics rotate by 30 right font "Sans,9" nomirror
set key top right
plot ARG2 using 2:xtic(1) lc rgb "#1f4e9a" title "ours", \
     '' using 3 lc rgb "#e07000" title "aubio yin", \
     '' using 4 lc rgb "#aa2222" title "aubio yinfast (same as yin here)"
unset multiplot
