# The page's readers of what a browser, the supervisor and syslog send.
orvanta_fuzz_target(web_page LIBRARIES orvanta-web-page-lib)
