#!/bin/sh
# The writing commands of velmor-db, end to end:
#  - init makes a file that mdbtools reads and check accepts, and refuses to
#    overwrite it;
#  - import of the fixtures' CSV dumps into it gives back exactly those dumps
#    with velmor-db export, and the same rows with mdb-export;
#  - a bad CSV line stops the import, naming the line, with the lines before
#    it kept; exec changes rows; demo makes about 50 rows per table;
#  - check passes after each step.
# Usage: VELMOR_DB=path/to/velmor-db check_write_commands.sh FIXTURES_DIR
fixtures="$1"
db="${VELMOR_DB:-velmor-db}"
if [ ! -f "$fixtures/velmor2001.mdb.velmor2001.csv" ]; then
    echo "dossier des fixtures absent ($fixtures) : test ignoré"
    exit 77
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() {
    echo "ÉCHEC : $*"
    failures=$((failures + 1))
}
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
    cmp -s "$tmp/$table.csv" "$fixtures/velmor2001.mdb.$table.csv" || fail "export $table après import"
    same_as_mdbtools "$base" $table
done
checked "$base"

printf 'client,dateaccord,intervention\n"A","2001-01-01",\n"B","2001-13-01","x"\n"C",,\n' > "$tmp/bad.csv"
if "$db" import "$base" velmor2001 "$tmp/bad.csv" > "$tmp/out" 2> "$tmp/err"; then fail "import d'une ligne invalide accepté"; fi
grep -q "ligne 3" "$tmp/err" || fail "numéro de ligne absent : $(cat "$tmp/err")"
[ "$("$db" count "$base" velmor2001)" = 9 ] || fail "lignes après import interrompu : $("$db" count "$base" velmor2001)"

[ "$("$db" exec "$base" "UPDATE velmor2001 SET parquiinterv = 'Zoé' WHERE dateretourclient IS NULL")" = "4 lignes modifiées" ] ||
    fail "exec UPDATE"
[ "$("$db" exec "$base" "DELETE FROM velmor2001 WHERE client = 'A'")" = "1 ligne modifiée" ] || fail "exec DELETE"
[ "$("$db" exec "$base" "INSERT INTO tablep (clientp, dateenvoip) VALUES ('L''Oréal', #2002-02-02#)")" = "1 ligne modifiée" ] ||
    fail "exec INSERT"
checked "$base"
same_as_mdbtools "$base" velmor2001
same_as_mdbtools "$base" tablep

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
