#!/bin/sh
# The router's side of the page's browser test, run inside the sandbox in
# an IPC namespace of its own (syslogd's in-memory log is shared memory):
# busybox syslogd keeping the log in memory for logread, the module
# started by its start script, and busybox httpd serving the page from
# /opt/orvanta/www on 127.0.0.1:PAGE_PORT and another site, /var/elsewhere,
# on 127.0.0.1:OTHER_PORT. SIGTERM stops them all, the module first.
# Usage: serve.sh PAGE_PORT OTHER_PORT
page_port=$1
other_port=$2

busybox syslogd -n -C64 &
syslogd=$!
n=0
until /usr/bin/logread > /dev/null 2>&1; do
    n=$((n + 1))
    if [ "$n" -gt 300 ]; then
        echo "serve.sh: syslogd did not start" >&2
        exit 1
    fi
    sleep 0.1
done

/opt/orvanta/etc/init start || exit 1

busybox httpd -f -p "127.0.0.1:$page_port" -h /opt/orvanta/www &
page=$!
busybox httpd -f -p "127.0.0.1:$other_port" -h /var/elsewhere &
other=$!

stop() {
    kill "$page" "$other"
    /opt/orvanta/etc/init stop
    kill "$syslogd"
    wait
    exit 0
}
trap stop TERM INT
wait
