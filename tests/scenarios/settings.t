Changes of the settings take turns: two saves at the same moment both
count, whichever renames last. Copies that saves cut short left behind
(with the password) are removed by the next save, and by start.

  $ settings MOD_ORVANTA_ENABLED=0 MOD_ORVANTA_USERNAME=u0 MOD_ORVANTA_INTERVAL=0
  $ lost=0 i=0
  $ while [ $i -lt 100 ]; do
  >     i=$((i + 1))
  >     /opt/orvanta/bin/orvanta-settings set MOD_ORVANTA_USERNAME u$i &
  >     /opt/orvanta/bin/orvanta-settings set MOD_ORVANTA_INTERVAL $i &
  >     wait
  >     grep -qx "MOD_ORVANTA_USERNAME=u$i" /opt/orvanta/etc/settings &&
  >         grep -qx "MOD_ORVANTA_INTERVAL=$i" /opt/orvanta/etc/settings || lost=$((lost + 1))
  > done
  $ echo "$lost of $i changes lost"
  0 of 100 changes lost
  $ cp /opt/orvanta/etc/settings /opt/orvanta/etc/settings.Xk3h9Q
  $ printf '%s\n' 'new secret' | /opt/orvanta/bin/orvanta-settings set MOD_ORVANTA_PASSWORD -
  $ ls /opt/orvanta/etc
  init
  settings
  settings.default
  $ cp /opt/orvanta/etc/settings /opt/orvanta/etc/settings.Xk3h9Q
  $ init start
  orvanta: disabled in /opt/orvanta/etc/settings (MOD_ORVANTA_ENABLED), not started
  $ ls /opt/orvanta/etc
  init
  settings
  settings.default
  $ cat /opt/orvanta/etc/settings
  MOD_ORVANTA_ENABLED=0
  MOD_ORVANTA_USERNAME=u100
  MOD_ORVANTA_INTERVAL=100
  MOD_ORVANTA_PASSWORD="new secret"
