The module, started by its script as on the router: the supervisor writes
the agent's configuration and starts the agent, which loads the plug-in
library and reports the modem; the agent's log reaches syslog through the
relay. An agent that dies is started again and reports again; stop ends
the supervisor, the agent and the relay.

  $ settings MOD_ORVANTA_ENABLED=1 MOD_ORVANTA_USERNAME=router-17 MOD_ORVANTA_PASSWORD=secret MOD_ORVANTA_INTERVAL=5
  $ init start
  orvanta: started (pid PID)
  $ wait_syslog 'tessard: status: 0'
  $ show /var/orvanta/tessard.cfg
  server = "http://developer.orvanta.com/s";\r
  username = "router-17";\r
  password = "secret";\r
  interval = 300;\r
  load = (\r
    "tessard-system-resources.so",\r
    "tessard-measured-values.so"\r
  );\r
  plugins = (\r
    {\r
      type = "system_resources",\r
      interval = 60\r
    },\r
    {\r
      type = "measured_values",\r
      interval = 10\r
    }\r
  );\r
  $ kill -KILL $(agent_pid)
  $ wait_syslog 'tessard: status: 0' 2
  $ init stop
  orvanta: stopped
  $ module_gone
  $ syslog orvanta
  notice.daemon orvanta[PID]: started
  notice.daemon orvanta[PID]: Starting agent
  notice.daemon orvanta[PID]: agent_terminated
  notice.daemon orvanta[PID]: Starting agent
  notice.daemon orvanta[PID]: sending SIGKILL to agent
  notice.daemon orvanta[PID]: terminated

Each run of the agent logs the same: its own lines by their level, its
standard output (the wire) as info. The ovx_Mobile record is the request
of template 1002: device 1, the IMEI, the cell and the ICCID.

  $ syslog tessard | sort | uniq -c | awk '{ print $1 }' | uniq
  2
  $ syslog tessard | awk '!seen[$0]++'
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
