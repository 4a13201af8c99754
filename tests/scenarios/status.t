What init status says, from the supervisor's status file: running with
its agent up, pausing before a restart after the agent died, not running;
a status file left by a killed supervisor is stale. Exit status 0 while
running, 3 otherwise.

  $ settings MOD_ORVANTA_ENABLED=1
  $ init status
  orvanta: not running
  [3]
  $ init start
  orvanta: started (pid PID)
  $ wait_until grep -q state=running /var/orvanta/status
  $ init status
  orvanta: running (pid PID)
  agent up [0-9]+ s \(pid PID\); 1 start, last run: none (re)

The agent dies; held while it pauses, the supervisor keeps saying so.

  $ kill -KILL $(agent_pid)
  $ wait_until grep -q state=pausing /var/orvanta/status
  $ kill -STOP $(cat /var/orvanta/module-supervisor.pid)
  $ init status
  orvanta: running (pid PID)
  agent pausing before a restart \([0-9]+ s so far\); 1 start, last run: signal 9 (re)
  $ kill -CONT $(cat /var/orvanta/module-supervisor.pid)
  $ wait_until grep -q state=running /var/orvanta/status
  $ init status
  orvanta: running (pid PID)
  agent up [0-9]+ s \(pid PID\); 2 starts, last run: signal 9 (re)
  $ init stop
  orvanta: stopped
  $ init status
  orvanta: not running
  [3]
  $ test -e /var/orvanta/status || test -e /var/orvanta/module-supervisor.pid || echo removed
  removed
  $ module_gone

A killed supervisor leaves its status and pid file; no process holds its
lock, so they say nothing.

  $ init start
  orvanta: started (pid PID)
  $ wait_until grep -q state=running /var/orvanta/status
  $ kill -KILL $(cat /var/orvanta/module-supervisor.pid)
  $ module_gone
  $ sed -E 's/^(pid|agent|since)=[0-9]+$/\1=N/' /var/orvanta/status
  pid=N
  state=running
  agent=N
  since=N
  starts=1
  last=none
  $ init status
  orvanta: not running
  [3]
  $ init whatever
  usage: /opt/orvanta/etc/init {start|stop|restart|status}
  [2]
