# Pitch accuracy per goal note: a key strip under the title, then one panel
# per sound, two to a row.
#   gnuplot -c accuracy.gp accuracy.tsv accuracy.png
# accuracy.tsv (figures-report) holds one block per sound, blocks apart by two
# blank lines; columns: note, ours %, yin %, yinfast %, rounds judged a
# bullseye %, note name, sound.
data = ARG1
set datafile separator "\t"
stats data using 1 nooutput
n = STATS_blocks
cols = n < 2 ? 1 : 2
rows = (n + 1) / 2
height = rows * 450 + 110

set terminal pngcairo size cols * 700, height font "Sans,11" enhanced
set output ARG2
set multiplot title "{/:Bold Pitch accuracy on rendered notes, per goal note of the game}" font "Sans,14"
# The key, alone in a strip under the title.
set origin 0, 1 - 100.0 / height
set size 1, 60.0 / height
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
set size 1.0 / cols, 450.0 / height
do for [i = 0:n - 1] {
    # The panel's title is the sound named in its block.
    stats data index i using (sound = strcol(7), $1) nooutput
    set origin (i % cols) * 1.0 / cols, 1 - (110 + 450 * (i / cols + 1)) * 1.0 / height
    set title sound
    plot data index i using 1:5 with boxes lc rgb "#55aa55", \
         '' index i using 1:3:xtic(6) with linespoints lw 1.5 dt 2 pt 6 ps 0.9 lc rgb "#e07000", \
         '' index i using 1:4 with linespoints lw 1.5 dt 3 pt 2 ps 0.9 lc rgb "#aa2222", \
         '' index i using 1:2 with linespoints lw 2.5 pt 7 ps 0.8 lc rgb "#1f4e9a"
}
unset multiplot
