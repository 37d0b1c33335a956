#include "ReaderCount.h"

#include <algorithm>
#include <thread>

namespace rowtick {

unsigned ReaderCount()
{
    return std::max(kReadsInFlight, std::thread::hardware_concurrency());
}

}  // namespace rowtick
