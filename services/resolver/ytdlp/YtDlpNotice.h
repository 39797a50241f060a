#pragma once

// The service's log says once why yt-dlp is not used, not on every request.

#include <QString>

void ReportYtDlpUnavailableOnce(const QString& why);
