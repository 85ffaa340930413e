# shellcheck shell=bash
# Gnuplot programs for the published plots, written to standard output.
# Sourced by scripts/figures.sh; every function takes the folder of the
# tables it plots and the PNG to write.

# The accuracy plot's gnuplot program: a key strip under the title, then one
# panel per sound, two to a row.
plot_accuracy_gp() { # folder with sounds.tsv and notes-*.tsv, png
  local dir=$1 png=$2 n cols rows
  n=$(wc -l <"$dir/sounds.tsv")
  cols=$((n < 2 ? 1 : 2)); rows=$(((n + 1) / 2))
  local height=$((rows * 450 + 110))
  cat <<GP
set terminal pngcairo size $((cols * 700)),$height font "Sans,11" enhanced
set output '$png'
set datafile separator "\t"
set multiplot title "{/:Bold Pitch accuracy on rendered notes, per goal note of the game}" font "Sans,14"
# The key, alone in a strip under the title.
set origin 0, $(awk -v h=$height 'BEGIN{printf "%.4f", 1 - 100 / h}')
set size 1, $(awk -v h=$height 'BEGIN{printf "%.4f", 60 / h}')
unset border; unset tics; unset xlabel; unset ylabel
set xrange [0:1]; set yrange [0:1]
set key center center horizontal maxcols 5 width -6 font "Sans,10" samplen 2.5
set style fill solid 0.35 noborder
plot NaN with boxes fc rgb "#dddddd" fs solid 1.0 title "fewer than 2 periods in 512 samples", \
     NaN with boxes lc rgb "#55aa55" title "rounds the game judges a bullseye", \
     NaN with linespoints lw 2.5 pt 7 lc rgb "#1f4e9a" title "ours: windows within 50 cents", \
     NaN with linespoints lw 1.5 dt 2 pt 6 lc rgb "#e07000" title "aubio yin", \
     NaN with linespoints lw 1.5 dt 3 pt 2 lc rgb "#aa2222" title "aubio yinfast (same as yin here)"
unset key
set border; set ytics 0,20,100; set xtics rotate by 90 right font "Sans,9"
set yrange [0:105]
set xrange [35.4:59.6]
set grid ytics lc rgb "#dddddd"
set ylabel "% of windows; % of rounds"
set boxwidth 0.7
set object 1 rect from 35.4,0 to 40.5,105 behind fc rgb "#eeeeee" fs solid noborder
set size $(awk -v c=$cols 'BEGIN{printf "%.4f", 1 / c}'), $(awk -v h=$height 'BEGIN{printf "%.4f", 450 / h}')
GP
  local slug title i=0
  while IFS=$'\t' read -r slug title; do
    local f="$dir/notes-$slug.tsv"
    cat <<GP
set origin $(awk -v i=$i -v c=$cols 'BEGIN{printf "%.4f", (i % c) / c}'), $(awk -v i=$i -v c=$cols -v h=$height 'BEGIN{printf "%.4f", 1 - (110 + 450 * (int(i / c) + 1)) / h}')
set title "$title"
plot '$f' using 2:13 with boxes lc rgb "#55aa55", \\
     '$f' using 2:7:xtic(14) with linespoints lw 1.5 dt 2 pt 6 ps 0.9 lc rgb "#e07000", \\
     '$f' using 2:8 with linespoints lw 1.5 dt 3 pt 2 ps 0.9 lc rgb "#aa2222", \\
     '$f' using 2:6 with linespoints lw 2.5 pt 7 ps 0.8 lc rgb "#1f4e9a"
GP
    i=$((i + 1))
  done <"$dir/sounds.tsv"
  echo "unset multiplot"
}

# The distribution of cents error: a histogram within a semitone, and every
# window by class of error beside it.
plot_cents_gp() { # folder with hist.tsv and classes.tsv, png
  cat <<GP
set terminal pngcairo size 1400,560 font "Sans,11" enhanced
set output '$2'
set datafile separator "\t"
GP
  sed -e "s|'hist.tsv'|'$1/hist.tsv'|g" -e "s|'classes.tsv'|'$1/classes.tsv'|g" <<'GP'
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
plot 'hist.tsv' using 1:2 with histeps lw 2.5 lc rgb "#1f4e9a" title "ours", \
     'hist.tsv' using 1:3 with histeps lw 1.5 dt 2 lc rgb "#e07000" title "aubio yin", \
     'hist.tsv' using 1:4 with histeps lw 1.5 dt 3 lc rgb "#aa2222" title "aubio yinfast (same as yin here)"
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
plot 'classes.tsv' using 2:xtic(1) lc rgb "#1f4e9a" title "ours", \
     '' using 3 lc rgb "#e07000" title "aubio yin", \
     '' using 4 lc rgb "#aa2222" title "aubio yinfast (same as yin here)"
unset multiplot
GP
}

# The callback's cost per block against the block's period, on a log scale:
# one bar per benchmark (callback.tsv: label, median µs, stddev µs).
plot_callback_gp() { # folder with callback.tsv, png
  cat <<GP
set terminal pngcairo size 1000,560 font "Sans,11" enhanced
set output '$2'
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
plot '$1/callback.tsv' using 0:2:xtic(1) with boxes lc rgb "#1f4e9a" notitle, \\
     '' using 0:2:(\$2 >= 1000 ? sprintf("%.2f ms", \$2 / 1000) : sprintf("%.3g µs", \$2)) with labels offset 0,1 notitle
GP
}

# Key-to-tone times, one point per tone, one column per run of the program.
plot_latency_gp() { # folder with latency.tsv (run, ms), png
  cat <<GP
set terminal pngcairo size 800,480 font "Sans,11" enhanced
set output '$2'
set datafile separator "\t"
set title "{/:Bold From the space key to the goal tone on the output}\none point per tone; a fresh program and audio server per run" font "Sans,13"
set xlabel "run"
set ylabel "key to tone (ms)"
set yrange [0:*]
set xtics 1
set xrange [0.5:$(cut -f1 "$1/latency.tsv" | sort -n | tail -n 1).5]
set grid ytics lc rgb "#dddddd"
plot '$1/latency.tsv' using 1:2 with points pt 7 ps 1.2 lc rgb "#1f4e9a" notitle
GP
}
