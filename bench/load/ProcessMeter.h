#pragma once

#include <sys/types.h>
#include <vector>

namespace load {

// What a process (and the children it forked, such as nginx's worker) has
// used, read from /proc: processor time, and the peak resident size.
struct ProcessUse {
    double cpuSeconds = 0;
    double peakRssMiB = 0;
};

ProcessUse ReadProcessUse(pid_t pid);
// Of several processes together (the nodes of a cluster); non-positive ids count nothing.
ProcessUse ReadProcessUse(const std::vector<pid_t>& pids);
// Resident memory of the process now (not its peak).
double CurrentRssMiB(pid_t pid);
// Connections the kernel dropped because a listener's accept queue was full,
// since boot, all listeners of the machine together (TcpExt ListenOverflows).
unsigned long long ListenOverflows();
// Processor time of this process so far (the load client itself).
double OwnCpuSeconds();

}  // namespace load
