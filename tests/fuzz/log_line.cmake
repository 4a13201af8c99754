# The log relay's line rules over any byte stream.
orvanta_fuzz_target(log_line LIBRARIES orvanta-log-line)
