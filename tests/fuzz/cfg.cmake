# The settings-file reader and writer over arbitrary file contents.
orvanta_fuzz_target(cfg LIBRARIES orvanta-cfg)
