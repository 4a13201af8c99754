A supervisor that is slow to come up (a loaded router): start waits
until it holds its lock, so it is never left running untracked.

  $ settings MOD_ORVANTA_ENABLED=1
  $ mv /opt/orvanta/bin/module-supervisor /opt/orvanta/bin/module-supervisor.real
  $ printf '%s\n' '#!/bin/sh' 'sleep 3' 'exec /opt/orvanta/bin/module-supervisor.real' \
  >   > /opt/orvanta/bin/module-supervisor
  $ chmod 0755 /opt/orvanta/bin/module-supervisor
  $ init start
  orvanta: started (pid PID)
  $ init status | head -n 1
  orvanta: running (pid PID)
  $ init stop
  orvanta: stopped
  $ module_gone
  $ syslog orvanta
  notice.daemon orvanta[PID]: started
  notice.daemon orvanta[PID]: Starting agent
  notice.daemon orvanta[PID]: sending SIGKILL to agent
  notice.daemon orvanta[PID]: terminated
