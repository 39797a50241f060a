#pragma once

// Child processes that must not outlive the program: the link resolver it
// starts for its downloads. Kept behind one small header so that a Windows
// build can tie them to the program its own way (a job object).

class QProcess;

// Makes PROCESS, once started, end when this program ends, also when this
// program is killed. Call before QProcess::start.
void EndWithThisProgram(QProcess& process);
