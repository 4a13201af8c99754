The router archive unpacked into an empty /opt/orvanta, as on a router:
the tree it lays out, the module set up as the documentation says,
started and stopped; the archive unpacked again over it keeps the
settings.

  $ rm -rf /opt/orvanta
  $ tar -xzf "$ORVANTA_ARCHIVE" -C /
  $ find /opt/orvanta | sort | while read -r f; do echo "$(stat -c %a "$f") $f"; done
  755 /opt/orvanta
  755 /opt/orvanta/bin
  755 /opt/orvanta/bin/module-supervisor
  755 /opt/orvanta/bin/orvanta-log
  755 /opt/orvanta/bin/orvanta-settings
  755 /opt/orvanta/etc
  755 /opt/orvanta/etc/init
  600 /opt/orvanta/etc/settings.default
  755 /opt/orvanta/lib
  644 /opt/orvanta/lib/tessard-system-resources.so
  755 /opt/orvanta/www
  755 /opt/orvanta/www/cgi-bin
  755 /opt/orvanta/www/cgi-bin/orvanta
  644 /opt/orvanta/www/index.html
  $ cat /opt/orvanta/etc/settings.default
  MOD_ORVANTA_ENABLED=0
  MOD_ORVANTA_USERNAME=
  MOD_ORVANTA_PASSWORD=
  MOD_ORVANTA_INTERVAL=60

The host agent comes with the router, not with the module.

  $ cp "$ORVANTA_AGENT" /opt/orvanta/bin/tessard
  $ init start
  orvanta: disabled in /opt/orvanta/etc/settings (MOD_ORVANTA_ENABLED), not started
  $ cmp /opt/orvanta/etc/settings /opt/orvanta/etc/settings.default
  $ /opt/orvanta/bin/orvanta-settings set MOD_ORVANTA_USERNAME router
  $ printf '%s\n' 'new secret' | /opt/orvanta/bin/orvanta-settings set MOD_ORVANTA_PASSWORD -
  $ /opt/orvanta/bin/orvanta-settings set MOD_ORVANTA_ENABLED 1
  $ /opt/orvanta/bin/orvanta-settings show
  MOD_ORVANTA_ENABLED=1
  MOD_ORVANTA_USERNAME=router
  MOD_ORVANTA_PASSWORD=********
  MOD_ORVANTA_INTERVAL=60
  $ init start
  orvanta: started (pid PID)
  $ wait_syslog 'tessard: status: 0'
  $ show /var/orvanta/imei; show /var/orvanta/cell
  351234567890123
  4711\r
  $ init stop
  orvanta: stopped
  $ module_gone
  $ syslog orvanta
  notice.daemon orvanta[PID]: started
  notice.daemon orvanta[PID]: Starting agent
  notice.daemon orvanta[PID]: sending SIGKILL to agent
  notice.daemon orvanta[PID]: terminated

An upgrade: the archive unpacked over the configured module.

  $ tar -xzf "$ORVANTA_ARCHIVE" -C /
  $ cat /opt/orvanta/etc/settings
  MOD_ORVANTA_ENABLED=1
  MOD_ORVANTA_USERNAME=router
  MOD_ORVANTA_PASSWORD="new secret"
  MOD_ORVANTA_INTERVAL=60
  $ stat -c %a /opt/orvanta/etc/settings
  600
