#!/usr/bin/env bash
# Runs scripts/check-layers (the argument) on a small tree that keeps every rule, then on copies
# of it with one violation planted each: every plant must fail the check with its own message.
set -uo pipefail
check=$1
. "$(dirname "$0")/../kit/expect-refused.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
clean=$work/clean
status=0

put() {  # put <tree> <file> <line>...
  local tree=$1 file=$2; shift 2
  mkdir -p "$(dirname "$tree/$file")"
  printf '%s\n' "$@" >"$tree/$file"
}

put "$clean" platform/CMakeLists.txt 'quor_add_layer(quor_platform DEPS Threads::Threads)'
put "$clean" platform/Clock.h '#pragma once' '#include <cstdint>'
put "$clean" foundation/CMakeLists.txt 'quor_add_layer(vorn_foundation DEPS quor_platform' '               ZLIB::ZLIB)'
put "$clean" foundation/Event.h '#pragma once' '#include "platform/Clock.h"'
put "$clean" common/CMakeLists.txt 'quor_add_layer(quor_common DEPS vorn_foundation SLOW "A.*")'
put "$clean" common/Log.h '#pragma once' '#include "foundation/Event.h"' '#include <string>'
put "$clean" common/Log_test.cpp '#include "common/Log.h"' '#include "tests/kit/TempDir.h"'
put "$clean" archive/CMakeLists.txt 'quor_add_layer(quor_archive DEPS quor_common)'
put "$clean" archive/Manager.h '#pragma once' '#include "common/Log.h"'
put "$clean" remote/CMakeLists.txt 'quor_add_layer(quor_remote DEPS quor_common CURL::libcurl)'
put "$clean" remote/Http.cpp '#include "common/Log.h"' '#include "foundation/Event.h"'
put "$clean" tests/kit/CMakeLists.txt 'add_library(quor_testkit STATIC TempDir.cpp)' \
  'target_link_libraries(quor_testkit PUBLIC vorn_foundation GTest::gtest)'
put "$clean" tests/kit/TempDir.h '#pragma once' '#include "foundation/Event.h"'
put "$clean" tests/kit/content/CMakeLists.txt 'add_library(quor_testkit_content STATIC Fake.cpp)' \
  'target_link_libraries(quor_testkit_content PUBLIC quor_testkit quor_remote)'
put "$clean" tests/kit/content/Fake.h '#include "remote/Http.h"' '#include "common/Log.h"' '#include "tests/kit/TempDir.h"'
put "$clean" archive/Manager_test.cpp '#include "tests/kit/content/Fake.h"' '#include "tools/diff/Diff.h"'
put "$clean" tests/remote/Http_test.cpp '#include "remote/Http.h"' '#include "tests/kit/TempDir.h"'
put "$clean" tools/archive/Tool.cpp '#include "archive/Manager.h"' '#include "tools/archive/Tool.h"'
put "$clean" tools/archive/Tool_test.cpp '#include "tools/archive/Tool.h"' '#include "tests/kit/TempDir.h"'
put "$clean" tools/diff/Diff.h '#pragma once'
put "$clean" bench/support/Support.h '#include "tests/kit/TempDir.h"' '#include "remote/Http.h"'
put "$clean" bench/patch/Bench.cpp '#include "bench/support/Support.h"' '#include "tools/archive/Tool.h"'
put "$clean" bench/patch/CMakeLists.txt 'target_link_libraries(quor_bench_patch PRIVATE quor_archive_tool)'
put "$clean" tools/archive/CMakeLists.txt 'add_library(quor_archive_tool STATIC Tool.cpp)' \
  'target_link_libraries(quor_archive_tool PUBLIC quor_archive)'

if ! out=$("$check" "$clean" 2>&1); then
  echo "FAILED: the clean tree was refused:"; echo "$out"; status=1
fi

# name | file | line to add | CMake file to replace (or -) | its new text | expected message
plants=(
  "quoted include upward|common/Up.cpp|#include \"archive/Manager.h\"|-||'common' must not include 'archive'"
  "angle include upward|foundation/Up.cpp|#include <common/Log.h>|-||included with angle brackets"
  "angle include upward, layer rule|foundation/Up.cpp|#include <common/Log.h>|-||'foundation' must not include 'common'"
  "angle include of its own layer|common/Same.cpp|#include <common/Log.h>|-||included with angle brackets"
  "unused CMake dependency|remote/Http.h|#pragma once|remote/CMakeLists.txt|quor_add_layer(quor_remote DEPS quor_archive CURL::libcurl)|'remote' links 'archive' but includes nothing of it"
  "include of a layer it does not link|archive/Reader.cpp|#include \"foundation/Event.h\"|archive/CMakeLists.txt|quor_add_layer(quor_archive DEPS quor_platform)|'archive' includes 'common' but does not link it"
  "layer code using the test kit|common/Helper.cpp|#include \"tests/kit/TempDir.h\"|-||'common' must not include 'tests/kit'"
  "test kit using a layer it does not link|tests/kit/Bad.h|#include \"common/Log.h\"|-||'tests/kit' must not include 'common'"
  "kit below the test kit using what it does not link|tests/kit/content/Bad.h|#include \"tools/diff/Diff.h\"|-||'tests/kit/content' must not include 'tools/diff'"
  "one tool including another|tools/archive/Uses.cpp|#include \"tools/diff/Diff.h\"|-||'tools/archive' must not include 'tools/diff'"
  "benchmark including a tool|bench/patch/Tool.cpp|#include \"tools/diff/Diff.h\"|-||'bench/patch' must not include 'tools/diff'"
  "end-to-end test including a tool|tests/remote/Tool_test.cpp|#include \"tools/diff/Diff.h\"|-||'tests/remote' must not include 'tools/diff'"
)
n=0
for plant in "${plants[@]}"; do
  IFS='|' read -r name file line cmakeFile cmakeText expected <<<"$plant"
  tree=$work/plant$((n++))
  cp -r "$clean" "$tree"
  printf '%s\n' "$line" >>"$tree/$file"
  [ "$cmakeFile" = - ] || printf '%s\n' "$cmakeText" >"$tree/$cmakeFile"
  expect_refused "$name" "$file: $line" "$expected" "$check" "$tree"
done
exit $status
