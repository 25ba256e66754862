#!/usr/bin/env bash
# Prepares a Debian 12 machine for building, testing, fuzzing and
# demonstrating nimbus-scripts: the Debian packages, a Firebird 3 server on
# 127.0.0.1:3050, SYSDBA's test password and the demo database "nimbus_gestion".
# Every step checks first and does only what is missing, so running it again
# changes nothing. Run as root. Passwords are never printed.
set -euo pipefail

TEST_PASSWORD=${NIMBUS_TEST_PASSWORD:-ZEPHYRINE}

FB_HOST=127.0.0.1
FB_PORT=3050
FB_ETC=/etc/firebird/3.0
FB_DATA=/var/lib/firebird/3.0/data
FB_RUN=/run/firebird3.0
FB_LOG=/var/log/firebird/firebird3.0.log
PASSWORD_FILE=$FB_ETC/SYSDBA.password
SECURITY_DB=/var/lib/firebird/3.0/system/security3.fdb
ALIASES_FILE=$FB_ETC/databases.conf
DB_ALIAS=nimbus_gestion
DB_FILE=$FB_DATA/nimbus_gestion.fdb
# The site row's generator block: the tool finds its site by rounding
# IDGENERIQUE down to a multiple of 100000000.
CENTRE_ID=1000
CENTRE_GENERATOR=100000000000

PACKAGES=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  qt6-base-dev libssl-dev firebird-dev libfbclient2
  firebird3.0-server firebird3.0-utils firebird3.0-examples
  clang libclang-rt-14-dev
)

say() { printf 'setup: %s\n' "$*"; }
die() {
  printf 'setup: error: %s\n' "$*" >&2
  exit 1
}

