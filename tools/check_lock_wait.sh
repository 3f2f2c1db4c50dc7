#!/bin/sh
# velmor-db while another process holds the database's write lock: a read
# and a write wait for it, say on stderr what they wait for, and go through
# once the lock is let go.
# Usage: VELMOR_DB=path/to/velmor-db HOLD_LOCK=path/to/jet_hold_lock check_lock_wait.sh
db="${VELMOR_DB:-velmor-db}"
hold="${HOLD_LOCK:?HOLD_LOCK manquant}"
. "$(dirname "$0")/../scripts/check_lib.sh"
base="$tmp/verrou.mdb"
"$db" init "$base" > /dev/null || fail "init"

# command, what it waits for (exec reads the file before it writes)
for case in "exec:\(lire\|écrire\)" "count:lire"; do
    command=${case%%:*}
    waits=${case#*:}
    "$hold" "$base" 1500 > "$tmp/held" &
    holder=$!
    i=0
    until grep -q "verrou pris" "$tmp/held" 2> /dev/null; do
        i=$((i + 1))
        [ $i -gt 100 ] && { fail "le verrou n'a pas été pris"; break; }
        sleep 0.05
    done
    if [ "$command" = exec ]; then
        "$db" exec "$base" "INSERT INTO tablep (clientp) VALUES ('attendu')" > "$tmp/out" 2> "$tmp/err"
    else
        "$db" count "$base" tablep > "$tmp/out" 2> "$tmp/err"
    fi
    status=$?
    wait $holder
    [ $status -eq 0 ] || fail "$command : code $status ($(cat "$tmp/err"))"
    grep -q "est occupée par un autre programme (écriture en cours) ; attente pour $waits" "$tmp/err" ||
        fail "$command : l'attente n'est pas annoncée : $(cat "$tmp/err")"
    grep -q "la base est libre, reprise" "$tmp/err" || fail "$command : la reprise n'est pas annoncée"
done
[ "$("$db" count "$base" tablep)" = 1 ] || fail "la ligne écrite après l'attente manque"
[ $failures -eq 0 ] && echo "attente du verrou : tout va bien"
[ $failures -eq 0 ]
