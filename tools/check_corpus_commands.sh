#!/bin/sh
# velmor-db on the corpus of real Access files:
#  - a database password: refused without it or with a wrong one (exit 1, a
#    French message), read and written with it (check, mdb-export agree);
#  - unconverted values (unknown types, complex columns): empty fields, one
#    warning per column naming table, column and type, exit 3, or 0 with
#    --ignorer-types-inconnus; the schema names the types;
#  - attachments extracted to a folder, one per row.
# Usage: VELMOR_DB=path/to/velmor-db check_corpus_commands.sh FIXTURES_DIR
corpus="$1/access-corpus"
db="${VELMOR_DB:-velmor-db}"
if [ ! -f "$corpus/V2000_with-password.mdb" ]; then
    echo "corpus absent ($corpus) : test ignoré"
    exit 77
fi
. "$(dirname "$0")/../scripts/check_lib.sh"

protected="$tmp/protegee.mdb"
cp "$corpus/V2000_with-password.mdb" "$protected"
chmod u+w "$protected"
"$db" export "$protected" Table1 > "$tmp/out" 2> "$tmp/err"
[ $? -eq 1 ] || fail "export sans mot de passe : code $?"
grep -q "protégée par un mot de passe" "$tmp/err" || fail "message sans mot de passe : $(cat "$tmp/err")"
"$db" export "$protected" Table1 --mot-de-passe Password > "$tmp/out" 2> "$tmp/err"
[ $? -eq 1 ] || fail "export avec un mauvais mot de passe : code $?"
grep -q "mot de passe incorrect" "$tmp/err" || fail "message mauvais mot de passe : $(cat "$tmp/err")"
"$db" --mot-de-passe password export "$protected" Table1 > "$tmp/out" || fail "export avec le mot de passe"
cmp -s "$tmp/out" "$corpus/V2000_with-password.mdb.Table1.csv" || fail "export avec le mot de passe diffère du dump"
"$db" exec "$protected" "INSERT INTO Table1 (Data) VALUES ('Trois')" --mot-de-passe password > /dev/null ||
    fail "exec avec le mot de passe"
"$db" check "$protected" > "$tmp/check" || fail "check après écriture : $(grep -v '^note' "$tmp/check")"
mdb-export "$protected" Table1 | grep -q '"Trois"' || fail "mdb-export ne lit pas la ligne ajoutée"

unsupported="$corpus/unsupportedFieldsTestV2007.accdb"
"$db" export "$unsupported" Test > "$tmp/out" 2> "$tmp/err"
[ $? -eq 3 ] || fail "export de types inconnus : code $? au lieu de 3"
[ "$(sed -n 2p "$tmp/out")" = '"1",,,' ] || fail "valeurs non converties : $(sed -n 2p "$tmp/out")"
grep -q "table Test, colonne UnknownVar (Type inconnu (code 70)) : 2 valeurs non converties" "$tmp/err" ||
    fail "avertissement : $(cat "$tmp/err")"
[ "$(grep -c attention "$tmp/err")" -eq 3 ] || fail "un avertissement par colonne attendu : $(cat "$tmp/err")"
"$db" query "$unsupported" "SELECT * FROM [Test]" --ignorer-types-inconnus > /dev/null 2> "$tmp/err" ||
    fail "query --ignorer-types-inconnus : code $?"
grep -q "table Test, colonne UnknownComplex (Valeurs multiples)" "$tmp/err" || fail "query : $(cat "$tmp/err")"
"$db" schema "$unsupported" MSysResources | grep -q "Data : Pièce jointe" || fail "schema : pièce jointe"

"$db" attachments "$corpus/bigint.accdb" MSysResources "$tmp/pj" > "$tmp/out" || fail "attachments"
theme="$tmp/pj/Data/ligne-1/Office Theme.thmx"
[ -f "$theme" ] && [ "$(head -c 2 "$theme")" = "PK" ] || fail "thème extrait : $(cat "$tmp/out")"
"$db" attachments "$corpus/bigint.accdb" MSysResources "$tmp/pj" > /dev/null 2>&1 && fail "fichier remplacé"
"$db" attachments "$corpus/bigint.accdb" Table "$tmp/pj2" > /dev/null 2>&1
[ $? -eq 1 ] || fail "table sans pièces jointes : code $?"

echo "$failures échecs"
[ "$failures" -eq 0 ]
