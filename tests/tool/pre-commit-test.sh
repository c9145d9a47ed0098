#!/bin/sh
# The hooks of .pre-commit-hooks.yaml, run by pre-commit as a user's repository runs them:
# `pre-commit try-repo` on a scratch repository passes kessa-check with a clean kessa file and
# fails it, showing the finding, once a faulty one is added; kessa-fmt fails where it formatted a
# file, which it leaves formatted, and then passes. Then the configuration lines of doc/check.md
# run both hooks from a repository that holds them. KESSA2JSON names the tool, whose folder
# (kessafmt's too) goes first on the PATH, as an installed one would. Exits 77, which CTest counts
# as skipped, with the reason, where pre-commit or git is not installed.
set -eu
checkout=$(cd "$(dirname "$0")/../.." && pwd)
skip() {
  echo "SKIPPED: $1"
  exit 77
}
command -v pre-commit >/dev/null || skip "pre-commit is not installed (apt-get install pre-commit)"
command -v git >/dev/null || skip "git is not installed"
git -C "$checkout" rev-parse --git-dir >/dev/null 2>&1 || skip "the sources are not a git checkout"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# pre-commit's cache and git's settings stay in the scratch folder.
PATH=$(dirname "$KESSA2JSON"):$PATH
HOME=$work PRE_COMMIT_HOME=$work/cache GIT_CONFIG_NOSYSTEM=1
GIT_AUTHOR_NAME=test GIT_AUTHOR_EMAIL=test@example.org
GIT_COMMITTER_NAME=test GIT_COMMITTER_EMAIL=test@example.org
export PATH HOME PRE_COMMIT_HOME GIT_CONFIG_NOSYSTEM GIT_AUTHOR_NAME GIT_AUTHOR_EMAIL \
  GIT_COMMITTER_NAME GIT_COMMITTER_EMAIL
fail() {
  echo "FAILED: $1"
  cat "$work/out"
  exit 1
}

mkdir "$work/repo"
cd "$work/repo"
git init -q .
printf 'name=demo\nport=8080\n' >clean.kessa
git add clean.kessa
pre-commit try-repo "$checkout" kessa-check >"$work/out" 2>&1 || fail "a clean file failed the hook"
grep -q '^kessa2json --check\.*Passed$' "$work/out" || fail "the hook did not pass"
printf 'zip=01234\n' >faulty.kessa
git add faulty.kessa
finding='faulty.kessa:1:5: warning: the leading zeros of "01234" are dropped'
if pre-commit try-repo "$checkout" kessa-check >"$work/out" 2>&1; then
  fail "a faulty file passed the hook"
fi
grep -q '^kessa2json --check\.*Failed$' "$work/out" || fail "the hook did not fail"
grep -qF "$finding" "$work/out" || fail "the finding is not shown"
cat "$work/out"

printf 'box={w=1\nh=2}\n' >messy.kessa
git add messy.kessa
if pre-commit try-repo "$checkout" kessa-fmt >"$work/out" 2>&1; then
  fail "a file to format passed the kessa-fmt hook"
fi
grep -q '^kessafmt\.*Failed$' "$work/out" || fail "the kessa-fmt hook did not fail"
grep -q 'files were modified by this hook' "$work/out" || fail "pre-commit did not say why"
[ "$(cat messy.kessa)" = "$(printf 'box={\n    w=1\n    h=2\n}')" ] || fail "not formatted"
git add messy.kessa
pre-commit try-repo "$checkout" kessa-fmt >"$work/out" 2>&1 || fail "a formatted file failed kessa-fmt"
grep -q '^kessafmt\.*Passed$' "$work/out" || fail "the kessa-fmt hook did not pass"
git rm -q --cached messy.kessa

# The lines of doc/check.md, with a repository that holds the hook in place of kessa2json's own.
mkdir "$work/hooks"
cp "$checkout/.pre-commit-hooks.yaml" "$work/hooks/"
git -C "$work/hooks" init -q .
git -C "$work/hooks" add .pre-commit-hooks.yaml
git -C "$work/hooks" commit -q -m hook
rev=$(git -C "$work/hooks" rev-parse HEAD)
sed -n '/^```yaml .pre-commit-config.yaml$/,/^```$/p' "$checkout/doc/check.md" | sed '1d;$d' |
  sed "s|^\( *- repo:\).*|\1 $work/hooks|; s|^\( *rev:\).*|\1 $rev|" >.pre-commit-config.yaml
grep -q 'id: kessa-check' .pre-commit-config.yaml || fail "no configuration lines in doc/check.md"
grep -q 'id: kessa-fmt' .pre-commit-config.yaml || fail "no kessa-fmt in the lines of doc/check.md"
git add .pre-commit-config.yaml
if pre-commit run >"$work/out" 2>&1; then fail "the lines of doc/check.md passed a faulty file"; fi
grep -qF "$finding" "$work/out" || fail "the lines of doc/check.md did not show the finding"
git rm -q --cached faulty.kessa
pre-commit run >"$work/out" 2>&1 || fail "the lines of doc/check.md failed a clean file"
echo "pre-commit runs the kessa-check hook: passed, then failed with the finding shown;" \
  "kessa-fmt: failed where it formatted a file, then passed"
