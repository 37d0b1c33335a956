#include "ResultWriter.h"

namespace rowtick {

std::string ResultFileBytes(const ResultList& results)
{
    std::string bytes;
    for (const ResultRow& row : results.rows()) {
        bytes += row.bytes();
        bytes += "\r\n";
    }
    return bytes;
}

}  // namespace rowtick
