#pragma once

// Symbols of the shared plug-in API that host and plug-ins may use. The
// library is built with hidden visibility, so anything not marked with
// VRN_PLUGIN_API stays private to it.
#if defined(__GNUC__) || defined(__clang__)
#  define VRN_PLUGIN_API __attribute__((visibility("default")))
#else
#  define VRN_PLUGIN_API
#endif

// The one symbol a plug-in library exports.
#define VRN_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))
