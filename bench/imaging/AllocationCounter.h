#pragma once

#include <cstddef>

// Counts heap blocks of at least a threshold while switched on, whatever
// allocates them (Qt, TurboJPEG, the standard library), by standing in
// for malloc and its companions in this one program.
namespace allocation {

constexpr size_t kLargeBlock = 1 << 20;

void StartCounting();
// Blocks of kLargeBlock bytes or more since StartCounting.
size_t StopCounting();

}  // namespace allocation
