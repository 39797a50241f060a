#include "convert/VideoConvertThreadUnit.h"

void TVideoConvertThread::Execute()
{
    RunProcess();
}

void TVideoConvertThread::RunProcess()
{
    RunTool();
}

void TVideoConvertThread::ScanChunk(std::string_view chunk)
{
    ScanForProgress(chunk);
}
