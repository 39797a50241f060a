#pragma once

// The bounds every resolving run keeps to.

#include <QtGlobal>

struct TResolverLimits
{
    int FetchIdleTimeoutMs = 15000;  // one fetch without any data
    int AnswerTimeoutMs = 30000;     // the whole answer to one request
    qint64 MaxPageBytes = 5 * 1024 * 1024;
    int MaxRedirects = 10;
    int MaxCandidates = 16;   // links checked per page
    int MaxRunningJobs = 32;  // requests worked on at once; more get "error"
};
