#!/bin/sh
# The writing commands of velmor-db, end to end:
#  - init makes a file that mdbtools reads and check accepts, and refuses to
#    overwrite it; the same in the format of Access 97 (init --format 97);
#    both have the indexed schema of the fixtures (an autonumber id, its
#    primary key, an index on the client column);
#  - import of the fixtures' CSV dumps into it gives back exactly the dumps
#    of the indexed fixture (the same rows, numbered from 1) with velmor-db
#    export, and the same rows with mdb-export;
#  - a bad CSV row (impossible date, text that is not UTF-8, text too long)
#    stops the import, naming its line and column, and nothing is written;
#    with --par-lots the lots before it stay; exec changes rows; an
#    autonumber column is never set (exec UPDATE / INSERT, import); demo
#    makes about 50 rows per table;
#  - check passes after each step.
# Usage: VELMOR_DB=path/to/velmor-db check_write_commands.sh FIXTURES_DIR
fixtures="$1"
db="${VELMOR_DB:-velmor-db}"
if [ ! -f "$fixtures/velmor2001.mdb.velmor2001.csv" ]; then
    echo "dossier des fixtures absent ($fixtures) : test ignoré"
    exit 77
fi
. "$(dirname "$0")/../scripts/check_lib.sh"
checked() {
    "$db" check "$1" > "$tmp/check" 2>&1 || fail "check $1 : $(grep -v '^note' "$tmp/check")"
}
# Same rows for mdb-export and velmor-db export (mdb-export writes NULL as "").
same_as_mdbtools() {
    "$db" export "$1" "$2" | sed 's/"//g' | sort > "$tmp/ours"
    mdb-export -D '%Y-%m-%d %H:%M:%S' -T '%Y-%m-%d %H:%M:%S' "$1" "$2" | sed 's/"//g' | sort > "$tmp/theirs"
    cmp -s "$tmp/ours" "$tmp/theirs" || fail "$1 $2 : mdb-export et velmor-db export diffèrent"
}

base="$tmp/velmor2001.mdb"
"$db" init "$base" > /dev/null || fail "init"
checked "$base"
[ "$(mdb-tables -1 "$base" | tr '\n' ' ')" = "velmor2001 tablep " ] || fail "mdb-tables : $(mdb-tables -1 "$base")"
if "$db" init "$base" > /dev/null 2>&1; then fail "init a remplacé un fichier existant"; fi

for table in velmor2001 tablep; do
    "$db" import "$base" $table "$fixtures/velmor2001.mdb.$table.csv" > /dev/null || fail "import $table"
    "$db" export "$base" $table > "$tmp/$table.csv"
    cmp -s "$tmp/$table.csv" "$fixtures/velmor2001-indexed.mdb.$table.csv" || fail "export $table après import"
    same_as_mdbtools "$base" $table
done
checked "$base"

base97="$tmp/velmor97.mdb"
"$db" init "$base97" --format 97 > /dev/null || fail "init --format 97"
# The indexes of each table as the indexed fixture has them (names, columns,
# kinds), for velmor-db and for mdbtools.
indexes() { "$db" schema "$1" "$2" | grep '^  index' | sort; }
mdb_indexes() { mdb-schema "$1" postgres 2> /dev/null | grep -E '^(CREATE INDEX|ALTER TABLE)' | sort; }
for file in "$base" "$base97"; do
    for table in velmor2001 tablep; do
        [ "$(indexes "$file" $table)" = "$(indexes "$fixtures/velmor2001-indexed.mdb" $table)" ] ||
            fail "$file $table : index $(indexes "$file" $table)"
    done
    [ "$(mdb_indexes "$file")" = "$(mdb_indexes "$fixtures/velmor2001-indexed.mdb")" ] ||
        fail "$file : index selon mdb-schema : $(mdb_indexes "$file")"
done
[ "$(mdb-tables -1 "$base97" | tr '\n' ' ')" = "velmor2001 tablep " ] || fail "mdb-tables 97 : $(mdb-tables -1 "$base97")"
mdb-schema "$base97" 2>&1 | grep -q "CREATE TABLE \[tablep\]" || fail "mdb-schema 97"
for table in velmor2001 tablep; do
    "$db" import "$base97" $table "$fixtures/velmor2001.mdb.$table.csv" > /dev/null || fail "import 97 $table"
    "$db" export "$base97" $table | cmp -s - "$fixtures/velmor2001-indexed.mdb.$table.csv" || fail "export 97 $table"
    same_as_mdbtools "$base97" $table
done
checked "$base97"

# Times with milliseconds, as export writes them, import back exactly (also
# before 1899-12-30, where Access counts days down and the time up).
"$db" init "$tmp/ms.mdb" > /dev/null || fail "init ms"
printf 'client,dateaccord\n"A","2001-10-12 08:30:15.250"\n"B","1899-12-29 06:00:00.125"\n' > "$tmp/ms.csv"
"$db" import "$tmp/ms.mdb" velmor2001 "$tmp/ms.csv" > /dev/null || fail "import des millisecondes"
"$db" export "$tmp/ms.mdb" velmor2001 > "$tmp/ms-out.csv"
for when in "2001-10-12 08:30:15.250" "1899-12-29 06:00:00.125"; do
    grep -qF "$when" "$tmp/ms-out.csv" || fail "millisecondes perdues ($when) : $(cat "$tmp/ms-out.csv")"
