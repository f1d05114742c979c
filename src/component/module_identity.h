// The fixed identity of the module that publishes Schedulers: type library,
// interface, class, programmatic name, threading model and version data.
// Hosts that register the class, and the class factory, read them here.
#pragma once

#include <string_view>

namespace ostrand::module_identity {

inline constexpr std::string_view kTypeLibraryName = "ostrandSchedulerS";
inline constexpr std::string_view kTypeLibraryId = "{6E2C7596-6BA7-473D-8D50-8CA7831FF587}";
inline constexpr int kTypeLibraryMajor = 4;
inline constexpr int kTypeLibraryMinor = 0;

// Dual, hidden, not extensible, automation-compatible.
inline constexpr std::string_view kInterfaceName = "_Schedulers";
inline constexpr std::string_view kInterfaceId = "{1506C082-106D-4636-BF18-8D04A4391B7E}";

// Creatable; default interface _Schedulers; no event interface.
inline constexpr std::string_view kClassName = "Schedulers";
inline constexpr std::string_view kClassId = "{57E2E6F2-F2DE-4ACC-BD59-E398F1A9D7B8}";

// Library name, a point, class name; looked up without regard to case.
inline constexpr std::string_view kProgrammaticName = "ostrandSchedulerS.Schedulers";

// An instance is called only on the thread that created it.
inline constexpr std::string_view kThreadingModel = "Apartment";

inline constexpr std::string_view kModuleFile = "ostrandSchedulers.dll";
inline constexpr std::string_view kProductName = "ostrandSchedulers";
inline constexpr std::string_view kInternalName = "ostrandSchedulers";
inline constexpr std::string_view kFileVersion = "1.00";
inline constexpr std::string_view kProductVersion = "1.00";
// Chinese (PRC), Unicode.
inline constexpr std::string_view kVersionLanguageBlock = "080404B0";
inline constexpr std::string_view kSelfRegistrationMarker = "OLESelfRegister";

}  // namespace ostrand::module_identity
