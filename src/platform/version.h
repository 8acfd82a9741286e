#pragma once
// Version and build of this binary, fixed at configure time.

namespace zeta::platform {
extern const char* const kVersion;
extern const char* const kBuild;
extern const char* const kBundleIdentifier;
extern const char* const kInstalledResourceDir;
extern const char* const kSourceResourceDir;
} // namespace zeta::platform
