restart from outside, then from within the module: the agent, carrying
out a platform command (here: once /var/orvanta/command appears), runs
the start script's restart as its child. The script signals the
supervisor alone, so it outlives the agent's end and brings the module
back with a new supervisor and a new agent; its output reaches syslog
through the agent's log.

  $ settings MOD_ORVANTA_ENABLED=1
  $ init start
  orvanta: started (pid PID)
  $ init restart
  orvanta: stopped
  orvanta: started (pid PID)
  $ init stop
  orvanta: stopped
  $ module_gone
  $ printf '%s\n' '#!/bin/sh' 'echo $$ > /var/orvanta/tessard.pid' \
  >   '[ -e /var/orvanta/restarted ] || { until [ -e /var/orvanta/command ]; do sleep 0.1; done' \
  >   ': > /var/orvanta/restarted; '"$ORVANTA_SH"' /opt/orvanta/etc/init restart; }' \
  >   'exec sleep 600' > /opt/orvanta/bin/tessard
  $ init start
  orvanta: started (pid PID)
  $ : > /var/orvanta/command
  $ wait_syslog 'tessard: orvanta: started'
  $ wait_until grep -q state=running /var/orvanta/status
  $ syslog orvanta | tail -n 6
  notice.daemon orvanta[PID]: started
  notice.daemon orvanta[PID]: Starting agent
  notice.daemon orvanta[PID]: sending SIGKILL to agent
  notice.daemon orvanta[PID]: terminated
  notice.daemon orvanta[PID]: started
  notice.daemon orvanta[PID]: Starting agent
  $ syslog tessard | tail -n 2
  info.daemon tessard: orvanta: stopped
  info.daemon tessard: orvanta: started (pid PID)
  $ init status
  orvanta: running (pid PID)
  agent up [0-9]+ s \(pid PID\); 1 start, last run: none (re)
  $ init stop
  orvanta: stopped
  $ module_gone
