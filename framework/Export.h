#ifndef ORVANTA_FRAMEWORK_EXPORT_H
#define ORVANTA_FRAMEWORK_EXPORT_H

// The plug-in library is built with hidden visibility: only what carries
// this mark is visible to the host agent and to other plug-in libraries.
// The stand-in host types carry it as well (and HostTypes.h gives the
// host's own headers the same), so that the plug-in's references to them
// stay dynamic and are resolved from the host process at load time.
#define ORVANTA_EXPORT __attribute__((visibility("default")))

// A member of an exported class that is no part of the framework's
// interface (a private helper): kept out of the library's symbol table,
// so that nothing outside can bind to it and it stays free to change.
#define ORVANTA_INTERNAL __attribute__((visibility("hidden")))

// printf-style checking for the logging and text-building operations.
#define ORVANTA_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))

// Whether an operation is const is part of its exported name, so the
// choice binds the host and every sibling library. Where the host
// interface does not fix it, this framework chose:
//   const:     Template::type(), msgId(), templateString(), templateHash();
//              TemplateCollection::templateString(), templateIdentifier(),
//              templateHash(), bufferSize(); Buffer::length(), storageSize()
//   not const: PluginManager::pluginCount(), getPlugin();
//              PluginConfiguration::stringValue(), intValue(), boolValue(),
//              doubleValue(), type(), interval(), next();
//              PluginHandler::type(), interval(); Logger::getVerbosity()
// Operations that change or may grow the object (Buffer::value(),
// Logger::logTime(), everything of MeasurementSupport) are not const.

#endif
