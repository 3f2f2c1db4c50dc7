# Sourced by the shell checks: a scratch folder "$tmp", removed at exit, and
# fail(), which says what went wrong and counts it in "$failures".
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() {
    echo "ÉCHEC : $*"
    failures=$((failures + 1))
}
