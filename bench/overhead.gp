# Launch overhead and copy cost against payload size, from analyze.py's overhead.dat.
#   gnuplot -e "data='overhead.dat'; output='overhead.png'" overhead.gp
set terminal pngcairo size 900,600 font "DejaVu Sans,11"
set output output
set title "kiteboot launch overhead against payload size (medians, Wine 8)"
set xlabel "payload size (MiB)"
set ylabel "time added to the payload's own start (ms)"
set key bottom right box opaque
set grid
set fit quiet
set fit logfile "/dev/null"
set xrange [0:*]
set yrange [0:*]

launch(x) = la * x + lb
copy(x) = ca * x + cb
fit launch(x) data index 0 using 1:2 via la, lb
fit copy(x) data index 0 using 1:3 via ca, cb

plot data index 0 using 1:2 with points pointtype 7 pointsize 1.4 linecolor rgb "#1f77b4" \
         title "kiteboot: launch overhead (b - a)", \
     launch(x) with lines linecolor rgb "#1f77b4" dashtype 2 \
         title sprintf("  fit: %.1f ms + %.3f ms/MiB", lb, la), \
     data index 0 using 1:3 with points pointtype 5 pointsize 1.2 linecolor rgb "#d62728" \
         title "CopyFileA of the payload: copy cost (c - d)", \
     copy(x) with lines linecolor rgb "#d62728" dashtype 2 \
         title sprintf("  fit: %.1f ms + %.3f ms/MiB", cb, ca), \
     data index 1 using 1:2 with points pointtype 9 pointsize 1.6 linecolor rgb "#2ca02c" \
         title "minimal launcher, one write: floor overhead (e - a)", \
     data index 2 using 1:2 with points pointtype 11 pointsize 1.6 linecolor rgb "#9467bd" \
         title "minimal launcher, pieces of 256 KiB from the image: floor overhead", \
     data index 3 using 1:2 with points pointtype 13 pointsize 1.6 linecolor rgb "#ff7f0e" \
         title "minimal launcher, pieces read from its own file: floor overhead"
