#!/bin/sh
# Exports every table of every fixture with velmor-db and compares it with
# the fixture's CSV dump (FILE.TABLE.csv). For the big file, only the first
# 100 rows are dumped; the row counts come from FILE.rowcounts.csv.
# Usage: VELMOR_DB=path/to/velmor-db check_fixture_exports.sh FIXTURES_DIR
fixtures="$1"
db="${VELMOR_DB:-velmor-db}"
if [ ! -d "$fixtures" ]; then
    echo "dossier des fixtures absent ($fixtures) : test ignoré"
    exit 77
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
checked=0
for file in "$fixtures"/*.mdb "$fixtures"/*.accdb "$fixtures"/access-made/*.mdb "$fixtures"/access-made/*.accdb; do
    [ -f "$file" ] || continue
    if ! "$db" tables "$file" > "$tmp/tables" 2> "$tmp/err"; then
        echo "ÉCHEC : tables $file : $(cat "$tmp/err")"
        failures=$((failures + 1))
        continue
    fi
    counts="$file.rowcounts.csv"
    while IFS= read -r table; do
        dump="$file.$table.csv"
        if [ ! -f "$dump" ]; then
            echo "ÉCHEC : pas de dump $dump pour la table $table"
            failures=$((failures + 1))
            continue
        fi
        if [ -f "$counts" ]; then
            lines=$(($(wc -l < "$dump") - 1))
            "$db" export "$file" "$table" --lignes "$lines" > "$tmp/out" 2> "$tmp/err"
        else
            "$db" export "$file" "$table" > "$tmp/out" 2> "$tmp/err"
        fi
        if [ $? -ne 0 ]; then
            echo "ÉCHEC : export $file $table : $(cat "$tmp/err")"
            failures=$((failures + 1))
        elif ! cmp -s "$tmp/out" "$dump"; then
            echo "ÉCHEC : export $file $table diffère de $dump :"
            diff "$dump" "$tmp/out" | head -10
            failures=$((failures + 1))
        fi
        checked=$((checked + 1))
    done < "$tmp/tables"
    if [ -f "$counts" ]; then
        while IFS=, read -r table rows; do
            got=$("$db" count "$file" "$table" 2>&1)
            if [ "$got" != "$rows" ]; then
                echo "ÉCHEC : $file $table : $got lignes au lieu de $rows"
                failures=$((failures + 1))
            fi
            checked=$((checked + 1))
        done < "$counts"
    fi
done
echo "$checked vérifications, $failures échecs"
[ "$failures" -eq 0 ]
