#!/usr/bin/env bash
# A throwaway PostgreSQL cluster on a loopback port for the tests.
#   pg-cluster.sh start DIR PORT   prints the variables to export (LONVERA_TEST_PG_*)
#   pg-cluster.sh stop DIR
#   pg-cluster.sh resume DIR PORT  starts a stopped cluster again (its data kept)
set -euo pipefail
cmd=$1 dir=$2
bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
as_pg() { if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi; }
case "$cmd" in
start)
  port=${3:-55432}
  rm -rf "$dir"; mkdir -p "$dir"
  [ "$(id -u)" -eq 0 ] && chown postgres "$dir"
  as_pg "$bin/initdb" -D "$dir/data" -U postgres -A trust -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log"
  as_pg "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w \
    -o "-p $port -k $dir -c listen_addresses=127.0.0.1 -c fsync=off" start >/dev/null
  as_pg "$bin/createdb" -h 127.0.0.1 -p "$port" -U postgres lonvera_test
  echo "export LONVERA_TEST_PG_HOST=127.0.0.1 LONVERA_TEST_PG_PORT=$port LONVERA_TEST_PG_USER=postgres LONVERA_TEST_PG_DB=lonvera_test"
  ;;
resume)
  port=${3:-55432}
  as_pg "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w \
    -o "-p $port -k $dir -c listen_addresses=127.0.0.1 -c fsync=off" start >/dev/null
  ;;
stop)
  [ -d "$dir/data" ] && as_pg "$bin/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null || true
  ;;
esac