done

# An import is all or nothing: the first refused row is named by its line and
# column, and nothing is written (an impossible date, bytes that are not UTF-8).
refused() { # CSV-file expected-message
    cp "$base" "$tmp/before.mdb"
    if "$db" import "$base" velmor2001 "$1" > "$tmp/out" 2> "$tmp/err"; then fail "$1 : import accepté"; fi
    grep -qF "$2" "$tmp/err" || fail "$1 : « $2 » attendu, reçu : $(cat "$tmp/err")"
    grep -q "aucune ligne importée" "$tmp/out" || fail "$1 : $(cat "$tmp/out")"
    cmp -s "$base" "$tmp/before.mdb" || fail "$1 : la base a changé"
}
printf 'client,dateaccord,intervention\n"A","2001-01-01",\n"B","2001-02-31","x"\n"C",,\n' > "$tmp/date.csv"
refused "$tmp/date.csv" "ligne 3 : colonne « dateaccord » : date impossible : « 2001-02-31 »"
printf 'client,motif\n"A","x"\n"B","\377\376\351"\n' > "$tmp/utf8.csv"
refused "$tmp/utf8.csv" "ligne 3 : colonne « motif » : texte qui n'est pas de l'UTF-8 valide (octet FF en position 1)"
printf 'client\n"A"\n"%s"\n' "$(printf '%0256d' 0)" > "$tmp/long.csv"
refused "$tmp/long.csv" "ligne 3 : texte trop long pour la colonne « client »"
# With --par-lots, each lot is written on its own: the lots before the refused row stay.
printf 'client,dateaccord\n"A","2001-01-01"\n"B","2000-02-29 10:30"\n"C","1900-02-29"\n' > "$tmp/lots.csv"
if "$db" import "$base" velmor2001 "$tmp/lots.csv" --par-lots 2 > "$tmp/out" 2> "$tmp/err"; then fail "import par lots accepté"; fi
grep -q "ligne 4 : colonne « dateaccord »" "$tmp/err" || fail "import par lots : $(cat "$tmp/err")"
[ "$("$db" count "$base" velmor2001)" = 10 ] || fail "lignes après import par lots : $("$db" count "$base" velmor2001)"
[ "$("$db" count "$base" "SELECT * FROM velmor2001 WHERE dateaccord = #2000-02-29 10:30#")" = 1 ] || fail "date du 29 février"
"$db" exec "$base" "DELETE FROM velmor2001 WHERE client = 'B'" > /dev/null || fail "exec DELETE de la ligne B"

[ "$("$db" exec "$base" "UPDATE velmor2001 SET parquiinterv = 'Zoé' WHERE dateretourclient IS NULL")" = "4 lignes modifiées" ] ||
    fail "exec UPDATE"
[ "$("$db" exec "$base" "DELETE FROM velmor2001 WHERE client = 'A'")" = "1 ligne modifiée" ] || fail "exec DELETE"
[ "$("$db" exec "$base" "INSERT INTO tablep (clientp, dateenvoip) VALUES ('L''Oréal', #2002-02-02#)")" = "1 ligne modifiée" ] ||
    fail "exec INSERT"
checked "$base"
same_as_mdbtools "$base" velmor2001
same_as_mdbtools "$base" tablep

# An autonumber column is never set, through SQL or an import; nothing changes.
indexed="$tmp/indexed.mdb"
cp "$fixtures/velmor2001-indexed.mdb" "$indexed"
cp "$indexed" "$tmp/before.mdb"
printf 'id,client\n,A\n"3",B\n' > "$tmp/id.csv"
for command in "exec|UPDATE velmor2001 SET id = 1" "exec|INSERT INTO velmor2001 (id, client) VALUES (3, 'X')" \
               "import|$tmp/id.csv"; do
    verb=${command%%|*}
    if [ "$verb" = exec ]; then set -- exec "$indexed" "${command#*|}"; else set -- import "$indexed" velmor2001 "${command#*|}"; fi
    if "$db" "$@" > "$tmp/out" 2> "$tmp/err"; then fail "$* : accepté"; fi
    grep -q "colonne « id » .*numérotée automatiquement" "$tmp/err" || fail "$* : $(cat "$tmp/err")"
    cmp -s "$indexed" "$tmp/before.mdb" || fail "$* : la base a changé"
done
grep -q "ligne 3" "$tmp/err" || fail "import d'un numéro automatique : ligne absente : $(cat "$tmp/err")"

demo="$tmp/demo.mdb"
"$db" demo "$demo" > /dev/null || fail "demo"
for table in velmor2001 tablep; do
    n=$("$db" count "$demo" $table)
    [ "$n" -ge 40 ] && [ "$n" -le 60 ] || fail "demo : $n lignes dans $table"
    same_as_mdbtools "$demo" $table
done
checked "$demo"

if [ "$failures" -ne 0 ]; then
    echo "$failures échec(s)"
    exit 1
fi
echo "commandes d'écriture : tout va bien"
