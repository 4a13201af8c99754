Three starts at the same moment after a killed run: the supervisor's lock
decides, so one supervisor runs, the other starts name it, none fails,
and stop leaves nothing.

  $ settings MOD_ORVANTA_ENABLED=1
  $ init start
  orvanta: started (pid PID)
  $ kill -KILL $(cat /var/orvanta/module-supervisor.pid)
  $ module_gone
  $ { init start & init start & init start & wait; } > $ORVANTA_WORK/starts 2>&1
  $ sed 's/ (pid [0-9]*)//' $ORVANTA_WORK/starts | sort
  orvanta: already running
  orvanta: already running
  orvanta: started
  $ grep -o 'pid [0-9]*' $ORVANTA_WORK/starts | sort -u | wc -l
  1
  $ module_processes | grep -c module-supervis
  1
  $ init stop
  orvanta: stopped
  $ module_gone
