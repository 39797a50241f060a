#pragma once

// The link resolving service the download page asks. A build configured with
// an address (QUORVEX_RESOLVER_URL) asks the service there. The default build
// starts its own: at the first download of a run, on a free port of
// 127.0.0.1, as a child process that ends with the program; later downloads
// reuse it, and one that has died is started again.

#include <cstdint>
#include <string>

// The service's base address ("http://127.0.0.1:40123"). Starts the
// program's own service when it is not running, waiting for it at most
// ResolverStartTimeoutMs. Empty when it cannot be started: the request then
// fails like one to an unreachable service.
std::string ResolverBaseAddress();

// Tests point the program at a service of their own (nothing is started
// then); an empty text restores the compiled-in setting.
void SetResolverBaseAddress(const std::string& base);

// The secret the service at BASE asks of every request (sent in the
// ResolverSecretHeader header): the one the program handed its own service
// at its start; empty for any other address.
std::string ResolverKeyFor(const std::string& base);

// Why the program's own service could not be started, for the failure's
// details; empty after a good start.
std::string ResolverStartFailure();

// Where the program looks for quorvex-resolver: beside itself (the installed
// tree: both live in bin/) or in the build tree. Tests name the file.
std::string ResolverExecutable();
void SetResolverExecutable(const std::string& path);

// The process id of the service the program started, 0 when none runs.
std::int64_t StartedResolverProcessId();

inline constexpr int ResolverStartTimeoutMs = 2000;
