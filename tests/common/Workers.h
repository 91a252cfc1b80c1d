#pragma once

#include "maintenance/ArchivePool.h"

namespace kelmar::test {

// How many archives a batch works on at once, for as long as this lives (1: one after
// another, as a test of what a single run does needs); then the default again.
struct Workers
{
    explicit Workers(int n) { ArchivePool::setWorkers(n); }
    ~Workers() { ArchivePool::setWorkers(0); }
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;
};

} // namespace kelmar::test
