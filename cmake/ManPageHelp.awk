# Turns a program's --help into the text help2man makes its manual page of. help2man makes
# a section of a "*Name*" line, so the "Exit status:" paragraph becomes EXIT STATUS. The
# options in the variable hooks (separated by blanks), which only the tests use, are left
# out, with the lines that continue their text.
BEGIN {
  count = split(hooks, names, " ")
  for (i = 1; i <= count; ++i) hook[names[i]] = 1
}
skipping && /^        +[^ -]/ { next }
{ skipping = 0 }
/^ +(-[^ -], +)?--[^ ]/ {
  name = $0
  sub(/^ +(-[^ -], +)?/, "", name)
  sub(/[ =].*/, "", name)
  if (name in hook) { skipping = 1; next }
}
/^Exit status:$/ { print "*Exit status*"; next }
/^Exit status: / { print "*Exit status*"; sub(/^Exit status: /, "") }
{ print }
