#!/usr/bin/env bash
# Whole-program timings of nimbus-scripts against isql-fb on the local test
# server: each case on a fresh database, best of 3 (the two programs taking
# turns), one line per case with both times and the ratio, gross and net of
# each program's fixed costs.
#
#   bench/apply_vs_isql.sh [BUILD_FOLDER [CASE...]]
#
# BUILD_FOLDER defaults to build-release. CASEs (default: all, in this order):
# inserts (silent and normal mode), batched ({$EXECUTE_BLOCK ON}), ddl,
# first (start to first statement), rss (peak resident size). The fixed costs
# are always measured. NIMBUS_BENCH_ROUNDS sets the rounds (default 3).
#
# Fixed costs are what a run costs whatever its script holds, measured as the
# best time of a one-statement script the same way: for nimbus-scripts the
# 500 ms start-up timer, the password probe on the service manager, the
# attachment, the pauses of the run loop and of the execution step (50 ms
# before and after loading, 500 ms after an applied script), and the closing
# box (it waits 6 s on a terminal in normal mode; without a terminal a box
# goes on at once); for isql-fb its start and attachment.
#
# The {$EXECUTE_BLOCK ON} case runs when the program batches: a probe run
# asks the server which statement text inserted its rows. Otherwise it is
# reported "not available yet".
#
# Needs: the server of scripts/setup.sh, isql-fb, script(1) for the
# pseudo-terminal, GNU time for the peak resident size. The SYSDBA password
# comes from NIMBUS_TEST_PASSWORD and is passed to isql-fb in its
# environment only.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${1:-$ROOT/build-release}
shift || true
CASES=("$@")
((${#CASES[@]} > 0)) || CASES=(inserts batched ddl first rss)
wanted() {
  local c
  for c in "${CASES[@]}"; do [[ $c = "$1" ]] && return 0; done
  return 1
}
[[ $BUILD = /* ]] || BUILD=$ROOT/$BUILD
PROGRAM=$BUILD/app/nimbus-scripts
DATA=/var/lib/firebird/3.0/data
ROUNDS=${NIMBUS_BENCH_ROUNDS:-3}

die() {
  printf 'apply_vs_isql: %s\n' "$*" >&2
  exit 1
}
[[ -x $PROGRAM ]] || die "no program at $PROGRAM: build it first (README, Benchmarks)"
command -v isql-fb >/dev/null || die "isql-fb is missing: run scripts/setup.sh"
command -v script >/dev/null || die "script(1) is missing (util-linux)"
[[ -x /usr/bin/time ]] || die "GNU time is missing (package time)"

export ISC_USER=SYSDBA
export ISC_PASSWORD=${NIMBUS_TEST_PASSWORD:-ZEPHYRINE}
export LC_ALL=C

WORK=$(mktemp -d /tmp/nimbus-bench-XXXXXX)
DATABASES=()
cleanup() {
  local db
  for db in "${DATABASES[@]}"; do
    isql-fb -q "127.0.0.1:$db" <<<"DROP DATABASE;" >/dev/null 2>&1 || true
  done
  rm -rf "$WORK"
}
trap cleanup EXIT

# The program runs from a folder of its own: its log goes beside it.
mkdir -p "$WORK/bin" "$WORK/pf" "$WORK/state" "$WORK/run"
cp "$PROGRAM" "$WORK/bin/nimbus-scripts"

SERIAL=0
# Creates a fresh database; its path in DB.
fresh_database() {
  SERIAL=$((SERIAL + 1))
  DB=$DATA/nimbus_bench_$$_$SERIAL.fdb
  DATABASES+=("$DB")
  isql-fb -q <<<"CREATE DATABASE '127.0.0.1:$DB' DEFAULT CHARACTER SET ISO8859_1;" >/dev/null
}
drop_database() {
  isql-fb -q "127.0.0.1:$1" <<<"DROP DATABASE;" >/dev/null 2>&1 || true
}

now_ns() { date +%s%N; }

# nimbus-scripts MODE SCRIPT DB: one whole run; MODE is silent (console, no
# terminal) or pty (normal mode, console on a pseudo-terminal). The script is
# copied first: an applied script is deleted. Sets ELAPSED (ns).
run_nimbus() {
  local mode=$1 script=$2 db=$3 silent=1
  [[ $mode = pty ]] && silent=0
  cp "$script" "$WORK/run/script.sql"
  printf '[configuration]\r\nbase=%s\r\nparam2=%s\r\n[scripts]\r\n1=%s\r\n' \
    "$db" "$silent" "$WORK/run/script.sql" >"$WORK/run/run.ini"
  local command="env -u DISPLAY -u WAYLAND_DISPLAY PROGRAMFILES=$WORK/pf XDG_STATE_HOME=$WORK/state $WORK/bin/nimbus-scripts --console $WORK/run/run.ini"
  local start end
  start=$(now_ns)
  if [[ $mode = pty ]]; then
    script -qec "$command" /dev/null </dev/null >"$WORK/run/out" 2>&1 || true
  else
    $command </dev/null >"$WORK/run/out" 2>&1 || true
  fi
  end=$(now_ns)
  ELAPSED=$((end - start))
  grep -q ' 1 applied, 0 failed' "$WORK/run/out" ||
    die "nimbus-scripts did not apply $script: $(tail -3 "$WORK/run/out")"
}

run_isql() {
  local script=$1 db=$2 start end
  start=$(now_ns)
  isql-fb -q -ch ISO8859_1 -i "$script" "127.0.0.1:$db" </dev/null >"$WORK/run/isql.out" 2>&1
  end=$(now_ns)
  ELAPSED=$((end - start))
  ! grep -q 'Statement failed' "$WORK/run/isql.out" ||
    die "isql-fb failed on $script: $(head -3 "$WORK/run/isql.out")"
}

# one_round TOOL MODE SCRIPT [SETUP]: one run on a fresh database (SETUP,
# an isql script, prepares it first). Sets ELAPSED (ns).
one_round() {
  local tool=$1 mode=$2 script=$3 setup=${4:-}
  fresh_database
  [[ -z $setup ]] || isql-fb -q -i "$setup" "127.0.0.1:$DB" >/dev/null
  if [[ $tool = nimbus ]]; then run_nimbus "$mode" "$script" "$DB"; else run_isql "$script" "$DB"; fi
  drop_database "$DB"
}

# best TOOL MODE SCRIPT [SETUP]: best of ROUNDS. Sets BEST (ns).
best() {
  local i
  BEST=
  for ((i = 0; i < ROUNDS; i++)); do
    one_round "$@"
    [[ -n $BEST && $BEST -le $ELAPSED ]] || BEST=$ELAPSED
  done
}

# best_of_both MODE SCRIPT [SETUP]: best of ROUNDS for each tool, the rounds
# alternating, so a server that slows down or speeds up during the case (its
# commits' disk writes vary by tens of percent) weighs on both sides alike.
# Sets BEST (nimbus-scripts) and BEST_ISQL (ns).
best_of_both() {
  local mode=$1 i
  shift
  BEST= BEST_ISQL=
  for ((i = 0; i < ROUNDS; i++)); do
    one_round isql - "$@"
    [[ -n $BEST_ISQL && $BEST_ISQL -le $ELAPSED ]] || BEST_ISQL=$ELAPSED
    one_round nimbus "$mode" "$@"
    [[ -n $BEST && $BEST -le $ELAPSED ]] || BEST=$ELAPSED
  done
}

seconds() { printf '%d.%03d' $(($1 / 1000000000)) $(($1 % 1000000000 / 1000000)); }
ratio() { [[ $2 -gt 0 ]] && echo "scale=2; $1 / $2" | bc | sed 's/^\./0./' || echo "n/a"; }

# line NAME NIMBUS_NS ISQL_NS NIMBUS_FIXED ISQL_FIXED TARGET
line() {
  local net_n=$(($2 - $4)) net_i=$(($3 - $5))
  ((net_n > 0)) || net_n=0
  printf '%-34s nimbus %8s s  isql %8s s  ratio %5s  net %5s  (target %s)\n' "$1" \
    "$(seconds "$2")" "$(seconds "$3")" "$(ratio "$2" "$3")" "$(ratio "$net_n" "$net_i")" "$6"
}

# --- scripts -------------------------------------------------------------
SCHEMA=$WORK/schema.sql
cat >"$SCHEMA" <<'EOF'
CREATE TABLE ADHESION (ADH_ID INTEGER NOT NULL PRIMARY KEY, ADH_NOM VARCHAR(40), ADH_PRENOM VARCHAR(40), ADH_ANNEE SMALLINT, ADH_MONTANT NUMERIC(9,2), ADH_NOTE VARCHAR(1200));
COMMIT;
EOF

ONE=$WORK/one.sql
printf 'INSERT INTO ADHESION (ADH_ID) VALUES (1);\r\nCOMMIT;\r\n' >"$ONE"

# 10,000 single-row INSERTs, about 1.2 MB, CR LF.
INSERTS=$WORK/inserts.sql
awk 'BEGIN {
  for (i = 1; i <= 10000; i++)
    printf "INSERT INTO ADHESION (ADH_ID, ADH_NOM, ADH_PRENOM, ADH_ANNEE, ADH_MONTANT, ADH_NOTE) VALUES (%d, '\''Lefevre-%05d'\'', '\''Francois'\'', %d, %d.%02d, '\''reglement en deux fois ; remise famille'\'');\r\n", i, i, 2000 + i % 27, 50 + i % 350, i % 100
  printf "COMMIT;\r\n"
}' >"$INSERTS"

BATCHED=$WORK/inserts_batched.sql
{
  # shellcheck disable=SC2016 # the directive, not a variable
  printf '{$EXECUTE_BLOCK ON}\r\n'
  cat "$INSERTS"
} >"$BATCHED"

# 200 tables, each with a procedure and a trigger.
DDL=$WORK/ddl.sql
awk 'BEGIN {
  for (i = 1; i <= 200; i++) {
    printf "CREATE TABLE T%03d (ID INTEGER NOT NULL PRIMARY KEY, NOM VARCHAR(40), MONTANT NUMERIC(9,2) DEFAULT 0, MAJ INTEGER);\r\n", i
    printf "CREATE INDEX IX_T%03d_NOM ON T%03d (NOM);\r\n", i, i
  }
  printf "SET TERM ^ ;\r\n"
  for (i = 1; i <= 200; i++) {
    printf "CREATE PROCEDURE P%03d (X INTEGER) RETURNS (Y INTEGER) AS\r\nBEGIN\r\n  SELECT COUNT(*) FROM T%03d WHERE ID > :X INTO :Y;\r\n  SUSPEND;\r\nEND^\r\n", i, i
    printf "CREATE TRIGGER T%03d_BU FOR T%03d BEFORE UPDATE AS\r\nBEGIN\r\n  NEW.MAJ = COALESCE(OLD.MAJ, 0) + 1;\r\nEND^\r\n", i, i
  }
  printf "SET TERM ; ^\r\nCOMMIT;\r\n"
}' >"$DDL"

# About 10 MB: 8,500 INSERTs of 1,200-byte rows.
BIG=$WORK/big.sql
awk 'BEGIN {
  note = ""
  for (k = 0; k < 1150; k++) note = note sprintf("%c", 97 + k % 26)
  for (i = 1; i <= 8500; i++)
    printf "INSERT INTO ADHESION (ADH_ID, ADH_NOTE) VALUES (%d, '\''%s'\'');\r\n", i, note
  printf "COMMIT;\r\n"
}' >"$BIG"

# --- the batching probe --------------------------------------------------
PROBE_SETUP=$WORK/probe_setup.sql
cat >"$PROBE_SETUP" <<'EOF'
CREATE TABLE PROBE (X INTEGER, HOW VARCHAR(13));
SET TERM ^ ;
CREATE TRIGGER PROBE_BI FOR PROBE BEFORE INSERT AS
BEGIN
  SELECT FIRST 1 CAST(SUBSTRING(MON$SQL_TEXT FROM 1 FOR 13) AS VARCHAR(13)) FROM MON$STATEMENTS
  WHERE MON$ATTACHMENT_ID = CURRENT_CONNECTION AND MON$STATE = 1 INTO NEW.HOW;
END^
SET TERM ; ^
COMMIT;
EOF
batching_available() {
  local probe=$WORK/probe.sql how
  # shellcheck disable=SC2016 # the directive, not a variable
  printf '{$EXECUTE_BLOCK ON}\r\nINSERT INTO PROBE (X) VALUES (1);\r\nINSERT INTO PROBE (X) VALUES (2);\r\nCOMMIT;\r\n' >"$probe"
  fresh_database
  isql-fb -q -i "$PROBE_SETUP" "127.0.0.1:$DB" >/dev/null
  run_nimbus silent "$probe" "$DB"
  how=$(isql-fb -q "127.0.0.1:$DB" <<<"SET HEADING OFF; SELECT MIN(UPPER(HOW)) FROM PROBE;")
  drop_database "$DB"
  [[ $how = *"EXECUTE BLOCK"* ]]
}

# --- start to first statement -------------------------------------------
FIRST_SETUP=$WORK/first_setup.sql
printf 'CREATE TABLE STARTED (AT_NOW TIMESTAMP);\nCOMMIT;\n' >"$FIRST_SETUP"
FIRST=$WORK/first.sql
printf "INSERT INTO STARTED VALUES (CAST('NOW' AS TIMESTAMP));\r\nCOMMIT;\r\n" >"$FIRST"
# first_statement TOOL: best of ROUNDS of (server time of the first
# statement - the moment the program was started). Sets BEST (ns).
first_statement() {
  local tool=$1 i start at at_ns
  BEST=
  for ((i = 0; i < ROUNDS; i++)); do
    fresh_database
    isql-fb -q -i "$FIRST_SETUP" "127.0.0.1:$DB" >/dev/null
    if [[ $tool = nimbus ]]; then run_nimbus silent "$FIRST" "$DB"; else run_isql "$FIRST" "$DB"; fi
    start=$(($(now_ns) - ELAPSED))
    at=$(isql-fb -q "127.0.0.1:$DB" <<<"SET HEADING OFF; SELECT AT_NOW FROM STARTED;" | tr -s ' \n' ' ' | sed 's/^ *//; s/ *$//')
    at_ns=$(date -d "$at" +%s%N)
    drop_database "$DB"
    ELAPSED=$((at_ns - start))
    [[ -n $BEST && $BEST -le $ELAPSED ]] || BEST=$ELAPSED
  done
}

# --- peak resident size --------------------------------------------------
# peak_rss SCRIPT: the program's peak resident size in KiB for one silent run.
peak_rss() {
  fresh_database
  isql-fb -q -i "$SCHEMA" "127.0.0.1:$DB" >/dev/null
  cp "$1" "$WORK/run/script.sql"
  printf '[configuration]\r\nbase=%s\r\nparam2=1\r\n[scripts]\r\n1=%s\r\n' "$DB" "$WORK/run/script.sql" >"$WORK/run/run.ini"
  env -u DISPLAY -u WAYLAND_DISPLAY PROGRAMFILES="$WORK/pf" XDG_STATE_HOME="$WORK/state" \
    /usr/bin/time -f '%M' -o "$WORK/run/rss" "$WORK/bin/nimbus-scripts" --console "$WORK/run/run.ini" \
    </dev/null >/dev/null 2>&1 || true
  drop_database "$DB"
  tail -1 "$WORK/run/rss"
}

# --- the cases -----------------------------------------------------------
printf 'nimbus-scripts %s vs %s, best of %d, %s\n' "$("$PROGRAM" --version | awk '{print $2}')" \
  "$(isql-fb -z </dev/null 2>&1 | head -1 | sed 's/^ISQL Version: //')" "$ROUNDS" "$(date -u '+%Y-%m-%d %H:%M UTC')"

best_of_both silent "$ONE" "$SCHEMA"
FIXED_SILENT=$BEST
FIXED_ISQL=$BEST_ISQL
best nimbus pty "$ONE" "$SCHEMA"
FIXED_PTY=$BEST
printf '%-34s nimbus %8s s (silent), %s s (normal, pty)  isql %8s s\n' "fixed cost (one-statement script)" \
  "$(seconds "$FIXED_SILENT")" "$(seconds "$FIXED_PTY")" "$(seconds "$FIXED_ISQL")"

if wanted inserts; then
  best_of_both silent "$INSERTS" "$SCHEMA"
  ISQL_INSERTS=$BEST_ISQL
  line "10,000 INSERTs, silent" "$BEST" "$ISQL_INSERTS" "$FIXED_SILENT" "$FIXED_ISQL" "<= 0.6"
  best nimbus pty "$INSERTS" "$SCHEMA"
  line "10,000 INSERTs, normal (pty)" "$BEST" "$ISQL_INSERTS" "$FIXED_PTY" "$FIXED_ISQL" "<= 1.2"
fi

if wanted batched; then
  if [[ -z ${ISQL_INSERTS:-} ]]; then
    best isql - "$INSERTS" "$SCHEMA"
    ISQL_INSERTS=$BEST
  fi
  if batching_available; then
    best nimbus silent "$BATCHED" "$SCHEMA"
    line "10,000 INSERTs, EXECUTE_BLOCK ON" "$BEST" "$ISQL_INSERTS" "$FIXED_SILENT" "$FIXED_ISQL" "<= 0.125"
  else
    printf '%-34s not available yet (the program does not batch)\n' "10,000 INSERTs, EXECUTE_BLOCK ON"
  fi
fi

if wanted ddl; then
  best_of_both silent "$DDL"
  line "DDL: 200 tables, procs, triggers" "$BEST" "$BEST_ISQL" "$FIXED_SILENT" "$FIXED_ISQL" "<= 0.9"
fi

if wanted first; then
  first_statement isql
  ISQL_FIRST=$BEST
  first_statement nimbus
  printf '%-34s nimbus %8s s  isql %8s s\n' "start to first statement" "$(seconds "$BEST")" "$(seconds "$ISQL_FIRST")"
fi

if wanted rss; then
  IDLE=$(peak_rss "$ONE")
  PEAK=$(peak_rss "$BIG")
  SIZE=$(($(stat -c %s "$BIG") / 1024))
  printf '%-34s idle %d KiB, 10 MB script %d KiB: %d KiB above idle = %s x the script (%d KiB)  (target <= 3)\n' \
    "peak resident size" "$IDLE" "$PEAK" $((PEAK - IDLE)) "$(ratio $((PEAK - IDLE)) "$SIZE")" "$SIZE"
fi
