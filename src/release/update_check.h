#pragma once

#include <cstdint>

#include "report/worker_channel.h"

// Starts a detached thread that fetches the release manifest and reports one
// Ready or Failed message, carrying the check's number, on the channel.
void start_update_check(const WorkerChannel& channel, std::uint32_t check);

// The thread's whole work.
void run_update_check(const WorkerChannel& channel, std::uint32_t check);
