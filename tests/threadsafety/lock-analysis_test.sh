#!/usr/bin/env bash
# Compiles Guarded.cpp (beside this script) with clang's lock analysis and warnings as errors, as
# the clang build of scripts/test does: the clean fixture must pass, and each copy of it with one
# violation appended must fail with its own message.
#   lock-analysis_test.sh <clang++> <repository root>
set -uo pipefail
clang=$1 top=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../kit/expect-refused.sh"
if ! command -v "$clang" >/dev/null 2>&1; then
  echo "FAILED: the compiler \"$clang\" is missing (scripts/deps installs clang)"; exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
flags=(-std=c++20 -fsyntax-only -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wthread-safety -Werror -I "$top")
status=0

if ! out=$("$clang" "${flags[@]}" "$here/Guarded.cpp" 2>&1); then
  echo "FAILED: the clean fixture was refused:"; echo "$out"; status=1
fi

# name | function appended to the fixture | expected message
plants=(
  "read without the lock|int Plant(Counter& c) { return c.count; }|reading variable 'count' requires holding mutex 'c.mutex'"
  "write without the lock|void Plant(Counter& c) { c.count = 1; }|writing variable 'count' requires holding mutex 'c.mutex' exclusively"
  "write after the guard's scope|void Plant(Counter& c) { { Vorn::AnnotatedLockGuard lock(c.mutex); } c.count = 2; }|writing variable 'count' requires holding mutex 'c.mutex' exclusively"
  "call needing the lock, made without it|void Plant(Counter& c) { c.AddLocked(); }|calling function 'AddLocked' requires holding mutex 'c.mutex' exclusively"
  "call taking the lock, made with it held|void Plant(Counter& c) { Vorn::AnnotatedLockGuard lock(c.mutex); c.Add(); }|cannot call function 'Add' while mutex 'c.mutex' is held"
  "wait predicate not marked as holding the lock|void Plant(Counter& c) { Vorn::AnnotatedUniqueLock lock(c.mutex); c.changed.wait(lock.ForWait(), [&] { return c.count > 0; }); }|reading variable 'count' requires holding mutex 'c.mutex'"
  "write while the unique holder has let go|void Plant(Counter& c) { Vorn::AnnotatedUniqueLock lock(c.mutex); lock.Unlock(); c.count = 3; lock.Lock(); }|writing variable 'count' requires holding mutex 'c.mutex' exclusively"
  "Vorn::Mutex member read without the lock|int Plant(Pending& p) { return p.items; }|reading variable 'items' requires holding mutex 'p.mutex'"
  "Vorn::Mutex left held on an early return|void Plant(Pending& p, bool early) { p.mutex->Lock(); if (early) return; p.mutex->Unlock(); }|mutex 'p.mutex' is not held on every path through here"
  "Vorn::Mutex released without being held|void Plant(Pending& p) { p.mutex->Unlock(); }|releasing mutex 'p.mutex' that was not held"
  "Common::Lock member written without the lock|void Plant(Percent& p) { p.value = 1; }|writing variable 'value' requires holding mutex 'p.lock' exclusively"
)
n=0
for plant in "${plants[@]}"; do
  IFS='|' read -r name line expected <<<"$plant"
  file=$work/Plant$((n++)).cpp
  { cat "$here/Guarded.cpp"; echo "namespace LockAnalysisPlants {"; echo "$line"; echo "}"; } >"$file"
  expect_refused "$name" "$line" "$expected" "$clang" "${flags[@]}" "$file"
done
exit $status