install_packages() {
  local missing=() package
  for package in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$package")
  done
  if ((${#missing[@]} == 0)); then
    say "packages: all present"
    return
  fi
  say "packages: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q "${missing[@]}"
}

port_answers() { timeout 2 bash -c "exec 3<>/dev/tcp/$FB_HOST/$FB_PORT" 2>/dev/null; }

start_server() {
  if port_answers; then
    say "server: already answering on $FB_HOST:$FB_PORT"
    return
  fi
  say "server: starting fbguard"
  install -d -o firebird -g firebird -m 0770 "$FB_RUN"
  # The guard must not keep our output open: a caller reading it through a
  # pipe would otherwise wait for the server to end.
  if ! pgrep -u firebird -x fbguard >/dev/null; then
    su -s /bin/sh firebird -c '/usr/sbin/fbguard -daemon -forever' </dev/null >/dev/null 2>&1 ||
      die "fbguard would not start; see $FB_LOG"
  fi
  local tries
  for ((tries = 0; tries < 60; tries++)); do
    if port_answers; then
      say "server: answering on $FB_HOST:$FB_PORT"
      return
    fi
    sleep 0.5
  done
  die "the Firebird server did not answer on $FB_HOST:$FB_PORT within 30 s; see $FB_LOG"
}

# isql_as PASSWORD [ARGS...]: isql-fb as SYSDBA reading SQL from stdin and
# stopping at the first error. The password goes through the environment, so
# it appears neither in the process list nor in the SQL text.
isql_as() {
  local password=$1
  shift
  ISC_USER=SYSDBA ISC_PASSWORD=$password isql-fb -q -b "$@"
}

# A service-manager login needs no database, so it tests a password alone.
sysdba_login_works() {
  ISC_USER=SYSDBA ISC_PASSWORD=$1 fbsvcmgr "$FB_HOST:service_mgr" info_server_version >/dev/null 2>&1
}

sql_quote() { printf '%s' "${1//\'/\'\'}"; }

# The package writes SYSDBA's generated password there as shell assignments.
packaged_password() {
  [[ -r $PASSWORD_FILE ]] || return 0
  bash -c '. "$1" >/dev/null 2>&1; printf "%s" "${ISC_PASSWORD:-}"' _ "$PASSWORD_FILE"
}

# Keeps the package's record of SYSDBA's password in step, as its own comment
# asks, so that the next run (or the package's scripts) can log in with it.
record_password() {
  local line
  line=$(printf 'ISC_PASSWORD=%q' "$TEST_PASSWORD")
  if [[ ! -f $PASSWORD_FILE ]]; then
    printf 'ISC_USER=sysdba\n%s\n' "$line" >"$PASSWORD_FILE.tmp"
  elif grep -q '^ *ISC_PASSWORD=' "$PASSWORD_FILE"; then
    # Through the environment: awk -v would undo the backslashes of %q.
    LINE=$line awk '/^ *ISC_PASSWORD=/ { print ENVIRON["LINE"]; next } { print }' "$PASSWORD_FILE" >"$PASSWORD_FILE.tmp"
  else
    { cat "$PASSWORD_FILE"; printf '%s\n' "$line"; } >"$PASSWORD_FILE.tmp"
  fi
  chmod 0600 "$PASSWORD_FILE.tmp"
  mv -f "$PASSWORD_FILE.tmp" "$PASSWORD_FILE"
}

# When the package could not start the server during its installation it set
# no password, and SYSDBA cannot log in over the network at all. While the
# server is down the security database can be opened directly, as the package
# itself does.
seed_password() {
  [[ -z $(packaged_password) ]] || return 0
  port_answers && return 0
  say "SYSDBA: no password recorded; setting the test password"
  su -s /bin/sh firebird -c "isql-fb -q -b -user SYSDBA $SECURITY_DB" >/dev/null <<SQL ||
CREATE OR ALTER USER SYSDBA PASSWORD '$(sql_quote "$TEST_PASSWORD")';
COMMIT;
SQL
    die "could not set SYSDBA's password in $SECURITY_DB"
  record_password
}

set_password() {
  if sysdba_login_works "$TEST_PASSWORD"; then
    say "SYSDBA: test password already in use"
    return
  fi
  local current
  current=$(packaged_password)
  [[ -n $current ]] ||
    die "SYSDBA refuses the test password and $PASSWORD_FILE holds no password; run 'dpkg-reconfigure firebird3.0-server'"
  sysdba_login_works "$current" ||
    die "SYSDBA accepts neither the test password (NIMBUS_TEST_PASSWORD) nor the one in $PASSWORD_FILE"
  say "SYSDBA: setting the test password"
  # isql needs an attachment to run ALTER USER: a scratch database serves.
  local scratch=$FB_DATA/nimbus_setup_$$.fdb
  if ! isql_as "$current" <<SQL; then
CREATE DATABASE '$FB_HOST:$scratch';
ALTER USER SYSDBA PASSWORD '$(sql_quote "$TEST_PASSWORD")';
COMMIT;
DROP DATABASE;
SQL
    rm -f "$scratch"
    die "could not change SYSDBA's password"
  fi
  sysdba_login_works "$TEST_PASSWORD" || die "SYSDBA still refuses the test password"
  record_password
}

# db_query SQL: the single value the query returns, blanks removed.
db_query() {
  isql_as "$TEST_PASSWORD" "$FB_HOST:$DB_ALIAS" <<<"SET HEADING OFF; $1" | tr -d '[:space:]'
}

# The path that databases.conf gives the alias, empty when it has none.
alias_target() {
  sed -nE "s/^[[:space:]]*${DB_ALIAS}[[:space:]]*=[[:space:]]*([^[:space:]#]+).*/\1/Ip" "$ALIASES_FILE" | head -n 1
}

create_database() {
  if [[ -z $(alias_target) ]]; then
    say "database: adding the alias $DB_ALIAS to $ALIASES_FILE"
    printf '%s = %s\n' "$DB_ALIAS" "$DB_FILE" >>"$ALIASES_FILE"
  fi
  local file
  file=$(alias_target)
  if [[ ! -f $file ]]; then
    say "database: creating $file"
    isql_as "$TEST_PASSWORD" <<SQL || die "could not create the database $file"
SET SQL DIALECT 3;
CREATE DATABASE '$FB_HOST:$file' PAGE_SIZE 8192 DEFAULT CHARACTER SET ISO8859_1;
SQL
  fi
  # The server re-reads databases.conf when its modification time changes,
  # to the second: an alias added within the second of its last reading stays
  # unknown, and the alias would then name a file in the server's own folder.
  local tries
  for ((tries = 0; ; tries++)); do
    [[ $(db_query "SELECT MON\$DATABASE_NAME FROM MON\$DATABASE;" 2>/dev/null) == "$file" ]] && break
    ((tries < 10)) || die "the server does not resolve the alias $DB_ALIAS to $file; see $ALIASES_FILE"
    ((tries > 0)) || say "database: waiting for the server to read $ALIASES_FILE again"
    sleep 1
    touch "$ALIASES_FILE"
  done

  local counts
  counts=$(db_query "SELECT
      (SELECT COUNT(*) FROM RDB\$RELATIONS WHERE RDB\$RELATION_NAME = 'CENTRE') || ','
   || (SELECT COUNT(*) FROM RDB\$GENERATORS WHERE RDB\$GENERATOR_NAME = 'IDGENERIQUE') || ','
   || (SELECT COUNT(*) FROM RDB\$RELATIONS WHERE RDB\$RELATION_NAME = 'CONTEXT_LOG') || ','
   || (SELECT COUNT(*) FROM RDB\$PROCEDURES WHERE RDB\$PROCEDURE_NAME = 'CONTEXT_ACTIVATION')
    FROM RDB\$DATABASE;") || die "cannot read the schema of $DB_ALIAS"
  local has_centre has_generator has_log has_procedure
  IFS=, read -r has_centre has_generator has_log has_procedure <<<"$counts"

  local ddl=""
  [[ $has_centre == 1 ]] || ddl+="CREATE TABLE CENTRE (CTR_ID INTEGER, CTR_GENERATOR BIGINT);
"
  [[ $has_generator == 1 ]] || ddl+="CREATE SEQUENCE IDGENERIQUE;
ALTER SEQUENCE IDGENERIQUE RESTART WITH $CENTRE_GENERATOR;
"
  # Each activation leaves a row, so tests can see that it happened and with
  # which values.
  [[ $has_log == 1 ]] || ddl+="CREATE TABLE CONTEXT_LOG (CTL_MODE INTEGER, CTL_CENTRE INTEGER,
  CTL_TEXT VARCHAR(255), CTL_AT TIMESTAMP);
"
  [[ $has_procedure == 1 ]] || ddl+="SET TERM ^;
CREATE PROCEDURE CONTEXT_ACTIVATION (P_MODE INTEGER, P_CENTRE INTEGER, P_TEXT VARCHAR(255))
AS
BEGIN
  INSERT INTO CONTEXT_LOG (CTL_MODE, CTL_CENTRE, CTL_TEXT, CTL_AT)
    VALUES (:P_MODE, :P_CENTRE, :P_TEXT, CURRENT_TIMESTAMP);
END^
SET TERM ;^
"
  if [[ -n $ddl ]]; then
    say "database: creating the missing schema objects"
    isql_as "$TEST_PASSWORD" "$FB_HOST:$DB_ALIAS" <<<"$ddl COMMIT;" ||
      die "could not create the schema of $DB_ALIAS"
  fi

  if [[ $(db_query "SELECT COUNT(*) FROM CENTRE;") == 0 ]]; then
    say "database: adding the site $CENTRE_ID"
    isql_as "$TEST_PASSWORD" "$FB_HOST:$DB_ALIAS" <<<"INSERT INTO CENTRE (CTR_ID, CTR_GENERATOR)
      VALUES ($CENTRE_ID, $CENTRE_GENERATOR); COMMIT;" || die "could not add the site row"
  fi
  say "database: $DB_ALIAS ready"
}

[[ $EUID -eq 0 ]] || die "run as root, e.g. sudo $0"
install_packages
seed_password
start_server
set_password
create_database
