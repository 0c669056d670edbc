// The memory manager's counts of blocks and bytes allocated through operator new
// and not yet released, shown in the extractor window's hidden counter label.
#pragma once
#include <cstdint>

std::int64_t AllocatedBlockCount();
std::int64_t AllocatedByteCount();
