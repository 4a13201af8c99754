What start and stop do around the supervisor: the settings made where
missing and asked whether the module is on, the state folder, what the
agent and the log relay are given; stop whether the module is on or off.

Switched off, start touches nothing but the settings.

  $ rm -rf /var/orvanta
  $ init start
  orvanta: disabled in /opt/orvanta/etc/settings (MOD_ORVANTA_ENABLED), not started
  $ cmp /opt/orvanta/etc/settings /opt/orvanta/etc/settings.default && ls -l /opt/orvanta/etc/settings | cut -c1-10
  -rw-------
  $ test -e /var/orvanta || echo "no /var/orvanta"
  no /var/orvanta
  $ syslog

The switch as the settings tool reads it; without a supervisor a module
that is on says what is missing.

  $ mv /opt/orvanta/bin/module-supervisor $ORVANTA_WORK/module-supervisor
  $ settings 'mod_orvanta_enabled="+2x"'
  $ init start
  orvanta: /opt/orvanta/bin/module-supervisor is missing
  [5]
  $ settings MOD_ORVANTA_ENABLED=0 MOD_ORVANTA_ENABLED=1
  $ init start
  orvanta: disabled in /opt/orvanta/etc/settings (MOD_ORVANTA_ENABLED), not started
  $ settings MOD_ORVANTA_USERNAME=me
  $ init start
  orvanta-settings: MOD_ORVANTA_ENABLED is not in /opt/orvanta/etc/settings; the module reads it as 0
  orvanta: disabled in /opt/orvanta/etc/settings (MOD_ORVANTA_ENABLED), not started
  $ rm /opt/orvanta/etc/settings && mv /opt/orvanta/etc/settings.default $ORVANTA_WORK/settings.default
  $ init start
  orvanta-settings: /opt/orvanta/etc/settings is missing, and so is /opt/orvanta/etc/settings.default
  orvanta: cannot create /opt/orvanta/etc/settings from /opt/orvanta/etc/settings.default
  orvanta-settings: /opt/orvanta/etc/settings is missing
  orvanta: disabled in /opt/orvanta/etc/settings (MOD_ORVANTA_ENABLED), not started
  $ mkdir /opt/orvanta/etc/settings
  $ init start
  orvanta-settings: cannot read /opt/orvanta/etc/settings: Is a directory
  orvanta: cannot read /opt/orvanta/etc/settings, not started
  [1]
  $ rmdir /opt/orvanta/etc/settings && mv $ORVANTA_WORK/settings.default $ORVANTA_WORK/module-supervisor /opt/orvanta/
  $ mv /opt/orvanta/settings.default /opt/orvanta/etc/ && mv /opt/orvanta/module-supervisor /opt/orvanta/bin/

A state folder that others could control is refused, and left as it is.

  $ rm -rf /var/orvanta && mkdir -p /var/elsewhere && ln -s /var/elsewhere /var/orvanta
  $ settings MOD_ORVANTA_ENABLED=1
  $ init start
  orvanta: /var/orvanta is a link, no folder, not root's or writable by others: refusing to use it
  [1]
  $ rm /var/orvanta && touch /var/orvanta && init start
  orvanta: /var/orvanta is a link, no folder, not root's or writable by others: refusing to use it
  [1]
  $ rm /var/orvanta && mkdir -m 0700 /var/orvanta && chown 1000:1000 /var/orvanta && init start
  orvanta: /var/orvanta is a link, no folder, not root's or writable by others: refusing to use it
  [1]
  $ rmdir /var/orvanta && mkdir -m 0770 /var/orvanta && init start
  orvanta: /var/orvanta is a link, no folder, not root's or writable by others: refusing to use it
  [1]
  $ chmod 1777 /var/orvanta && init start
  orvanta: /var/orvanta is a link, no folder, not root's or writable by others: refusing to use it
  [1]
  $ ls -A /var/orvanta /var/elsewhere; syslog
  /var/elsewhere:
  
  /var/orvanta:

A folder of root's that only root may write to is taken and tightened;
the agent finds the plug-in library on its path; the relay holds nothing
but its pipe and its syslog socket (not the caller's descriptor 7).

  $ chmod 0755 /var/orvanta
  $ init start 7> $ORVANTA_WORK/caller
  orvanta: started (pid PID)
  $ ls -ld /var/orvanta | cut -c1-10
  drwx------
  $ wait_until grep -q state=running /var/orvanta/status
  $ wait_syslog 'tessard: Agent running.'
  $ tr '\0' '\n' < /proc/$(agent_pid)/environ | grep '^LD_LIBRARY_PATH='
  LD_LIBRARY_PATH=/opt/orvanta/lib
  $ for p in /proc/[0-9]*; do
  >     [ "$(cat $p/comm 2>/dev/null)" = orvanta-log ] && [ "$(readlink $p/ns/mnt)" = "$(readlink /proc/self/ns/mnt)" ] &&
  >         for fd in $p/fd/*; do readlink $fd; done
  > done | sed 's/:\[[0-9]*\]$//'
  pipe
  /dev/null
  /dev/null
  socket
  $ init start
  orvanta: already running (pid PID)

Stop, even with the module switched off since.

  $ settings MOD_ORVANTA_ENABLED=0
  $ init stop
  orvanta: stopped
  $ module_gone
  $ init stop
  orvanta: not running

A read-only state folder: start refuses, as the supervisor could lock
nothing there; a module that runs is still stopped.

  $ settings MOD_ORVANTA_ENABLED=1
  $ rm /var/orvanta/module-supervisor.lock
  $ mount --bind /var/orvanta /var/orvanta && mount -o remount,bind,ro /var/orvanta
  $ init start
  orvanta: cannot create /var/orvanta/module-supervisor.lock, not started
  [1]
  $ umount /var/orvanta && init start
  orvanta: started (pid PID)

Made read-only once the module is quiet (the agent's first report sent);
the kernel refuses while a write is under way there, so until it takes.

  $ wait_syslog 'tessard: status: 0'
  $ mount --bind /var/orvanta /var/orvanta && wait_until mount -o remount,bind,ro /var/orvanta
  $ init stop
  orvanta: stopped
  $ umount /var/orvanta
  $ module_gone
