#ifndef ORVANTA_FRAMEWORK_EXPORT_H
#define ORVANTA_FRAMEWORK_EXPORT_H

// The plug-in library is built with hidden visibility: only what carries
// this mark is visible to the host agent and to other plug-in libraries.
// The stand-in host types carry it as well (and HostTypes.h gives the
// host's own headers the same), so that the plug-in's references to them
// stay dynamic and are resolved from the host process at load time.
#define ORVANTA_EXPORT __attribute__((visibility("default")))

// printf-style checking for the logging and text-building operations.
#define ORVANTA_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))

#endif
