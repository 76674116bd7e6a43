# Tidies the page help2man writes from tvpack's --help.

# The help text closes with a short note on the exit status; the page has a
# section of its own for it, so the note goes.
/^\.PP$/{
  N
  /\nExit status:/{
    :note
    N
    /\n\.SH/!b note
    s/^.*\n\(\.SH\)/\1/
  }
}

# Each command's line (the first of its paragraph): the command and its
# options bold, what the user puts in (MOD, ARCHIVE, DIR) italic, as in the
# synopsis. help2man's guesses at markup go first.
/^\.IP$/{
  n
  /^\(pack\|list\|extract\|verify\|cat\|diff\) /{
    s/\\f[BIRP]//g
    s/\\[,/]//g
    s/[A-Z][A-Z]*/\\fI&\\fR/g
    s/\\-\\-[a-z]*/\\fB&\\fR/g
    s/^[a-z]*/\\fB&\\fR/
  }
}
