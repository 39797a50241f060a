#pragma once

// What the program and the link resolver it starts agree on. Both sides
// include this header; nothing here is spelled out anywhere else.

// The resolver reads one line from its standard input at start, the secret
// that every request must then carry (a service started by hand may be given
// one too). The secret never appears on a command line or in an environment.
inline constexpr const char* ResolverSecretOption = "secret-stdin";

// The request header that carries the secret. A browser sends no header of
// its own naming on a navigation, and a page's script can add one only to a
// cross-origin fetch, which the resolver refuses for its Origin anyway.
inline constexpr const char* ResolverSecretHeader = "X-Quorvex-Key";

// Random bytes in the secret the program draws (sent as hex) and the
// shortest secret the resolver takes.
inline constexpr int ResolverSecretBytes = 32;
inline constexpr int ResolverMinSecretLength = 16;

// The resolver answers every request within this time unless told otherwise
// (--answer-timeout); the program waits a little longer for the answer.
inline constexpr int ResolverAnswerTimeoutMs = 30000;
inline constexpr int ResolverAnswerMarginMs = 5000;
