orvanta_fuzz_target(buffer HOST)
