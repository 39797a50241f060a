#include "convert/AudioConvertThreadUnit.h"

void TAudioConvertThread::Execute()
{
    RunProcess();
}

void TAudioConvertThread::RunProcess()
{
    RunTool();
}

void TAudioConvertThread::ScanChunk(std::string_view chunk)
{
    if (ConvertMode)
        ScanForProgress(chunk);
    else
        ProbeScan(chunk, m_scan);
}
