The module on an older runtime than the build's: every program maps the
runtime's libraries alone (the ARM programs under qemu-user; RUNTIME is
where the runtime lies), the settings tool saves there too, and the page
answers with the token it made in both its forms, restart and settings
(its files checked with the old stat functions).

  $ settings MOD_ORVANTA_ENABLED=1 MOD_ORVANTA_USERNAME=router-17 MOD_ORVANTA_INTERVAL=5
  $ init start
  orvanta: started (pid PID)
  $ wait_syslog 'tessard: status: 0'
  $ libraries $(cat /var/orvanta/module-supervisor.pid)
  RUNTIME/usr/lib/arm-linux-gnueabihf/ld-2.31.so
  RUNTIME/usr/lib/arm-linux-gnueabihf/libc-2.31.so
  $ libraries $(pid_of orvanta-log)
  RUNTIME/usr/lib/arm-linux-gnueabihf/ld-2.31.so
  RUNTIME/usr/lib/arm-linux-gnueabihf/libc-2.31.so
  $ libraries $(agent_pid)
  /opt/orvanta/lib/tessard-system-resources.so
  RUNTIME/usr/lib/arm-linux-gnueabihf/ld-2.31.so
  RUNTIME/usr/lib/arm-linux-gnueabihf/libc-2.31.so
  RUNTIME/usr/lib/arm-linux-gnueabihf/libconfig.so.9.2.0
  RUNTIME/usr/lib/arm-linux-gnueabihf/libdl-2.31.so
  RUNTIME/usr/lib/arm-linux-gnueabihf/libgcc_s.so.1
  RUNTIME/usr/lib/arm-linux-gnueabihf/libm-2.31.so
  RUNTIME/usr/lib/arm-linux-gnueabihf/libstdc++.so.6.0.28
  $ /opt/orvanta/bin/orvanta-settings set MOD_ORVANTA_INTERVAL 15
  $ cat /opt/orvanta/etc/settings
  MOD_ORVANTA_ENABLED=1
  MOD_ORVANTA_USERNAME=router-17
  MOD_ORVANTA_INTERVAL=15
  $ REQUEST_METHOD=GET /opt/orvanta/www/cgi-bin/orvanta > /var/orvanta/page.html; echo $?
  0
  $ head -n 1 /var/orvanta/page.html | tr -d '\r'
  Status: 200 OK
  $ ls -l /var/orvanta/page-token | cut -c1-10
  -rw-------
  $ grep -c "name=\"token\" value=\"$(head -c 64 /var/orvanta/page-token)\"" /var/orvanta/page.html
  2
  $ init stop
  orvanta: stopped
  $ module_gone
