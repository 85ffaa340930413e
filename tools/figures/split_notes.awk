# notes.tsv → one file per sound with a note-name column appended
BEGIN { FS = OFS = "\t"; split("C C# D D# E F F# G G# A A# B", names, " ") }
/^#/ { next }
{
  m = $2 + 12
  name = names[m % 12 + 1] int(m / 12 - 1)
  slug = tolower($1); gsub(/ /, "-", slug)
  if (!(slug in seen)) { seen[slug] = 1; order[++n] = slug; title[slug] = $1 }
  print $0, name > (dir "/notes-" slug ".tsv")
}
END { for (i = 1; i <= n; i++) print order[i] "\t" title[order[i]] > (dir "/sounds.tsv") }
