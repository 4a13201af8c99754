A pid file left by a killed supervisor whose pid has come round to
another program: neither stop nor start signals anything that is not the
module's. Here the other program is a daemon in a session of its own
whose leader has ended, the session named by the pid that the stale file
holds, and then a process that has that pid.

  $ settings MOD_ORVANTA_ENABLED=1
  $ init start
  orvanta: started (pid PID)
  $ wait_until grep -q state=running /var/orvanta/status
  $ kill -KILL $(cat /var/orvanta/module-supervisor.pid)
  $ module_gone
  $ setsid sh -c 'sleep 600 & echo $$ $!' > $ORVANTA_WORK/daemon
  $ read session daemon < $ORVANTA_WORK/daemon
  $ echo $session > /var/orvanta/module-supervisor.pid
  $ init stop
  orvanta: not running
  $ init status
  orvanta: not running
  [3]
  $ echo $daemon > /var/orvanta/module-supervisor.pid
  $ init stop
  orvanta: not running
  $ init start
  orvanta: started (pid PID)
  $ init stop
  orvanta: stopped
  $ module_gone
  $ running $daemon && echo "the daemon runs"
  the daemon runs
  $ kill $daemon
