# windows.tsv → "sound<TAB>note<TAB>median cents ours<TAB>median cents yin" over
# the windows after the onset that have a pitch: the typical tuning each
# tracker reports for a note, apart from its outright misses.
BEGIN { FS = OFS = "\t" }
/^#/ || $5 != 1 { next }
{
  key = $1 SUBSEP $2
  if (!(key in seen)) { seen[key] = 1; order[++n] = key }
  if ($9 != "nan") ours[key, ++no[key]] = $9 + 0
  if ($10 != "nan") yin[key, ++ny[key]] = $10 + 0
}
function median(a, key, count,    i, j, v, tmp) {
  if (count == 0) return "nan"
  for (i = 1; i <= count; i++) tmp[i] = a[key, i]
  for (i = 2; i <= count; i++) {
    v = tmp[i]
    for (j = i - 1; j >= 1 && tmp[j] > v; j--) tmp[j + 1] = tmp[j]
    tmp[j + 1] = v
  }
  return count % 2 ? tmp[(count + 1) / 2] : (tmp[count / 2] + tmp[count / 2 + 1]) / 2
}
END {
  for (i = 1; i <= n; i++) {
    split(order[i], k, SUBSEP)
    print k[1], k[2], median(ours, order[i], no[order[i]]), median(yin, order[i], ny[order[i]])
  }
}
