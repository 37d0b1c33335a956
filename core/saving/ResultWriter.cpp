#include "ResultWriter.h"

namespace rowtick {

std::string ResultFileBytes(const ResultList& results)
{
    std::string bytes;
    for (const ResultRow& row : results.rows())
        AppendResultLine(bytes, row);
    return bytes;
}

void AppendResultLine(std::string& bytes, const ResultRow& row)
{
    bytes += row.bytes();
    bytes += "\r\n";
}

}  // namespace rowtick
