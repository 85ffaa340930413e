# windows.tsv (after the onset) → hist.tsv (5-cent bins within ±100 cents, % of
# windows) and classes.tsv (where every window's estimate went)
BEGIN { FS = OFS = "\t"; split("within 20 cents|20 to 50 cents|50 cents to a semitone|whole octaves off (±50 cents)|otherwise wrong|no pitch", cls, "|") }
/^#/ || $5 != 1 { next }
{
  total++
  for (t = 1; t <= 3; t++) {
    c = $(8 + t)
    if (c == "nan") { k = 6 }
    else {
      a = c < 0 ? -c : c
      o = a - 1200 * int(a / 1200 + 0.5); if (o < 0) o = -o
      k = a <= 20 ? 1 : a <= 50 ? 2 : a <= 100 ? 3 : (a >= 1150 && o <= 50) ? 4 : 5
      if (a < 100) { b = int((c + 100) / 5); hist[b, t]++ }
    }
    class[k, t]++
  }
}
END {
  for (b = 0; b < 40; b++) {
    printf "%g", -100 + 5 * b + 2.5 > hdir "/hist.tsv"
    for (t = 1; t <= 3; t++) printf "\t%.4f", 100 * hist[b, t] / total > hdir "/hist.tsv"
    printf "\n" > hdir "/hist.tsv"
  }
  for (k = 1; k <= 6; k++) {
    printf "%s", cls[k] > hdir "/classes.tsv"
    for (t = 1; t <= 3; t++) printf "\t%.2f", 100 * class[k, t] / total > hdir "/classes.tsv"
    printf "\n" > hdir "/classes.tsv"
  }
  print total > hdir "/windows_judged.txt"
}
