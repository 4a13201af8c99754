// The agent configuration as the supervisor writes it, byte for byte, for
// the tests of the supervisor and of the programs that read it (the
// development agent): user and password as they stand between the quotes,
// the interval in seconds. Tests of the agent may ask for another interval
// of the system_resources group or another load list.
#ifndef ORVANTA_TESTS_SUPPORT_SUPERVISORFILES_H
#define ORVANTA_TESTS_SUPPORT_SUPERVISORFILES_H

#include <string>

namespace orvanta::test {

inline std::string agentConfiguration(const std::string& user, const std::string& password, unsigned interval,
                                      unsigned systemResourcesInterval = 60,
                                      const std::string& load =
                                          "  \"tessard-system-resources.so\",\r\n"
                                          "  \"tessard-measured-values.so\"\r\n")
{
    return "server = \"http://developer.orvanta.com/s\";\r\n"
           "username = \"" +
           user + "\";\r\npassword = \"" + password + "\";\r\ninterval = " + std::to_string(interval) +
           ";\r\nload = (\r\n" + load +
           ");\r\n"
           "plugins = (\r\n"
           "  {\r\n    type = \"system_resources\",\r\n    interval = " +
           std::to_string(systemResourcesInterval) +
           "\r\n  },\r\n"
           "  {\r\n    type = \"measured_values\",\r\n    interval = 10\r\n  }\r\n"
           ");\r\n";
}

} // namespace orvanta::test

#endif
