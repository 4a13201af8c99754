The module's log through a real syslog daemon, the target's: the relay's
messages arrive once each, with the identity tessard, facility daemon, the
priority of their level tag and their text byte for byte; the
supervisor's own, sent with libc's syslog(), with its pid.

First the relay alone: a line of each level, one without a tag (a tab,
UTF-8, a control byte), a line of a dump, and a line too long for one
message, which goes in two pieces.

  $ tagged() { printf '\033[1m\033[3%sm[2024-05-01T12:34:56] [%s] \033[0m\033[3%sm%s\033[0m\n' "$1" "$2" "$1" "$3"; }
  $ { tagged 1 ERR 'error: 50% \ "double" '\''single'\'' $HOME'
  >   tagged 3 WRN warning
  >   tagged 2 MSG notice
  >   tagged 6 DBG debug
  >   printf 'info\twith a tab, \303\244 and \a a bell\n'
  >   printf '\033[35m    a line of a dump\n\033[0m'
  >   printf '%0500d\n' 0 | tr 0 w
  >   echo last
  > } | /opt/orvanta/bin/orvanta-log
  $ wait_syslog 'tessard: last'
  $ syslog tessard | grep -v wwwww
  err.daemon tessard: error: 50% \ "double" 'single' $HOME
  warning.daemon tessard: warning
  notice.daemon tessard: notice
  debug.daemon tessard: debug
  info.daemon tessard: info	with a tab, ä and \x07 a bell
  info.daemon tessard:     a line of a dump
  info.daemon tessard: last
  $ syslog tessard | grep wwwww | awk '{ match($0, /ww*/); print substr($0, 1, RSTART - 1) "<" RLENGTH " w>" substr($0, RSTART + RLENGTH) }'
  info.daemon tessard: <442 w> [...]
  info.daemon tessard: [...] <58 w>

Then the module, started and stopped by its script.

  $ settings MOD_ORVANTA_ENABLED=1 MOD_ORVANTA_USERNAME=router-17 MOD_ORVANTA_PASSWORD=secret MOD_ORVANTA_INTERVAL=5
  $ init start
  orvanta: started (pid PID)
  $ wait_syslog 'tessard: status: 0'
  $ init stop
  orvanta: stopped
  $ module_gone
  $ syslog orvanta
  notice.daemon orvanta[PID]: started
  notice.daemon orvanta[PID]: Starting agent
  notice.daemon orvanta[PID]: sending SIGKILL to agent
  notice.daemon orvanta[PID]: terminated
  $ syslog tessard | tail -n +10
  notice.daemon tessard: Server http://developer.orvanta.com/s, user router-17, interval 300 s.
  err.daemon tessard: tessard-measured-values.so: cannot open shared object file: No such file or directory
  notice.daemon tessard: Handler system_resources, interval 60 s.
  warning.daemon tessard: No plugin of type measured_values.
  info.daemon tessard: identifier: com_orvanta_posix_agent_a19aa7163a456d6c
  info.daemon tessard: template: 10,1000,PUT,/inventory/managedObjects/%%,application/vnd.com.zel.orvanta.managedObject+json,application/vnd.com.zel.orvanta.managedObject+json,%%,UNSIGNED STRING,"{""ovx_SupportedMeasurements"":[%%]}"
  info.daemon tessard: template: 10,1001,PUT,/inventory/managedObjects/%%,application/vnd.com.zel.orvanta.managedObject+json,application/vnd.com.zel.orvanta.managedObject+json,%%,UNSIGNED,"{""ovx_SupportedMeasurements"":[]}"
  info.daemon tessard: template: 11,2000,,"$.ovx_IsDevice","$.id"
  info.daemon tessard: template: 10,1002,PUT,/inventory/managedObjects/%%,application/vnd.com.zel.orvanta.managedObject+json,application/vnd.com.zel.orvanta.managedObject+json,%%,UNSIGNED STRING STRING STRING,"{""ovx_Mobile"":{""imei"":""%%"",""cellId"":""%%"",""iccid"":""%%""}}"
  notice.daemon tessard: Agent running.
  info.daemon tessard: request: 1002,1,351234567890123,4711,89490200001234567890
  info.daemon tessard: status: 0
