#!/usr/bin/env bash
# Serves the full update site (tests/fixtures/site, as built) with nginx, a
# real static server, over http and https on free ports of 127.0.0.1, through
# the vendor's server configuration (tools/serve/nginx-update-site.conf, both
# its server blocks).
#   nginx_site.sh start SITE FOLDER CERTS
#       lays the site out in FOLDER/www with its https URL written in (as a
#       vendor moving clients to https does: the page, asked for over either
#       scheme, names https folders), starts nginx there with the test
#       certificate for localhost from CERTS (tests/server/make_test_certs.sh)
#       and writes FOLDER/state (port=, tls_port=, pid=)
#   nginx_site.sh stop FOLDER         stops it
# Requests are logged to FOLDER/access.log as "SCHEME METHOD URI STATUS".
set -euo pipefail
command=$1
case "$command" in
  start)
    site=$2 folder=$3 certs=$4
    "$0" stop "$folder"
    rm -rf "$folder/www"
    mkdir -p "$folder/www" "$folder/temp"
    free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
    port=$(free_port)
    tls_port=$(free_port)
    while [ "$tls_port" = "$port" ]; do tls_port=$(free_port); done
    url="https://localhost:$tls_port/"
    site_url=http://updates.zindo.example/
    # cp -p keeps the site's dates, which nginx sends as Last-Modified.
    cp -rp "$site/." "$folder/www/"
    # Every edition has a manifest of its own.
    for page in corvcli.html $(cd "$site" && find m -name components.html); do
      sed "s|$site_url|$url|g" "$site/$page" >"$folder/www/$page"
      touch -r "$site/$page" "$folder/www/$page"
    done
    : >"$folder/access.log"
    cat >"$folder/nginx.conf" <<CONF
daemon on;
pid $folder/nginx.pid;
error_log $folder/error.log;
events { worker_connections 64; }
http {
  log_format requests '\$scheme \$request_method \$request_uri \$status';
  access_log $folder/access.log requests;
  client_body_temp_path $folder/temp;
  proxy_temp_path $folder/temp;
  fastcgi_temp_path $folder/temp;
  uwsgi_temp_path $folder/temp;
  scgi_temp_path $folder/temp;
  include $folder/site.conf;
}
CONF
    root=$(cd "$(dirname "$0")/../.." && pwd)
    sed -e "s|^\( *listen \)[^;]* ssl;.*|\1127.0.0.1:$tls_port ssl;|" \
        -e "s|^\( *listen \)[0-9]*;.*|\1127.0.0.1:$port;|" \
        -e "s|^\( *root \)[^;]*;.*|\1$folder/www;|" \
        -e "s|^\( *ssl_certificate \)[^;]*;.*|\1$certs/localhost.pem;|" \
        -e "s|^\( *ssl_certificate_key \)[^;]*;.*|\1$certs/localhost.key;|" \
        "$root/tools/serve/nginx-update-site.conf" >"$folder/site.conf"
    # Every EDIT line was written over.
    if grep -n '^ .*# EDIT' "$folder/site.conf" | grep -Ev "127\.0\.0\.1|$folder|$certs|server_name"; then
      echo "nginx_site: the lines above of the server configuration were not written over" >&2
      exit 1
    fi
    # Run as root, nginx's workers would read the site as nobody.
    user=()
    [ "$(id -u)" = 0 ] && user=(-g 'user root;')
    nginx -p "$folder" -c "$folder/nginx.conf" "${user[@]}" 2>>"$folder/error.log"
    for _ in $(seq 50); do [ -s "$folder/nginx.pid" ] && break; sleep 0.1; done
    printf 'port=%s\ntls_port=%s\npid=%s\n' "$port" "$tls_port" "$(cat "$folder/nginx.pid")" >"$folder/state"
    ;;
  stop)
    folder=$2
    if [ -s "$folder/nginx.pid" ]; then
      pid=$(cat "$folder/nginx.pid")
      kill "$pid" 2>/dev/null || true
      for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    fi
    rm -f "$folder/state" "$folder/nginx.pid"
    ;;
esac
